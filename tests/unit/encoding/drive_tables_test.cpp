// The key tables Define, D2.0, Keyboard, Mouse and Virtual: counts, orders, literals and the
// agreement between them.
#include "encoding/key_code_map.h"
#include "unit/encoding/encoding_test_util.h"

#include <QHash>
#include <QSet>

#include <gtest/gtest.h>

using kftest::attr;
using kftest::attributeNames;
using kftest::driveDoc;
using kftest::driveText;

namespace {

const QStringList kAllResources = {"Define",  "D2.0",      "Keyboard",  "Mouse", "Virtual",
                                   "Default", "DefaultEn", "DefaultFr", "MA1",   "MA2",
                                   "MG1",     "MG2",       "MG3En",     "MG1En", "KB1"};

QVector<pugi::xml_node> rows(const pugi::xml_node& parent, const char* tag = "key") {
    QVector<pugi::xml_node> out;
    for (const pugi::xml_node n : parent.children(tag)) {
        out << n;
    }
    return out;
}

QStringList column(const QVector<pugi::xml_node>& nodes, const char* name) {
    QStringList out;
    for (const auto& n : nodes) {
        out << attr(n, name);
    }
    return out;
}

// The 104 key names of Define in table order.
QStringList keyNames() {
    QStringList names;
    for (char c = 'A'; c <= 'Z'; ++c)
        names << QString(QChar(c));
    for (char c = '0'; c <= '9'; ++c)
        names << QString(QChar(c));
    names << "Num Lock"
          << "Num /"
          << "Num *"
          << "Num -"
          << "Num +"
          << "Num Enter"
          << "Num .";
    for (int i = 0; i <= 9; ++i)
        names << QString("Num %1").arg(i);
    names << "Esc";
    for (int i = 1; i <= 12; ++i)
        names << QString("F%1").arg(i);
    names << "`"
          << "-"
          << "="
          << "Backspace"
          << "["
          << "]"
          << "\\"
          << ";"
          << "'"
          << "Enter"
          << ","
          << "."
          << "/"
          << "Tab"
          << "CapsLock"
          << "Left Ctrl"
          << "Left Shift"
          << "Left Alt"
          << "Left Windows"
          << "Right Ctrl"
          << "Right Shift"
          << "Right Alt"
          << "Right Windows"
          << "Application"
          << "Space"
          << "Print Screen"
          << "Scroll Lock"
          << "Pause"
          << "Insert"
          << "Home"
          << "Page Up"
          << "Delete"
          << "End"
          << "Page Down"
          << "Up"
          << "Down"
          << "Left"
          << "Right";
    return names;
}

QHash<QString, pugi::xml_node> byName(const QVector<pugi::xml_node>& nodes, const char* key) {
    QHash<QString, pugi::xml_node> map;
    for (const auto& n : nodes) {
        map.insert(attr(n, key), n);
    }
    return map;
}

}  // namespace

TEST(DriveResources, EveryResourceIsUtf8XmlWithCrlfLineEnds) {
    for (const QString& name : kAllResources) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray text = driveText(name);
        ASSERT_FALSE(text.isEmpty());
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_buffer(text.constData(), text.size()));
        EXPECT_TRUE(text.contains("encoding=\"utf-8\""));
        EXPECT_EQ(text.count('\n'), text.count("\r\n"));
        EXPECT_TRUE(text.endsWith("\r\n"));
        EXPECT_FALSE(QString::fromUtf8(text).contains(QChar::ReplacementCharacter));
    }
}

