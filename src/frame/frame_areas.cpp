#include "frame/frame_areas.h"

#include <QWidget>
#include <QtGlobal>
#include <climits>

namespace kf::frame {

HitTest hitTestForArea(int areaCode) {
    switch (areaCode) {
        case 1:
        case 2:
            return HitTest::Client;
        case 3:
        case 4:
            return HitTest::Caption;
        case 5:
            return HitTest::Top;
        case 6:
            return HitTest::TopRight;
        case 7:
            return HitTest::Right;
        case 8:
            return HitTest::BottomRight;
        case 9:
            return HitTest::Bottom;
        case 10:
            return HitTest::BottomLeft;
        case 11:
            return HitTest::Left;
        case 12:
            return HitTest::TopLeft;
        default:
            return HitTest::Transparent;
    }
}

Qt::Edges edgesFor(HitTest hit) {
    switch (hit) {
        case HitTest::Top:
            return Qt::TopEdge;
        case HitTest::TopRight:
            return Qt::TopEdge | Qt::RightEdge;
        case HitTest::Right:
            return Qt::RightEdge;
        case HitTest::BottomRight:
            return Qt::BottomEdge | Qt::RightEdge;
        case HitTest::Bottom:
            return Qt::BottomEdge;
        case HitTest::BottomLeft:
            return Qt::BottomEdge | Qt::LeftEdge;
        case HitTest::Left:
            return Qt::LeftEdge;
        case HitTest::TopLeft:
            return Qt::TopEdge | Qt::LeftEdge;
        default:
            return Qt::Edges();
    }
}

HitTest stripHitTest(int strip, const QPoint& globalPoint, const QRect& mainWindow, int size) {
    const bool nearTop = globalPoint.y() < mainWindow.top() + size;
    const bool nearBottom = globalPoint.y() > mainWindow.bottom() - size;
    switch (strip) {
        case StripTop:
            return HitTest::Top;
        case StripBottom:
            return HitTest::Bottom;
        case StripRight:
            return nearTop ? HitTest::TopRight : nearBottom ? HitTest::BottomRight : HitTest::Right;
        case StripLeft:
            return nearTop ? HitTest::TopLeft : nearBottom ? HitTest::BottomLeft : HitTest::Left;
        default:
            return HitTest::Transparent;
    }
}

namespace {
// Keeps a length within [minimum, maximum]; a maximum below the minimum gives way.
int bounded(int length, int minimum, int maximum) {
    return qMax(minimum, qMin(length, qMax(minimum, maximum)));
}
}  // namespace

QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta, const QSize& minimum,
                      const QSize& maximum) {
    // Work in 64 bits so that no drag distance can overflow.
    qint64 left = start.left();
    qint64 top = start.top();
    qint64 right = qint64(start.left()) + start.width();
    qint64 bottom = qint64(start.top()) + start.height();
    if (edges & Qt::LeftEdge)
        left += delta.x();
    if (edges & Qt::RightEdge)
        right += delta.x();
    if (edges & Qt::TopEdge)
        top += delta.y();
    if (edges & Qt::BottomEdge)
        bottom += delta.y();
    const int width =
        bounded(int(qBound<qint64>(0, right - left, QWIDGETSIZE_MAX)), minimum.width(), maximum.width());
    const int height =
        bounded(int(qBound<qint64>(0, bottom - top, QWIDGETSIZE_MAX)), minimum.height(), maximum.height());
    // The edge that was not dragged stays put.
    const qint64 x = (edges & Qt::LeftEdge) ? qint64(start.left()) + start.width() - width : start.left();
    const qint64 y = (edges & Qt::TopEdge) ? qint64(start.top()) + start.height() - height : start.top();
    return QRect(int(qBound<qint64>(INT_MIN / 2, x, INT_MAX / 2)),
                 int(qBound<qint64>(INT_MIN / 2, y, INT_MAX / 2)), width, height);
}

}  // namespace kf::frame
