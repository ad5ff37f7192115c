#include "encoding/key_matrix.h"

#include <QHash>

namespace kf::encoding {
namespace {

// clang-format off
constexpr const char* kLayout[kKeyMatrixSize] = {
    "ESC", "", "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
        "PRINTSCREEN", "SCROLLLOCK", "PAUSE", "", "", "", "",
    "TILDE", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "MINUS", "EQUAL", "BACKSPACE",
        "INSERT", "HOME", "PAGEUP", "NUMLOCK", "NUMSLASH", "NUMSTAR", "NUMMINUS",
    "TAB", "Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P", "LBRACKET", "RBRACKET", "BACKSLASH",
        "DELETE", "END", "PAGEDOWN", "NUM7", "NUM8", "NUM9", "NUMPLUS",
    "CAPSLOCK", "A", "S", "D", "F", "G", "H", "J", "K", "L", "SEMICOLON", "QUOTE", "ENTER", "",
        "", "", "", "NUM4", "NUM5", "NUM6", "",
    "LSHIFT", "Z", "X", "C", "V", "B", "N", "M", "COMMA", "PERIOD", "SLASH", "", "RSHIFT", "",
        "", "UP", "", "NUM1", "NUM2", "NUM3", "NUMENTER",
    "LCTRL", "LWIN", "LALT", "", "", "SPACEBAR", "", "", "", "RALT", "FN", "APPKEY", "", "RCTRL",
        "LEFT", "DOWN", "RIGHT", "NUM0", "", "NUMPERIOD", "",
};
// clang-format on

const QHash<QString, int>& indexByName() {
    static const QHash<QString, int> map = [] {
        QHash<QString, int> built;
        for (int i = 0; i < kKeyMatrixSize; ++i) {
            // Blank slots have no key: an item without a name must not colour one of them.
            if (kLayout[i][0] != '\0') {
                built.insert(QString::fromLatin1(kLayout[i]), i);
            }
        }
        return built;
    }();
    return map;
}

}  // namespace

QString keyMatrixName(int index) {
    if (index < 0 || index >= kKeyMatrixSize) {
        return QString();
    }
    return QString::fromLatin1(kLayout[index]);
}

int matrixIndex(const QString& name) {
    return indexByName().value(name, -1);
}

}  // namespace kf::encoding
