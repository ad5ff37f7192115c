// Pointer acceleration on a real X server: a private Xvfb started for the test, so the
// desktop the tests run on is never changed. Skipped where Xvfb is not installed.
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "platform/pointer/x11_pointer_control.h"

namespace kf::platform {
namespace {

class X11Pointer : public ::testing::Test {
protected:
    void SetUp() override {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty()) {
            GTEST_SKIP() << "needs Xvfb";
        }
        // -displayfd 1: the server picks a free display and writes its number once it is ready.
        server_.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"});
        ASSERT_TRUE(server_.waitForStarted());
        QByteArray number;
        while (!number.contains('\n') && server_.waitForReadyRead(30000)) {
            number += server_.readAllStandardOutput();
        }
        ASSERT_FALSE(number.trimmed().isEmpty()) << "Xvfb did not report its display";
        control_ = X11PointerControl::open(":" + number.trimmed());
        ASSERT_NE(control_, nullptr);
    }

    void TearDown() override {
        control_.reset();
        if (server_.state() != QProcess::NotRunning) {
            server_.terminate();
            server_.waitForFinished();
        }
    }

    QProcess server_;
    std::unique_ptr<X11PointerControl> control_;
};

TEST_F(X11Pointer, AppliedAccelerationIsWhatTheServerReports) {
    for (const XAcceleration& wanted :
         {XAcceleration{2, 1, 7}, XAcceleration{4, 1, 6}, XAcceleration{1, 1, 0}}) {
        ASSERT_TRUE(control_->apply(wanted));
        XAcceleration now;
        ASSERT_TRUE(control_->current(&now));
        EXPECT_EQ(now, wanted);
    }
}

TEST_F(X11Pointer, ValuesTheServerWouldTakeAsDefaultsOrRejectAreRefused) {
    ASSERT_TRUE(control_->apply({2, 1, 7}));
    EXPECT_FALSE(control_->apply({0, 1, 4}));
    EXPECT_FALSE(control_->apply({2, 0, 4}));
    EXPECT_FALSE(control_->apply({-1, 1, 4}));
    EXPECT_FALSE(control_->apply({2, 1, -1}));
    XAcceleration now;
    ASSERT_TRUE(control_->current(&now));
    EXPECT_EQ(now, (XAcceleration{2, 1, 7}));
}

TEST_F(X11Pointer, TheSpeedReachesEveryPointerDeviceAndTenGivesBackItsOwn) {
    // The virtual server's pointer has the server's own speed setting, a deceleration of 1.
    const QMap<QString, double> unscaled = control_->speeds();
    ASSERT_FALSE(unscaled.isEmpty());
    QMap<QString, double> slower;
    for (const QString& key : unscaled.keys()) {
        ASSERT_TRUE(key.startsWith("deceleration:")) << key.toStdString();
        slower.insert(key, 2.0);
    }
    // [speed, counted from, the deceleration set]
    for (const auto& [speed, original, deceleration] :
         {std::tuple{5, unscaled, 2.0}, std::tuple{20, unscaled, 0.5}, std::tuple{10, slower, 2.0},
          std::tuple{20, slower, 1.0}, std::tuple{10, QMap<QString, double>(), 1.0}}) {
        ASSERT_TRUE(control_->applySpeed(speed, original));
        for (double now : control_->speeds()) {
            EXPECT_DOUBLE_EQ(now, deceleration) << "speed " << speed;
        }
    }
    EXPECT_FALSE(control_->applySpeed(0, unscaled));
    EXPECT_FALSE(control_->applySpeed(21, unscaled));
}

TEST(X11PointerOpen, ADisplayThatDoesNotExistGivesNoControl) {
    EXPECT_EQ(X11PointerControl::open(":987654"), nullptr);
}

}  // namespace
}  // namespace kf::platform
