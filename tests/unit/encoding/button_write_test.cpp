// What a "CustomButton" request writes into the button slot, and the tray message about it.
#include "encoding/button_write.h"
#include "encoding/byte_tokens.h"
#include "unit/encoding/encoding_test_util.h"

#include <gtest/gtest.h>

using namespace kf::encoding;
using kftest::d20;
using Action = ButtonWrite::Action;

namespace {

ButtonAssignment request(const QString& type, const QString& command, const QString& playType = "1",
                         const QString& playCount = "1", const QString& taskIndex = "11",
                         const QString& mode = "0") {
    ButtonAssignment r;
    r.device = "258a001a";
    r.taskIndex = taskIndex;
    r.mode = mode;
    r.command = command;
    r.type = type;
    r.playCount = playCount;
    r.playDelay = "250";
    r.playType = playType;
    return r;
}

const QString kClear = "0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00";

}  // namespace

TEST(ButtonWritePlan, MouseFunctionsGetAZeroPlayHeader) {
    for (const auto& [type, count] : {std::pair{"2", "9"}, std::pair{"4", "300"}, std::pair{"x", "-1"}}) {
        const ButtonWrite plan = planButtonWrite(d20(), request("Mouse", "单击左键()", type, count));
        ASSERT_EQ(plan.action, Action::Write);
        EXPECT_EQ(plan.data, "0x01,0,0,0,0,0x00,0x00,0x00,0x00,0x00,0x00,0x01,0x01,0x00,0x00");
        EXPECT_EQ(plan.size, "15");
    }
}

TEST(ButtonWritePlan, ChordsCarryPlayTypeAndCount) {
    const ButtonWrite plan = planButtonWrite(d20(), request("Keyboard", "Ctrl+C", "1", "3"));
    ASSERT_EQ(plan.action, Action::Write);
    EXPECT_EQ(plan.data, "0x01,1,3,0,0,0x00,0x00,0x00,0x00,0x00,0x00,0x02,1,06,0x00");
    EXPECT_EQ(plan.size, "15");
    EXPECT_EQ(planButtonWrite(d20(), request("Keyboard", "Ctrl+C", "2", "255")).data.section(',', 0, 2),
              "0x01,2,ff");
    // No part known: the zero hotkey code is written like any chord.
    EXPECT_EQ(planButtonWrite(d20(), request("Keyboard", "Foo")).data,
              "0x01,1,1,0,0,0x00,0x00,0x00,0x00,0x00,0x00,0x02,0x00,0x00,0x00");
}

TEST(ButtonWritePlan, MultimediaAndDpiCodes) {
    ButtonWrite plan = planButtonWrite(d20(), request("MultiMedia", "0x03,0x00,0xCD,0x00", "1", "2"));
    ASSERT_EQ(plan.action, Action::Write);
    EXPECT_EQ(plan.data, "0x01,1,2,0,0,0x00,0x00,0x00,0x00,0x00,0x00,0x03,0x00,0xCD,0x00");
    // A multimedia code that starts with "0x01" passes the mouse-function test.
    plan = planButtonWrite(d20(), request("MultiMedia", "0x01,0x21,0x00,0x00", "3", "4"));
    EXPECT_EQ(plan.data.section(',', 0, 4), "0x01,0,0,0,0");
    plan = planButtonWrite(d20(), request("DPI", "1|800|1600"));
    ASSERT_EQ(plan.action, Action::Write);
    EXPECT_EQ(plan.data, "0x01,1,1,0,0,0x00,0x00,0x00,0x00,0x00,0x00,1,10,0x00,10,0x00,0x00,0x00,0x00");
    EXPECT_EQ(plan.size, "19");
}

TEST(ButtonWritePlan, MacrosGetTheirBlockHeader) {
    ButtonWrite plan =
        planButtonWrite(d20(), request("Macro", "键盘按下(a)延迟(1000)键盘弹起(a)", "1", "1", "11", "0"));
    ASSERT_EQ(plan.action, Action::Write);
    EXPECT_EQ(plan.data,
              "0x01,1,1,0,0,0x00,0x00,0x00,0x00,0x00,0x00,"
              "0x04,64,9,0x00,0x84,04,0x00,0x06,e8,3,0x04,04,0x00");
    EXPECT_EQ(plan.size, "24");
    // Mode counts into the macro number: 12 + 2 + 89 = 103.
    plan = planButtonWrite(d20(), request("MACRO", "键盘按下(a)", "2", "1", "12", "2"));
    EXPECT_EQ(plan.data.section(',', 11), "0x04,67,3,0x00,0x84,04,0x00");
    // A macro that resolves to nothing is still a (stepless) macro, not a clear.
    plan = planButtonWrite(d20(), request("Macro", "跳跃(a)"));
    ASSERT_EQ(plan.action, Action::Write);
    EXPECT_EQ(plan.data.section(',', 11), "0x04,64,0,0x00");
    EXPECT_EQ(plan.size, "15");
}

