// The command packets and the device profiles, and the generator that writes all drive tables.
#include "encoding/assignment_encoder.h"
#include "support/test_paths.h"
#include "unit/encoding/encoding_test_util.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using kftest::attr;
using kftest::attributeNames;
using kftest::d20;
using kftest::driveDoc;
using kftest::driveText;

namespace {

QVector<pugi::xml_node> children(const pugi::xml_node& parent, const char* tag) {
    QVector<pugi::xml_node> out;
    for (const pugi::xml_node n : parent.children(tag))
        out << n;
    return out;
}

QStringList column(const QVector<pugi::xml_node>& nodes, const char* name) {
    QStringList out;
    for (const auto& n : nodes)
        out << attr(n, name);
    return out;
}

pugi::xml_node byName(const pugi::xml_node& parent, const char* name) {
    return parent.find_child_by_attribute("key", "name", name);
}

// Each "+"-part of a chord resolves as written or upper-cased, as the encoder looks it up.
bool chordResolves(const QString& chord) {
    for (const QString& part : chord.split('+', Qt::SkipEmptyParts)) {
        if (d20().driverCode(part).isEmpty() && d20().driverCode(part.toUpper()).isEmpty())
            return false;
    }
    return true;
}

void expectItemsResolve(const pugi::xml_node& packet) {
    for (const auto& item : children(packet, "Item")) {
        const QString command = attr(item, "Command");
        SCOPED_TRACE(command.toStdString());
        EXPECT_EQ(attributeNames(item), (QStringList{"Index", "Name", "Command", "Desc", "Type"}));
        EXPECT_EQ(attr(item, "Desc"), "");
        const QString type = attr(item, "Type");
        if (type == "Keyboard") {
            EXPECT_TRUE(chordResolves(command));
        } else {
            EXPECT_TRUE(type == "Mouse" || type == "mouse");
            EXPECT_FALSE(d20().driverCode(command).isEmpty());
        }
        bool ok = false;
        EXPECT_FALSE(kf::encoding::encodeAssignment(d20(), type, command, &ok).isEmpty());
        EXPECT_TRUE(ok);
    }
}

}  // namespace

TEST(CommandPackets, ChinesePacketsAndTheirItems) {
    const auto root = driveDoc("Default")->child("CommandPacket");
    EXPECT_EQ(attr(root, "Name"), "功能集");
    const auto packets = children(root, "Packet");
    EXPECT_EQ(column(packets, "Index"), (QStringList{"0", "2", "6", "8", "9", "10", "11", "12"}));
    EXPECT_EQ(column(packets, "Name"), (QStringList{"系统功能", "MG1功能", "LOL游戏", "天涯明月刀",
                                                    "梦幻西游", "剑网三", "问道", "天龙八部"}));
    QVector<int> counts;
    for (const auto& p : packets) {
        counts << children(p, "Item").size();
        EXPECT_EQ(attributeNames(p), (QStringList{"Index", "Name", "Icon"}));
        EXPECT_TRUE(attr(p, "Icon").startsWith("image/"));
        expectItemsResolve(p);
    }
    EXPECT_EQ(counts, (QVector<int>{15, 25, 19, 6, 23, 5, 12, 10}));
    EXPECT_EQ(attr(packets.at(1), "Icon"), "image/icon-MG1.png");
    const auto shortcuts = children(packets.at(0), "Item");
    EXPECT_EQ(column(shortcuts, "Command").mid(9),
              (QStringList{"Win+R", "Win+E", "Win+L", "Ctrl+F4", "Alt+V", "Win+D"}));
    const auto mouse = children(packets.at(1), "Item");
    EXPECT_EQ(column(mouse, "Index").last(), "24");
    EXPECT_EQ(column(mouse, "Type"), kftest::repeated(25, "Mouse"));
    EXPECT_EQ(column(mouse, "Command").mid(0, 11),
              (QStringList{"单击左键()", "单击右键()", "单击中键()", "单击后退键()", "单击前进键()",
                           "精准定位", "锁定X轴", "锁定Y轴", "DPI循环", "DPI+", "DPI-"}));
    EXPECT_EQ(column(mouse, "Command").last(), "静音");
}

