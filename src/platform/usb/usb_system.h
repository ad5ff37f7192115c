#pragma once
// The system's USB and input devices as device discovery sees them: the present USB devices
// (for the interface-path lookup), the present devices with their setup class (for the
// keyboard and mouse scan), and arrival and removal notifications.
//
// Identities use the text forms the scan matches: instance ids such as
// "HID\VID_258A&PID_001A&MI_00\input7" and hardware ids such as "HID\VID_258A&PID_001A&MI_00" or,
// for a PS/2 keyboard or mouse, "ACPI\PNP0303".
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace kf::platform {

// One present USB device interface.
struct UsbDeviceInterface {
    QString path;               // the interface path handed to callers
    QString vendorId;           // hexadecimal as the system reports it ("258a"); empty when unknown
    QString productId;          // likewise
    bool detailFailed = false;  // its details could not be read: it has no usable path
};

enum class SetupClass { Other, Mouse, Keyboard };

// One present device of any class.
struct SetupDevice {
    QString instanceId;
    QString hardwareId;  // the first hardware id
    SetupClass setupClass = SetupClass::Other;
};

// Kinds of device-change notification.
enum class UsbEventKind { Arrival, RemovePending, RemoveComplete };

class UsbSystem : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~UsbSystem() override = default;

    // The present USB device interfaces. False, with the system's error code, when the set
    // cannot be opened.
    virtual bool usbDeviceInterfaces(QList<UsbDeviceInterface>* out, int* errorCode) = 0;
    // All present devices. False when the set cannot be opened.
    virtual bool presentDevices(QList<SetupDevice>* out) = 0;
    // Starts reporting device changes through usbEvent(). False when no notification source
    // can be opened; calling it again after success does nothing.
    virtual bool startMonitor() = 0;

signals:
    // `kind` is a UsbEventKind; `deviceInterface` tells whether the notification concerns a USB
    // device interface (arrivals of anything else are not announced to pages).
    void usbEvent(int kind, bool deviceInterface);
};

// The system's devices through libudev.
std::unique_ptr<UsbSystem> createUsbSystem();

}  // namespace kf::platform
