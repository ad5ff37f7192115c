#pragma once
// The start-up scans over the system's devices: the interface path of a USB device named by its
// vendor and product ids, and the list of present keyboards and mice. Pure functions over the
// records of the platform's USB system; the diagnostics of a failed lookup go to `print`
// (standard output in the client).
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/usb/usb_system.h"

namespace kf::device {

using DiagnosticPrinter = std::function<void(const QString&)>;

// Writes the text to standard output as it is.
void printToStdout(const QString& text);

// The path of the first USB device whose vendor and product texts, upper-cased and joined, equal
// `identifier` exactly (for example "258A001A"). The ids come from the record, or, when it has
// none, from the first "vid_XXXX&pid_XXXX" (up to four letters or digits each, lower-case
// "vid_"/"pid_") in its path. Empty when nothing matches ("Failure: Could not find our HID device
// \n" is printed) or the set could not be opened ("SetupDiGetClassDevs failed: %x\n" with the
// error code); a record whose details could not be read prints "Error: SetupDiGetInterfaceDevice
// Detail failed\n" and is skipped.
QString findUsbInterfacePath(kf::platform::UsbSystem* usb, const QString& identifier,
                             const DiagnosticPrinter& print = printToStdout);

// A present keyboard or mouse.
struct KeyboardMouseRecord {
    QString path;        // the USB interface path, or the hardware id of an ACPI (PS/2) device
    QString hardwareId;  // upper case
    QString product;     // "001A", or "0F0E" / "0303" for ACPI devices
    QString vendor;      // "258A", or "ACPI"
    QString kind;        // "mouse" or "keyboard"

    bool operator==(const KeyboardMouseRecord& o) const {
        return path == o.path && hardwareId == o.hardwareId && product == o.product && vendor == o.vendor &&
               kind == o.kind;
    }
};

struct KeyboardMouseScan {
    QList<KeyboardMouseRecord> records;
    QStringList identifiers;  // in parallel: vendor + product, or "*PNP0F0E" / "*PNP0303"
};

// Present keyboards and mice, each once: USB devices by vendor and product (only interface 0
// counts, so a composite device appears once) that have an interface path, and ACPI (PS/2)
// devices. `interfacePath` looks up the path of an identifier (findUsbInterfacePath in the
// client). A device without an instance id ends the scan.
KeyboardMouseScan scanKeyboardsAndMice(const QList<kf::platform::SetupDevice>& devices,
                                       const std::function<QString(const QString&)>& interfacePath);

}  // namespace kf::device