TEST(DriveResources, ByteOrderMarksAreKeptAndNamesAreChecked) {
    EXPECT_TRUE(driveText("Define").startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(driveText("MG1En").startsWith("\xEF\xBB\xBF"));
    EXPECT_FALSE(driveText("D2.0").startsWith("\xEF\xBB\xBF"));
    QByteArray out = "stale";
    EXPECT_FALSE(kf::encoding::readDriveResource("NoSuchTable", &out));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_FALSE(kf::encoding::readDriveResource("../qss/qssmain", &out));
    EXPECT_FALSE(kf::encoding::readDriveResource("..", &out));
    EXPECT_FALSE(kf::encoding::readDriveResource("", &out));
    EXPECT_FALSE(kf::encoding::readDriveResource("Define", nullptr));
}

TEST(DefineTable, RowsComeInTheDocumentedOrder) {
    const auto doc = driveDoc("Define");
    const pugi::xml_node root = doc->child("keyboard");
    EXPECT_EQ(attr(root, "name"), "码值表");
    const auto keys = rows(root);
    ASSERT_EQ(keys.size(), 10 + 104 + 4);
    const QStringList special = {"左键",   "右键",   "中键",       "前进",       "后退",
                                 "上滚动", "下滚动", "打开宏定义", "关闭宏定义", "打断宏执行"};
    const QStringList names = column(keys, "name");
    EXPECT_EQ(names.mid(0, 10), special);
    EXPECT_EQ(names.mid(10, 104), keyNames());
    EXPECT_EQ(names.mid(114), (QStringList{"Ctrl", "Shift", "Alt", "Win"}));
    for (const auto& key : keys) {
        EXPECT_EQ(attributeNames(key),
                  (QStringList{"name", "task", "vkCode", "scanCode", "flag", "hidCode", "value"}));
    }
}

TEST(DefineTable, MouseAndSpecialRowsAreExact) {
    const auto keys = rows(driveDoc("Define")->child("keyboard"));
    // name(=task), scanCode, flag, hidCode, value
    const QVector<QStringList> expected = {
        {"左键", "1", "10", "1", "左键"},      {"右键", "2", "10", "2", "右键"},
        {"中键", "4", "10", "4", "中键"},      {"前进", "10", "10", "10", "前进"},
        {"后退", "8", "10", "8", "后退"},      {"上滚动", "-1", "-1", "-1", "120"},
        {"下滚动", "-1", "-1", "-1", "-120"},  {"打开宏定义", "-1", "-1", "1", "-1"},
        {"关闭宏定义", "-1", "-1", "1", "-1"}, {"打断宏执行", "-1", "-1", "-1", "-1"}};
    for (int i = 0; i < expected.size(); ++i) {
        const auto& k = keys.at(i);
        EXPECT_EQ((QStringList{attr(k, "task"), attr(k, "scanCode"), attr(k, "flag"), attr(k, "hidCode"),
                               attr(k, "value")}),
                  expected.at(i));
        EXPECT_EQ(attr(k, "name"), attr(k, "task"));
        EXPECT_EQ(attr(k, "vkCode"), "");
    }
}

TEST(DefineTable, KeyRowsFollowTheUsKeyboardTables) {
    const auto keys = rows(driveDoc("Define")->child("keyboard"));
    const auto map = byName(keys, "name");
    auto codes = [&](const char* name) {
        const auto k = map.value(name);
        return QStringList{attr(k, "vkCode"), attr(k, "scanCode"), attr(k, "flag"), attr(k, "hidCode"),
                           attr(k, "value")};
    };
    EXPECT_EQ(codes("A"), (QStringList{"65", "30", "0", "04", "A"}));
    EXPECT_EQ(codes("Z"), (QStringList{"90", "44", "0", "1D", "Z"}));
    EXPECT_EQ(codes("1"), (QStringList{"49", "2", "0", "1E", "1"}));
    EXPECT_EQ(codes("0"), (QStringList{"48", "11", "0", "27", "0"}));
    EXPECT_EQ(codes("Num Enter"), (QStringList{"13", "28", "1", "58", "NUMENTER"}));
    EXPECT_EQ(codes("Enter"), (QStringList{"13", "28", "0", "28", "ENTER"}));
    EXPECT_EQ(codes("Num ."), (QStringList{"110", "83", "0", "63", "NUMPERIOD"}));
    EXPECT_EQ(codes("Num 0"), (QStringList{"96", "82", "0", "62", "NUM0"}));
    EXPECT_EQ(codes("Esc"), (QStringList{"27", "1", "0", "29", "ESC"}));
    EXPECT_EQ(codes("F11"), (QStringList{"122", "87", "0", "44", "F11"}));
    EXPECT_EQ(codes("`"), (QStringList{"192", "41", "0", "35", "TILDE"}));
    EXPECT_EQ(codes("Right Ctrl"), (QStringList{"163", "29", "1", "E4", "RCTRL"}));
    EXPECT_EQ(codes("Right Alt"), (QStringList{"165", "56", "1", "E6", "RALT"}));
    EXPECT_EQ(codes("Left Windows"), (QStringList{"91", "91", "1", "E3", "LWIN"}));
    EXPECT_EQ(codes("Right Windows"), (QStringList{"92", "92", "1", "E7", "RWIN"}));
    EXPECT_EQ(codes("Application"), (QStringList{"93", "93", "1", "65", "APPKEY"}));
    EXPECT_EQ(codes("Pause"), (QStringList{"19", "69", "0", "48", "PAUSE"}));
    EXPECT_EQ(codes("Num Lock"), (QStringList{"144", "69", "1", "53", "NUMLOCK"}));
    EXPECT_EQ(codes("Print Screen"), (QStringList{"44", "55", "1", "46", "PRINTSCREEN"}));
    EXPECT_EQ(codes("Right"), (QStringList{"39", "77", "1", "4F", "RIGHT"}));
    EXPECT_EQ(codes("Ctrl"), (QStringList{"", "", "1", "E0", "Ctrl"}));
    EXPECT_EQ(codes("Win"), (QStringList{"", "", "1", "E3", "Win"}));
    EXPECT_EQ(attr(map.value("Left Ctrl"), "task"), "LEFT CTRL");
    EXPECT_EQ(attr(map.value("Left Windows"), "task"), "LEFT WIN");
    EXPECT_EQ(attr(map.value("Right Shift"), "task"), "Right SHIFT");
    EXPECT_EQ(attr(map.value("Right Windows"), "task"), "Right Windows");
}

TEST(DefineTable, ExtendedFlagsAndCodesAreConsistent) {
    const auto keys = rows(driveDoc("Define")->child("keyboard")).mid(10, 104);
    const QSet<QString> extended = {"Num Lock",    "Num /",        "Num Enter", "Left Windows",
                                    "Right Ctrl",  "Right Shift",  "Right Alt", "Right Windows",
                                    "Application", "Print Screen", "Insert",    "Home",
                                    "Page Up",     "Delete",       "End",       "Page Down",
                                    "Up",          "Down",         "Left",      "Right"};
    QSet<QString> hids, scans, vks;
    for (const auto& k : keys) {
        const QString name = attr(k, "name");
        EXPECT_EQ(attr(k, "flag"), extended.contains(name) ? "1" : "0") << name.toStdString();
        hids << attr(k, "hidCode");
        scans << attr(k, "scanCode") + "/" + attr(k, "flag");
        vks << attr(k, "vkCode");
    }
    // Every key has its own usage and its own (make code, extended) pair; only the two Enter
    // keys share a virtual-key code.
    EXPECT_EQ(hids.size(), 104);
    EXPECT_EQ(scans.size(), 104);
    EXPECT_EQ(vks.size(), 103);
}

TEST(DriverTableResource, FunctionRowsAreExactAndInOrder) {
    const auto doc = driveDoc("D2.0");
    const pugi::xml_node root = doc->child("Driver");
    EXPECT_EQ(attr(root, "Name"), "功能映射表");
    EXPECT_EQ(attr(root, "Version"), "D2.0");
    QVector<pugi::xml_node> functions;
    for (const auto& k : rows(root)) {
        if (k.attribute("Length"))
            functions << k;
    }
    const QStringList expected = {"单击左键()|0x01,0x01,0x00,0x00",
                                  "单击右键()|0x01,0x02,0x00,0x00",
                                  "单击中键()|0x01,0x04,0x00,0x00",
                                  "单击后退键()|0x01,0x08,0x00,0x00",
                                  "单击前进键()|0x01,0x10,0x00,0x00",
                                  "左键|0x01",
                                  "中键|0x03",
                                  "右键|0x02",
                                  "打开自定义()|0x09,0x1,0x00,0x00",
                                  "关闭自定义()|0x09,0x00,0x00,0x00",
                                  "打断执行()|0x09,0x03,0x00,0x00",
                                  "精准定位|0x01,0x23,0x00,0x00",
                                  "锁定X轴|0x01,0x24,0x00,0x00",
                                  "锁定Y轴|0x01,0x25,0x00,0x00",
                                  "DPI循环|0x01,0x20,0x00,0x00",
                                  "DPI+|0x01,0x21,0x00,0x00",
                                  "DPI-|0x01,0x22,0x00,0x00",
                                  "向上滚动|0x01,0x11,0x00,0x00",
                                  "向下滚动|0x01,0x12,0x00,0x00",
                                  "向左滚动|0x01,0x13,0x00,0x00",
                                  "向右滚动|0x01,0x14,0x00,0x00",
                                  "报告率+|0x01,0x29,0x00,0x00",
                                  "报告率-|0x01,0x2A,0x00,0x00",
                                  "LiftUp|0x01,0x30,0x00,0x00",
                                  "LiftDown|0x01,0x31,0x00,0x00",
                                  "SwitchLight|0x07,0x01,0x00,0x00",
                                  "ResetToDefaults|0x07,0x02,0x00,0x00",
                                  "媒体播放器|0x03,0x00,0x83,0x01",
                                  "播放/暂停|0x03,0x00,0xCD,0x00",
                                  "停止|0x03,0x00,0xB7,0x00",
                                  "上一曲目|0x03,0x00,0xB6,0x00",
                                  "下一曲目|0x03,0x00,0xB5,0x00",
                                  "提高音量|0x03,0x00,0xE9,0x00",
                                  "降低音量|0x03,0x00,0xEA,0x00",
                                  "静音|0x03,0x00,0xE2,0x00",
                                  "Hotkey|0x02,{0},{1},{2}",
                                  "Macro|0x04,{0},{1},{2}",
                                  "Gkey|0x05,{0},{1},{2}",
                                  "repeatkey|0x05,{0},{1},{2}",
                                  "mouseDownMacro|0x81,{0},0x00",
                                  "mouseUpMacro|0x01,{0},0x00",
                                  "down|0x84,{0},0x00",
                                  "up|0x04,{0},0x00",
                                  "delayTime|0x06,{0},{1}"};
    QStringList actual;
    for (const auto& k : functions) {
        actual << attr(k, "Task") + "|" + attr(k, "Code");
        EXPECT_EQ(attributeNames(k), (QStringList{"Name", "Task", "Code", "Length"}));
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(attr(functions.at(8), "Name"), "打开宏定义()");
    EXPECT_EQ(attr(functions.at(23), "Name"), "LIFT+");
    const auto repeat = rows(functions.at(38), "repeatkey");
    EXPECT_EQ(column(repeat, "Task"), (QStringList{"gLeft", "gRight", "gMiddle", "keyboardkey"}));
    EXPECT_EQ(column(repeat, "Code"), (QStringList{"0x81", "0x82", "0x84", "Code"}));
    EXPECT_EQ(column(repeat, "Name"), (QStringList{"左键", "右键", "中键", "键盘"}));
}

TEST(DriverTableResource, KeyRowsMatchDefineWithTheDocumentedDifferences) {
    const auto root = driveDoc("D2.0")->child("Driver");
    QVector<pugi::xml_node> keyRows;
    for (const auto& k : rows(root)) {
        if (k.attribute("vkCode"))
            keyRows << k;
    }
    ASSERT_EQ(keyRows.size(), 108);
    const auto define = rows(driveDoc("Define")->child("keyboard")).mid(10, 104);
    for (int i = 0; i < 104; ++i) {
        const auto& d = define.at(i);
        const auto& k = keyRows.at(i);
        const QString name = attr(d, "name");
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(attributeNames(k),
                  (QStringList{"Name", "Task", "vkCode", "ScanCode", "flag", "Code", "Value"}));
        EXPECT_EQ(attr(k, "Name"), name);
        const QString task =
            (name == "Backspace" || name == "Enter" || name == "Space") ? name.toUpper() : attr(d, "task");
        EXPECT_EQ(attr(k, "Task"), task);
        EXPECT_EQ(attr(k, "vkCode"), attr(d, "vkCode"));
        EXPECT_EQ(attr(k, "ScanCode"), attr(d, "scanCode"));
        EXPECT_EQ(attr(k, "flag"), attr(d, "flag"));
        EXPECT_EQ(attr(k, "Code"), attr(d, "hidCode"));
        EXPECT_EQ(attr(k, "Value"), name == "Application" ? "APPkey" : attr(d, "value"));
    }
    QStringList modifiers;
    for (const auto& k : keyRows.mid(104)) {
        modifiers << QStringList{attr(k, "Task"), attr(k, "vkCode"), attr(k, "ScanCode"),
                                 attr(k, "flag"), attr(k, "Code"),   attr(k, "Value")}
                         .join('|');
    }
    EXPECT_EQ(modifiers, (QStringList{"Ctrl|17|||1|MODCONTROL", "Shift|16|||2|MODSHIFT", "Alt|18|||4|MODALT",
                                      "Win|91|||8|MODWIN"}));
    QStringList mouseRows;
    for (const auto& k : rows(root)) {
        if (k.attribute("Value") && !k.attribute("Code"))
            mouseRows << attr(k, "Task") + "|" + attr(k, "Value");
    }
    EXPECT_EQ(mouseRows,
              (QStringList{"mouseLeft|Mouse Left", "mouseRight|Mouse Right", "mouseMiddle|Mouse Middle"}));
}

TEST(RowTemplates, KeyboardMouseAndVirtualRows) {
    const QStringList playColumns = {"name", "vkcode", "scancode", "flag",      "hidcode",   "command",
                                     "desc", "type",   "playtype", "playcount", "playdelay", "playauxiliary"};
    const auto keyboardRoot = driveDoc("Keyboard")->child("configuration");
    const auto mouseRoot = driveDoc("Mouse")->child("configuration");
    EXPECT_EQ(attr(keyboardRoot, "Ver"), "1.0");
    EXPECT_EQ(attr(mouseRoot, "name"), "本地配置");
    const auto keyboard = rows(keyboardRoot);
    const auto mouse = rows(mouseRoot);
    const auto virtualRows = rows(driveDoc("Virtual")->child("map"));
    ASSERT_EQ(keyboard.size(), 57);
    ASSERT_EQ(mouse.size(), 5);
    ASSERT_EQ(virtualRows.size(), 62);

    QStringList expectedNames;
    for (char c = 'A'; c <= 'Z'; ++c)
        expectedNames << QString(QChar(c));
    expectedNames << "Shift"
                  << "Ctrl"
                  << "Alt"
                  << "Win"
                  << "Tab";
    for (int i = 1; i <= 12; ++i)
        expectedNames << QString("F%1").arg(i);
    for (int i = 1; i <= 9; ++i)
        expectedNames << QString::number(i);
    expectedNames << "0"
                  << "Up"
                  << "Down"
                  << "Left"
                  << "Right";
    EXPECT_EQ(column(keyboard, "name"), expectedNames);
    EXPECT_EQ(column(mouse, "name"), (QStringList{"左键", "右键", "中键", "前进", "后退"}));
    EXPECT_EQ(column(mouse, "scancode"), (QStringList{"1", "4", "16", "256", "64"}));
    EXPECT_EQ(column(mouse, "hidcode"), (QStringList{"1", "4", "16", "256", "64"}));
    EXPECT_EQ(column(virtualRows, "name"), column(mouse, "name") + expectedNames);
    EXPECT_EQ(column(virtualRows.mid(0, 5), "hidcode"), kftest::repeated(5, ""));

    const auto define = byName(rows(driveDoc("Define")->child("keyboard")), "name");
    ASSERT_TRUE(kf::encoding::loadKeyCodeMap());
    const QHash<QString, QString> leftKeys = {
        {"Shift", "Left Shift"}, {"Ctrl", "Left Ctrl"}, {"Alt", "Left Alt"}, {"Win", "Left Windows"}};
    for (const auto& table : {keyboard, virtualRows.mid(5), mouse, virtualRows.mid(0, 5)}) {
        for (const auto& k : table) {
            const QString name = attr(k, "name");
            SCOPED_TRACE(name.toStdString());
            EXPECT_EQ(attributeNames(k), playColumns);
            EXPECT_EQ((QStringList{attr(k, "command"), attr(k, "desc"), attr(k, "type"), attr(k, "playtype"),
                                   attr(k, "playcount"), attr(k, "playdelay"), attr(k, "playauxiliary")}),
                      (QStringList{"", "", "", "1", "1", "0", "1"}));
            // Every row's name is a Define task, so the software player can resolve it.
            ASSERT_TRUE(define.contains(name));
            EXPECT_FALSE(kf::encoding::hidCodeForTask(name.toUpper()).isEmpty());
            if (attr(k, "flag") == "10")
                continue;  // mouse rows carry the driver's button flags
            const auto d = define.value(leftKeys.value(name, name));
            EXPECT_EQ(attr(k, "vkcode"), attr(d, "vkCode"));
            EXPECT_EQ(attr(k, "scancode"), attr(d, "scanCode"));
            EXPECT_EQ(attr(k, "flag"), attr(d, "flag"));
            EXPECT_EQ(attr(k, "hidcode"), attr(d, "hidCode"));
        }
    }
    EXPECT_EQ(attr(keyboard.at(26), "hidcode"), "E1");  // "Shift" is the left shift key
    EXPECT_EQ(attr(keyboard.at(29), "vkcode"), "91");
}
