#pragma once
// The emulator's state folder (kf::usb::simStateFolder()):
//
//   attached/<id>      one empty file per plugged device
//   state/<id>.json    what the device holds: parameter slots, properties, the last colour
//                      frame, firmware version, serial number, boot-loader mode, counters
//   state/<id>.rom     the firmware image written through the boot loader
//   journal.jsonl      one JSON object per library call
//   catalog.json       the device list the library last used (read by kestrafon-sim)
//
// Every change is written at once (to a temporary file renamed over the old one), so the state
// survives the process and another process (kestrafon-sim) sees it. The class holds no cache: a
// tool run and the client may change the folder between two calls.
#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include "sim_catalog.h"

namespace kf::usbsim {

struct DeviceState {
    QByteArray firmware;  // version text reported in the device table (at most 17 bytes)
    QByteArray serial;    // serial number reported in the device table (at most 14 bytes)
    bool bootLoader = false;
    int restarts = 0;
    int firmwareUpdates = 0;
    QMap<int, QByteArray> parameterSlots;  // parameter index -> the bytes last written there
    QMap<int, QByteArray> properties;      // property index -> the bytes last written there
    QByteArray colourFrame;                // the last frame sent, empty before the first
    // The boot loader's image: erased, then written, checked and finished; a restart (Reset
    // mode 2) runs a finished image, keeps an erased unfinished one in the boot loader, and
    // returns to the old firmware when nothing was erased.
    bool romErased = false;
    int romCheck = -1;  // -1 not checked since the last erase or write, 0 failed, 1 passed
    bool romFinished = false;

    QJsonObject toJson() const;
    static DeviceState fromJson(const QJsonObject& o, const SimDevice& device);
};

class SimState {
public:
    explicit SimState(const QString& folder);

    QString folder() const { return folder_; }

    // Makes the folder and, when "attached/" does not exist yet, plugs the catalog's devices
    // that are marked attached. Returns false when the folder cannot be made.
    bool ensureInitialized(const SimCatalog& catalog);
    // Writes catalog.json when its content differs.
    void recordCatalog(const SimCatalog& catalog);

    bool isAttached(const QString& id) const;
    bool setAttached(const QString& id, bool attached);
    QStringList attachedIds() const;

    // The device's state; a device without a state file starts from its catalog entry.
    DeviceState load(const SimDevice& device) const;
    bool save(const QString& id, const DeviceState& state);

    QByteArray rom(const QString& id) const;
    bool saveRom(const QString& id, const QByteArray& image);

    // Appends one line to journal.jsonl ("time" is added).
    bool appendJournal(QJsonObject entry);
    QString journalPath() const { return folder_ + QStringLiteral("/journal.jsonl"); }

    // Removes the state, the ROM images and the journal, and plugs the catalog's devices marked
    // attached (unplugging the others).
    bool reset(const SimCatalog& catalog);

private:
    QString statePath(const QString& id, const char* suffix) const;

    QString folder_;
};

// Writes `bytes` to `path` through a temporary file in the same folder and a rename.
bool writeFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace kf::usbsim
