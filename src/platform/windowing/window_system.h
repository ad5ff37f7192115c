#pragma once
// Top-level windows of the desktop, as far as bringing another process's window to the front
// needs them: list the windows with their owning process and title, and activate one.
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <memory>

namespace kf::platform {

struct TopLevelWindow {
    quint64 id = 0;  // the window system's handle
    qint64 pid = 0;  // owning process, 0 when unknown
    QString title;   // as the window system reports it
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Top-level windows in the window system's order.
    virtual QVector<TopLevelWindow> topLevelWindows() = 0;
    // Makes the window the active (foreground, focused) one. False when the request could not be made.
    virtual bool activateWindow(quint64 id) = 0;
};

// Activates the first top-level window of process `pid` whose title is the product title,
// optionally followed by a count in parentheses ("Vorkanta", "Vorkanta (2)"). Titles that are
// empty or 1024 characters or longer are skipped. Pid 0 does nothing. True when a window was
// activated.
bool bringProcessWindowForward(WindowSystem& windows, qint64 pid);

// Whether `title` is one that bringProcessWindowForward() activates.
bool isProductWindowTitle(const QString& title);

// The window system of this session: the X11 one when a display can be opened, else nullptr.
std::unique_ptr<WindowSystem> createWindowSystem();

}  // namespace kf::platform
