// The mouse-track recorder with a hook released by hand.
#include <gtest/gtest.h>

#include "input/mouse_tracks.h"

using kf::input::MouseTrackRecorder;
using kf::platform::MemoryPointerButtonHook;

namespace {

TEST(MouseTracks, RecordsLeftReleasesAcrossCycles) {
    auto owned = std::make_unique<MemoryPointerButtonHook>();
    MemoryPointerButtonHook* hook = owned.get();
    MouseTrackRecorder recorder(std::move(owned), [] { return 36000000; });
    EXPECT_EQ(recorder.stop(), QString());  // never started: nothing recorded
    ASSERT_TRUE(recorder.start());
    ASSERT_TRUE(recorder.start());  // a second start replaces the hook: one stays
    EXPECT_EQ(hook->installs(), 2);
    hook->release(1, QPoint(100, 200));
    hook->release(3, QPoint(1, 1));  // right and middle releases add nothing
    hook->release(2, QPoint(1, 1));
    EXPECT_EQ(recorder.stop(), QStringLiteral("x:100,y:200Time:36000000;"));
    EXPECT_FALSE(hook->installed());
    hook->release(1, QPoint(5, 5));  // stopped: nothing is recorded
    ASSERT_TRUE(recorder.start());
    hook->release(1, QPoint(-3, 0));
    EXPECT_EQ(recorder.stop(), QStringLiteral("x:100,y:200Time:36000000;x:-3,y:0Time:36000000;"));
    hook->setFails(true);
    EXPECT_FALSE(recorder.start());
    EXPECT_FALSE(MouseTrackRecorder(nullptr).start());
}

TEST(MouseTracks, TextKeepsItsNewestWholeRecordsUnderTheCap) {
    auto owned = std::make_unique<MemoryPointerButtonHook>();
    MemoryPointerButtonHook* hook = owned.get();
    MouseTrackRecorder recorder(std::move(owned), [] { return 5; });
    ASSERT_TRUE(recorder.start());
    const int records = MouseTrackRecorder::kTextCap / 20 + 100;
    for (int i = 0; i < records; ++i) {
        hook->release(1, QPoint(i, 0));
    }
    const QString text = recorder.stop();
    EXPECT_LE(text.size(), MouseTrackRecorder::kTextCap);
    EXPECT_TRUE(text.startsWith(QStringLiteral("x:"))) << text.left(20).toStdString();
    EXPECT_TRUE(text.endsWith(MouseTrackRecorder::record(QPoint(records - 1, 0), 5)));
}

}  // namespace
