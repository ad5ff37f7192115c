#pragma once
// The update component behind "ExecuteUpdateClient" and "ExecuteUpdateFirmware". Neither command
// is answered: what happens reaches the page as "RefreshUpdateState" values.
//
// Client update: the package is unpacked into the update folder ("-1" when it is refused), "60"
// is sent, the Updater is started beside the client with the client's process id, the update
// folder and the client's own arguments, and the client quits; the Updater installs the files
// once the client has gone and starts it again. A client that cannot start its Updater sends
// "-1" and keeps running instead of quitting for nothing.
//
// Firmware update: "5", then a thread of its own per request running update_firmware, whose
// values are forwarded. Closing the component interrupts running updates at their next wait.
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "window/window_components.h"

class QThread;
class update_firmware;
namespace kf::platform {
class UpdaterLauncher;
}

namespace kf::window {

class Updates : public QObject, public UpdateRunner {
    Q_OBJECT
public:
    struct Services {
        QString appDir;        // the installation, where the Updater lies beside the client
        QString updateFolder;  // where packages are downloaded and unpacked
        std::function<void(const QString&)> refreshUpdateState;  // sends the page event
        std::function<void()> quitForUpdate;  // sets the update-pending flag and closes the client
        kf::platform::UpdaterLauncher* launcher = nullptr;  // not owned
        QStringList restartArguments;                       // the client's arguments for its restart
        QString updaterLog;                                 // the Updater's log file; empty: its default
    };

    explicit Updates(Services services, QObject* parent = nullptr);
    ~Updates() override;

    void executeUpdateClient(const QString& filePath) override;
    void executeUpdateFirmware(const QString& deviceKey, const QString& filePath) override;

    // The firmware updates started so far (each keeps its thread until the component ends).
    int firmwareUpdateCount() const { return firmware_.size(); }

    // The time ~Updates waits for an interrupted firmware update to reach its next wait.
    static constexpr unsigned long kStopTimeoutMs = 5000;

private:
    struct Firmware {
        QThread* thread = nullptr;
        update_firmware* update = nullptr;
    };

    Services services_;
    QList<Firmware> firmware_;
};

}  // namespace kf::window
