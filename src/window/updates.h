#pragma once
// The update component behind "ExecuteUpdateClient" and "ExecuteUpdateFirmware". Neither command
// is answered: what happens reaches the page as "RefreshUpdateState" values.
//
// Client update: the package is unpacked into the update folder ("-1" when it is refused), "60"
// is sent, the Updater is started beside the client with the client's process id, the update
// folder and the client's own arguments, and the client quits; the Updater installs the files
// once the client has gone and starts it again. A client that cannot start its Updater sends
// "-1" and keeps running instead of quitting for nothing. While a firmware update runs the
// client update is refused ("-1"): its quit would cut the flash short.
//
// Firmware update: one at a time. Every device's boot loader answers to the same USB ids, so two
// updates at once would interleave their blocks in one device; a request while one runs gets
// "-1" at once and touches neither a device nor its image file. An accepted request sends "5"
// and runs update_firmware on a thread of its own, whose values are forwarded; the thread and
// the update object are deleted as soon as the update returns. Whoever quits the client asks
// whenFirmwareIdle() first, so a flash is never interrupted by a quit; only destroying the
// component interrupts a running update, at its next wait.
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
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

    // Firmware update threads alive: 1 while an update runs (until its thread has ended), else 0.
    int firmwareUpdateCount() const { return firmware_.thread ? 1 : 0; }
    bool firmwareRunning() const { return firmware_.thread != nullptr; }

    // Calls `then` once no firmware update runs: at once (returning false) when none does, else
    // when the running one has ended (returning true), or after kQuitWaitMs should a library call
    // never return. Every caller waiting for the same update is called when it ends.
    bool whenFirmwareIdle(std::function<void()> then);

    // The time ~Updates waits for an interrupted firmware update to reach its next wait.
    static constexpr unsigned long kStopTimeoutMs = 5000;
    // The longest a quit waits for a firmware update: its own waits add up to 31 s plus 20 ms a
    // block (at most 34 blocks), and each library call is short.
    static constexpr int kQuitWaitMs = 90000;

signals:
    // A firmware update has ended and its thread is gone.
    void firmwareIdle();

private:
    struct Firmware {
        QThread* thread = nullptr;
        update_firmware* update = nullptr;
    };
    void firmwareEnded();
    void runIdleWaiters();

    Services services_;
    Firmware firmware_;
    QList<std::function<void()>> idleWaiters_;
    QTimer quitWaitLimit_;
};

}  // namespace kf::window
