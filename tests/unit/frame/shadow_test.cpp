// The shadow: the template read from our own sprite, the ramp rule, the strip geometry, and the
// four shadow windows following the main window.
#include <gtest/gtest.h>
#include <QImage>
#include <QWidget>

#include <ostream>
#include "frame_helpers.h"

#include "frame/frame_areas.h"
#include "frame/shadow_set.h"
#include "frame/shadow_strip.h"
#include "frame/shadow_template.h"

using kf::frame::ShadowGeometry;
using kf::frame::ShadowSet;
using kf::frame::ShadowTemplate;

namespace {

// A white sprite (no shadow anywhere) with the template's last row set to the given alphas.
QImage spriteWithLastRow(const QVector<int>& alphas) {
    QImage sprite(320, 112, QImage::Format_ARGB32);
    sprite.fill(Qt::white);
    for (int i = 0; i < alphas.size(); ++i) {
        const int blue = 255 - alphas[i];
        sprite.setPixel(ShadowTemplate::kSpriteX + i, ShadowTemplate::kSpriteY + 23, qRgb(200, 100, blue));
    }
    return sprite;
}

TEST(ShadowTemplate, OurSpriteGivesTheRampAndSize) {
    ShadowTemplate shape;
    ASSERT_TRUE(shape.buildFromResource());
    EXPECT_EQ(shape.alphas(), (QVector<int>{1, 1, 9, 11, 14, 19, 24, 34, 45, 55, 67, 79, 96, 111}));
    EXPECT_EQ(shape.size(), 12);
    // The table has a border of ones two wide, left and top.
    for (int i = 0; i < ShadowTemplate::kMetaSize; ++i) {
        EXPECT_EQ(shape.colourAt(i, 0), 1);
        EXPECT_EQ(shape.colourAt(1, i), 1);
    }
    // Lines run from faint outside to dark next to the window; corners meet both ramps.
    EXPECT_EQ(shape.lineAlpha(0), 111);
    EXPECT_EQ(shape.lineAlpha(11), 9);
    EXPECT_EQ(shape.cornerAlpha(0, 0), 9);
    EXPECT_EQ(shape.cornerAlpha(11, 11), 111);
    EXPECT_EQ(shape.cornerAlpha(11, 0), 9);
}

TEST(ShadowTemplate, InvertedBlueIsTheAlphaAndTheRampStopsAtTheFirstDecrease) {
    ShadowTemplate shape;
    // Red and green play no part; equal values continue the ramp, a lower one ends it.
    ASSERT_TRUE(shape.build(spriteWithLastRow({30, 30, 200, 199, 255})));
    EXPECT_EQ(shape.alphas(), (QVector<int>{1, 1, 30, 30, 200}));
    EXPECT_EQ(shape.size(), 3);
    // A template without shadow reads 1 everywhere: the whole last row is one flat ramp.
    ASSERT_TRUE(shape.build(spriteWithLastRow({})));
    EXPECT_EQ(shape.alphas().size(), ShadowTemplate::kMetaSize);
    EXPECT_EQ(shape.size(), ShadowTemplate::kMetaSize - 2);
}

TEST(ShadowTemplate, SpritesWithoutTheWholeSquareAreRefused) {
    ShadowTemplate shape;
    EXPECT_FALSE(shape.build(QImage()));
    QImage small(284, 81, QImage::Format_ARGB32);  // one pixel short in each direction
    small.fill(Qt::black);
    EXPECT_FALSE(shape.build(small));
    EXPECT_FALSE(shape.isValid());
    EXPECT_EQ(shape.lineAlpha(0), 0);
    EXPECT_EQ(shape.colourAt(5, 5), 1);
}

TEST(ShadowGeometry, StripsLieAroundTheWindow) {
    const ShadowGeometry g = kf::frame::shadowGeometry(QRect(100, 200, 1160, 720), 12);
    EXPECT_EQ(g.shadow, QRect(88, 188, 1184, 744));
    EXPECT_EQ(g.strips[kf::frame::StripTop], QRect(100, 188, 1160, 12));
    EXPECT_EQ(g.strips[kf::frame::StripRight], QRect(1260, 188, 12, 744));
    EXPECT_EQ(g.strips[kf::frame::StripBottom], QRect(100, 920, 1160, 12));
    EXPECT_EQ(g.strips[kf::frame::StripLeft], QRect(88, 188, 12, 744));
    // A tiny window still gets a shadow at least 50 wide and high.
    const ShadowGeometry tiny = kf::frame::shadowGeometry(QRect(0, 0, 10, 10), 12);
    EXPECT_EQ(tiny.shadow, QRect(-12, -12, 50, 50));
    EXPECT_EQ(tiny.strips[kf::frame::StripTop], QRect(0, -12, 26, 12));
    EXPECT_EQ(tiny.strips[kf::frame::StripRight], QRect(26, -12, 12, 50));
}

class ShadowWindows : public ::testing::Test {
protected:
    QWidget main;
    ShadowSet shadows;

