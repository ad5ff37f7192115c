// The capture loop and the macro player together, on in-memory devices: which strokes trigger,
// which go on to the desktop, and the exact reports each play type sends.
#include <gtest/gtest.h>
#include <QSemaphore>
#include <QThread>

#include "input_helpers.h"
#include "support/qt_wait.h"

using kf::platform::kButton4Down;
using kf::platform::kKeyE0;
using kf::platform::kLeftDown;
using kf::platform::kLeftUp;
using kf::platform::kRightDown;
using kf::platform::kRightUp;
using kftest::kb;
using kftest::keyEntry;
using kftest::keyMap;
using kftest::ms;

namespace {

constexpr quint16 kA = 30, kB = 48, kCtrl = 29;

struct Stroke {
    int device;
    quint16 code;  // keyboard scan code; mouse button flags
    bool up;
    quint16 prefix;
};
Stroke press(quint16 code, int device = 1) {
    return {device, code, false, 0};
}
Stroke release(quint16 code, int device = 1) {
    return {device, code, true, 0};
}
Stroke button(quint16 flags) {
    return {11, flags, false, 0};
}

struct PlayCase {
    const char* name;
    QString keys;
    QVector<Stroke> strokes;
    QList<QByteArray> reports;
    int passed;  // strokes that went on to the desktop
};

void PrintTo(const PlayCase& c, std::ostream* os) {
    *os << c.name;
}

class Plays : public ::testing::TestWithParam<PlayCase> {};

TEST_P(Plays, SendTheReportsOfTheirPlayType) {
    const PlayCase& c = GetParam();
    kftest::InputHarness input;
    ASSERT_TRUE(input.refresh(keyMap(c.keys)));
    for (const Stroke& s : c.strokes) {
        if (kf::platform::isKeyboardDevice(s.device)) {
            input.key(s.code, s.up, s.prefix, s.device);
        } else {
            input.mouse(s.code, s.device);
        }
    }
    EXPECT_EQ(input.reports(), c.reports);
    EXPECT_EQ(input.passed(), c.passed);
}

INSTANTIATE_TEST_SUITE_P(
    Capture, Plays,
    ::testing::Values(
        PlayCase{"click_chord_presses_on_press_and_releases_on_release",
                 keyEntry(kA, 0, "Keyboard", 1, "B"),
                 {press(kA), release(kA)},
                 {kb(0, 0x05), kb(0, 0)},
                 0},
        PlayCase{"press_and_release_plays_after_release_play_count_times",
                 keyEntry(kA, 0, "Keyboard", 2, "B", 2),
                 {press(kA), release(kA)},
                 {kb(0, 0x05), kb(0, 0), kb(0, 0x05), kb(0, 0)},
                 0},
        PlayCase{"ctrl_c_is_typed_once_per_click",
                 keyEntry(kA, 0, "Keyboard", 1, "Ctrl+C"),
                 {press(kA), release(kA)},
                 {kb(0x01, 0x06), kb(0x01, 0), kb(0, 0)},
                 0},
        PlayCase{"wheel_steps_up_one_and_down_one",
                 keyEntry(kA, 0, "macro", 2, "上滚动(1)下滚动(FF)"),
                 {press(kA), release(kA)},
                 {ms(0, 0, 0, 1), ms(0, 0, 0, -1)},
                 0},
        PlayCase{"relative_move_goes_the_other_way",
                 keyEntry(kA, 0, "macro", 2, "相对定位XY(10,5)"),
                 {press(kA), release(kA)},
                 {ms(0, -10, -5, 0)},
                 0},
        PlayCase{"long_relative_move_goes_in_steps_that_fit_a_byte",
                 keyEntry(kA, 0, "macro", 2, "相对定位XY(200,-300)"),
                 {press(kA), release(kA)},
                 {ms(0, -127, 127, 0), ms(0, -73, 127, 0), ms(0, 0, 46, 0)},
                 0},
        PlayCase{"macro_keys_and_buttons_resolve_through_the_key_table",
                 keyEntry(kA, 0, "macro", 2,
                          "键盘按下(ctrl)键盘弹起(ctrl)键盘按下(B)鼠标按下(右键)鼠标弹起(右键)"),
                 {press(kA), release(kA)},
                 {kb(0x01, 0), kb(0, 0), kb(0, 0x05), ms(0x02), ms(0)},
                 0},
        PlayCase{"extended_key_is_its_own_trigger",
                 keyEntry(kCtrl, 1, "Keyboard", 2, "B"),
                 {press(kCtrl), release(kCtrl), {1, kCtrl, false, kKeyE0}, {1, kCtrl, true, kKeyE0}},
                 {kb(0, 0x05), kb(0, 0)},
                 2},
        PlayCase{"mouse_button_triggers_on_its_down_and_up_flags",
                 keyEntry(kRightDown, 10, "Mouse", 1, "单击左键()"),
                 {button(kRightDown), button(kRightUp), button(kButton4Down)},
                 {ms(0x01), ms(0)},
                 1},
        PlayCase{"left_button_is_never_a_trigger",
                 keyEntry(kLeftDown, 10, "Mouse", 1, "单击右键()"),
                 {button(kLeftDown), button(kLeftUp)},
                 {},
                 2},
        PlayCase{"own_virtual_device_never_triggers",
                 keyEntry(kA, 0, "Keyboard", 1, "B"),
                 {press(kA, 2), release(kA, 2), press(kB), release(kB)},
                 {},
                 4}),
    [](const ::testing::TestParamInfo<PlayCase>& info) { return std::string(info.param.name); });

TEST(Player, LoopWhileHeldStopsAtReleaseAndToggleStopsAtTheNextPress) {
    for (int playType : {3, 4}) {
        kftest::InputHarness input;
        ASSERT_TRUE(
            input.refresh(keyMap(keyEntry(kA, 0, "macro", playType, "键盘按下(B)键盘弹起(B)", 1, 2))));
        input.driver->feed(1, kf::platform::KeyboardInputRecord{0, kA, 0, 0, 0});
        ASSERT_TRUE(input.transport->waitForReports(6)) << playType;
        input.driver->feed(1, kf::platform::KeyboardInputRecord{0, kA, kf::platform::kKeyUp, 0, 0});
        ASSERT_TRUE(input.driver->waitUntilIdle());
        if (playType == 4) {
            // A toggle keeps playing after the release, until the next press.
            const int before = input.reports().size();
            ASSERT_TRUE(input.transport->waitForReports(before + 4)) << playType;
            input.key(kA, false);
            input.key(kA, true);
        }
        ASSERT_TRUE(input.idle()) << playType;
        const QList<QByteArray> reports = input.reports();
        kftest::settle(50);
        EXPECT_EQ(input.reports().size(), reports.size()) << playType;
        for (int i = 0; i + 1 < reports.size(); i += 2) {
            if (reports.at(i) != kb(0, 0x05)) {
                break;  // the stop's releases end the list
            }
            EXPECT_EQ(reports.at(i + 1), kb(0, 0)) << playType;
        }
    }
}

TEST(Player, NewTriggerStopsTheRunningListWithEverythingReleased) {
    kftest::InputHarness input;
    ASSERT_TRUE(input.refresh(keyMap(keyEntry(kA, 0, "macro", 2, "键盘按下(B)延迟(5000)键盘弹起(B)") +
                                     keyEntry(kB, 0, "Keyboard", 1, "C"))));
    input.key(kA, false);
    input.driver->feed(1, kf::platform::KeyboardInputRecord{0, kA, kf::platform::kKeyUp, 0, 0});
    ASSERT_TRUE(input.transport->waitForReports(1));
    // Input counts again once the list's first action is done.
    ASSERT_TRUE(kftest::waitFor([&] { return input.layer->capture()->captureEnabled(); }));
    input.key(kB, false);
    EXPECT_EQ(input.reports(), (QList<QByteArray>{kb(0, 0x05), kb(0, 0), ms(0), kb(0, 0x06)}));
}

TEST(Player, StopOfALoopTappedWhileAnotherListPlaysIsNeverLost) {
    kftest::InputHarness input;
    ASSERT_TRUE(input.refresh(keyMap(keyEntry(kB, 0, "Keyboard", 4, "C") +
                                     keyEntry(kA, 0, "macro", 3, "键盘按下(B)键盘弹起(B)", 1, 2))));
    input.feed(kB, false);
    // The toggle's chord is pressed and holds it for 50 ms: tap the loop's key meanwhile.
    ASSERT_TRUE(input.transport->waitForReports(1));
    input.feed(kA, false);
    QThread::msleep(5);
    input.feed(kA, true);
    ASSERT_TRUE(input.idle()) << "the loop goes on after its key was released";
    const int reports = input.reports().size();
    kftest::settle(100);
    EXPECT_EQ(input.reports().size(), reports);
    EXPECT_EQ(input.reports().last(), ms(0));
}

TEST(Player, CaptureNeverWaitsForOutputNorDropsInputDuringAStartingDelay) {
    kftest::InputHarness input;
    ASSERT_TRUE(
        input.refresh(keyMap(keyEntry(kA, 0, "Text", 2, "slow") + keyEntry(kB, 0, "Keyboard", 1, "C") +
                             keyEntry(kCtrl, 0, "macro", 2, "延迟(1000)键盘按下(B)"))));
    QSemaphore typing, typed;
    input.transport->setOnType([&] {
        typing.release();
        typed.acquire();
    });
    input.feed(kA, false);
    input.feed(kA, true);
    ASSERT_TRUE(typing.tryAcquire(1, 5000));
    // While the text is typed, a new trigger and an ordinary key still pass the capture thread.
    input.driver->feed(1, kf::platform::KeyboardInputRecord{0, kB, 0, 0, 0});
    input.driver->feed(1, kf::platform::KeyboardInputRecord{0, kCtrl, kKeyE0, 0, 0});
    EXPECT_TRUE(input.driver->waitUntilIdle(1000)) << "the capture thread waits behind the typing";
    EXPECT_EQ(input.passed(), 1);
    typed.release();
    ASSERT_TRUE(input.idle());
    input.transport->setOnType(nullptr);

    // Pointer motion during a list's starting delay goes on to the desktop.
    input.key(kB, true);
    input.feed(kCtrl, false);
    input.feed(kCtrl, true);
    ASSERT_TRUE(kftest::waitFor([&] { return input.layer->player().executor()->isPlaying(); }));
    for (int i = 0; i < 3; ++i) {
        kf::platform::MouseInputRecord motion;
        motion.lastX = 5;
        input.driver->feed(11, motion);
    }
    ASSERT_TRUE(input.driver->waitUntilIdle());
    EXPECT_TRUE(input.layer->player().executor()->isPlaying()) << "the delay ended too early for this test";
    EXPECT_EQ(input.passed(), 4);
    ASSERT_TRUE(input.idle());
}

TEST(Player, TextStopAndSwitches) {
    kftest::InputHarness input;
    const QString text = QStringLiteral("ab é中😀");
    ASSERT_TRUE(input.refresh(keyMap(keyEntry(kA, 0, "Text", 2, text) +
                                     keyEntry(kB, 0, "macrofun", 1, "自定义开关()") +
                                     keyEntry(kCtrl, 0, "macro", 2, "绝对定位XY(100, 200)"))));
    input.key(kA, false);
    input.key(kA, true);
    EXPECT_EQ(input.transport->typed(), text);
    // The switch turns every other action off until it is pressed again.
    input.key(kB, false);
    input.key(kB, true);
    EXPECT_FALSE(input.layer->player().executor()->enabled());
    input.key(kCtrl, false);
    input.key(kCtrl, true);
    EXPECT_TRUE(input.transport->cursorMoves().isEmpty());
    input.key(kB, false);
    input.key(kB, true);
    input.key(kCtrl, false);
    input.key(kCtrl, true);
    EXPECT_EQ(input.transport->cursorMoves(), QList<QPoint>{QPoint(100, 200)});
    input.transport->clear();
    input.layer->player().executor()->stopOutputNow();
    EXPECT_EQ(input.reports(), (QList<QByteArray>{kb(0, 0), ms(0)}));
}

TEST(Capture, GrabsOnlyWhileTheMapHasTriggersAndLetsGoOnEveryWayOut) {
    kftest::InputHarness input;
    EXPECT_EQ(input.driver->filter(1), 0);  // no map: nothing captured
    input.key(kA, false);
    EXPECT_EQ(input.passed(), 1);
    ASSERT_TRUE(input.refresh(keyMap(keyEntry(kA, 0, "Keyboard", 1, "B"))));
    EXPECT_EQ(input.driver->filter(10), 0xFFFF);
    EXPECT_EQ(input.driver->filter(20), 0xFFFF);
    EXPECT_FALSE(input.refresh(QStringLiteral("<map/>")));
    EXPECT_EQ(input.driver->filter(1), 0);
    ASSERT_TRUE(input.refresh(keyMap(keyEntry(kA, 0, "Keyboard", 1, "B"))));
    // A failing driver ends the loop: every device is closed again.
    input.driver->fail(QStringLiteral("test failure"));
    EXPECT_TRUE(kftest::waitFor([&] { return input.driver->openDevices() == 0; }));
}

TEST(Capture, StoppingTheLayerClosesEveryDevice) {
    kftest::InputHarness input;
    ASSERT_TRUE(input.refresh(keyMap(keyEntry(kA, 0, "Keyboard", 1, "B"))));
    kf::platform::MemoryInterceptionDriver* driver = input.driver;
    input.layer->stopCapture();
    EXPECT_EQ(driver->openDevices(), 0);
}

TEST(Capture, DiscardsNewInputWhileAListStartsButNotReleasesOrTriggers) {
    kftest::InputHarness input;
    ASSERT_TRUE(input.refresh(keyMap(keyEntry(kA, 0, "Keyboard", 2, "B"))));
    DEVICE_FILTER* capture = input.layer->capture();
    capture->setCaptureEnabled(false);
    input.key(kB, false);
    input.key(kB, true);
    input.mouse(kLeftDown);
    EXPECT_EQ(input.passed(), 1);  // only the release
    input.key(kA, false);
    input.key(kA, true);
    EXPECT_EQ(input.reports(), (QList<QByteArray>{kb(0, 0x05), kb(0, 0)}));
}

}  // namespace
