#pragma once
// What a point of the frameless frame means: the area codes that Window's classification gives,
// the hit-test results they stand for, the window edges a resize starts from, the hit test of
// the four shadow strips, and the geometry of a window resized by dragging an edge.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

namespace kf::frame {

// Area codes of Window's classification: 1 and 2 client, 3 and 4 caption (3 is the icon-menu
// area), 5 top, 6 top right, 7 right, 8 bottom right, 9 bottom, 10 bottom left, 11 left,
// 12 top left; anything else is outside.
enum class HitTest {
    Transparent,
    Client,
    Caption,
    Top,
    TopRight,
    Right,
    BottomRight,
    Bottom,
    BottomLeft,
    Left,
    TopLeft
};

HitTest hitTestForArea(int areaCode);

// The edges a resize from this hit-test result moves; empty for client, caption and outside.
Qt::Edges edgesFor(HitTest hit);

// The shadow strips around the main window, in their fixed order.
enum Strip { StripTop = 0, StripRight = 1, StripBottom = 2, StripLeft = 3, StripCount = 4 };

// Hit test of a point on a shadow strip (global coordinates): the top and bottom strips resize
// from their edge; the side strips from the corner when the point lies within `size` of the
// main window's top or bottom, else from the side.
HitTest stripHitTest(int strip, const QPoint& globalPoint, const QRect& mainWindow, int size);

// The geometry after dragging `edges` of `start` by `delta`, kept within the size limits; the
// opposite edges stay where they were.
QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta, const QSize& minimum,
                      const QSize& maximum);

}  // namespace kf::frame
