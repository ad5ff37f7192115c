#pragma once
// A USB system that tests fill and drive: fixed device lists, failures on request, and
// notifications emitted by hand.
#include "platform/usb/usb_system.h"

namespace kf::platform {

class MemoryUsbSystem : public UsbSystem {
    Q_OBJECT
public:
    using UsbSystem::UsbSystem;

    QList<UsbDeviceInterface> interfaces;
    QList<SetupDevice> devices;
    bool interfacesFail = false;
    int interfacesError = 0;
    bool devicesFail = false;
    bool monitorFails = false;
    bool monitoring = false;
    int interfaceQueries = 0;

    bool usbDeviceInterfaces(QList<UsbDeviceInterface>* out, int* errorCode) override;
    bool presentDevices(QList<SetupDevice>* out) override;
    bool startMonitor() override;

    // Emits usbEvent as the system would; only once the monitor is started.
    void notify(UsbEventKind kind, bool deviceInterface);
};

}  // namespace kf::platform
