#include "device/device_table.h"

#include <QRegularExpression>

#include <cstring>

#include "device/usb_interface_api.h"

namespace kf::device {

namespace {

QByteArray narrowField(const unsigned char* entry, int offset, int bytes) {
    const char* start = reinterpret_cast<const char*>(entry + offset);
    const void* nul = std::memchr(start, 0, size_t(bytes));
    const int length = nul ? int(static_cast<const char*>(nul) - start) : bytes;
    return QByteArray(start, length);
}

QString wideField(const unsigned char* entry, int offset) {
    QString text;
    text.reserve(64);
    for (int i = 0; i < kf::usb::kWideTextUnits; ++i) {
        const ushort unit = ushort(entry[offset + 2 * i] | (entry[offset + 2 * i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.append(QChar(unit));
    }
    return text;
}

quint32 u32Field(const unsigned char* entry, int offset) {
    return quint32(entry[offset]) | (quint32(entry[offset + 1]) << 8) | (quint32(entry[offset + 2]) << 16) |
           (quint32(entry[offset + 3]) << 24);
}

// Part of the version field as text: the field is read as UTF-8 up to its first NUL, then the
// given byte range of it is taken (empty when the text is shorter).
QString versionPart(const QByteArray& version, int from, int length) {
    return QString::fromUtf8(version.mid(from, length));
}

}  // namespace

QVector<DeviceTableEntry> parseDeviceTable(const unsigned char* block, qsizetype size) {
    QVector<DeviceTableEntry> entries;
    if (!block || size < kf::usb::kEntriesOffset) {
        return entries;
    }
    const int count = block[0] | (block[1] << 8);
    const qsizetype fitting = (size - kf::usb::kEntriesOffset) / kf::usb::kEntryBytes;
    const int n = int(qMin<qsizetype>(qMin(count, kf::usb::kMaxTableEntries), fitting));
    entries.reserve(n);
    for (int i = 0; i < n; ++i) {
        const unsigned char* e = block + kf::usb::kEntriesOffset + qsizetype(i) * kf::usb::kEntryBytes;
        DeviceTableEntry entry;
        entry.identifier = narrowField(e, kf::usb::kIdentifierOffset, kf::usb::kIdentifierBytes);
        entry.version = narrowField(e, kf::usb::kVersionOffset, kf::usb::kVersionBytes);
        entry.serial = narrowField(e, kf::usb::kSerialOffset, kf::usb::kSerialBytes);
        entry.twoChars = narrowField(e, kf::usb::kTwoCharsOffset, kf::usb::kTwoCharsBytes);
        entry.vendorId = u32Field(e, kf::usb::kVendorIdOffset);
        entry.productId = u32Field(e, kf::usb::kProductIdOffset);
        entry.path = wideField(e, kf::usb::kPathOffset);
        entry.secondText = wideField(e, kf::usb::kSecondTextOffset);
        entries.append(entry);
    }
    return entries;
}

QVector<DeviceTableEntry> parseDeviceTable(const QByteArray& block) {
    return parseDeviceTable(reinterpret_cast<const unsigned char*>(block.constData()), block.size());
}

QJsonObject deviceObject(const DeviceTableEntry& entry) {
    QJsonObject o;
    o.insert(QStringLiteral("DevicePath"), entry.path);
    o.insert(QStringLiteral("Sn"), QString::fromUtf8(entry.serial));
    o.insert(QStringLiteral("Version"), versionPart(entry.version, 0, 14));
    o.insert(QStringLiteral("LastVersionNum"), versionPart(entry.version, 15, 2));
    o.insert(QStringLiteral("QZVersion"), versionPart(entry.version, 0, 3));
    return o;
}

bool isConfigurableEntry(const DeviceTableEntry& entry) {
    static const QRegularExpression col02(QStringLiteral("col02"));
    return col02.match(entry.path).hasMatch();
}

DeviceMap deviceMapFromTable(const QVector<DeviceTableEntry>& entries) {
    DeviceMap map;
    for (const DeviceTableEntry& entry : entries) {
        if (isConfigurableEntry(entry)) {
            const QJsonObject object = deviceObject(entry);
            map.insert(object.value(QStringLiteral("Version")).toString(), object);
        }
    }
    return map;
}

QString vendorProductIdentifier(quint32 vendorId, quint32 productId) {
    return QStringLiteral("%1%2")
        .arg(vendorId, 4, 16, QLatin1Char('0'))
        .arg(productId, 4, 16, QLatin1Char('0'))
        .toUpper();
}

}  // namespace kf::device
