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
    thread_->start(QThread::InheritPriority);
}

DeviceLayer::~DeviceLayer() {
    // Writes already queued are dropped with the event loop; the one running finishes first.
    thread_->quit();
    thread_->wait();
    delete worker_;
    delete thread_;
    delete functions_;
}

}  // namespace kf::device
