#include "device/device_layer.h"

#include <QtDebug>

#include "crash/crash_signal.h"
#include "device/device_data_handler.h"
#include "device/device_functions.h"
#include "encoding/driver_table.h"

namespace kf::device {

DeviceLayer::DeviceLayer()
    : functions_(new DeviceFunctions), thread_(new QThread), worker_(new device_data_handler) {
    if (!kf::encoding::registerDriverTable(QStringLiteral(":/drive/D2.0"))) {
        qWarning().noquote() << "the built-in driver table :/drive/D2.0 could not be registered";
    }
    thread_->setObjectName(QStringLiteral("device worker"));
    worker_->moveToThread(thread_);
    // First thing on the new thread: a stack for the crash handler, so an overflow is reported too.
    QObject::connect(thread_, &QThread::started, thread_, &kf::crash::installThreadStack,
                     Qt::DirectConnection);
    // The worker is deleted on its own thread as the thread ends, whenever that is.
    QObject::connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_->start(QThread::InheritPriority);
}

DeviceLayer::~DeviceLayer() {
    // Writes already queued are dropped with the event loop; the one running finishes first,
    // unless a device call hangs: then the thread is left to end on its own, so that closing the
    // client never waits on a device for longer than the bound.
    thread_->quit();
    if (!thread_->wait(kStopWaitMs)) {
        qWarning().noquote() << QStringLiteral(
                                    "the device worker did not stop within %1 ms (a device call hangs); "
                                    "it is left to end by itself")
                                    .arg(kStopWaitMs);
        QObject::connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
        // Ended meanwhile: a deleteLater posted by the connection goes with the object.
        if (thread_->wait(0)) {
            delete thread_;
        }
    } else {
        delete thread_;
    }
    delete functions_;
}

}  // namespace kf::device
