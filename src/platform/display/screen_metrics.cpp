#include "platform/display/screen_metrics.h"

#include <QGuiApplication>
#include <QScreen>

namespace kf::platform {

QSize ToolkitScreenMetrics::primaryScreenSize() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

QRect ToolkitScreenMetrics::primaryAvailableGeometry() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QRect ToolkitScreenMetrics::availableGeometryAt(const QPoint& point) const {
    const QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen ? screen->availableGeometry() : QRect();
}

std::unique_ptr<ScreenMetrics> createScreenMetrics() {
    return std::make_unique<ToolkitScreenMetrics>();
}

}  // namespace kf::platform
