#include "device/usb_scan.h"

#include <QRegularExpression>

#include <cstdio>

namespace kf::device {

using kf::platform::SetupClass;
using kf::platform::SetupDevice;
using kf::platform::UsbDeviceInterface;

void printToStdout(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

namespace {

// Vendor and product of a record, upper-cased and joined; empty when neither is known.
QString candidateIdentifier(const UsbDeviceInterface& record) {
    if (!record.vendorId.isEmpty() || !record.productId.isEmpty()) {
        return record.vendorId.toUpper() + record.productId.toUpper();
    }
    static const QRegularExpression ids(QStringLiteral("vid_([a-zA-Z0-9]{0,4})&pid_([a-zA-Z0-9]{0,4})"));
    const QRegularExpressionMatch m = ids.match(record.path);
    return m.hasMatch() ? m.captured(1).toUpper() + m.captured(2).toUpper() : QString();
}

}  // namespace

QString findUsbInterfacePath(kf::platform::UsbSystem* usb, const QString& identifier,
                             const DiagnosticPrinter& print) {
    QList<UsbDeviceInterface> records;
    int error = 0;
    if (!usb || !usb->usbDeviceInterfaces(&records, &error)) {
        print(QStringLiteral("SetupDiGetClassDevs failed: %1\n").arg(uint(error), 0, 16));
        return QString();
    }
    for (const UsbDeviceInterface& record : qAsConst(records)) {
        if (record.detailFailed) {
            print(QStringLiteral("Error: SetupDiGetInterfaceDeviceDetail failed\n"));
            continue;
        }
        const QString candidate = candidateIdentifier(record);
        if (!candidate.isEmpty() && candidate == identifier) {
            return record.path;
        }
    }
    print(QStringLiteral("Failure: Could not find our HID device \n"));
    return QString();
}

KeyboardMouseScan scanKeyboardsAndMice(const QList<SetupDevice>& devices,
                                       const std::function<QString(const QString&)>& interfacePath) {
    static const QRegularExpression vidPattern(QStringLiteral("VID_\\w+"));
    static const QRegularExpression pidPattern(QStringLiteral("PID_\\w+"));
    static const QRegularExpression miPattern(QStringLiteral("MI_\\w{1,2}"));
    static const QString acpi = QStringLiteral("ACPI\\PNP");

    KeyboardMouseScan scan;
    QString seen;  // identifiers seen so far, each followed by ";"
    for (const SetupDevice& device : devices) {
        if (device.instanceId.isEmpty()) {
            break;  // the instance id could not be read: the scan ends here
        }
        const QString instanceId = device.instanceId.toUpper();
        const QRegularExpressionMatch vid = vidPattern.match(instanceId);
        const QRegularExpressionMatch pid = pidPattern.match(instanceId);
        const QRegularExpressionMatch mi = miPattern.match(instanceId);
        if (device.setupClass != SetupClass::Mouse && device.setupClass != SetupClass::Keyboard) {
            continue;
        }
        const bool isAcpi = device.hardwareId.contains(acpi, Qt::CaseInsensitive);
        const bool isUsb = vid.hasMatch() && pid.hasMatch();
        if (!isUsb && !isAcpi) {
            continue;
        }
        const bool mouse = device.setupClass == SetupClass::Mouse;
        QString vendor;
        QString product;
        QString identifier;
        if (isUsb) {
            vendor = vid.captured(0).mid(4).toUpper();
            product = pid.captured(0).mid(4).toUpper();
            identifier = (vendor + product).toUpper();
        } else {
            vendor = QStringLiteral("ACPI");
            product = mouse ? QStringLiteral("0F0E") : QStringLiteral("0303");
            identifier = mouse ? QStringLiteral("*PNP0F0E") : QStringLiteral("*PNP0303");
        }
        const int interfaceNumber = mi.hasMatch() ? mi.captured(0).mid(3).toInt() : 0;
        if (interfaceNumber != 0) {
            continue;  // a composite device counts once, by its first interface
        }
        if (seen.contains(identifier) || seen.contains(instanceId)) {
            continue;
        }
        const QString usbPath = interfacePath ? interfacePath(identifier) : QString();
        if (!usbPath.isEmpty() || isAcpi) {
            KeyboardMouseRecord record;
            record.path = isAcpi ? device.hardwareId : usbPath;
            record.hardwareId = device.hardwareId.toUpper();
            record.product = product;
            record.vendor = vendor;
            record.kind = mouse ? QStringLiteral("mouse") : QStringLiteral("keyboard");
            scan.records.append(record);
            scan.identifiers.append(identifier);
        }
        seen += identifier + QLatin1Char(';');
    }
    return scan;
}

}  // namespace kf::device
