#include "sim_table.h"

#include <cstring>

#include "device/usb_interface_api.h"

namespace kf::usbsim {

namespace {

void putBytes(unsigned char* entry, int offset, int fieldBytes, const QByteArray& value) {
    std::memcpy(entry + offset, value.constData(), size_t(qMin(int(value.size()), fieldBytes)));
}

void putU32(unsigned char* entry, int offset, quint32 value) {
    for (int i = 0; i < 4; ++i) {
        entry[offset + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
    }
}

// At most kWideTextUnits - 1 code units, then the NUL (the field is already zero).
void putWide(unsigned char* entry, int offset, const QString& text) {
    const int units = qMin(int(text.size()), kf::usb::kWideTextUnits - 1);
    for (int i = 0; i < units; ++i) {
        const ushort u = text.at(i).unicode();
        entry[offset + 2 * i] = static_cast<unsigned char>(u & 0xFF);
        entry[offset + 2 * i + 1] = static_cast<unsigned char>(u >> 8);
    }
}

}  // namespace

QVector<QPair<quint16, quint16>> usageFilterPairs(const quint16* filter) {
    QVector<QPair<quint16, quint16>> pairs;
    if (!filter) {
        return pairs;
    }
    for (int i = 0; i < kf::usb::kUsageFilterPairs; ++i) {
        const quint16 usage = filter[2 * i];
        const quint16 page = filter[2 * i + 1];
        if (usage == 0 && page == 0) {
            break;
        }
        pairs.append({usage, page});
    }
    return pairs;
}

bool collectionMatches(const SimCollection& collection, const QVector<QPair<quint16, quint16>>& filter) {
    for (const auto& pair : filter) {
        if (pair.first == collection.usage && pair.second == collection.usagePage) {
            return true;
        }
    }
    return false;
}

void writeDeviceTable(unsigned char* table, const QVector<TableEntry>& entries, int count) {
    std::memset(table, 0, kf::usb::kTableBytes);
    const int clamped = qBound(0, count, 0xFFFF);
    table[0] = static_cast<unsigned char>(clamped & 0xFF);
    table[1] = static_cast<unsigned char>(clamped >> 8);
    const int n = qMin(int(entries.size()), kf::usb::kMaxTableEntries);
    for (int i = 0; i < n; ++i) {
        const TableEntry& e = entries.at(i);
        unsigned char* entry = table + kf::usb::kEntriesOffset + i * kf::usb::kEntryBytes;
        putBytes(entry, kf::usb::kIdentifierOffset, kf::usb::kIdentifierBytes, e.device->identifier);
        putBytes(entry, kf::usb::kVersionOffset, kf::usb::kVersionBytes, e.firmware);
        putBytes(entry, kf::usb::kSerialOffset, kf::usb::kSerialBytes, e.serial);
        putBytes(entry, kf::usb::kTwoCharsOffset, kf::usb::kTwoCharsBytes, e.device->extra);
        putU32(entry, kf::usb::kVendorIdOffset, e.device->vendorId);
        putU32(entry, kf::usb::kProductIdOffset, e.device->productId);
        putWide(entry, kf::usb::kPathOffset, e.collection->path);
        putWide(entry, kf::usb::kSecondTextOffset, e.device->name);
    }
}

}  // namespace kf::usbsim
