// The USB system through libudev: USB devices from the "usb" subsystem, keyboards and mice from
// the "input" subsystem (USB ones by their vendor, product and interface number, PS/2 ones as
// the ACPI devices they are), and notifications from a udev monitor on USB devices.
#include <QSocketNotifier>
#include <QtDebug>

#include <libudev.h>

#include <cerrno>

#include "platform/usb/usb_system.h"

namespace kf::platform {

namespace {

QString text(const char* value) {
    return value ? QString::fromUtf8(value) : QString();
}

bool propertyIsOne(udev_device* device, const char* name) {
    const char* value = udev_device_get_property_value(device, name);
    return value && value[0] == '1' && value[1] == 0;
}

// The instance and hardware ids of an input device: USB ones from their interface and device,
// PS/2 ones (on the i8042 serial bus) as ACPI devices. Others (Bluetooth, virtual) get none.
bool describeInputDevice(udev_device* input, bool keyboard, SetupDevice* out) {
    udev_device* usbInterface = udev_device_get_parent_with_subsystem_devtype(input, "usb", "usb_interface");
    udev_device* usbDevice = udev_device_get_parent_with_subsystem_devtype(input, "usb", "usb_device");
    const QString sysname = text(udev_device_get_sysname(input));
    if (usbDevice) {
        const QString vid = text(udev_device_get_sysattr_value(usbDevice, "idVendor")).toUpper();
        const QString pid = text(udev_device_get_sysattr_value(usbDevice, "idProduct")).toUpper();
        const QString rev = text(udev_device_get_sysattr_value(usbDevice, "bcdDevice")).toUpper();
        QString mi;
        if (usbInterface) {
            mi = text(udev_device_get_sysattr_value(usbInterface, "bInterfaceNumber"));
        }
        if (vid.isEmpty() || pid.isEmpty()) {
            return false;
        }
        QString ids = QStringLiteral("VID_%1&PID_%2").arg(vid, pid);
        const QString miPart = mi.isEmpty() ? QString() : QStringLiteral("&MI_%1").arg(mi);
        out->instanceId = QStringLiteral("HID\\") + ids + miPart + QLatin1Char('\\') + sysname;
        out->hardwareId = QStringLiteral("HID\\") + ids + QStringLiteral("&REV_") + rev + miPart;
        return true;
    }
    if (udev_device_get_parent_with_subsystem_devtype(input, "serio", nullptr)) {
        const QString pnp = keyboard ? QStringLiteral("PNP0303") : QStringLiteral("PNP0F13");
        out->instanceId = QStringLiteral("ACPI\\") + pnp + QLatin1Char('\\') + sysname;
        out->hardwareId = QStringLiteral("ACPI\\") + pnp;
        return true;
    }
    return false;
}

class UdevUsbSystem : public UsbSystem {
public:
    UdevUsbSystem() : udev_(udev_new()) {}

    ~UdevUsbSystem() override {
        delete notifier_;
        if (monitor_) {
            udev_monitor_unref(monitor_);
        }
        if (udev_) {
            udev_unref(udev_);
        }
    }

    bool usbDeviceInterfaces(QList<UsbDeviceInterface>* out, int* errorCode) override {
        out->clear();
        udev_enumerate* e = udev_ ? udev_enumerate_new(udev_) : nullptr;
        if (!e || udev_enumerate_add_match_subsystem(e, "usb") < 0 ||
            udev_enumerate_add_match_property(e, "DEVTYPE", "usb_device") < 0 ||
            udev_enumerate_scan_devices(e) < 0) {
            *errorCode = errno;
            if (e) {
                udev_enumerate_unref(e);
            }
            return false;
        }
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
            UsbDeviceInterface record;
            udev_device* device = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
            if (!device) {
                record.detailFailed = true;
                out->append(record);
                continue;
            }
            const char* node = udev_device_get_devnode(device);
            record.path = text(node ? node : udev_device_get_syspath(device));
            record.vendorId = text(udev_device_get_sysattr_value(device, "idVendor"));
            record.productId = text(udev_device_get_sysattr_value(device, "idProduct"));
            udev_device_unref(device);
            out->append(record);
        }
        udev_enumerate_unref(e);
        return true;
    }

    bool presentDevices(QList<SetupDevice>* out) override {
        out->clear();
        udev_enumerate* e = udev_ ? udev_enumerate_new(udev_) : nullptr;
        if (!e || udev_enumerate_add_match_subsystem(e, "input") < 0 || udev_enumerate_scan_devices(e) < 0) {
            if (e) {
                udev_enumerate_unref(e);
            }
            return false;
        }
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
            udev_device* device = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
            if (!device) {
                continue;
            }
            // The "inputN" device itself, not its event and mouse nodes.
            const QString sysname = text(udev_device_get_sysname(device));
            const bool keyboard = propertyIsOne(device, "ID_INPUT_KEYBOARD");
            const bool mouse = propertyIsOne(device, "ID_INPUT_MOUSE");
            SetupDevice record;
            if (sysname.startsWith(QLatin1String("input")) && (keyboard || mouse) &&
                describeInputDevice(device, keyboard, &record)) {
                record.setupClass = keyboard ? SetupClass::Keyboard : SetupClass::Mouse;
                out->append(record);
            } else if (sysname.startsWith(QLatin1String("input"))) {
                SetupDevice other;
                other.instanceId = QStringLiteral("INPUT\\") + sysname;
                out->append(other);
            }
            udev_device_unref(device);
        }
        udev_enumerate_unref(e);
        return true;
    }

    bool startMonitor() override {
        if (monitor_) {
            return true;
        }
        if (!udev_) {
            return false;
        }
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (!monitor_ || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", "usb_device") < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            if (monitor_) {
                udev_monitor_unref(monitor_);
                monitor_ = nullptr;
            }
            return false;
        }
        notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { receive(); });
        return true;
    }

private:
    void receive() {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (!device) {
            return;
        }
        const QString action = text(udev_device_get_action(device));
        udev_device_unref(device);
        if (action == QLatin1String("add")) {
            emit usbEvent(static_cast<int>(UsbEventKind::Arrival), true);
        } else if (action == QLatin1String("remove")) {
            emit usbEvent(static_cast<int>(UsbEventKind::RemoveComplete), true);
        }
    }

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace

std::unique_ptr<UsbSystem> createUsbSystem() {
    return std::make_unique<UdevUsbSystem>();
}

}  // namespace kf::platform
