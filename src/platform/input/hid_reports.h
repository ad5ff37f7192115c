#pragma once
// Reading the virtual device's 65-byte output reports: byte 0 the control report id 0x40, byte 1
// the inner length, byte 2 the inner report id (0x07 keyboard: modifiers, reserved, six
// usages; 0x04 relative mouse: buttons, dx, dy, wheel). Each report states the whole current
// state, so a backend turns it into presses and releases by comparing with the last one.
#include <QVector>
#include <QtGlobal>

namespace kf::platform {

constexpr int kHidReportSize = 65;
constexpr quint8 kControlReportId = 0x40;
constexpr quint8 kKeyboardReportId = 0x07;
constexpr quint8 kMouseReportId = 0x04;

struct KeyboardState {
    quint8 modifiers = 0;
    quint8 keys[6] = {};
};

struct MouseState {
    quint8 buttons = 0;  // bit 0 left, 1 right, 2 middle, 3 button 4, 4 button 5
    qint8 dx = 0;
    qint8 dy = 0;
    qint8 wheel = 0;
};

enum class ReportKind { Invalid, Keyboard, Mouse };

ReportKind readReport(const quint8* report, int size, KeyboardState* keyboard, MouseState* mouse);

// The HID usages held in a keyboard state: modifier bit i as usage 0xE0 + i, then the keys.
QVector<quint8> heldUsages(const KeyboardState& state);

}  // namespace kf::platform

namespace kf::platform {

// What a report changes, as a backend acts on it.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual void key(quint8 usage, bool down) = 0;
    virtual void button(int index, bool down) = 0;  // 0 left, 1 right, 2 middle, 3 button 4, 4 button 5
    virtual void motion(int dx, int dy) = 0;
    virtual void wheel(int steps) = 0;
};

// Releases first, then presses (modifiers before keys), so a chord arrives in order.
void applyKeyboard(const KeyboardState& before, const KeyboardState& now, ReportSink& sink);
// Button changes, then the motion and the wheel of this report.
void applyMouse(const MouseState& before, const MouseState& now, ReportSink& sink);

}  // namespace kf::platform
