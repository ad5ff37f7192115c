// Reading the page's virtual key map into triggers and action lists.
#include <gtest/gtest.h>

#include "encoding/key_code_map.h"
#include "input/virtual_key_map.h"
#include "input_helpers.h"

using namespace kf::input;

namespace {

using Actions = QVector<MacroAction>;

struct ActionCase {
    const char* type;
    const char* command;
    Actions actions;
};

TEST(KeyMap, EachTypeBecomesItsActions) {
    ASSERT_TRUE(kf::encoding::loadKeyCodeMap());
    const ActionCase cases[] = {
        {"macro",
         "键盘按下(a)延迟(50)键盘弹起( A )鼠标按下(左键)鼠标弹起(左键)",
         {{"KeybroadDown", "04"},
          {"DelayTime", "50"},
          {"KeybroadUp", "04"},
          {"MouseDown", "1"},
          {"MouseUp", "1"}}},
        {"macro",
         "键盘按下(ctrl)键盘按下(Shift)上滚动(1)下滚动(ff)",
         {{"KeybroadDown", "E0"}, {"KeybroadDown", "E1"}, {"WheelUp", "1"}, {"WheelDown", "FF"}}},
        {"macro", "绝对定位XY(10,20)相对定位XY(-5, 5)", {{"AbsoluteXY", "10,20"}, {"RelativeXY", "-5, 5"}}},
        // Unknown steps, unknown keys, empty arguments and names at position 0 are dropped.
        {"macro", "跳跃(1)键盘按下(NOPE)延迟()(5)键盘按下(B", {{"KeybroadDown", "05"}}},
        {"macrofun", "自定义开关()", {{"SwitchCustom", ""}}},
        {"macrofun", "打断执行()", {{"StopCustom", ""}}},
        {"macrofun", "其他()", {}},
        {"Keyboard", "Ctrl+C", {{"keyboard", "E0,06"}}},
        {"Keyboard", "alt++tab+nope", {{"keyboard", "E2,2B"}}},
        {"Shortcut", "calculatrice", {{"Shortcut", "calculatrice"}}},
        {"Mouse", "单击前进键()", {{"mouse", "10"}}},
        {"Mouse", "单击后退键()", {{"mouse", "8"}}},
        {"Mouse", "DPI+", {{"mouse", ""}}},
        {"Text", "你好", {{"text", "你好"}}},
        {"Media", "play", {{"Media", "play"}}},
        {"Media", "", {}},
    };
    for (const ActionCase& c : cases) {
        EXPECT_EQ(actionsFor(QString::fromUtf8(c.type), QString::fromUtf8(c.command)), c.actions)
            << c.type << " " << c.command;
    }
}

TEST(KeyMap, EntriesKeysAndFailures) {
    ASSERT_TRUE(kf::encoding::loadKeyCodeMap());
    TriggerMap map;
    ASSERT_TRUE(parseVirtualKeyMap(
        kftest::keyMap(kftest::keyEntry(30, 0, "Keyboard", 2, "B", 3, 40) +
                       R"(<key scancode="30" flag="0" type="Text" playtype="1"><x value="later wins"/></key>)"
                       R"(<key scancode="4" flag="10" type="Text"/>)" +
                       kftest::keyEntry(29, 1, "Text", 4, "x")),
        &map));
    EXPECT_EQ(map.keys().size(), 2);
    const TriggerEntry a = map.value(triggerKey(30, 0));
    EXPECT_EQ(a.actions, (Actions{{"text", "later wins"}}));
    EXPECT_EQ(std::make_tuple(a.playType, a.playCount, a.playDelay, a.auxiliary),
              std::make_tuple(1, 0, 0, 0));
    EXPECT_EQ(map.value(triggerKey(29, 1)).playType, 4);

    for (const char* bad : {"", "<map>", "<map/>", "<map>text only</map>", "<other><key/></other>"}) {
        map.insert(1, TriggerEntry());
        EXPECT_FALSE(parseVirtualKeyMap(QString::fromUtf8(bad), &map)) << bad;
        EXPECT_TRUE(map.isEmpty()) << bad;
    }
}

}  // namespace
