// The direct parameter write ("WriteDeviceMultimedia") and the per-key colour frame
// ("NotifyRGBDevice").
#include "encoding/device_code.h"
#include "encoding/key_colours.h"
#include "encoding/key_matrix.h"

#include <gtest/gtest.h>

using namespace kf::encoding;

namespace {

QString deviceCode(const QString& code, const QString& length) {
    QString out = "unset";
    return deviceCodeForWrite(code, length, &out) ? out : QString("refused:") + out;
}

QByteArray rgbAt(const KeyColourFrame& frame, const char* name) {
    return frame.buffer().mid(8 + 3 * matrixIndex(name), 3);
}

}  // namespace

TEST(DeviceCode, SixCharacterValuesBecomeThreeTokens) {
    EXPECT_EQ(deviceCode("CD00E9", "3"), "CD,00,E9");
    EXPECT_EQ(deviceCode("2EABF3", "3"), "2E,AB,F3");
    EXPECT_EQ(deviceCode("0x01,0x02", "2"), "0x01,0x02");
    EXPECT_EQ(deviceCode("1", "1"), "1");
    EXPECT_EQ(deviceCode("0x03,0x00,", "2"), "0x03,0x00");
    EXPECT_EQ(deviceCode("", "0"), "");
}

TEST(DeviceCode, LengthFiveIsADpiStage) {
    EXPECT_EQ(deviceCode("2000", "5"), "0x01,28,0,28,0");
    EXPECT_EQ(deviceCode("12800", "5"), "0x01,0,1,0,1");
    EXPECT_EQ(deviceCode("49", "5"), "0x01,0,0,0,0");
    EXPECT_EQ(deviceCode("fast", "5"), "0x01,0,0,0,0");  // malformed numbers read as 0
    // A six-digit DPI stays a number instead of being cut into tokens first.
    EXPECT_EQ(deviceCode("100000", "5"), "0x01,d0,7,d0,7");
    EXPECT_EQ(deviceCode("3276799", "5"), "0x01,ff,ff,ff,ff");
}

TEST(DeviceCode, UnwritableValuesAreRefused) {
    EXPECT_EQ(deviceCode("3276800", "5"), "refused:");
    EXPECT_EQ(deviceCode("-50", "5"), "refused:");
    EXPECT_EQ(deviceCode("CD00E9", "4"), "refused:");  // three tokens, four bytes stated
    EXPECT_EQ(deviceCode("255", "1"), "refused:");     // tokens are hexadecimal: 0x255
    EXPECT_EQ(deviceCode("GG0000", "3"), "refused:");
    EXPECT_EQ(deviceCode("1", "x"), "refused:");
    EXPECT_FALSE(deviceCodeForWrite("1", "1", nullptr));
}

TEST(ColourData, UnwrapsTheJsonTextAndSplitsItems) {
    EXPECT_EQ(unwrapColourData("[\"1,2\",\"3\"]"), "1,2\",\"3");
    EXPECT_EQ(colourItems(unwrapColourData("[\"1,2\",\"3\"]")), (QStringList{"1,2", "3"}));
    EXPECT_EQ(unwrapColourData("[\"A\\\\\\\\B\"]"), "A\\\\B");  // backslash pairs halve
    EXPECT_EQ(colourItems(unwrapColourData("[\"ESC#FF0000\",\"\",\"FN#00FF00\"]")),
              (QStringList{"ESC#FF0000", "", "FN#00FF00"}));
    EXPECT_EQ(unwrapColourData("abc"), "");
    EXPECT_EQ(unwrapColourData("[\"x"), "");
    EXPECT_EQ(unwrapColourData(""), "");
    EXPECT_EQ(colourItems(""), QStringList{""});
}

TEST(KeyColourFrame, HeaderAndSize) {
    const KeyColourFrame frame;
    ASSERT_EQ(frame.buffer().size(), 1024);
    EXPECT_EQ(frame.buffer().left(8), QByteArray("\x05\x02\xBB\xAA\x07\x00\xF8\x01", 8));
    EXPECT_EQ(frame.buffer().mid(8).count('\0'), 1024 - 8);
}

TEST(KeyColourFrame, ColoursKeysAndTurnsOffThePreviousFrame) {
    KeyColourFrame frame;
    frame.apply({"FN#00FF00", "ESC#2EABF3"});
    EXPECT_EQ(matrixIndex("FN"), 115);
    EXPECT_EQ(frame.buffer().mid(8 + 3 * 115, 3), QByteArray("\x00\xFF\x00", 3));
    EXPECT_EQ(rgbAt(frame, "ESC"), QByteArray("\x2E\xAB\xF3", 3));
    EXPECT_EQ(frame.previousKeys(), (QStringList{"FN", "ESC"}));
    frame.apply({"ESC#010203"});
    EXPECT_EQ(rgbAt(frame, "FN"), QByteArray(3, '\0'));
    EXPECT_EQ(rgbAt(frame, "ESC"), QByteArray("\x01\x02\x03", 3));
    frame.apply({});
    EXPECT_EQ(frame.buffer().mid(8).count('\0'), 1024 - 8);
    EXPECT_EQ(frame.buffer().left(8), KeyColourFrame().buffer().left(8));
}

TEST(KeyColourFrame, MalformedItemsAndUnknownNames) {
    KeyColourFrame frame;
    frame.apply(
        {"ESC", "A#B#C", "NOSUCHKEY#FFFFFF", "esc#FFFFFF", "SPACEBAR#AB", "NUMPERIOD#ABC", "F1#zz10"});
    EXPECT_EQ(frame.previousKeys(), (QStringList{"SPACEBAR", "NUMPERIOD", "F1"}));
    EXPECT_EQ(rgbAt(frame, "ESC"), QByteArray(3, '\0'));
    EXPECT_EQ(rgbAt(frame, "SPACEBAR"), QByteArray(3, '\0'));             // too short: only recorded
    EXPECT_EQ(rgbAt(frame, "NUMPERIOD"), QByteArray("\xAB\x0C\x00", 3));  // missing digits read as 0
    EXPECT_EQ(rgbAt(frame, "F1"), QByteArray("\x00\x10\x00", 3));         // malformed digits read as 0
    // Nothing outside the key area was touched.
    EXPECT_EQ(frame.buffer().mid(8 + 3 * 126).count('\0'), 1024 - 8 - 3 * 126);
    // An empty name is the last empty matrix position.
    frame.apply({"#FFFFFF"});
    EXPECT_EQ(frame.buffer().mid(8 + 3 * 125, 3), QByteArray("\xFF\xFF\xFF", 3));
}
