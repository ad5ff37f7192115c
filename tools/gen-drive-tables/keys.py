"""The one source list of the keyboard keys that the drive tables are written from.

Each key row: (name, task, vkCode, scanCode, flag, hidCode, value). vkCode is the Windows
virtual-key code, scanCode the PC set-1 make code without the E0 prefix (flag "1" marks the
extended keys that are sent with it), hidCode the USB HID Keyboard/Keypad usage ID, all as the
published tables give them for a US keyboard. value is the symbolic key name that the key
matrix layout uses.
"""

LETTER_SCAN = {
    "A": 30, "B": 48, "C": 46, "D": 32, "E": 18, "F": 33, "G": 34, "H": 35, "I": 23,
    "J": 36, "K": 37, "L": 38, "M": 50, "N": 49, "O": 24, "P": 25, "Q": 16, "R": 19,
    "S": 31, "T": 20, "U": 22, "V": 47, "W": 17, "X": 45, "Y": 21, "Z": 44,
}

NUMPAD_SCAN = {0: 82, 1: 79, 2: 80, 3: 81, 4: 75, 5: 76, 6: 77, 7: 71, 8: 72, 9: 73}
NUMPAD_HID = {0: 0x62, 1: 0x59, 2: 0x5A, 3: 0x5B, 4: 0x5C, 5: 0x5D, 6: 0x5E, 7: 0x5F, 8: 0x60, 9: 0x61}


def _row(name, vk, scan, flag, hid, value, task=None):
    return (name, task if task is not None else name, str(vk), str(scan), str(flag), "%02X" % hid, value)


