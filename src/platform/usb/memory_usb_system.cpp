#include "platform/usb/memory_usb_system.h"

namespace kf::platform {

bool MemoryUsbSystem::usbDeviceInterfaces(QList<UsbDeviceInterface>* out, int* errorCode) {
    ++interfaceQueries;
    if (interfacesFail) {
        *errorCode = interfacesError;
        return false;
    }
    *out = interfaces;
    return true;
}

bool MemoryUsbSystem::presentDevices(QList<SetupDevice>* out) {
    if (devicesFail) {
        return false;
    }
    *out = devices;
    return true;
}

bool MemoryUsbSystem::startMonitor() {
    if (monitorFails) {
        return false;
    }
    monitoring = true;
    return true;
}

void MemoryUsbSystem::notify(UsbEventKind kind, bool deviceInterface) {
    if (monitoring) {
        emit usbEvent(static_cast<int>(kind), deviceInterface);
    }
}

}  // namespace kf::platform
