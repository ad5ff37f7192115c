#include "window/updates.h"

#include <QCoreApplication>
#include <QThread>
#include <QtDebug>
#include <utility>

#include "cefclient/update_package.h"
#include "device/update_firmware.h"
#include "platform/updater/updater_launcher.h"

namespace kf::window {

Updates::Updates(Services services, QObject* parent) : QObject(parent), services_(std::move(services)) {
    quitWaitLimit_.setSingleShot(true);
    quitWaitLimit_.setInterval(kQuitWaitMs);
    connect(&quitWaitLimit_, &QTimer::timeout, this, [this] {
        qWarning().noquote() << "the firmware update of" << firmware_.update->version().left(100)
                             << "has not ended after" << kQuitWaitMs / 1000
                             << "s; the client closes all the same";
        runIdleWaiters();
    });
}

Updates::~Updates() {
    if (!firmware_.thread) {
        return;
    }
    firmware_.thread->requestInterruption();
    firmware_.thread->quit();
    if (!firmware_.thread->wait(kStopTimeoutMs)) {
        // A library call that does not return: the thread is left to the process's end.
        qWarning().noquote() << "a firmware update of" << firmware_.update->version().left(100)
                             << "did not stop; leaving it to the end of the process";
        return;
    }
    delete firmware_.update;
    delete firmware_.thread;
}

bool Updates::whenFirmwareIdle(std::function<void()> then) {
    if (!firmware_.thread) {
        then();
        return false;
    }
    idleWaiters_.append(std::move(then));
    if (!quitWaitLimit_.isActive()) {
        quitWaitLimit_.start();
    }
    return true;
}

void Updates::firmwareEnded() {
    // The thread has left its event loop; wait() returns as soon as it has wound down.
    firmware_.thread->wait();
    delete firmware_.update;
    delete firmware_.thread;
    firmware_ = {};
    emit firmwareIdle();
    runIdleWaiters();
}

void Updates::runIdleWaiters() {
    quitWaitLimit_.stop();
    const QList<std::function<void()>> waiters = std::exchange(idleWaiters_, {});
    for (const std::function<void()>& then : waiters) {
        then();
    }
}

void Updates::executeUpdateClient(const QString& filePath) {
    // Paths come from the page: the log quotes at most their first 300 characters.
    qInfo().noquote() << "client update from" << filePath.left(300);
    if (firmware_.thread) {
        // Installing quits the client, and a quit during a flash would leave the device in its
        // boot loader; the package stays for a later try.
        qWarning().noquote() << "client update refused: the firmware update of"
                             << firmware_.update->version().left(100) << "is still running";
        services_.refreshUpdateState(QStringLiteral("-1"));
        return;
    }
    const kf::update::UnpackResult result = kf::update::unpackClientUpdate(filePath, services_.updateFolder);
    if (result.status != kf::update::UnpackStatus::Unpacked) {
        qWarning().noquote() << "client update refused:" << result.error.left(400)
                             << (result.packageDeleted ? "(the package was deleted)"
                                                       : "(the package is kept)");
        services_.refreshUpdateState(QStringLiteral("-1"));
        return;
    }
    qInfo().noquote() << "client update unpacked into" << services_.updateFolder << ":"
                      << result.files.join(QStringLiteral(", "));
    services_.refreshUpdateState(QStringLiteral("60"));

    QStringList arguments{QStringLiteral("--Upgrade"),
                          QStringLiteral("--pid"),
                          QString::number(QCoreApplication::applicationPid()),
                          QStringLiteral("--update-dir"),
                          services_.updateFolder,
                          QStringLiteral("--install-dir"),
                          services_.appDir,
                          QStringLiteral("--digest"),
                          result.digest};
    if (!services_.updaterLog.isEmpty()) {
        arguments << QStringLiteral("--log") << services_.updaterLog;
    }
    arguments << QStringLiteral("--") << services_.restartArguments;
    const QString updater = services_.appDir + QStringLiteral("/Updater");
    if (!services_.launcher ||
        !services_.launcher->startDetached(updater, arguments, services_.updateFolder)) {
        // Quitting now would leave the user with neither the update nor a running client.
        qWarning().noquote() << "client update: the Updater" << updater << "could not be started";
        services_.refreshUpdateState(QStringLiteral("-1"));
        return;
    }
    qInfo().noquote() << "client update: started" << updater << arguments.join(QLatin1Char(' '))
                      << "; closing the client";
    services_.quitForUpdate();
}

void Updates::executeUpdateFirmware(const QString& deviceKey, const QString& filePath) {
    if (firmware_.thread) {
        // All boot loaders answer to one pair of USB ids: a second update would write into the
        // device the first one is flashing. Nothing is touched, not even the image file.
        qWarning().noquote() << "firmware update of" << deviceKey.left(100) << "refused: the update of"
                             << firmware_.update->version().left(100)
                             << "is still running, and only one device can be in its boot loader at a time";
        services_.refreshUpdateState(QStringLiteral("-1"));
        return;
    }
    services_.refreshUpdateState(QStringLiteral("5"));
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("firmware update"));
    // An image the browser downloaded is consumed; one the user keeps elsewhere is left alone.
    const bool consume = kf::update::isInsideFolder(filePath, services_.updateFolder);
    auto* update = new update_firmware(thread, deviceKey, filePath, consume);
    // Slots of one signal run in the order they were connected: the update (connected by its
    // constructor) runs first, then its thread leaves the event loop it never needed.
    connect(thread, &QThread::started, thread, &QThread::quit, Qt::DirectConnection);
    // Queued onto this (the GUI) thread: the page event leaves from here, and the last value
    // arrives before the thread's end.
    connect(update, &update_firmware::SigRefreshUpdateState, this,
            [this](const QString& value) { services_.refreshUpdateState(value); });
    connect(thread, &QThread::finished, this, &Updates::firmwareEnded, Qt::QueuedConnection);
    firmware_ = {thread, update};
    thread->start(QThread::InheritPriority);
}

}  // namespace kf::window
