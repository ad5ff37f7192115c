#pragma once
// What a button assignment ("CustomButton") writes into the button's device parameter slot,
// and the tray message that reports it. The device worker parses the driver table, asks for a
// plan, performs the write and shows the message; everything here is free of device access.
#include <QString>

namespace kf::encoding {

class DriverTable;

// The eight texts of a "CustomButton" request, as the page sent them.
struct ButtonAssignment {
    QString device;     // "Version": the device key, passed on to the write
    QString taskIndex;  // "TaskIndex": decimal parameter index of the button's slot
    QString mode;       // "Mode": decimal profile mode, added to the macro number
    QString command;    // "Task": what is assigned
    QString type;       // "TaskType": "Mouse", "Keyboard", "Macro", "MultiMedia", "DPI", ...
    QString playCount;  // "PlayCount": decimal repeat count
    QString playDelay;  // "PlayDelay": decimal loop delay in ms (shown in the message only)
    QString playType;   // "PlayType": "1" click, "2" press and release, "3" hold loop, "4" toggle loop
};

// Clearing a slot writes 15 zero bytes.
QString clearSlotCode();
inline QString clearSlotSize() {
    return QStringLiteral("15");
}

// The macro block "0x04,<number>,<n>,0x00,<steps...>" for the step bytes `steps`: number =
// taskIndex + mode + 89 (decimal texts, malformed ones read as 0) names the device macro slot,
// n is the number of step bytes. Returns false when the number does not fit in a byte or the
// steps exceed the 200-byte macro slot.
bool macroBlock(const QString& taskIndex, const QString& mode, const QString& steps, QString* block);

// The 11-byte play header "0x01,a,b,c,d,0x00 x6" written in front of an assignment code. When
// the code's first four characters are exactly "0x01" (a mouse function) a, b, c, d are all
// "0"; otherwise a = playType as written, b = playCount in hexadecimal, c = d = "0". Returns
// false when the header would carry a token that is not a byte (playType not a byte token,
// playCount outside 0..255).
bool playHeader(const QString& code, const QString& playType, const QString& playCount, QString* header);

struct ButtonWrite {
    enum class Action {
        Write,   // write `data` with size `size` at the slot
        Clear,   // nothing to assign: write clearSlotCode() with size "15"
        Reject,  // the assignment cannot be written: no write, the request fails
    };
    Action action = Action::Reject;
    QString data;  // code string without empty tokens
    QString size;  // decimal token count of `data`
};

// Plans the write of one assignment: encodes it (a macro gets its block header), then puts the
// play header in front. An empty code plans a clear.
ButtonWrite planButtonWrite(const DriverTable& table, const ButtonAssignment& request);

// The tray message after a button write: "清除成功!" or "清除失败!" for a clear; for a write that
// failed (or a rejected assignment) "设置失败"; for a successful write the text of the play type
// with playCount or playDelay as the page sent them, or an empty text for an unknown play type.
QString buttonWriteMessage(const ButtonAssignment& request, ButtonWrite::Action action, bool written);

}  // namespace kf::encoding
