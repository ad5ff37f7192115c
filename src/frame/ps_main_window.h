#pragma once
// The frameless top-level window the client lives in. The page draws its own title bar; this
// class supplies what a system frame would: the fixed minimum size, the first show (centred,
// or hidden when the client was started with -autostart), the soft drop shadow, resizing from
// the shadow's edges, maximizing onto the work area and the window menu.
#include <QColor>
#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>

#include "frame/shadow_set.h"

class QMenu;
namespace kf::platform {
class ScreenMetrics;
}

namespace kf::frame {

// Values shared by the whole process.
struct FrameState {
    QColor activeShadowColour{0, 0, 0, 255};
    QColor inactiveShadowColour{0, 0, 0, 255};
    // True at start and after the main window is gone; cleared at the first show.
    bool shadowsDestroyed = true;
    // The shadow thickness once the shadows exist.
    int shadowSize = 0;
};
FrameState& frameState();

}  // namespace kf::frame

class PsMainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 1160;
    static constexpr int kMinimumHeight = 720;
    static constexpr bool kFrameless = true;

    // The commands of the window menu.
    enum MenuCommand { MenuRestore, MenuMinimize, MenuMaximize, MenuClose };

    // startHidden: the first show leaves the window minimized and hidden (the client was started
    // with -autostart).
    explicit PsMainWindow(bool startHidden = false, QWidget* parent = nullptr);
    ~PsMainWindow() override;

    // Stores the native handle, switches to the frameless flags, follows the native window's
    // state and sets the minimum size; called once at start.
    void prepareNativeWindow();
    // The first show: shadows created, then centred on the primary screen, or minimized and
    // hidden with -autostart.
    void showFirst();
    bool shownOnce() const { return shownOnce_; }
    bool startsHidden() const { return startHidden_; }

    // The routine that ends the client: run when a window that was shown goes away, and by the
    // commands that quit. None by default, so a window alone ends no process.
    void setQuitRoutine(std::function<void()> quit) { quitRoutine_ = std::move(quit); }
    // Whether closing the window leaves the client running in the notification area. Where the
    // desktop has none there would be no way back to the window, so closing quits instead.
    // Asked at each close: a panel may start after the client. By default the desktop's answer.
    void setTrayAvailability(std::function<bool()> available) { trayAvailable_ = std::move(available); }
    bool closesToTray() const;
    WId nativeHandle() const { return nativeHandle_; }

    // Native events of this window; true when handled (result set). On X11 everything the
    // frame needs arrives as toolkit events, so nothing is handled here.
    virtual bool frameNativeEvent(const QByteArray& eventType, void* message, long* result);

    // Area code of a point relative to the window's top-left corner (see kf::frame::HitTest):
    // here 1 (client) inside the window and 0 outside; Window classifies for itself.
    virtual int frameAreaAt(const QPoint& pos) const;

    // Top-left position that centres a window of the given size on a screen of the given size.
    static QPoint centredPosition(const QSize& screen, const QSize& window);

    kf::frame::ShadowSet& shadows() { return shadows_; }
    kf::platform::ScreenMetrics& screenMetrics() const { return *screenMetrics_; }
    // Tests give a fixed display here.
    void setScreenMetrics(std::unique_ptr<kf::platform::ScreenMetrics> metrics);

    void runMenuCommand(MenuCommand command);
    // Opens the window menu at a global position (right click in the caption area).
    void openWindowMenu(const QPoint& globalPos);
    QMenu* windowMenu() const { return windowMenu_; }

public slots:
    // The native window's state changed (the window manager, the window menu, or the client).
    void stateChanged(Qt::WindowState state);

protected:
    void runQuitRoutine() const {
        if (quitRoutine_)
            quitRoutine_();
    }
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void followState(Qt::WindowStates state);

    WId nativeHandle_ = 0;
    const bool startHidden_;
    bool shownOnce_ = false;
    std::function<void()> quitRoutine_;
    std::function<bool()> trayAvailable_;
    kf::frame::ShadowSet shadows_;
    std::unique_ptr<kf::platform::ScreenMetrics> screenMetrics_;
    QMenu* windowMenu_ = nullptr;
    // The geometry before the frame put the window onto the work area, restored afterwards.
    QRect normalGeometry_;
    bool maximizedByFrame_ = false;
};
