#include "window/updates.h"

#include <QCoreApplication>
#include <QThread>
#include <QtDebug>

#include "cefclient/update_package.h"
#include "device/update_firmware.h"
#include "platform/updater/updater_launcher.h"

namespace kf::window {

Updates::Updates(Services services, QObject* parent) : QObject(parent), services_(std::move(services)) {}

Updates::~Updates() {
    for (const Firmware& f : qAsConst(firmware_)) {
        f.thread->requestInterruption();
        f.thread->quit();
    }
    for (const Firmware& f : qAsConst(firmware_)) {
        if (!f.thread->wait(kStopTimeoutMs)) {
            // A library call that does not return: the thread is left to the process's end.
            qWarning().noquote() << "a firmware update of" << f.update->version()
                                 << "did not stop; leaving it to the end of the process";
            continue;
        }
        delete f.update;
        delete f.thread;
    }
}

void Updates::executeUpdateClient(const QString& filePath) {
    // Paths come from the page: the log quotes at most their first 300 characters.
    qInfo().noquote() << "client update from" << filePath.left(300);
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
    services_.refreshUpdateState(QStringLiteral("5"));
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("firmware update"));
    // An image the browser downloaded is consumed; one the user keeps elsewhere is left alone.
    const bool consume = kf::update::isInsideFolder(filePath, services_.updateFolder);
    auto* update = new update_firmware(thread, deviceKey, filePath, consume);
    // Queued onto this (the GUI) thread: the page event leaves from here.
    connect(update, &update_firmware::SigRefreshUpdateState, this,
            [this](const QString& value) { services_.refreshUpdateState(value); });
    firmware_.append({thread, update});
    thread->start(QThread::InheritPriority);
}

}  // namespace kf::window
