// Macro text read into steps, and steps written as device step bytes.
#include "encoding/macro_encoder.h"
#include "encoding/byte_tokens.h"
#include "unit/encoding/encoding_test_util.h"

#include <gtest/gtest.h>

using namespace kf::encoding;
using kftest::d20;

namespace {

QString macro(const QString& text) {
    return encodeMacroSteps(parseMacroSteps(d20(), text));
}

QString step(const char* action, const QString& argument) {
    return encodeMacroSteps({{action, argument}});
}

}  // namespace

TEST(MacroParsing, NamesArgumentsAndLookups) {
    const MacroStepList steps = parseMacroSteps(d20(), "键盘按下(a)延迟(1000)键盘弹起(a)");
    ASSERT_EQ(steps.size(), 3);
    EXPECT_EQ(steps.at(0), MacroStep("keyDown", "04"));
    EXPECT_EQ(steps.at(1), MacroStep("delay", "1000"));
    EXPECT_EQ(steps.at(2), MacroStep("keyUp", "04"));
    // Generic modifiers become the left keys.
    EXPECT_EQ(parseMacroSteps(d20(), "鼠标按下(ctrl)"), (MacroStepList{{"mDown", "E0"}}));
    EXPECT_EQ(parseMacroSteps(d20(), " 键盘按下( win )"), (MacroStepList{{"keyDown", "E3"}}));
    EXPECT_EQ(parseMacroSteps(d20(), "鼠标按下(左键)鼠标弹起(中键)"),
              (MacroStepList{{"mDown", "0x01"}, {"mUp", "0x03"}}));
    EXPECT_EQ(parseMacroSteps(d20(), "相对定位XY(10,-5)弹道压枪XY(1,2)"),
              (MacroStepList{{"RelativeXY", "10,-5"}, {"RelativeXY", "1,2"}}));
    EXPECT_EQ(parseMacroSteps(d20(), "上滚动(x)下滚动(1)"),
              (MacroStepList{{"WheelUp", "X"}, {"WheelDown", "1"}}));
}

TEST(MacroParsing, StepsThatCannotBeResolvedAreDropped) {
    EXPECT_TRUE(parseMacroSteps(d20(), "").isEmpty());
    EXPECT_TRUE(parseMacroSteps(d20(), "(a)").isEmpty());         // "(" at position 0
    EXPECT_TRUE(parseMacroSteps(d20(), "键盘按下 a").isEmpty());  // no "("
    EXPECT_TRUE(parseMacroSteps(d20(), "跳跃(a)").isEmpty());     // unknown step name
    EXPECT_TRUE(parseMacroSteps(d20(), "上滚动()").isEmpty());    // a wheel step needs some text
    EXPECT_TRUE(parseMacroSteps(d20(), "键盘按下(NoSuchKey)").isEmpty());
    EXPECT_TRUE(parseMacroSteps(d20(), "键盘按下(DPI+)").isEmpty());    // a function is not a key
    EXPECT_TRUE(parseMacroSteps(d20(), "键盘按下(Hotkey)").isEmpty());  // nor a code shape
    EXPECT_TRUE(parseMacroSteps(d20(), "键盘按下(\")").isEmpty());
    EXPECT_EQ(parseMacroSteps(d20(), "键盘按下(b)))键盘弹起(b)").size(), 2);
    EXPECT_EQ(parseMacroSteps(d20(), "键盘按下(b)((键盘弹起(b)").size(), 1);
}

TEST(MacroParsing, MixedCaseKeyTasksAreFoundAsWritten) {
    // The upper-cased argument comes first ("ENTER"); keys whose task is mixed case are found
    // as written instead of being lost.
    EXPECT_EQ(parseMacroSteps(d20(), "键盘按下(enter)"), (MacroStepList{{"keyDown", "28"}}));
    EXPECT_EQ(parseMacroSteps(d20(), "键盘按下(Tab)"), (MacroStepList{{"keyDown", "2B"}}));
    EXPECT_EQ(parseMacroSteps(d20(), "键盘按下(Esc)"), (MacroStepList{{"keyDown", "29"}}));
    EXPECT_EQ(parseMacroSteps(d20(), "键盘按下(Right CTRL)"), (MacroStepList{{"keyDown", "E4"}}));
    EXPECT_TRUE(parseMacroSteps(d20(), "键盘按下(esc)").isEmpty());
}