def key_rows():
    """The 104 key rows in table order."""
    rows = []
    for i, letter in enumerate("ABCDEFGHIJKLMNOPQRSTUVWXYZ"):
        rows.append(_row(letter, 65 + i, LETTER_SCAN[letter], 0, 0x04 + i, letter))
    for d in range(10):
        # Set-1 make codes and HID usages run 1..9 then 0.
        scan = 11 if d == 0 else d + 1
        hid = 0x27 if d == 0 else 0x1D + d
        rows.append(_row(str(d), 48 + d, scan, 0, hid, str(d)))
    rows += [
        _row("Num Lock", 144, 69, 1, 0x53, "NUMLOCK"),
        _row("Num /", 111, 53, 1, 0x54, "NUMSLASH"),
        _row("Num *", 106, 55, 0, 0x55, "NUMSTAR"),
        _row("Num -", 109, 74, 0, 0x56, "NUMMINUS"),
        _row("Num +", 107, 78, 0, 0x57, "NUMPLUS"),
        _row("Num Enter", 13, 28, 1, 0x58, "NUMENTER"),
        _row("Num .", 110, 83, 0, 0x63, "NUMPERIOD"),
    ]
    for d in range(10):
        rows.append(_row("Num %d" % d, 96 + d, NUMPAD_SCAN[d], 0, NUMPAD_HID[d], "NUM%d" % d))
    rows.append(_row("Esc", 27, 1, 0, 0x29, "ESC"))
    for f in range(1, 13):
        scan = 58 + f if f <= 10 else 76 + f  # F11 = 87, F12 = 88
        rows.append(_row("F%d" % f, 111 + f, scan, 0, 0x39 + f, "F%d" % f))
    rows += [
        _row("`", 192, 41, 0, 0x35, "TILDE"),
        _row("-", 189, 12, 0, 0x2D, "MINUS"),
        _row("=", 187, 13, 0, 0x2E, "EQUAL"),
        _row("Backspace", 8, 14, 0, 0x2A, "BACKSPACE"),
        _row("[", 219, 26, 0, 0x2F, "LBRACKET"),
        _row("]", 221, 27, 0, 0x30, "RBRACKET"),
        _row("\\", 220, 43, 0, 0x31, "BACKSLASH"),
        _row(";", 186, 39, 0, 0x33, "SEMICOLON"),
        _row("'", 222, 40, 0, 0x34, "QUOTE"),
        _row("Enter", 13, 28, 0, 0x28, "ENTER"),
        _row(",", 188, 51, 0, 0x36, "COMMA"),
        _row(".", 190, 52, 0, 0x37, "PERIOD"),
        _row("/", 191, 53, 0, 0x38, "SLASH"),
        _row("Tab", 9, 15, 0, 0x2B, "TAB"),
        _row("CapsLock", 20, 58, 0, 0x39, "CAPSLOCK"),
        _row("Left Ctrl", 162, 29, 0, 0xE0, "LCTRL", "LEFT CTRL"),
        _row("Left Shift", 160, 42, 0, 0xE1, "LSHIFT", "LEFT SHIFT"),
        _row("Left Alt", 164, 56, 0, 0xE2, "LALT", "LEFT ALT"),
        _row("Left Windows", 91, 91, 1, 0xE3, "LWIN", "LEFT WIN"),
        _row("Right Ctrl", 163, 29, 1, 0xE4, "RCTRL", "Right CTRL"),
        _row("Right Shift", 161, 54, 1, 0xE5, "RSHIFT", "Right SHIFT"),
        _row("Right Alt", 165, 56, 1, 0xE6, "RALT", "Right ALT"),
        _row("Right Windows", 92, 92, 1, 0xE7, "RWIN"),
        _row("Application", 93, 93, 1, 0x65, "APPKEY"),
        _row("Space", 32, 57, 0, 0x2C, "SPACEBAR"),
        _row("Print Screen", 44, 55, 1, 0x46, "PRINTSCREEN"),
        _row("Scroll Lock", 145, 70, 0, 0x47, "SCROLLLOCK"),
        _row("Pause", 19, 69, 0, 0x48, "PAUSE"),
        _row("Insert", 45, 82, 1, 0x49, "INSERT"),
        _row("Home", 36, 71, 1, 0x4A, "HOME"),
        _row("Page Up", 33, 73, 1, 0x4B, "PAGEUP"),
        _row("Delete", 46, 83, 1, 0x4C, "DELETE"),
        _row("End", 35, 79, 1, 0x4D, "END"),
        _row("Page Down", 34, 81, 1, 0x4E, "PAGEDOWN"),
        _row("Up", 38, 72, 1, 0x52, "UP"),
        _row("Down", 40, 80, 1, 0x51, "DOWN"),
        _row("Left", 37, 75, 1, 0x50, "LEFT"),
        _row("Right", 39, 77, 1, 0x4F, "RIGHT"),
    ]
    assert len(rows) == 104, len(rows)
    return rows


def key_row(name):
    for row in key_rows():
        if row[0] == name:
            return row
    raise KeyError(name)


# Generic modifiers: the left modifier usages in Define, the modifier bits in D2.0.
GENERIC_MODIFIERS = [
    # name, Define hidCode, D2.0 vkCode, D2.0 Code, D2.0 Value
    ("Ctrl", "E0", "17", "1", "MODCONTROL"),
    ("Shift", "E1", "16", "2", "MODSHIFT"),
    ("Alt", "E2", "18", "4", "MODALT"),
    ("Win", "E3", "91", "8", "MODWIN"),
]

# Define's mouse, wheel and special rows: name (= task), scanCode, flag, hidCode, value.
DEFINE_SPECIAL_ROWS = [
    ("左键", "1", "10", "1", "左键"),
    ("右键", "2", "10", "2", "右键"),
    ("中键", "4", "10", "4", "中键"),
    ("前进", "10", "10", "10", "前进"),
    ("后退", "8", "10", "8", "后退"),
    ("上滚动", "-1", "-1", "-1", "120"),
    ("下滚动", "-1", "-1", "-1", "-120"),
    ("打开宏定义", "-1", "-1", "1", "-1"),
    ("关闭宏定义", "-1", "-1", "1", "-1"),
    ("打断宏执行", "-1", "-1", "-1", "-1"),
]

# Mouse template rows: name and the button-down flag of the virtual driver's input strokes.
MOUSE_BUTTONS = [("左键", "1"), ("右键", "4"), ("中键", "16"), ("前进", "256"), ("后退", "64")]