TEST(ButtonWritePlan, LongMacrosStayWithinTheSlot) {
    QString text;
    for (int i = 0; i < 150; ++i)
        text += "键盘按下(a)";
    const ButtonWrite plan = planButtonWrite(d20(), request("Macro", text));
    ASSERT_EQ(plan.action, Action::Write);
    EXPECT_EQ(plan.data.section(',', 11, 14), "0x04,64,c3,0x00");  // 195 step bytes
    EXPECT_EQ(plan.size, QString::number(15 + 195));
}

TEST(ButtonWritePlan, EmptyCodesClearTheSlot) {
    for (const auto& r : {request("Mouse", ""), request("Mouse", "NoSuchFunction"), request("MultiMedia", ""),
                          request("Other", "Ctrl+C")}) {
        const ButtonWrite plan = planButtonWrite(d20(), r);
        EXPECT_EQ(plan.action, Action::Clear);
        EXPECT_EQ(plan.data, kClear);
        EXPECT_EQ(plan.size, "15");
    }
    EXPECT_EQ(codeTokenCount(clearSlotCode()), 15);
}

TEST(ButtonWritePlan, UnwritableAssignmentsAreRejected) {
    for (const auto& r :
         {request("DPI", "1|800"), request("MultiMedia", "0x03,0x1CD"), request("Mouse", "Hotkey"),
          request("Keyboard", "Ctrl+C", "", "1"), request("Keyboard", "Ctrl+C", "one", "1"),
          request("Keyboard", "Ctrl+C", "1", "256"), request("Keyboard", "Ctrl+C", "1", "-1"),
          request("Macro", "键盘按下(a)", "1", "1", "200", "0"),
          request("Macro", "键盘按下(a)", "1", "1", "-90", "0")}) {
        SCOPED_TRACE((r.type + " " + r.command + " " + r.playType + " " + r.playCount).toStdString());
        const ButtonWrite plan = planButtonWrite(d20(), r);
        EXPECT_EQ(plan.action, Action::Reject);
        EXPECT_TRUE(plan.data.isEmpty());
    }
    // The largest macro number that fits in a byte.
    EXPECT_EQ(planButtonWrite(d20(), request("Macro", "", "1", "1", "166", "0")).action, Action::Write);
}

TEST(ButtonWritePieces, MacroBlockAndPlayHeader) {
    QString block;
    ASSERT_TRUE(macroBlock("11", "0", "0x84,04,0x00,", &block));
    EXPECT_EQ(block, "0x04,64,3,0x00,0x84,04,0x00");
    ASSERT_TRUE(macroBlock("x", "y", "", &block));  // malformed numbers read as 0
    EXPECT_EQ(block, "0x04,59,0,0x00");
    EXPECT_FALSE(macroBlock("11", "0", kftest::repeated(201, "1").join(','), &block));
    EXPECT_TRUE(block.isEmpty());
    QString header;
    ASSERT_TRUE(playHeader("0x01,0x02", "3", "16", &header));
    EXPECT_EQ(header, "0x01,0,0,0,0,0x00,0x00,0x00,0x00,0x00,0x00");
    ASSERT_TRUE(playHeader("0x02,1,06,0x00", "3", "16", &header));
    EXPECT_EQ(header, "0x01,3,10,0,0,0x00,0x00,0x00,0x00,0x00,0x00");
    ASSERT_TRUE(playHeader("0X01", "4", "0", &header));  // only "0x01" exactly counts
    EXPECT_EQ(header.section(',', 1, 2), "4,0");
    EXPECT_FALSE(macroBlock("1", "1", "", nullptr));
    EXPECT_FALSE(playHeader("", "1", "1", nullptr));
}

TEST(ButtonWriteMessage, TextsByOutcomeAndPlayType) {
    const auto r = [](const QString& playType) { return request("Keyboard", "Ctrl+C", playType, "3"); };
    EXPECT_EQ(buttonWriteMessage(r("1"), Action::Write, true), "设置成功:请点击执行,命令会执行（3）次");
    EXPECT_EQ(buttonWriteMessage(r("2"), Action::Write, true), "设置成功:请按下弹起执行,命令会执行（3）次");
    EXPECT_EQ(buttonWriteMessage(r("3"), Action::Write, true),
              "设置成功:请按住循环执行,松开停止,循环延迟时间（250）毫秒");
    EXPECT_EQ(buttonWriteMessage(r("4"), Action::Write, true),
              "设置成功:请点击循环执行,再次点击停止,循环延迟时间（250）毫秒");
    EXPECT_EQ(buttonWriteMessage(r("5"), Action::Write, true), "");
    EXPECT_EQ(buttonWriteMessage(r("1"), Action::Write, false), "设置失败");
    EXPECT_EQ(buttonWriteMessage(r("1"), Action::Reject, false), "设置失败");
    EXPECT_EQ(buttonWriteMessage(r("1"), Action::Clear, true), "清除成功!");
    EXPECT_EQ(buttonWriteMessage(r("1"), Action::Clear, false), "清除失败!");
    // Counts appear as the page sent them.
    EXPECT_EQ(buttonWriteMessage(request("Mouse", "单击左键()", "1", "abc"), Action::Write, true),
              "设置成功:请点击执行,命令会执行（abc）次");
}
