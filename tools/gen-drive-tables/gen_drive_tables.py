#!/usr/bin/env python3
"""Writes the built-in key tables and default profiles of resources/drive/.

The regular tables (every key row, every profile row) are written from the source lists in
keys.py and packets.py, so a key code is stated once. The output is committed; a unit test
runs this script into a scratch folder and compares it byte for byte with resources/drive/.

    python3 tools/gen-drive-tables/gen_drive_tables.py [--out DIR]

Files are UTF-8 XML with CRLF line ends; the ones listed in WITH_BOM start with a byte-order
mark, so the readers' handling of it stays exercised.
"""
import argparse
import os
import sys

sys.dont_write_bytecode = True  # the check runs from the test suite; leave the source tree alone
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import keys  # noqa: E402
import packets  # noqa: E402

WITH_BOM = {"Define", "DefaultEn", "DefaultFr", "MG3En", "MG1En"}
DECL = '<?xml version="1.0" encoding="utf-8"?>'


def esc(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


def elem(tag, attrs, indent, children=None):
    """One element with attributes in the given order; children are lines already indented."""
    pad = "\t" * indent
    attr_text = "".join(' %s="%s"' % (k, esc(v)) for k, v in attrs)
    if not children:
        return [pad + "<%s%s />" % (tag, attr_text)]
    return [pad + "<%s%s>" % (tag, attr_text)] + children + [pad + "</%s>" % tag]


def comment(text, indent):
    return ["\t" * indent + "<!-- %s -->" % text]


# --- key tables -------------------------------------------------------------------

def define():
    rows = []
    for name, scan, flag, hid, value in keys.DEFINE_SPECIAL_ROWS:
        rows += elem("key", [("name", name), ("task", name), ("vkCode", ""), ("scanCode", scan),
                             ("flag", flag), ("hidCode", hid), ("value", value)], 1)
    for name, task, vk, scan, flag, hid, value in keys.key_rows():
        rows += elem("key", [("name", name), ("task", task), ("vkCode", vk), ("scanCode", scan),
                             ("flag", flag), ("hidCode", hid), ("value", value)], 1)
    for name, hid, _vk, _code, _value in keys.GENERIC_MODIFIERS:
        rows += elem("key", [("name", name), ("task", name), ("vkCode", ""), ("scanCode", ""),
                             ("flag", "1"), ("hidCode", hid), ("value", name)], 1)
    return [DECL] + elem("keyboard", [("name", "码值表")], 0, rows)


# Function rows of D2.0: (Name, Task, Code, Length). Length is the nominal byte count only.
D20_FUNCTIONS = [
    ("单击左键()", "单击左键()", "0x01,0x01,0x00,0x00", "4"),
    ("单击右键()", "单击右键()", "0x01,0x02,0x00,0x00", "4"),
    ("单击中键()", "单击中键()", "0x01,0x04,0x00,0x00", "4"),
    ("单击后退键()", "单击后退键()", "0x01,0x08,0x00,0x00", "4"),
    ("单击前进键()", "单击前进键()", "0x01,0x10,0x00,0x00", "4"),
    ("左键", "左键", "0x01", "1"),
    ("中键", "中键", "0x03", "1"),
    ("右键", "右键", "0x02", "1"),
    ("打开宏定义()", "打开自定义()", "0x09,0x1,0x00,0x00", "1"),
    ("关闭宏定义()", "关闭自定义()", "0x09,0x00,0x00,0x00", "1"),
    ("打断执行()", "打断执行()", "0x09,0x03,0x00,0x00", "1"),
    ("精准定位", "精准定位", "0x01,0x23,0x00,0x00", "4"),
    ("锁定X轴", "锁定X轴", "0x01,0x24,0x00,0x00", "4"),
    ("锁定Y轴", "锁定Y轴", "0x01,0x25,0x00,0x00", "4"),
    ("DPI循环", "DPI循环", "0x01,0x20,0x00,0x00", "4"),
    ("DPI+", "DPI+", "0x01,0x21,0x00,0x00", "4"),
    ("DPI-", "DPI-", "0x01,0x22,0x00,0x00", "4"),
    ("向上滚动", "向上滚动", "0x01,0x11,0x00,0x00", "4"),
    ("向下滚动", "向下滚动", "0x01,0x12,0x00,0x00", "4"),
    ("向左滚动", "向左滚动", "0x01,0x13,0x00,0x00", "4"),
    ("向右滚动", "向右滚动", "0x01,0x14,0x00,0x00", "4"),
    ("报告率+", "报告率+", "0x01,0x29,0x00,0x00", "4"),
    ("报告率-", "报告率-", "0x01,0x2A,0x00,0x00", "4"),
    ("LIFT+", "LiftUp", "0x01,0x30,0x00,0x00", "4"),
    ("LIFT-", "LiftDown", "0x01,0x31,0x00,0x00", "4"),
    ("指示灯开关", "SwitchLight", "0x07,0x01,0x00,0x00", "4"),
    ("恢复出厂设置", "ResetToDefaults", "0x07,0x02,0x00,0x00", "4"),
    ("媒体播放器", "媒体播放器", "0x03,0x00,0x83,0x01", "1"),
    ("播放/暂停", "播放/暂停", "0x03,0x00,0xCD,0x00", "1"),
    ("停止", "停止", "0x03,0x00,0xB7,0x00", "1"),
    ("上一曲目", "上一曲目", "0x03,0x00,0xB6,0x00", "1"),
    ("下一曲目", "下一曲目", "0x03,0x00,0xB5,0x00", "1"),
    ("提高音量", "提高音量", "0x03,0x00,0xE9,0x00", "1"),
    ("降低音量", "降低音量", "0x03,0x00,0xEA,0x00", "1"),
    ("静音", "静音", "0x03,0x00,0xE2,0x00", "1"),
    ("热键", "Hotkey", "0x02,{0},{1},{2}", "4"),
    ("宏", "Macro", "0x04,{0},{1},{2}", "4"),
    ("连发", "Gkey", "0x05,{0},{1},{2}", "4"),
    ("连发", "repeatkey", "0x05,{0},{1},{2}", "4"),
    ("鼠标按下", "mouseDownMacro", "0x81,{0},0x00", "3"),
    ("鼠标弹起", "mouseUpMacro", "0x01,{0},0x00", "3"),
    ("键盘按下", "down", "0x84,{0},0x00", "3"),
    ("键盘弹起", "up", "0x04,{0},0x00", "3"),
    ("延时", "delayTime", "0x06,{0},{1}", "3"),
]

REPEAT_KEYS = [("左键", "gLeft", "0x81"), ("右键", "gRight", "0x82"), ("中键", "gMiddle", "0x84"),
               ("键盘", "keyboardkey", "Code")]

D20_TASK_OVERRIDES = {"Backspace": "BACKSPACE", "Enter": "ENTER", "Space": "SPACE"}


def d20():
    rows = comment("Device functions: Code is the device byte code; Length is nominal only.", 1)
    for name, task, code, length in D20_FUNCTIONS:
        attrs = [("Name", name), ("Task", task), ("Code", code), ("Length", length)]
        children = None
        if task == "repeatkey":
            children = []
            for rname, rtask, rcode in REPEAT_KEYS:
                children += elem("repeatkey", [("Name", rname), ("Task", rtask), ("Code", rcode)], 2)
        rows += elem("key", attrs, 1, children)
        if task == "ResetToDefaults":
            rows += ["\t<!--",
                     '\t<key Name="模式切换" Task="ModeShift" Code="0x01,0x26,0x00,0x00" Length="4" />',
                     '\t<key Name="模式-" Task="ModeDown" Code="0x01,0x27,0x00,0x00" Length="4" />',
                     '\t<key Name="模式+" Task="ModeUp" Code="0x01,0x28,0x00,0x00" Length="4" />',
                     "\t-->"]
    for name, task in (("Mouse Left", "mouseLeft"), ("Mouse Right", "mouseRight"),
                       ("Mouse Middle", "mouseMiddle")):
        rows += elem("key", [("Name", name), ("Task", task), ("Value", name)], 1)
    rows += comment("Keys: Code is the HID usage; the generic modifiers carry modifier bits.", 1)
    for name, task, vk, scan, flag, hid, value in keys.key_rows():
        task = D20_TASK_OVERRIDES.get(name, task)
        if name == "Application":
            value = "APPkey"
        rows += elem("key", [("Name", name), ("Task", task), ("vkCode", vk), ("ScanCode", scan),
                             ("flag", flag), ("Code", hid), ("Value", value)], 1)
    for name, _hid, vk, code, value in keys.GENERIC_MODIFIERS:
        rows += elem("key", [("Name", name), ("Task", name), ("vkCode", vk), ("ScanCode", ""),
                             ("flag", ""), ("Code", code), ("Value", value)], 1)
    return [DECL] + elem("Driver", [("Name", "功能映射表"), ("Version", "D2.0")], 0, rows)


def play_row(name, vk, scan, flag, hid, indent=1, lead=(), tail=(), command="", type_=""):
    attrs = list(lead) + [("name", name)] + list(tail) + [
        ("vkcode", vk), ("scancode", scan), ("flag", flag), ("hidcode", hid), ("command", command),
        ("desc", ""), ("type", type_), ("playtype", "1"), ("playcount", "1"), ("playdelay", "0"),
        ("playauxiliary", "1")]
    return elem("key", attrs, indent)


# Keyboard template: the four modifier rows are the left keys under the generic names.
KEYBOARD_MODIFIERS = {"Shift": "Left Shift", "Ctrl": "Left Ctrl", "Alt": "Left Alt", "Win": "Left Windows"}


def keyboard_rows():
    names = list("ABCDEFGHIJKLMNOPQRSTUVWXYZ") + ["Shift", "Ctrl", "Alt", "Win", "Tab"]
    names += ["F%d" % f for f in range(1, 13)] + [str(d) for d in range(1, 10)] + ["0"]
    names += ["Up", "Down", "Left", "Right"]
    rows = []
    for name in names:
        _n, _t, vk, scan, flag, hid, _v = keys.key_row(KEYBOARD_MODIFIERS.get(name, name))
        rows += play_row(name, vk, scan, flag, hid)
    assert len(rows) == 57
    return rows


def mouse_rows(with_hid=True):
    rows = []
    for name, bit in keys.MOUSE_BUTTONS:
        rows += play_row(name, "", bit, "10", bit if with_hid else "")
    return rows


def local_configuration(rows):
    return [DECL] + elem("configuration", [("Ver", "1.0"), ("name", "本地配置")], 0, rows)


def keyboard():
    return local_configuration(keyboard_rows())


def mouse():
    return local_configuration(mouse_rows())


def virtual():
    return [DECL] + elem("map", [], 0, mouse_rows(with_hid=False) + keyboard_rows())


# --- command packets --------------------------------------------------------------

def packet(index, name, icon, items, item_type):
    children = []
    for i, (item_name, command) in enumerate(items):
        children += elem("Item", [("Index", str(i)), ("Name", item_name), ("Command", command),
                                  ("Desc", ""), ("Type", item_type)], 2)
    return elem("Packet", [("Index", str(index)), ("Name", name), ("Icon", icon)], 1, children)


def command_packets(lang):
    col = {"zh": 0, "en": 1, "fr": 2}[lang]
    shortcut_names = {"zh": "系统功能", "en": "SHORTCUT", "fr": "RACCOURCI"}[lang]
    rows = []
    rows += packet(0, shortcut_names, "image/rj.png",
                   [(s[col], s[3]) for s in packets.SHORTCUTS], "Keyboard")
    if lang == "zh":
        rows += packet(2, "MG1功能", "image/icon-MG1.png",
                       [(m[col], m[3]) for m in packets.MOUSE_FUNCTIONS], "Mouse")
        rows += comment("Game packets: our own selection of common in-game shortcuts.", 1)
        for index, name, icon, items in packets.GAME_PACKETS:
            rows += packet(index, name, icon, items, "Keyboard")
    else:
        rows += comment("Packet 2's name is the product's display label.", 1)
        rows += packet(2, packets.MOUSE_PACKET_LABEL, "image/icon-MG1.png",
                       [(m[col], m[3]) for m in packets.MOUSE_FUNCTIONS], "mouse")
    return [DECL] + elem("CommandPacket", [("Name", "功能集")], 0, rows)


# --- device profiles --------------------------------------------------------------

def value_row(name, index, length, value, indent):
    attrs = [("name", name)]
    if index is not None:
        attrs += [("index", str(index)), ("length", str(length))]
    return elem("key", attrs + [("value", value)], indent)


def device_rows(usb_id, firmware, mode_row, indent):
    rows = []
    rows += value_row("UsbId", 1, 4, usb_id, indent)
    rows += value_row("FirmwareVersion", 2, 17, firmware, indent)
    rows += value_row("SN", 3, 14, "", indent)
    rows += value_row("RunnType", 4, 1, "0", indent)
    rows += value_row(mode_row[0], 5, 1, mode_row[1], indent)
    return rows


# Default button assignments: (flat name, sectioned name, scancode/hidcode, command).
MOUSE_PROFILE_BUTTONS = [
    ("左键", "LEFT CLICK", "1", "单击左键()"),
    ("右键", "RIGHT CLICK", "4", "单击右键()"),
    ("中键", "MIDDLE CLICK", "16", "单击中键()"),
    ("前进", "FORWARD", "256", "单击前进键()"),
    ("后退", "BACKWARD", "64", "单击后退键()"),
    ("DPI循环", "DPI CYCLING", "", "DPI循环"),
    ("精准定位", "PRECISION", "", "精准定位"),
]


def button_rows(count, first_index, indent, mode=None, sectioned=False):
    rows = []
    for i, (flat, english, bit, command) in enumerate(MOUSE_PROFILE_BUTTONS[:count]):
        lead = [("mode", str(mode))] if mode is not None else []
        flag = "10" if bit else ""
        rows += play_row(english if sectioned else flat, "", bit, flag, bit, indent, lead=lead,
                         tail=[("index", str(first_index + i)), ("length", "15")], command=command,
                         type_="Mouse")
    return rows


def setting_rows(dpis, cur_dpi, light, report_rate, indent, sync_lights=False):
    rows = value_row("CurDpi", 42, 1, cur_dpi, indent)
    for i, dpi in enumerate(dpis):
        rows += elem("key", [("name", "Dpi%d" % i), ("index", str(43 + i)), ("length", "5"),
                             ("x", str(dpi)), ("y", str(dpi))], indent)
    for n, base in ((1, 53), (2, 61), (3, 69)):
        for j, part in enumerate(("LightTheme", "LightBrightness", "LightSpeed", "LightTrigger")):
            rows += value_row("%s%d" % (part, n), base + j, 1, light[j], indent)
        rows += value_row("LightRGB%d" % n, base + 4, 3, "2EABF3", indent)
    rows += value_row("Reportrate", 91, 1, report_rate, indent)
    rows += value_row("Height", 92, 1, "3", indent)
    rows += value_row("LineCorrection", 93, 1, "1", indent)
    rows += value_row("PointerSpeed", None, None, "5", indent)
    rows += value_row("WheelSpeed", None, None, "3", indent)
    rows += value_row("Dblclick", None, None, "5", indent)
    if sync_lights:
        rows += value_row("SYNCHRONIZE LIGHTS", None, None, "1", indent)
    return rows


def macro_rows(count, first_index, indent):
    rows = []
    for n in range(count):
        rows += elem("key", [("name", "命令%d" % n), ("task", "macro%d" % n),
                             ("index", str(first_index + n)), ("length", "200")], indent)
    return rows


def flat_mouse_profile(firmware, buttons):
    rows = comment("Button rows carry their factory assignment as type and command.", 1)
    rows += device_rows("258a001a", firmware, ("ModeNum", "1"), 1)
    for mode in (1, 2, 3):
        rows += button_rows(buttons, 11 + (mode - 1) * buttons, 1, mode=mode)
    rows += setting_rows([1200, 1500, 2000, 4000, 800], "1", ("1", "3", "3", "0"), "2", 1)
    rows += macro_rows(20, 101, 1)
    return [DECL] + elem("configuration", [("Ver", "M2.0"), ("name", "本地配置")], 0, rows)


def sectioned_mouse_profile(max_dpi, totals, dpis, cur_dpi, report_rate, with_reset):
    conf = device_rows("258a0012", "QZK-ZMC-V1.1.0", ("CurrMode", "0"), 2)
    conf += value_row("MaxDPI", None, None, str(max_dpi), 2)
    for name, total in zip(("LeftNum", "MiddleNum", "RightNum"), totals):
        conf += elem("key", [("name", name), ("total", str(total)), ("left", "0")], 2)
    rows = comment("Three profile modes; the firmware version and the button assignments are the "
                   "factory values we ship.", 1)
    rows += elem("conf", [], 1, conf)

    def mode_body():
        return button_rows(7, 11, 2, sectioned=True) + setting_rows(
            dpis, cur_dpi, ("5", "5", "5", "0"), report_rate, 2, sync_lights=with_reset)

    for i in range(3):
        rows += elem("mode", [("name", "Conf%d" % (i + 1)), ("index", str(i))], 1, mode_body())
    if with_reset:
        rows += elem("reset", [("name", "reset")], 1, mode_body())
    rows += elem("macro", [], 1, macro_rows(10, 101, 2))
    return [DECL] + elem("configuration", [("Ver", "M2.0"), ("name", "本地配置")], 0, rows)


KB1_VALUES = (list("ABCDEFGHIJKLMNOPQRSTUVWXYZ") + [str(d) for d in range(10)]
              + ["Num Lock", "Num /", "Num *", "Num -", "Num +", "Num Enter", "Num ."]
              + ["Num %d" % d for d in range(10)] + ["Esc"] + ["F%d" % f for f in range(1, 13)]
              + ["~", "-", "+", "Backspace", "[", "]", "\\", ";", "'", "Enter", ",", ".", "/", "Tab",
                 "CapsLock", "LSHIFT", "RSHIFT", "LCTRL", "RCTRL", "LALT", "LWIN", "APPkey", "Space",
                 "PRINTSCREEN", "SCROLLLOCK", "PAUSE", "INSERT", "HOME", "PAGEUP", "DELETE", "END",
                 "PAGEDOWN", "UP", "DOWN", "LEFT", "RIGHT", "FN", "LED", "RALT"])

KB1_LIGHTS = [("LightSwitch", 161, 1, "0", "1"), ("LightMode", 162, 1, "16", "3"),
              ("LightBrightness", 163, 1, "8", "4"), ("LightSpeed", 164, 1, "6", "6"),
              ("LightDirection", 165, 1, "1", "3"), ("LightRGB", 166, 3, "FF00FF", "FF0000")]


def kb1():
    assert len(KB1_VALUES) == 105
    rows = device_rows("258a001a", "QZK-ZKC-V1.1.0", ("ModeNum", "1"), 1)
    for i, value in enumerate(KB1_VALUES):
        play = "0" if i in (0, 54) else ""
        rows += elem("key", [("name", "Button%d" % i), ("index", str(11 + i)), ("length", "15"),
                             ("value", value), ("playtype", play), ("playcount", play), ("playdelay", ""),
                             ("playlight", ""), ("playjitters", ""), ("playvoices", ""), ("playway", "")], 1)
    for name, index, length, value, default in KB1_LIGHTS:
        rows += elem("key", [("name", name), ("index", str(index)), ("length", str(length)),
                             ("value", value), ("default", default), ("type", "MultiMedia")], 1)
    rows += macro_rows(20, 181, 1)
    return [DECL] + elem("configuration", [("Ver", "K2.0"), ("name", "本地配置")], 0, rows)


FILES = {
    "Define": define,
    "D2.0": d20,
    "Keyboard": keyboard,
    "Mouse": mouse,
    "Virtual": virtual,
    "Default": lambda: command_packets("zh"),
    "DefaultEn": lambda: command_packets("en"),
    "DefaultFr": lambda: command_packets("fr"),
    "MA1": lambda: flat_mouse_profile("QZK-ZMC-V1.1.0", 6),
    "MA2": lambda: flat_mouse_profile("QZK-ZMC-V1.2.0", 6),
    "MG1": lambda: flat_mouse_profile("QZK-ZMC-V1.0.0", 7),
    "MG2": mouse,
    "MG3En": lambda: sectioned_mouse_profile(8000, (10000000, 5000000, 10000000),
                                             [800, 1200, 1500, 3000], "1", "2", False),
    "MG1En": lambda: sectioned_mouse_profile(5000, (20000000, 5000000, 20000000),
                                             [1200, 1500, 2000, 4000, 800], "0", "3", True),
    "KB1": kb1,
}


def render(name):
    data = ("\r\n".join(FILES[name]()) + "\r\n").encode("utf-8")
    return (b"\xef\xbb\xbf" + data) if name in WITH_BOM else data


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    default_out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "drive")
    parser.add_argument("--out", default=default_out, help="output folder (default: resources/drive)")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for name in FILES:
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(render(name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
