// Nothing stays pressed and nothing is captured that should not be: a release follows the path
// its press took across key-map changes and every end of capture, and a desktop session that is
// not the active one has every device closed.
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

#include "input_helpers.h"
#include "support/qt_wait.h"

using kftest::kb;
using kftest::keyEntry;
using kftest::keyMap;

namespace {

constexpr quint16 kA = 30, kB = 48;

enum class Change { NewMap, EmptyMap, StopCapture, SessionInactive };

struct HeldCase {
    const char* name;
    QString before;  // the map while kA is pressed
    Change change;
    QString after;  // the new map (NewMap)
    std::optional<QList<QByteArray>> reports;
};

void PrintTo(const HeldCase& c, std::ostream* os) {
    *os << c.name;
}

// Presses and releases of kA that reached the desktop.
std::pair<int, int> desktopStrokes(const kftest::InputHarness& input) {
    int presses = 0, releases = 0;
    for (const auto& delivered : input.driver->desktop()) {
        const auto record =
            kf::platform::readKeyboardRecord(reinterpret_cast<const quint8*>(delivered.record.constData()));
        if (delivered.device == 1 && record.makeCode == kA) {
            (record.flags & kf::platform::kKeyUp ? releases : presses)++;
        }
    }
    return {presses, releases};
}

class HeldAcrossChange : public ::testing::TestWithParam<HeldCase> {};

TEST_P(HeldAcrossChange, LeavesNoKeyDown) {
    const HeldCase& c = GetParam();
    kftest::InputHarness input;
    ASSERT_TRUE(input.refresh(keyMap(c.before)));
    input.feed(kA, false);
    const bool triggered = input.layer->capture()->triggerMap().contains(kf::input::triggerKey(kA, 0));
    ASSERT_TRUE(!triggered || input.transport->waitForReports(1));
    switch (c.change) {
        case Change::NewMap:
            input.refresh(keyMap(c.after));
            break;
        case Change::EmptyMap:
            input.refresh(QStringLiteral("<map/>"));
            break;
        case Change::StopCapture:
            input.layer->stopCapture();
            break;
        case Change::SessionInactive:
            input.session->setActive(false);
            ASSERT_TRUE(kftest::waitFor([&] { return input.driver->openDevices() == 0; }));
            break;
    }
    input.feed(kA, true);
    ASSERT_TRUE(input.idle());
    const QList<QByteArray> reports = input.reports();
    kftest::settle(50);
    EXPECT_EQ(input.reports().size(), reports.size()) << "still playing";
    for (auto it = reports.rbegin(); it != reports.rend(); ++it) {
        if (it->at(2) == 0x07) {  // the last keyboard report
            EXPECT_EQ(*it, kb(0)) << "a key stays down on the virtual device";
            break;
        }
    }
    const auto [presses, releases] = desktopStrokes(input);
    EXPECT_LE(presses, releases) << "a key stays down on the desktop";
    if (c.reports) {
        EXPECT_EQ(reports, *c.reports);
    }
}

const QString kCtrlClick = keyEntry(kA, 0, "Keyboard", 1, "Ctrl");
const QList<QByteArray> kCtrlPressedAndReleased = {kb(0, 0xE0), kb(0)};

INSTANTIATE_TEST_SUITE_P(
    Capture, HeldAcrossChange,
    ::testing::Values(
        HeldCase{"passed_key_made_a_trigger", keyEntry(kB, 0, "Keyboard", 1, "C"), Change::NewMap,
                 keyEntry(kA, 0, "Keyboard", 2, "C"), QList<QByteArray>{}},
        HeldCase{"click_dropped_by_the_new_map", kCtrlClick, Change::NewMap,
                 keyEntry(kB, 0, "Keyboard", 1, "C"), kCtrlPressedAndReleased},
        HeldCase{"click_replaced_by_another_play", kCtrlClick, Change::NewMap,
                 keyEntry(kA, 0, "Keyboard", 2, "C"), kCtrlPressedAndReleased},
        HeldCase{"click_when_the_map_is_emptied", kCtrlClick, Change::EmptyMap, {}, kCtrlPressedAndReleased},
        HeldCase{"click_when_capture_ends", kCtrlClick, Change::StopCapture, {}, kCtrlPressedAndReleased},
        HeldCase{"click_when_the_session_is_switched_away",
                 kCtrlClick,
                 Change::SessionInactive,
                 {},
                 kCtrlPressedAndReleased},
        HeldCase{"loop_dropped_by_the_new_map", keyEntry(kA, 0, "macro", 3, "键盘按下(B)键盘弹起(B)", 1, 2),
                 Change::NewMap, keyEntry(kB, 0, "Keyboard", 1, "C"), std::nullopt}),
    [](const ::testing::TestParamInfo<HeldCase>& info) { return std::string(info.param.name); });

TEST(Session, InactiveClosesEveryDeviceAndActiveReappliesTheMap) {
    kftest::InputHarness input;
    ASSERT_TRUE(input.refresh(keyMap(keyEntry(kA, 0, "Keyboard", 2, "B"))));
    input.session->setActive(false);
    ASSERT_TRUE(kftest::waitFor([&] { return input.driver->openDevices() == 0; }));
    // Another user's keystroke never passes through this process.
    input.driver->feed(1, kf::platform::KeyboardInputRecord{0, kA, 0, 0, 0});
    ASSERT_EQ(input.passed(), 1);
    EXPECT_FALSE(input.driver->desktop().first().sentByClient);
    // Access to the devices comes back a moment after the session is active again.
    input.driver->setOpenError(20, EACCES);
    input.session->setActive(true);
    kftest::settle(100);
    input.driver->setOpenError(20, 0);
    ASSERT_TRUE(kftest::waitFor([&] {
        return input.driver->openDevices() == kf::platform::kInterceptionDeviceCount &&
               input.driver->filter(1) == 0xFFFF;
    }));
    input.key(kA, false);
    input.key(kA, true);
    EXPECT_EQ(input.reports(), (QList<QByteArray>{kb(0, 0x05), kb(0)}));

    // Where the session cannot be watched, capture goes on as before.
    kftest::InputHarness unwatched(false);
    unwatched.session->setAvailable(false);
    unwatched.layer->open();
    unwatched.start();
    unwatched.session->setActive(false);
    EXPECT_TRUE(unwatched.driver->waitUntilIdle());
    EXPECT_EQ(unwatched.driver->openDevices(), kf::platform::kInterceptionDeviceCount);
}

}  // namespace

// What the pages show when key maps cannot play: nothing while the capture runs, the reason
// once it ended.
TEST(Capture, SaysWhyNoKeyIsCaughtOnceTheCaptureEnded) {
    kftest::InputHarness input;
    EXPECT_EQ(input.layer->capture()->captureProblem(), QString());
    input.driver->fail(QStringLiteral("the input folder went away"));
    ASSERT_TRUE(kftest::waitFor([&] { return !input.layer->capture()->captureProblem().isEmpty(); }));
    EXPECT_TRUE(input.layer->capture()->captureProblem().contains("the input folder went away"))
        << input.layer->capture()->captureProblem().toStdString();
}
