#include "platform/windowing/window_system.h"

#include <QRegularExpression>

#include "platform/windowing/x11_window_system.h"

namespace kf::platform {

namespace {
constexpr int kMaxTitleLength = 1024;
}  // namespace

bool isProductWindowTitle(const QString& title) {
    // Anchored as a whole: "$" alone would also accept a title that ends in a line break.
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("^Vorkanta(\\s*\\(\\d+\\))?$")));
    if (title.isEmpty() || title.size() >= kMaxTitleLength) {
        return false;
    }
    return pattern.match(title).hasMatch();
}

bool bringProcessWindowForward(WindowSystem& windows, qint64 pid) {
    if (pid == 0) {
        return false;
    }
    const QVector<TopLevelWindow> all = windows.topLevelWindows();
    for (const TopLevelWindow& window : all) {
        if (window.pid != pid || !isProductWindowTitle(window.title)) {
            continue;
        }
        return windows.activateWindow(window.id);
    }
    return false;
}

std::unique_ptr<WindowSystem> createWindowSystem() {
    return X11WindowSystem::open();
}

}  // namespace kf::platform
