#pragma once
// Reading the vendor device table (layout in usb_interface_api.h) and turning its entries into
// the device objects that the page configures.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include "device/device_api.h"

namespace kf::device {

// One entry of the table, its texts decoded. Single-byte fields are read as UTF-8 up to their
// first NUL or the end of the field; the UTF-16 texts up to their first NUL or the end of their
// 510 bytes.
struct DeviceTableEntry {
    QByteArray identifier;  // 40-byte device identifier
    QByteArray version;     // 17-byte firmware version field
    QByteArray serial;      // 14-byte serial number
    QByteArray twoChars;    // 2-byte field
    quint32 vendorId = 0;
    quint32 productId = 0;
    QString path;        // device path
    QString secondText;  // second UTF-16 text
};

// The entries of a table block. The count field is trusted only as far as the block goes: never
// more than 20 entries, and never an entry that does not lie wholly inside `size` bytes (a
// short or null block gives fewer entries or none).
QVector<DeviceTableEntry> parseDeviceTable(const unsigned char* block, qsizetype size);
QVector<DeviceTableEntry> parseDeviceTable(const QByteArray& block);

// The device object of an entry: "DevicePath", "Sn", "Version" (the first 14 bytes of the
// version field), "LastVersionNum" (its bytes 15 and 16) and "QZVersion" (its first 3 bytes).
QJsonObject deviceObject(const DeviceTableEntry& entry);

// True for the entries the client configures: the device path contains "col02" (the device's
// second top-level collection).
bool isConfigurableEntry(const DeviceTableEntry& entry);

// The device map of a table: the configurable entries keyed by their "Version" text, a later
// entry replacing an earlier one with the same key.
DeviceMap deviceMapFromTable(const QVector<DeviceTableEntry>& entries);

// "258A0012": vendor and product id in upper-case hexadecimal, four digits each at least.
QString vendorProductIdentifier(quint32 vendorId, quint32 productId);

}  // namespace kf::device