TEST(MacroSteps, KeyButtonWheelAndDelayCodes) {
    EXPECT_EQ(macro("键盘按下(a)延迟(1000)键盘弹起(a)"), "0x84,04,0x00,0x06,e8,3,0x04,04,0x00,");
    EXPECT_EQ(macro("鼠标按下(ctrl)"), "0x81,E0,0x00,");
    EXPECT_EQ(macro("鼠标按下(右键)鼠标弹起(右键)"), "0x81,0x02,0x00,0x01,0x02,0x00,");
    EXPECT_EQ(macro("上滚动(1)下滚动(1)"), "0x03,0x01,0x00,0x83,0x01,0x00,");
    EXPECT_EQ(step("delay", "65535"), "0x06,ff,ff,");
    EXPECT_EQ(step("delay", "70000"), "0x06,ff,ff,");  // clamped to what 16 bits hold
    EXPECT_EQ(step("delay", "-5"), "0x06,0,0,");
    EXPECT_EQ(step("delay", "soon"), "0x06,0,0,");
    EXPECT_EQ(step("keyDown", "0x100"), "");  // a key code must be one byte
    EXPECT_EQ(step("keyDown", "1,2"), "");
    EXPECT_EQ(step("jump", "1"), "");
}

TEST(MacroSteps, AbsolutePositions) {
    EXPECT_EQ(macro("绝对定位XY(300,2)"), "0x82,1,2c,0x02,0,2,");
    EXPECT_EQ(step("AbsoluteXY", "65535,0"), "0x82,ff,ff,0x02,0,0,");
    EXPECT_EQ(step("AbsoluteXY", "70000,-3"), "0x82,ff,ff,0x02,0,0,");
    EXPECT_EQ(step("AbsoluteXY", "7"), "0x82,0,7,0x02,0,0,");  // a missing y reads as 0
    EXPECT_EQ(step("AbsoluteXY", ""), "0x82,0,0,0x02,0,0,");
}

TEST(MacroSteps, RelativeMovesAndCorrections) {
    EXPECT_EQ(macro("相对定位XY(10,-5)"), "0x85,0,a,0x05,0,5,");
    EXPECT_EQ(macro("相对定位XY(-1,0)"), "0x85,ff,ff,");
    EXPECT_EQ(macro("向左下角修正(3,4)"), "0x85,ff,fd,0x05,0,4,");
    EXPECT_EQ(macro("向左下角修正(0,4)"), "0x05,0,4,");
    EXPECT_EQ(macro("向左下角修正(-3,-4)"), "0x85,ff,fd,0x05,0,4,");
    EXPECT_EQ(macro("向右上角修正(-3,4)"), "0x85,0,3,0x05,ff,fc,");
    EXPECT_EQ(macro("弹道压枪XY(0,0)"), "");
    EXPECT_EQ(step("SpearXY", "0,1"), "0x05,ff,ff,");
    EXPECT_EQ(step("RelativeXY", "40000,-40000"), "0x85,7f,ff,0x05,7f,ff,");
    EXPECT_EQ(step("RelativeXY", "-40000,40000"), "0x85,80,0,0x05,80,0,");
    EXPECT_EQ(step("SpearLB", "-9223372036854775808,9223372036854775807"), "0x85,80,0,0x05,7f,ff,");
    EXPECT_EQ(step("RelativeXY", "5"), "0x85,0,5,");
}

TEST(MacroSteps, TheBodyIsCutAfterTheStepThatReaches195Bytes) {
    // 64 three-byte steps reach 192 bytes; the 65th reaches 195 and is the last one kept.
    MacroStepList steps(100, MacroStep("keyDown", "04"));
    EXPECT_EQ(codeTokenCount(encodeMacroSteps(steps)), 195);
    // Six-byte steps: 32 give 192, the 33rd brings 198.
    MacroStepList moves(50, MacroStep("AbsoluteXY", "1,1"));
    EXPECT_EQ(codeTokenCount(encodeMacroSteps(moves)), 198);
    // Steps that emit nothing do not count.
    MacroStepList quiet(300, MacroStep("RelativeXY", "0,0"));
    quiet.append(MacroStep("keyUp", "04"));
    EXPECT_EQ(encodeMacroSteps(quiet), "0x04,04,0x00,");
    // Mixed: 64 key steps (192) then a six-byte move gives 198, under the 200-byte slot.
    MacroStepList mixed(64, MacroStep("keyUp", "04"));
    mixed.append(MacroStep("AbsoluteXY", "1,1"));
    mixed.append(MacroStep("keyUp", "04"));
    EXPECT_EQ(codeTokenCount(encodeMacroSteps(mixed)), 198);
}
