#pragma once
// Device discovery and the device data requests over the vendor library: the device list that
// "GetDevicesList" answers with, and the four writes a request can make (a parameter slot, a
// device property, a colour frame, a restart). Every request names its device by its "Version"
// text, looked up in the device map of the last list build.
#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include "device/device_api.h"
#include "device/device_table.h"
#include "device/devices_handler.h"

class DeviceFunctions : public devices_handler, public kf::device::DeviceListSource {
    Q_OBJECT
public:
    explicit DeviceFunctions(QObject* parent = nullptr);

    // Clears the process-wide device map, fills it from one enumeration (entries whose path
    // contains "col02", keyed by "Version", a later entry winning) and returns a copy.
    kf::device::DeviceMap buildDeviceList() override;
    bool libraryLoaded() const override { return devices_handler::libraryLoaded(); }

    // The process-wide device map as the last build left it (empty before the first).
    static kf::device::DeviceMap deviceMap();
    // The device object stored under `version`, or an empty object.
    static QJsonObject deviceFor(const QString& version);
    // Empties the map (tests start from "no list yet").
    static void clearDeviceMap();

    // Writes the code string `code` (byte tokens joined by ",", each hexadecimal with or
    // without "0x"; an empty or unreadable token is 0; a token keeps its low 8 bits) into
    // parameter slot `index` (decimal 0..255). Fails without a library call when the device is
    // unknown, the index is not a byte, `size` (decimal) differs from the token count or
    // exceeds the 2048-byte buffer.
    bool writeParameter(const QString& version, const QString& index, const QString& code,
                        const QString& size);

    // Writes the UTF-8 bytes of `payload` as device property `index` (decimal 0..255), with the
    // byte count as length and the tag 0x1016. Fails without a library call when the device is
    // unknown, the index is not a byte or the payload exceeds 2048 bytes.
    bool writeDeviceProperty(const QString& version, const QString& index, const QString& payload);

    // Sends the 1024-byte colour frame. Fails when the device is unknown or the frame is not
    // 1024 bytes.
    bool sendColourFrame(const QString& version, const QByteArray& frame);

    // Restarts the device (Reset mode 2).
    bool restartDevice(const QString& version);

    // The bytes a code string stands for, as writeParameter reads it (no size check).
    static QByteArray codeStringBytes(const QString& code);

private:
    // The device path of `version` as UTF-16, or empty when the device is unknown.
    static QString devicePath(const QString& version);
};
