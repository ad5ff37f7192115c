#pragma once
// Sizes of the displays as the window code needs them: the primary display's full size (for
// centring), its work area (without panels and task bars), and the work area of the display
// that holds a given point.
#include <QPoint>
#include <QRect>
#include <QSize>

#include <memory>

namespace kf::platform {

class ScreenMetrics {
public:
    virtual ~ScreenMetrics() = default;
    // Full size of the primary display; empty when there is none.
    virtual QSize primaryScreenSize() const = 0;
    // Work area of the primary display; empty when there is none.
    virtual QRect primaryAvailableGeometry() const = 0;
    // Work area of the display that contains `point`, else of the primary display.
    virtual QRect availableGeometryAt(const QPoint& point) const = 0;
};

// The displays the toolkit knows.
class ToolkitScreenMetrics : public ScreenMetrics {
public:
    QSize primaryScreenSize() const override;
    QRect primaryAvailableGeometry() const override;
    QRect availableGeometryAt(const QPoint& point) const override;
};

// One display of a fixed size, for tests (the work area may leave room for a panel).
class FixedScreenMetrics : public ScreenMetrics {
public:
    FixedScreenMetrics(const QSize& size, const QRect& workArea) : size_(size), workArea_(workArea) {}
    QSize primaryScreenSize() const override { return size_; }
    QRect primaryAvailableGeometry() const override { return workArea_; }
    QRect availableGeometryAt(const QPoint&) const override { return workArea_; }

private:
    QSize size_;
    QRect workArea_;
};

std::unique_ptr<ScreenMetrics> createScreenMetrics();

}  // namespace kf::platform
