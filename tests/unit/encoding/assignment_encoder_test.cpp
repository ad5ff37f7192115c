// Button assignments of every type turned into device codes, and the pieces they are built of.
#include "encoding/assignment_encoder.h"
#include "encoding/byte_tokens.h"
#include "unit/encoding/encoding_test_util.h"

#include <gtest/gtest.h>

using namespace kf::encoding;
using kftest::d20;

namespace {

QString encode(const QString& type, const QString& command, bool* ok = nullptr) {
    return encodeAssignment(d20(), type, command, ok);
}

}  // namespace

TEST(ByteTokens, WhatCountsAsAByte) {
    for (const char* good : {"0", "1", "06", "e8", "E0", "ff", "0xFF", "0x1", "0X0a", "00ff"}) {
        EXPECT_TRUE(isByteToken(good)) << good;
    }
    for (const char* bad :
         {"", "0x", "100", "0x100", "-1", "g", "{0}", " 1", "1 ", "+1", "0x-1", "1.0", "xFF"}) {
        EXPECT_FALSE(isByteToken(bad)) << bad;
    }
    EXPECT_EQ(codeTokens("a,,b,"), (QStringList{"a", "b"}));
    EXPECT_EQ(codeTokenCount(",a,,b,"), 2);
    EXPECT_EQ(codeTokenCount(""), 0);
    EXPECT_EQ(normalizedCode(",0x01,,2,"), "0x01,2");
    EXPECT_EQ(hexText(1000), "3e8");
    EXPECT_EQ(decimalOrZero(" 42 "), 42);
    EXPECT_EQ(decimalOrZero("0x10"), 0);
    EXPECT_EQ(decimalOrZero("99999999999999999999999"), 0);
}

TEST(HotkeyCode, PadsAndShiftsTheChordCodes) {
    EXPECT_EQ(hotkeyCode({"1", "06"}), "0x02,1,06,0x00");
    EXPECT_EQ(hotkeyCode({"06"}), "0x02,0x00,06,0x00");
    EXPECT_EQ(hotkeyCode({"1", "2", "06"}), "0x02,1,2,06");
    EXPECT_EQ(hotkeyCode({"1", "2", "4", "06"}), "0x02,1,2,4");
    EXPECT_EQ(hotkeyCode({}), "0x02,0x00,0x00,0x00");
}

TEST(ChordAssignment, KeyboardAndHotkeyTypes) {
    EXPECT_EQ(encode("Keyboard", "Ctrl+C"), "0x02,1,06,0x00");
    EXPECT_EQ(encode("HOTKEY", "C"), "0x02,0x00,06,0x00");
    EXPECT_EQ(encode("keyboard", "Ctrl+Shift+C"), "0x02,1,2,06");
    EXPECT_EQ(encode("Keyboard", "Win+R"), "0x02,8,15,0x00");
    EXPECT_EQ(encode("Keyboard", "Ctrl+F4"), "0x02,1,3D,0x00");
    EXPECT_EQ(encode("Keyboard", "Ctrl++C"), "0x02,1,06,0x00");  // empty parts dropped
    // No part known: the hotkey code is still written, with zero codes.
    EXPECT_EQ(encode("Keyboard", "Foo+Bar"), "0x02,0x00,0x00,0x00");
    EXPECT_EQ(encode("Keyboard", ""), "0x02,0x00,0x00,0x00");
    // A part that is unknown drops out and the later codes move up.
    EXPECT_EQ(encode("Keyboard", "Foo+Ctrl+C"), "0x02,1,06,0x00");
}

TEST(ChordAssignment, PartsAreTriedAsSentThenUpperCased) {
    // "Enter" is stored as "ENTER": the plain lookup would give 0x02,0x00,2,0x00.
    EXPECT_EQ(encode("Keyboard", "Shift+Enter"), "0x02,2,28,0x00");
    EXPECT_EQ(encode("Keyboard", "Alt+Space"), "0x02,4,2C,0x00");
    EXPECT_EQ(encode("Keyboard", "Ctrl+Backspace"), "0x02,1,2A,0x00");
    EXPECT_EQ(encode("Keyboard", "Ctrl+c"), "0x02,1,06,0x00");
    // As sent comes first: "Esc" is the task; "ESC" and "esc" find nothing.
    EXPECT_EQ(encode("Keyboard", "Esc"), "0x02,0x00,29,0x00");
    EXPECT_EQ(encode("Keyboard", "esc"), "0x02,0x00,0x00,0x00");
}

