// The desktop's pointer settings: values survive a restart in the settings file, the display
// gets the acceleration, and values the system would refuse change nothing.
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/pointer/desktop_pointer_system.h"
#include "platform/pointer/pointer_system.h"

namespace kf::platform {
namespace {

// An X server stand-in that records what it was given.
class FakeControl : public AccelerationControl {
public:
    explicit FakeControl(QVector<XAcceleration>* applied, bool accepts = true)
        : applied_(applied), accepts_(accepts) {}
    bool apply(const XAcceleration& acceleration) override {
        applied_->append(acceleration);
        return accepts_;
    }
    QMap<QString, double> speeds() override { return display; }
    bool applySpeed(qint64 speed, const QMap<QString, double>& original) override {
        applied.append({speed, original});
        return accepts_;
    }
    // The display's speed settings now, and each speed applied with the originals it was given.
    static inline QMap<QString, double> display;
    static inline QVector<std::pair<qint64, QMap<QString, double>>> applied;

private:
    QVector<XAcceleration>* applied_;
    bool accepts_;
};

class DesktopPointer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        FakeControl::display.clear();
        FakeControl::applied.clear();
    }

    QString path() const { return folder_.path() + "/Kestrafon/pointer.ini"; }
    std::unique_ptr<DesktopPointerSystem> open(bool withDisplay = true, bool displayAccepts = true) {
        std::unique_ptr<AccelerationControl> control;
        if (withDisplay) {
            control = std::make_unique<FakeControl>(&applied_, displayAccepts);
        }
        return std::make_unique<DesktopPointerSystem>(path(), std::move(control));
    }

    QTemporaryDir folder_;
    QVector<XAcceleration> applied_;
};

TEST_F(DesktopPointer, EveryValueSurvivesARestart) {
    {
        auto system = open();
        ASSERT_TRUE(system->setAcceleration(4, 6, 2));
        ASSERT_TRUE(system->setSpeed(13, 7));
        ASSERT_TRUE(system->setWheelScrollLines(5, 5));
        ASSERT_TRUE(system->setWheelScrollChars(0xFFFFFFFFu, -1));
        ASSERT_TRUE(system->setDoubleClickTime(270));
    }
    const StoredPointerSettings stored = open()->stored();
    EXPECT_EQ(stored.threshold1, 4);
    EXPECT_EQ(stored.threshold2, 6);
    EXPECT_EQ(stored.level, 2);
    EXPECT_EQ(stored.speed, 7);
    EXPECT_EQ(stored.wheelScrollLines, 5u);
    EXPECT_EQ(stored.wheelScrollChars, 0xFFFFFFFFu);
    EXPECT_EQ(stored.doubleClickTime, 270u);
}

TEST_F(DesktopPointer, NothingStoredReadsAsEmpty) {
    const StoredPointerSettings stored = open()->stored();
    EXPECT_FALSE(stored.level.has_value());
    EXPECT_FALSE(stored.speed.has_value());
    EXPECT_FALSE(stored.doubleClickTime.has_value());
    EXPECT_TRUE(open()->reapplyStored());
    EXPECT_TRUE(applied_.isEmpty());
}

TEST_F(DesktopPointer, TheDisplayGetsTheClosestAcceleration) {
    auto system = open();
    system->setAcceleration(0, 0, 0);
    system->setAcceleration(7, 0, 1);
    system->setAcceleration(4, 6, 2);
    system->setAcceleration(4, 0, 2);
    EXPECT_EQ(applied_, (QVector<XAcceleration>{{1, 1, 0}, {2, 1, 7}, {4, 1, 6}, {4, 1, 4}}));
    // The speed has a setting of its own; wheel and double-click have none on the display.
    system->setSpeed(0, 10);
    system->setWheelScrollLines(3, 3);
    system->setDoubleClickTime(500);
    EXPECT_EQ(applied_.size(), 4);
    ASSERT_EQ(FakeControl::applied.size(), 1);
    EXPECT_EQ(FakeControl::applied[0].first, 10);
}

