// Hit testing of the frameless frame: area codes, the shadow strips' edges and corners, and the
// geometry of a window resized from an edge.
#include <gtest/gtest.h>
#include <QWidget>

#include "frame/frame_areas.h"

using kf::frame::HitTest;

namespace {

TEST(FrameAreas, AreaCodesMapToHitTests) {
    const HitTest expected[] = {
        HitTest::Transparent, HitTest::Client,   HitTest::Client,  HitTest::Caption,     HitTest::Caption,
        HitTest::Top,         HitTest::TopRight, HitTest::Right,   HitTest::BottomRight, HitTest::Bottom,
        HitTest::BottomLeft,  HitTest::Left,     HitTest::TopLeft, HitTest::Transparent};
    for (int code = 0; code <= 13; ++code) {
        EXPECT_EQ(kf::frame::hitTestForArea(code), expected[code]) << code;
    }
    EXPECT_EQ(kf::frame::hitTestForArea(-1), HitTest::Transparent);
}

TEST(FrameAreas, EdgesOfEachHitTest) {
    EXPECT_EQ(kf::frame::edgesFor(HitTest::Top), Qt::TopEdge);
    EXPECT_EQ(kf::frame::edgesFor(HitTest::TopRight), Qt::TopEdge | Qt::RightEdge);
    EXPECT_EQ(kf::frame::edgesFor(HitTest::BottomLeft), Qt::BottomEdge | Qt::LeftEdge);
    EXPECT_EQ(kf::frame::edgesFor(HitTest::Left), Qt::LeftEdge);
    EXPECT_EQ(kf::frame::edgesFor(HitTest::Client), Qt::Edges());
    EXPECT_EQ(kf::frame::edgesFor(HitTest::Caption), Qt::Edges());
    EXPECT_EQ(kf::frame::edgesFor(HitTest::Transparent), Qt::Edges());
}

TEST(FrameAreas, SideStripsResizeFromTheCornerNearTheTopAndBottom) {
    const QRect window(100, 100, 400, 300);  // bottom() is 399
    struct Case {
        int strip, y;
        HitTest hit;
    } cases[] = {
        {kf::frame::StripRight, 88, HitTest::TopRight},
        {kf::frame::StripRight, 111, HitTest::TopRight},
        {kf::frame::StripRight, 112, HitTest::Right},
        {kf::frame::StripRight, 387, HitTest::Right},
        {kf::frame::StripRight, 388, HitTest::BottomRight},
        {kf::frame::StripRight, 411, HitTest::BottomRight},
        {kf::frame::StripLeft, 90, HitTest::TopLeft},
        {kf::frame::StripLeft, 250, HitTest::Left},
        {kf::frame::StripLeft, 400, HitTest::BottomLeft},
        {kf::frame::StripTop, 90, HitTest::Top},
        {kf::frame::StripBottom, 405, HitTest::Bottom},
        {7, 250, HitTest::Transparent},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kf::frame::stripHitTest(c.strip, QPoint(0, c.y), window, 12), c.hit)
            << c.strip << " y " << c.y;
    }
}

TEST(FrameAreas, ResizingKeepsTheOppositeEdgesAndTheLimits) {
    const QRect start(100, 100, 400, 300);
    const QSize min(200, 150), max(800, 600);
    EXPECT_EQ(kf::frame::resizedGeometry(start, Qt::RightEdge, QPoint(50, 20), min, max),
              QRect(100, 100, 450, 300));
    EXPECT_EQ(kf::frame::resizedGeometry(start, Qt::LeftEdge, QPoint(-30, 0), min, max),
              QRect(70, 100, 430, 300));
    EXPECT_EQ(kf::frame::resizedGeometry(start, Qt::TopEdge | Qt::LeftEdge, QPoint(10, 20), min, max),
              QRect(110, 120, 390, 280));
    // Too small: the dragged edge stops at the minimum, the other side stays.
    EXPECT_EQ(kf::frame::resizedGeometry(start, Qt::LeftEdge, QPoint(390, 0), min, max),
              QRect(300, 100, 200, 300));
    EXPECT_EQ(kf::frame::resizedGeometry(start, Qt::BottomEdge, QPoint(0, 1000), min, max),
              QRect(100, 100, 400, 600));
    // A fixed-size window does not change at all.
    EXPECT_EQ(kf::frame::resizedGeometry(start, Qt::RightEdge, QPoint(99, 99), start.size(), start.size()),
              start);
    // Absurd drags stay defined.
    const QRect far =
        kf::frame::resizedGeometry(start, Qt::LeftEdge | Qt::TopEdge, QPoint(-2000000000, -2000000000),
                                   QSize(0, 0), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    EXPECT_EQ(far.size(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    EXPECT_EQ(far.right(), start.right());
}

}  // namespace
