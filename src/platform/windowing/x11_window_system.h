#pragma once
// The X11 window system: top-level windows from the window manager's client list (or the root
// window's children when no window manager runs), their owner from _NET_WM_PID, their title from
// _NET_WM_NAME (UTF-8) or WM_NAME, and activation through a _NET_ACTIVE_WINDOW request.
// It keeps a Display connection of its own; X errors on vanished windows are absorbed.
#include <QByteArray>

#include <memory>

#include "platform/windowing/window_system.h"

namespace kf::platform {

class X11WindowSystem : public WindowSystem {
public:
    // Connects to `displayName` (empty: $DISPLAY). Nullptr when no display can be opened.
    static std::unique_ptr<X11WindowSystem> open(const QByteArray& displayName = QByteArray());
    ~X11WindowSystem() override;

    QVector<TopLevelWindow> topLevelWindows() override;
    bool activateWindow(quint64 id) override;

    // The window that has the input focus, 0 when none (for checks after activateWindow()).
    quint64 focusedWindow();

private:
    struct Impl;
    explicit X11WindowSystem(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace kf::platform