TEST(CommandPackets, EnglishAndFrenchPacketsKeepTheChineseCommands) {
    const auto chinese = children(driveDoc("Default")->child("CommandPacket"), "Packet");
    struct Expect {
        const char* file;
        const char* shortcut;
        const char* first;
        const char* last;
        const char* leftClick;
    };
    for (const Expect& e :
         {Expect{"DefaultEn", "SHORTCUT", "COPY", "SHOW DESKTOP", "LEFT CLICK"},
          Expect{"DefaultFr", "RACCOURCI", "COPIER", "AFFICHER LE BUREAU", "CLIC GAUCHE"}}) {
        SCOPED_TRACE(e.file);
        const auto packets = children(driveDoc(e.file)->child("CommandPacket"), "Packet");
        ASSERT_EQ(column(packets, "Index"), (QStringList{"0", "2"}));
        EXPECT_EQ(attr(packets.at(0), "Name"), e.shortcut);
        const auto shortcuts = children(packets.at(0), "Item");
        EXPECT_EQ(shortcuts.size(), 15);
        EXPECT_EQ(attr(shortcuts.first(), "Name"), e.first);
        EXPECT_EQ(attr(shortcuts.last(), "Name"), e.last);
        EXPECT_EQ(attr(packets.at(1), "Icon"), "image/icon-MG1.png");
        const auto mouse = children(packets.at(1), "Item");
        EXPECT_EQ(attr(mouse.first(), "Name"), e.leftClick);
        EXPECT_EQ(column(mouse, "Type"), kftest::repeated(25, "mouse"));
        EXPECT_EQ(column(mouse, "Command"), column(children(chinese.at(1), "Item"), "Command"));
        EXPECT_EQ(column(shortcuts, "Command"), column(children(chinese.at(0), "Item"), "Command"));
        for (const auto& p : packets)
            expectItemsResolve(p);
    }
    const auto english =
        children(children(driveDoc("DefaultEn")->child("CommandPacket"), "Packet").at(1), "Item");
    EXPECT_EQ(attr(english.at(5), "Name"), "SNIPER MODE");
    EXPECT_EQ(attr(english.at(8), "Name"), "DPI CYCLING");
}

TEST(DeviceProfiles, FlatMouseProfilesHaveTheirIndexBlocks) {
    struct Expect {
        const char* file;
        const char* firmware;
        int buttons;
    };
    for (const Expect& e : {Expect{"MA1", "QZK-ZMC-V1.1.0", 6}, Expect{"MA2", "QZK-ZMC-V1.2.0", 6},
                            Expect{"MG1", "QZK-ZMC-V1.0.0", 7}}) {
        SCOPED_TRACE(e.file);
        const auto root = driveDoc(e.file)->child("configuration");
        EXPECT_EQ(attr(root, "Ver"), "M2.0");
        EXPECT_EQ(attr(root, "name"), "本地配置");
        EXPECT_EQ(attr(byName(root, "UsbId"), "value"), "258a001a");
        EXPECT_EQ(attr(byName(root, "FirmwareVersion"), "value"), e.firmware);
        EXPECT_EQ(attr(byName(root, "FirmwareVersion"), "length"), "17");
        EXPECT_EQ(attr(byName(root, "SN"), "length"), "14");
        EXPECT_EQ(attr(byName(root, "ModeNum"), "index"), "5");
        QVector<pugi::xml_node> buttons;
        for (const auto& k : children(root, "key")) {
            if (k.attribute("mode"))
                buttons << k;
        }
        ASSERT_EQ(buttons.size(), 3 * e.buttons);
        for (int i = 0; i < buttons.size(); ++i) {
            const auto& b = buttons.at(i);
            EXPECT_EQ(attr(b, "mode"), QString::number(1 + i / e.buttons));
            EXPECT_EQ(attr(b, "index"), QString::number(11 + i));
            EXPECT_EQ(attr(b, "length"), "15");
            bool ok = false;
            EXPECT_FALSE(
                kf::encoding::encodeAssignment(d20(), attr(b, "type"), attr(b, "command"), &ok).isEmpty());
        }
        EXPECT_EQ(column(buttons.mid(0, e.buttons), "scancode").mid(0, 5),
                  (QStringList{"1", "4", "16", "256", "64"}));
        EXPECT_EQ(attr(buttons.at(e.buttons - 1), "name"), e.buttons == 7 ? "精准定位" : "DPI循环");
        EXPECT_EQ(attr(buttons.at(5), "hidcode"), "");
        EXPECT_EQ(attr(byName(root, "CurDpi"), "value"), "1");
        QStringList defaults;
        for (const char* name :
             {"LightTheme1", "LightBrightness1", "LightSpeed1", "LightTrigger1", "Reportrate", "Height",
              "LineCorrection", "PointerSpeed", "WheelSpeed", "Dblclick"}) {
            defaults << attr(byName(root, name), "value");
        }
        EXPECT_EQ(defaults, (QStringList{"1", "3", "3", "0", "2", "3", "1", "5", "3", "5"}));
        EXPECT_EQ(attr(byName(root, "Reportrate"), "index"), "91");
        EXPECT_EQ(attr(byName(root, "Dpi2"), "index"), "45");
        EXPECT_EQ(attr(byName(root, "Dpi2"), "x"), "2000");
        EXPECT_EQ(attr(byName(root, "Dpi4"), "y"), "800");
        EXPECT_EQ(attr(byName(root, "LightRGB1"), "value"), "2EABF3");
        EXPECT_EQ(attr(byName(root, "LightRGB3"), "index"), "73");
        EXPECT_EQ(attr(byName(root, "LightSpeed2"), "index"), "63");
        EXPECT_EQ(attr(byName(root, "LineCorrection"), "index"), "93");
        EXPECT_FALSE(byName(root, "PointerSpeed").attribute("index"));
        const auto macro0 = byName(root, "命令0");
        EXPECT_EQ(attributeNames(macro0), (QStringList{"name", "task", "index", "length"}));
        EXPECT_EQ(attr(macro0, "index"), "101");
        EXPECT_EQ(attr(byName(root, "命令19"), "index"), "120");
        EXPECT_EQ(attr(byName(root, "命令19"), "task"), "macro19");
        EXPECT_EQ(attr(byName(root, "命令19"), "length"), "200");
    }
}