TEST(MouseAssignment, FunctionTasksGiveTheirDriverCode) {
    EXPECT_EQ(encode("Mouse", "单击左键()"), "0x01,0x01,0x00,0x00");
    EXPECT_EQ(encode("MOUSE", "DPI循环"), "0x01,0x20,0x00,0x00");
    EXPECT_EQ(encode("mouse", "播放/暂停"), "0x03,0x00,0xCD,0x00");
    EXPECT_EQ(encode("MacroFun", "打开自定义()"), "0x09,0x1,0x00,0x00");
    bool ok = false;
    EXPECT_EQ(encode("Mouse", "NoSuchFunction", &ok), "");
    EXPECT_TRUE(ok);  // nothing to assign: the slot is cleared
    // Rows that only document a code shape cannot be written.
    EXPECT_EQ(encode("Mouse", "Hotkey", &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(encode("Mouse", "delayTime", &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(encode("Mouse", "单击左键()\"", &ok), "");
    EXPECT_TRUE(ok);
}

TEST(MultimediaAssignment, TheCommandIsTheCode) {
    bool ok = false;
    EXPECT_EQ(encode("MultiMedia", "0x03,0x00,0xCD,0x00", &ok), "0x03,0x00,0xCD,0x00");
    EXPECT_TRUE(ok);
    EXPECT_EQ(encode("MULTIMEDIA", "0x03,0x00,0xE9,0x00,"), "0x03,0x00,0xE9,0x00");
    EXPECT_EQ(encode("multimedia", "", &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(encode("MultiMedia", "0x03,0x100", &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(encode("MultiMedia", "play", &ok), "");
    EXPECT_FALSE(ok);
}

TEST(DpiAssignment, SplitsXAndYAsTheDeviceExpects) {
    QString code;
    ASSERT_TRUE(dpiCode("1|800|1600", &code));
    EXPECT_EQ(code, "1,10,0x00,10,0x00,0x00,0x00,0x00");  // Y follows X when m is 1
    ASSERT_TRUE(dpiCode("0|800|1600", &code));
    EXPECT_EQ(code, "0,10,0x00,20,0x00,0x00,0x00,0x00");
    ASSERT_TRUE(dpiCode("0|12800|204750", &code));  // 256 = 0x100 and 4095 = 0xfff
    EXPECT_EQ(code, "0,00,1,ff,f,0x00,0x00,0x00");
    ASSERT_TRUE(dpiCode("|2|||1000|x|", &code));  // empty fields dropped, malformed y is 0
    EXPECT_EQ(code, "2,14,0x00,0,0x00,0x00,0x00,0x00");
    EXPECT_EQ(encode("DPI", "1|800|1600"), "1,10,0x00,10,0x00,0x00,0x00,0x00");
}

TEST(DpiAssignment, IncompleteOrOutOfRangeCommandsFailTheWrite) {
    QString code = "stale";
    EXPECT_FALSE(dpiCode("1|800", &code));
    EXPECT_EQ(code, "");
    EXPECT_FALSE(dpiCode("", &code));
    EXPECT_FALSE(dpiCode("0|204800|800", &code));  // 4096 does not split on its text
    EXPECT_FALSE(dpiCode("0|-50|800", &code));
    EXPECT_FALSE(dpiCode("x|800|800", &code));
    EXPECT_FALSE(dpiCode("256|800|800", &code));
    EXPECT_FALSE(dpiCode("1|800|800", nullptr));
    bool ok = true;
    EXPECT_EQ(encode("DPI", "1|800", &ok), "");
    EXPECT_FALSE(ok);
}

TEST(AssignmentTypes, UnknownTypesGiveNoCode) {
    bool ok = false;
    EXPECT_EQ(encode("Gkey", "Ctrl+C", &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(encode("", "单击左键()", &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(encode("Macro", "键盘按下(a)"), "0x84,04,0x00");
}
