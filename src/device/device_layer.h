#pragma once
// What the main window owns of the device layer: the device list object (DeviceFunctions) and
// the device worker (device_data_handler) running on a thread of its own. The worker is given
// the built-in driver table ":/drive/D2.0" for its button writes.
#include <QThread>

class DeviceFunctions;
class device_data_handler;

namespace kf::device {

class DeviceLayer {
public:
    // How long destruction waits for the worker's thread to stop. A device call that hangs
    // longer is left behind (logged); its thread and worker delete themselves when it returns.
    static constexpr unsigned long kStopWaitMs = 2000;

    DeviceLayer();
    ~DeviceLayer();
    DeviceLayer(const DeviceLayer&) = delete;
    DeviceLayer& operator=(const DeviceLayer&) = delete;

    DeviceFunctions* deviceFunctions() const { return functions_; }
    device_data_handler* worker() const { return worker_; }
    QThread* workerThread() const { return thread_; }

private:
    DeviceFunctions* functions_ = nullptr;
    QThread* thread_ = nullptr;
    device_data_handler* worker_ = nullptr;
};

}  // namespace kf::device
