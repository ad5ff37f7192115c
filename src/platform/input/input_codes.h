#pragma once
// Translations between the key numberings the input stand-ins meet: Linux input event codes
// (evdev), keyboard scan codes (set 1 make codes with their E0/E1 prefixes, as the interception
// driver reports them) and USB HID keyboard usages (what the virtual device's reports carry).
// Pure tables; no device is touched.
#include <QVector>
#include <QtGlobal>

namespace kf::platform {

// A key as the interception driver reports it: set 1 make code plus the prefix flags
// (kKeyE0, kKeyE1 of interception_records.h).
struct ScanKey {
    quint16 code = 0;
    quint16 prefix = 0;
};

// Keys without a scan code travel with code 0 and this tag plus the event code in the stroke's
// extra information, so that a grabbed device's unusual keys are still sent on unchanged.
constexpr quint32 kRawKeyTag = 0x80000000u;

// The scan key of an evdev key code; false when it has none.
bool scanKeyForEvdev(int evdevCode, ScanKey* out);
// The evdev key code of a scan key (prefix bits beyond E0/E1 ignored); 0 when none.
int evdevForScanKey(quint16 code, quint16 prefix);

// The evdev key code of a HID keyboard usage (modifier usages 0xE0–0xE7 included); 0 when none.
int evdevForHidUsage(quint8 usage);
// Every evdev key code some HID usage maps to (what a virtual keyboard must be able to send).
QVector<int> evdevKeysForHidUsages();

}  // namespace kf::platform