TEST(DeviceProfiles, SectionedMouseProfilesRepeatTheirModes) {
    struct Expect {
        const char* file;
        const char* maxDpi;
        const char* leftTotal;
        QStringList dpis;
        const char* curDpi;
        const char* reportRate;
        bool reset;
    };
    for (const Expect& e :
         {Expect{"MG3En", "8000", "10000000", {"800", "1200", "1500", "3000"}, "1", "2", false},
          Expect{"MG1En", "5000", "20000000", {"1200", "1500", "2000", "4000", "800"}, "0", "3", true}}) {
        SCOPED_TRACE(e.file);
        const auto root = driveDoc(e.file)->child("configuration");
        const auto conf = root.child("conf");
        EXPECT_EQ(attr(byName(conf, "UsbId"), "value"), "258a0012");
        EXPECT_EQ(attr(byName(conf, "CurrMode"), "index"), "5");
        EXPECT_EQ(attr(byName(conf, "MaxDPI"), "value"), e.maxDpi);
        EXPECT_EQ(attr(byName(conf, "LeftNum"), "total"), e.leftTotal);
        EXPECT_EQ(attr(byName(conf, "MiddleNum"), "total"), "5000000");
        EXPECT_EQ(attr(byName(conf, "RightNum"), "left"), "0");
        auto sections = children(root, "mode");
        EXPECT_EQ(column(sections, "index"), (QStringList{"0", "1", "2"}));
        EXPECT_EQ(column(sections, "name"), (QStringList{"Conf1", "Conf2", "Conf3"}));
        EXPECT_EQ(static_cast<bool>(root.child("reset")), e.reset);
        if (e.reset) {
            sections << root.child("reset");
            EXPECT_EQ(attr(root.child("reset"), "name"), "reset");
        }
        for (const auto& mode : sections) {
            const auto keys = children(mode, "key");
            EXPECT_EQ(column(keys.mid(0, 7), "name"),
                      (QStringList{"LEFT CLICK", "RIGHT CLICK", "MIDDLE CLICK", "FORWARD", "BACKWARD",
                                   "DPI CYCLING", "PRECISION"}));
            EXPECT_EQ(column(keys.mid(0, 7), "index"),
                      (QStringList{"11", "12", "13", "14", "15", "16", "17"}));
            QStringList dpis;
            for (int i = 0; i < 6; ++i) {
                const auto dpi = byName(mode, QString("Dpi%1").arg(i).toUtf8().constData());
                if (dpi)
                    dpis << attr(dpi, "x");
            }
            EXPECT_EQ(dpis, e.dpis);
            EXPECT_EQ(attr(byName(mode, "CurDpi"), "value"), e.curDpi);
            EXPECT_EQ(attr(byName(mode, "LightTheme1"), "value"), "5");
            EXPECT_EQ(attr(byName(mode, "LightTrigger2"), "value"), "0");
            EXPECT_EQ(attr(byName(mode, "Reportrate"), "value"), e.reportRate);
            EXPECT_EQ(static_cast<bool>(byName(mode, "SYNCHRONIZE LIGHTS")), e.reset);
        }
        const auto macros = children(root.child("macro"), "key");
        EXPECT_EQ(macros.size(), 10);
        EXPECT_EQ(attr(macros.last(), "index"), "110");
    }
}

