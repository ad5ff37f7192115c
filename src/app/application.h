#pragma once
// The client's application object: single-instance handshake over a local socket, client
// identity from conf.xml, and the start of the main window in the first instance.
#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>

#include "app/ps_application.h"
#include "crash/crash_handler.h"

class QTimer;
class Window;
namespace kf::device {
class HotPlugWatcher;
}
namespace kf::platform {
class SessionEndWatcher;
class UsbSystem;
}  // namespace kf::platform

class Application : public PsApplication {
    Q_OBJECT
public:
    // The channel every client instance of a user session meets on.
    static const char kServerName[];

    Application(int& argc, char** argv);
    ~Application() override;

    // Called once by the main routine after construction.
    void start();

    Window* mainWindow() const { return mainWindow_; }
    QObject* deviceFilter() const { return deviceFilter_; }
    bool autostart() const { return autostart_; }

    QMap<QString, QString> clientInfo() const { return clientInfo_; }
    QString confText() const { return confText_; }
    // Reads appDir + "Resources/conf.xml" into the client info map and the conf text. A file
    // that does not parse leaves both as they were.
    bool readClientConfig(const QString& appDirWithSlash) {
        return readClientConfigInto(appDirWithSlash, &clientInfo_, &confText_);
    }
    static bool readClientConfigInto(const QString& appDirWithSlash, QMap<QString, QString>* info,
                                     QString* text);

    void setThemeRoot(const QString& root) { themeRoot_ = root; }
    void setThemeName(const QString& name) { themeFolder_ = themeRoot_ + "/" + name; }
    QString themeRoot() const { return themeRoot_; }
    QString themeFolder() const { return themeFolder_; }

    // Reads and unpacks an archive beside the executable into the given folder.
    bool unpackTheme(const QString& name, const QString& targetFolder);

    // Device arrival and removal reach the pages as "DevicesChanged" through the process-wide
    // browser handler: a watcher that lives as long as `owner`, on `usb` (taken over; may be
    // null) and on the device emulator's state folder `simFolder` (none when empty).
    static kf::device::HotPlugWatcher* watchDevices(QObject* owner, kf::platform::UsbSystem* usb,
                                                    const QString& simFolder);

public slots:
    void play();
    void socketConnected();
    void socketError(QLocalSocket::LocalSocketError error);
    void socketDisconnected();
    void socketWritten(qint64 bytes);
    void socketReading();
    void newInstanceConnected();
    void readClients();
    void removeClients();
    void on_closeApp();
    // The end of the quit routine: quits the event loop, after the running firmware update (if
    // any) has ended, while the window says so.
    void finishQuit();

private:
    void startMainWindow();
    void runCommand(const QString& command);

    // Declared first, so it is destroyed last: crashes while the rest shuts down are still reported.
    CrashHandler crashHandler_;
    QTimer* timer_ = nullptr;
    QMap<QString, QString> clientInfo_;
    QString confText_;
    QString serverName_;
    QLocalSocket socket_;
    QString responseBuffer_;
    QLocalServer server_;
    QVector<QPair<QLocalSocket*, QByteArray>> clients_;
    bool commandSent_ = false;
    bool autostart_ = false;
    Window* mainWindow_ = nullptr;
    QObject* deviceFilter_ = nullptr;
    QString themeRoot_;
    QString themeFolder_;
    kf::platform::SessionEndWatcher* sessionWatcher_ = nullptr;
};
