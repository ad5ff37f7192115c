#pragma once
// The devices the emulator knows: read from the JSON file named by KESTRAFON_DEVICES, else the
// built-in demo mouse and keyboard. Each device reports one device-table entry per HID
// collection that the caller's usage filter asks for; the second collection's path contains
// "col02", which is the one the client configures.
#include <QByteArray>
#include <QSet>
#include <QString>
#include <QVector>
#include <QtGlobal>

namespace kf::usbsim {

struct SimCollection {
    QString path;  // UTF-16 in the table: at most 254 code units
    quint16 usage = 0;
    quint16 usagePage = 0;
};

struct SimDevice {
    QString id;    // names the device in the state folder and for kestrafon-sim
    QString name;  // the table's second UTF-16 text
    quint32 vendorId = 0x258a;
    quint32 productId = 0;
    QByteArray identifier;  // 40-byte field
    QByteArray firmware;    // 17-byte field: the initial firmware version text
    QByteArray serial;      // 14-byte field: the initial serial number
    QByteArray extra;       // 2-byte field
    bool attached = true;   // plugged when the state folder is first made
    QVector<SimCollection> collections;
    // Fault injection: parameter and property writes to these indices fail; failAllWrites makes
    // every parameter, property and colour write fail; failReset makes Reset fail.
    QSet<int> failIndices;
    bool failAllWrites = false;
    bool failReset = false;

    bool writeFails(int index) const { return failAllWrites || failIndices.contains(index); }
};

struct SimCatalog {
    QVector<SimDevice> devices;
    // The count written into the device table; -1 writes the real number of entries. A crafted
    // catalog can claim more than 20 to check that readers stop at the table's end.
    int tableCount = -1;

    const SimDevice* find(const QString& id) const;
    // The device one of whose collection paths equals `path`, or null.
    const SimDevice* findByPath(const QString& path) const;
};

// The built-in demo devices: a mouse (firmware "QZK-ZMC-V1.1.0_01", the "MA1" profile) and a
// keyboard (firmware "QZK-ZKC-V1.1.0_01", the "KB1" profile), both vendor 0x258a product 0x001a.
SimCatalog demoCatalog();

// Parses a device file. Returns false with a reason in `error` when the file is not a JSON object
// with a "devices" array, or a device is malformed (missing or invalid id, duplicate id, a
// collection path that is empty or too long, a field longer than its table field). See the
// README's "Devices" section for the format.
bool parseCatalog(const QByteArray& json, SimCatalog* catalog, QString* error);

// The device file as JSON (the same format parseCatalog reads).
QByteArray catalogJson(const SimCatalog& catalog);

// The default collections of a device: col01 its own class (mouse 2 or keyboard 6, page 1),
// col02 (1, 0xFFA0) and col03 (1, 0xFFAA).
QVector<SimCollection> defaultCollections(const QString& id, quint32 vendorId, quint32 productId,
                                          bool keyboard);

// The catalog in use: the file named by KESTRAFON_DEVICES when set; else, for the tool, the copy
// the library last wrote into the state folder ("catalog.json", when `useStateCopy`); else the
// demo devices. A file that cannot be read or parsed gives an empty catalog and the reason.
SimCatalog loadCatalog(const QString& stateFolder, bool useStateCopy, QString* error);

}  // namespace kf::usbsim