TEST(DeviceProfiles, KeyboardProfileAndTheButtonTemplate) {
    const auto root = driveDoc("KB1")->child("configuration");
    EXPECT_EQ(attr(root, "Ver"), "K2.0");
    EXPECT_EQ(attr(byName(root, "FirmwareVersion"), "value"), "QZK-ZKC-V1.1.0");
    QVector<pugi::xml_node> buttons, macros, lights;
    for (const auto& k : children(root, "key")) {
        const QString name = attr(k, "name");
        if (name.startsWith("Button"))
            buttons << k;
        if (name.startsWith("命令"))
            macros << k;
        if (attr(k, "type") == "MultiMedia")
            lights << k;
    }
    ASSERT_EQ(buttons.size(), 105);
    for (int i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(attr(buttons.at(i), "name"), QString("Button%1").arg(i));
        EXPECT_EQ(attr(buttons.at(i), "index"), QString::number(11 + i));
        const QString play = (i == 0 || i == 54) ? "0" : "";
        EXPECT_EQ(attr(buttons.at(i), "playtype"), play);
        EXPECT_EQ(attr(buttons.at(i), "playcount"), play);
    }
    EXPECT_EQ(attributeNames(buttons.at(1)),
              (QStringList{"name", "index", "length", "value", "playtype", "playcount", "playdelay",
                           "playlight", "playjitters", "playvoices", "playway"}));
    const QStringList values = column(buttons, "value");
    EXPECT_EQ(values.mid(0, 3), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(values.at(36), "Num Lock");
    EXPECT_EQ(values.at(53), "Esc");
    EXPECT_EQ(values.at(66), "~");
    EXPECT_EQ(values.mid(81, 8),
              (QStringList{"LSHIFT", "RSHIFT", "LCTRL", "RCTRL", "LALT", "LWIN", "APPkey", "Space"}));
    EXPECT_EQ(values.mid(102), (QStringList{"FN", "LED", "RALT"}));
    QStringList lightRows;
    for (const auto& l : lights) {
        lightRows << QStringList{attr(l, "name"), attr(l, "index"), attr(l, "length"), attr(l, "value"),
                                 attr(l, "default")}
                         .join('|');
    }
    EXPECT_EQ(lightRows, (QStringList{"LightSwitch|161|1|0|1", "LightMode|162|1|16|3",
                                      "LightBrightness|163|1|8|4", "LightSpeed|164|1|6|6",
                                      "LightDirection|165|1|1|3", "LightRGB|166|3|FF00FF|FF0000"}));
    ASSERT_EQ(macros.size(), 20);
    EXPECT_EQ(attr(macros.first(), "index"), "181");
    EXPECT_EQ(attr(macros.last(), "index"), "200");
    EXPECT_EQ(driveText("MG2"), driveText("Mouse"));
}

// The committed tables are exactly what the generator writes.
TEST(DriveGenerator, CommittedTablesMatchTheGenerator) {
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString script = kftest::sourceDir() + "/tools/gen-drive-tables/gen_drive_tables.py";
    QProcess python;
    python.start("python3", {script, "--out", out.path()});
    ASSERT_TRUE(python.waitForStarted(60000)) << "python3 is needed to check the drive tables";
    ASSERT_TRUE(python.waitForFinished(120000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QStringList generated = QDir(out.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(generated.size(), 15);
    for (const QString& name : generated) {
        SCOPED_TRACE(name.toStdString());
        QFile fresh(out.path() + "/" + name);
        QFile committed(kftest::sourceDir() + "/resources/drive/" + name);
        ASSERT_TRUE(fresh.open(QIODevice::ReadOnly));
        ASSERT_TRUE(committed.open(QIODevice::ReadOnly));
        const QByteArray committedText = committed.readAll();
        EXPECT_TRUE(fresh.readAll() == committedText) << "run tools/gen-drive-tables/gen_drive_tables.py";
        // ...and the compiled-in resource is that file.
        EXPECT_TRUE(driveText(name) == committedText);
    }
}
