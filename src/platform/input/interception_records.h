#pragma once
// The records that cross the interception driver's read and write calls: 12 bytes per keyboard
// stroke and 24 per mouse stroke, little-endian, fields in the driver's order. Both the client
// API (src/input/interception) and the driver backends build and read them here.
#include <QtGlobal>

namespace kf::platform {

constexpr int kKeyboardRecordSize = 12;
constexpr int kMouseRecordSize = 24;
// Device numbers 1–10 are keyboards, 11–20 mice.
constexpr int kInterceptionDeviceCount = 20;
constexpr int kInterceptionKeyboards = 10;

inline bool isKeyboardDevice(int device) {
    return device >= 1 && device <= kInterceptionKeyboards;
}
inline bool isMouseDevice(int device) {
    return device > kInterceptionKeyboards && device <= kInterceptionDeviceCount;
}
inline int recordSizeFor(int device) {
    return isKeyboardDevice(device) ? kKeyboardRecordSize : isMouseDevice(device) ? kMouseRecordSize : 0;
}

// Keyboard input record: unit id, make code, flags, reserved, extra information.
struct KeyboardInputRecord {
    quint16 unitId = 0;
    quint16 makeCode = 0;
    quint16 flags = 0;  // 0x01 key up, 0x02 E0 prefix, 0x04 E1 prefix
    quint16 reserved = 0;
    quint32 extraInformation = 0;
};

// Mouse input record: unit id, flags, button flags, button data, raw buttons, last x, last y,
// extra information.
struct MouseInputRecord {
    quint16 unitId = 0;
    quint16 flags = 0;        // 0 relative motion, 1 absolute
    quint16 buttonFlags = 0;  // transitions: 0x001 left down, 0x002 left up, ... 0x400 wheel
    quint16 buttonData = 0;   // wheel delta (signed, 120 per notch)
    quint32 rawButtons = 0;
    qint32 lastX = 0;
    qint32 lastY = 0;
    quint32 extraInformation = 0;
};

// Mouse button transition flags.
enum MouseButtonFlag : quint16 {
    kLeftDown = 0x001,
    kLeftUp = 0x002,
    kRightDown = 0x004,
    kRightUp = 0x008,
    kMiddleDown = 0x010,
    kMiddleUp = 0x020,
    kButton4Down = 0x040,
    kButton4Up = 0x080,
    kButton5Down = 0x100,
    kButton5Up = 0x200,
    kWheel = 0x400,
    kHorizontalWheel = 0x800,
};

// Keyboard state flags.
enum KeyStateFlag : quint16 { kKeyUp = 0x01, kKeyE0 = 0x02, kKeyE1 = 0x04 };

void writeRecord(const KeyboardInputRecord& record, quint8* out);
void writeRecord(const MouseInputRecord& record, quint8* out);
KeyboardInputRecord readKeyboardRecord(const quint8* in);
MouseInputRecord readMouseRecord(const quint8* in);

}  // namespace kf::platform