    void SetUp() override {
        main.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        main.setGeometry(100, 100, 400, 300);
        ASSERT_TRUE(shadows.init(&main, QColor(0, 0, 0, 255)));
    }

    bool anyStripVisible() const {
        for (int i = 0; i < 4; ++i) {
            if (shadows.strip(i)->isVisible())
                return true;
        }
        return false;
    }
};

TEST_F(ShadowWindows, FollowTheWindowAndShowOnlyWhenAsked) {
    EXPECT_TRUE(shadows.isHidden());
    shadows.update(kf::frame::ShadowMoved | kf::frame::ShadowResized);
    EXPECT_FALSE(anyStripVisible());
    EXPECT_EQ(shadows.strip(kf::frame::StripTop)->geometry(), QRect(100, 88, 400, 12));
    main.show();
    shadows.update(kf::frame::ShadowShown);
    EXPECT_TRUE(anyStripVisible());
    EXPECT_FALSE(shadows.isHidden());
    main.move(300, 50);
    shadows.update(kf::frame::ShadowMoved);
    EXPECT_EQ(shadows.strip(kf::frame::StripLeft)->geometry(), QRect(288, 38, 12, 324));
    EXPECT_EQ(shadows.lastGeometry(), main.frameGeometry());
    shadows.update(kf::frame::ShadowHidden);
    EXPECT_FALSE(anyStripVisible());
    // Bringing the window forward does not show hidden shadows.
    shadows.update(kf::frame::ShadowActivate);
    EXPECT_FALSE(anyStripVisible());
    // A given rectangle wins over the window's own.
    const QRect next(0, 0, 200, 100);
    shadows.update(kf::frame::ShadowMoved | kf::frame::ShadowResized, &next);
    EXPECT_EQ(shadows.strip(kf::frame::StripBottom)->geometry(), QRect(0, 100, 200, 12));
}

TEST_F(ShadowWindows, StripImagesCarryTheRampInTheShadowColour) {
    shadows.update(kf::frame::ShadowResized);
    const QImage top = shadows.strip(kf::frame::StripTop)->image();
    ASSERT_EQ(top.size(), QSize(400, 12));
    EXPECT_EQ(qAlpha(top.pixel(7, 0)), 9);     // outermost line
    EXPECT_EQ(qAlpha(top.pixel(7, 11)), 111);  // next to the window
    const QImage bottom = shadows.strip(kf::frame::StripBottom)->image();
    EXPECT_EQ(qAlpha(bottom.pixel(7, 0)), 111);
    EXPECT_EQ(qAlpha(bottom.pixel(7, 11)), 9);
    const QImage left = shadows.strip(kf::frame::StripLeft)->image();
    ASSERT_EQ(left.size(), QSize(12, 324));
    EXPECT_EQ(qAlpha(left.pixel(0, 150)), 9);
    EXPECT_EQ(qAlpha(left.pixel(11, 150)), 111);
    EXPECT_EQ(qAlpha(left.pixel(0, 0)), 9);      // outer corner
    EXPECT_EQ(qAlpha(left.pixel(11, 11)), 111);  // the window's corner
    EXPECT_EQ(qAlpha(left.pixel(11, 312)), 111);
    const QImage right = shadows.strip(kf::frame::StripRight)->image();
    EXPECT_EQ(qAlpha(right.pixel(0, 150)), 111);
    EXPECT_EQ(qAlpha(right.pixel(11, 323)), 9);
    // Another colour redraws the strips in it.
    shadows.setColour(QColor(255, 0, 0, 255));
    const QRgb red = shadows.strip(kf::frame::StripTop)->image().pixel(7, 11);
    EXPECT_EQ(qAlpha(red), 111);
    EXPECT_EQ(qRed(red), 111);  // premultiplied
    EXPECT_EQ(qGreen(red), 0);
}

TEST(ShadowSetLifecycle, UpdatesBeforeInitAndAfterDestroyDoNothing) {
    ShadowSet shadows;
    shadows.update(kf::frame::ShadowShown | kf::frame::ShadowResized);
    EXPECT_EQ(shadows.strip(0), nullptr);
    EXPECT_FALSE(shadows.init(nullptr, Qt::black));
    QWidget main;
    ASSERT_TRUE(shadows.init(&main, Qt::black));
    shadows.destroy();
    shadows.update(kf::frame::ShadowShown | kf::frame::ShadowResized);
    EXPECT_FALSE(shadows.isInitialised());
}

}  // namespace
