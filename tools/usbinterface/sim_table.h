#pragma once
// Writing the device table that dcDevices returns (layout in src/device/usb_interface_api.h).
#include <QJsonArray>
#include <QStringList>
#include <QVector>

#include "sim_catalog.h"

namespace kf::usbsim {

// One reported collection of a device.
struct TableEntry {
    const SimDevice* device = nullptr;
    const SimCollection* collection = nullptr;
    QByteArray firmware;  // the device's current version text
    QByteArray serial;    // the device's current serial number
};

// The usage filter as a list of (usage, usage page) pairs: pairs up to the first zero pair, at
// most kUsageFilterPairs. A null filter asks for nothing.
QVector<QPair<quint16, quint16>> usageFilterPairs(const quint16* filter);

// True when the collection's (usage, usage page) is one of the filter's pairs.
bool collectionMatches(const SimCollection& collection, const QVector<QPair<quint16, quint16>>& filter);

// Writes the count and the first 20 entries into `table` (kTableBytes, which this clears first).
// `count` is the number written into the count field (clamped to 0..65535).
void writeDeviceTable(unsigned char* table, const QVector<TableEntry>& entries, int count);

}  // namespace kf::usbsim
