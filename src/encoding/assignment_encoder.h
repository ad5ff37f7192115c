#pragma once
// Turns what the page assigns to a device button (type and command) into the device code
// string: mouse functions, key chords, macros, multimedia codes and DPI settings.
#include <QString>
#include <QStringList>

namespace kf::encoding {

class DriverTable;

// The four-byte hotkey code "0x02,a,b,c" from the key codes of a chord in order: a single code
// gets "0x00" in front of it, the list is padded with "0x00" to three and only the first three
// are used. {"1", "06"} (Ctrl+C) gives "0x02,1,06,0x00"; {} gives "0x02,0x00,0x00,0x00".
QString hotkeyCode(const QStringList& codes);

// The code of a "+"-joined key chord ("Ctrl+C"). Each part is looked up exactly as sent and,
// when the table has no such task, upper-cased: the table's tasks for Enter, Space and
// Backspace are upper case while most others are mixed case, and a plain lookup would drop the
// key of "Shift+Enter" and move the modifier into its place. Parts found in neither form are
// dropped and the later codes move up.
QString chordCode(const DriverTable& table, const QString& chord);

// The eight-byte DPI code from "m|x|y" (empty fields dropped): m as written, then X = x / 50 and
// Y = (m == 1 ? x : y) / 50, each as low then high byte, then three 0x00. Returns false when
// there are fewer than three fields (the write then fails instead of clearing the slot), when m
// is not a byte, or when X or Y is negative or above 0xFFF (beyond any device's DPI range).
bool dpiCode(const QString& command, QString* code);

// The code for one assignment. `type` is compared upper-cased:
//   "MOUSE", "MACROFUN"  the driver code of `command` (a function task such as "单击左键()");
//   "HOTKEY", "KEYBOARD" the hotkey code of the chord `command`;
//   "MACRO"              the macro step bytes of `command` (without the macro block header);
//   "MULTIMEDIA"         `command` itself, a ready code string;
//   "DPI"                the DPI code of `command`;
//   anything else        an empty code.
// The result has its empty tokens dropped (no trailing ","). An empty result with *ok true means "nothing to
// assign": the slot is cleared. *ok is false when the assignment cannot be written: a DPI command that
// dpiCode() refuses, or a code with a token that is not a byte (a malformed multimedia code from the page, or
// a driver row that documents a code shape with "{0}" placeholders). The result is then empty.
QString encodeAssignment(const DriverTable& table, const QString& type, const QString& command,
                         bool* ok = nullptr);

}  // namespace kf::encoding
