#pragma once
// Device macros: the page's macro text (name(argument) groups written back to back, such as
// 键盘按下(A)延迟(100)键盘弹起(A)) is read into a step list, and the step list is written as
// the device's three-byte step codes.
#include <QPair>
#include <QString>
#include <QVector>

namespace kf::encoding {

class DriverTable;

// One macro step: (action, argument). Actions: "keyDown", "keyUp", "mDown", "mUp", "WheelUp",
// "WheelDown", "AbsoluteXY", "RelativeXY", "SpearXY", "SpearLB", "SpearRT", "delay". The argument
// is the key or button byte code for key and button actions, the decimal milliseconds for
// "delay", "x,y" or "dx,dy" for the coordinate actions and ignored for the wheel.
using MacroStep = QPair<QString, QString>;
using MacroStepList = QVector<MacroStep>;

// The encoder stops after the step that brings the body to this many bytes or more; a step is
// at most 6 bytes, so a body never exceeds kMacroSlotBytes, the size of a device macro slot.
constexpr int kMacroStepCutBytes = 195;
constexpr int kMacroSlotBytes = 200;

// Reads the page's macro text into steps. Pieces without "(" or starting with it are skipped;
// step names are matched exactly; arguments are trimmed and upper-cased ("CTRL", "SHIFT", "ALT"
// and "WIN" become "LEFT CTRL" ...). Key and button arguments are resolved to their driver
// code: the upper-cased argument first and, when the table has no such task, the argument as
// written (so keys whose tasks are mixed case, such as "Tab" or "Esc", are not lost). A step
// whose name is unknown, whose argument is empty or whose key has no one-byte code is dropped.
MacroStepList parseMacroSteps(const DriverTable& table, const QString& command);

// The step bytes of `steps`, each step followed by "," (see the step code table in the
// encoder's source). Numbers are clamped to what their fields can hold: delays and absolute
// coordinates to 0..65535, relative moves to -32768..32767; malformed numbers are 0. Key and
// button steps whose argument is not one byte token are skipped.
QString encodeMacroSteps(const MacroStepList& steps);

}  // namespace kf::encoding