TEST_F(DesktopPointer, TheSpeedCountsFromWhatTheDisplayHadBeforeTheFirstChange) {
    FakeControl::display = {{"libinput:A", 0.3}};
    open()->setSpeed(0, 14);
    // The display now holds the changed value, and a device appears; after a restart speed 10
    // still means A's own 0.3, and the new device's value as found.
    FakeControl::display = {{"libinput:A", 0.7}, {"deceleration:B", 2.0}};
    open()->setSpeed(0, 10);
    const QMap<QString, double> original{{"libinput:A", 0.3}, {"deceleration:B", 2.0}};
    ASSERT_EQ(FakeControl::applied.size(), 2);
    EXPECT_EQ(FakeControl::applied[0].second, (QMap<QString, double>{{"libinput:A", 0.3}}));
    EXPECT_EQ(FakeControl::applied[1].second, original);
    EXPECT_EQ(open()->originalSpeeds(), original);
}

TEST_F(DesktopPointer, ValuesOutsideTheSystemsRangesChangeNothing) {
    auto system = open();
    ASSERT_TRUE(system->setSpeed(0, 1));
    ASSERT_TRUE(system->setSpeed(0, 20));
    EXPECT_FALSE(system->setSpeed(6, 0));
    EXPECT_FALSE(system->setSpeed(0, 21));
    EXPECT_FALSE(system->setSpeed(0, -5));
    EXPECT_FALSE(system->setAcceleration(4, 6, 3));
    EXPECT_FALSE(system->setAcceleration(-1, 0, 1));
    EXPECT_FALSE(system->setAcceleration(0, -1, 1));
    EXPECT_FALSE(system->setAcceleration(0, 0, -1));
    EXPECT_EQ(system->stored().speed, 20);
    EXPECT_FALSE(system->stored().level.has_value());
    EXPECT_TRUE(applied_.isEmpty());
}

TEST_F(DesktopPointer, AValueTheDisplayRefusesIsNotStored) {
    auto system = open(true, false);
    EXPECT_FALSE(system->setAcceleration(7, 0, 1));
    EXPECT_FALSE(system->setSpeed(0, 7));
    EXPECT_FALSE(system->stored().level.has_value());
    EXPECT_FALSE(system->stored().speed.has_value());
}

TEST_F(DesktopPointer, WithoutADisplayValuesAreStillKept) {
    auto system = open(false);
    EXPECT_TRUE(system->setAcceleration(7, 0, 1));
    EXPECT_EQ(system->stored().level, 1);
    EXPECT_TRUE(system->reapplyStored());
}

TEST_F(DesktopPointer, AStoredAccelerationAndSpeedAreAppliedAgainAtStart) {
    open(false)->setAcceleration(4, 6, 2);
    open(false)->setSpeed(0, 14);
    EXPECT_TRUE(open()->reapplyStored());
    EXPECT_EQ(applied_, (QVector<XAcceleration>{{4, 1, 6}}));
    ASSERT_EQ(FakeControl::applied.size(), 1);
    EXPECT_EQ(FakeControl::applied[0].first, 14);
}

TEST_F(DesktopPointer, AnEditedFileWithBadValuesIsNotApplied) {
    {
        QSettings file(path(), QSettings::IniFormat);
        file.setValue("Pointer/AccelerationThreshold1", 4);
        file.setValue("Pointer/AccelerationThreshold2", 6);
        file.setValue("Pointer/Acceleration", 9);
        file.setValue("Pointer/Speed", "fast");
        file.setValue("Pointer/DoubleClickTime", "99999999999");
    }
    auto system = open();
    EXPECT_FALSE(system->reapplyStored());
    EXPECT_TRUE(applied_.isEmpty());
    EXPECT_FALSE(system->stored().speed.has_value());
    EXPECT_FALSE(system->stored().doubleClickTime.has_value());
}

TEST_F(DesktopPointer, ASettingsFileThatCannotBeWrittenFailsTheCall) {
    // The settings "file" is a folder.
    ASSERT_TRUE(QDir().mkpath(path()));
    auto system = open(false);
    EXPECT_FALSE(system->setDoubleClickTime(500));
    EXPECT_FALSE(system->setWheelScrollLines(3, 3));
}

TEST(PointerSettingsFile, LivesInTheUsersConfigurationFolder) {
    QStandardPaths::setTestModeEnabled(true);
    EXPECT_EQ(defaultPointerSettingsPath(),
              QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) + "/Kestrafon/pointer.ini");
    QStandardPaths::setTestModeEnabled(false);
}

}  // namespace
}  // namespace kf::platform
