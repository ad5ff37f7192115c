// The frameless main window: first show, autostart, maximizing onto the work area with the
// shadows gone and back, the window menu, clicks in the frame and on the shadow strips, popup
// activation, and the tray icon's menu.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>

#include <ostream>
#include "frame_helpers.h"

#include "app/system_tray.h"
#include "cefclient/qcef_web_view.h"
#include "frame/frame_areas.h"
#include "frame/pop_widget.h"
#include "frame/ps_main_window.h"
#include "frame/shadow_strip.h"
#include "platform/display/screen_metrics.h"

namespace {

// A 1920 × 1080 display with a 40-pixel panel at the bottom.
std::unique_ptr<kf::platform::ScreenMetrics> fullHd() {
    return std::make_unique<kf::platform::FixedScreenMetrics>(QSize(1920, 1080), QRect(0, 0, 1920, 1040));
}

// The offscreen platform gives a window a frame when it is created without the frameless flag;
// an X11 window manager honours the flag when it changes, offscreen does not.
void frameless(QWidget& window) {
    window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
}

bool shadowsVisible(PsMainWindow& window) {
    for (int i = 0; i < 4; ++i) {
        if (!window.shadows().strip(i) || !window.shadows().strip(i)->isVisible())
            return false;
    }
    return true;
}

class MainWindowFrame : public ::testing::Test {
protected:
    PsMainWindow window;

    void SetUp() override { prepare(window); }
    void prepare(PsMainWindow& w) {
        w.setScreenMetrics(fullHd());
        frameless(w);
        w.prepareNativeWindow();
    }
};

TEST_F(MainWindowFrame, FirstShowCentresOnThePrimaryScreenWithShadows) {
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window.minimumSize(), QSize(1160, 720));
    EXPECT_NE(window.nativeHandle(), WId(0));
    window.showFirst();
    EXPECT_TRUE(window.shownOnce());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.pos(), QPoint(380, 180));
    EXPECT_TRUE(shadowsVisible(window));
    EXPECT_FALSE(kf::frame::frameState().shadowsDestroyed);
    EXPECT_EQ(kf::frame::frameState().shadowSize, 12);
    EXPECT_EQ(window.shadows().strip(kf::frame::StripTop)->geometry(), QRect(380, 168, 1160, 12));
    // The shadows follow a move.
    window.move(10, 20);
    EXPECT_EQ(window.shadows().strip(kf::frame::StripLeft)->geometry(), QRect(-2, 8, 12, 744));
}

TEST_F(MainWindowFrame, AutostartKeepsWindowAndShadowsHiddenUntilShown) {
    PsMainWindow hidden(true);
    prepare(hidden);
    hidden.showFirst();
    EXPECT_FALSE(hidden.isVisible());
    EXPECT_TRUE(hidden.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(shadowsVisible(hidden));
    hidden.setWindowState(Qt::WindowNoState);
    hidden.show();
    EXPECT_TRUE(shadowsVisible(hidden));
}

TEST_F(MainWindowFrame, MaximizingFillsTheWorkAreaAndHidesTheShadowsUntilRestored) {
    window.showFirst();
    const QRect normal = window.geometry();
    window.setWindowState(Qt::WindowMaximized);
    EXPECT_EQ(window.geometry(), QRect(0, 0, 1920, 1040)) << "not over the panel";
    EXPECT_FALSE(shadowsVisible(window));
    window.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(window.geometry(), normal);
    EXPECT_TRUE(shadowsVisible(window));
    window.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(shadowsVisible(window));
}

TEST_F(MainWindowFrame, WindowMenuCommandsChangeTheState) {
    window.showFirst();
    window.openWindowMenu(QPoint(400, 200));
    ASSERT_NE(window.windowMenu(), nullptr);
    QStringList texts;
    QList<bool> enabled;
    for (QAction* action : window.windowMenu()->actions()) {
        if (action->isSeparator())
            continue;
        texts << action->text();
        enabled << action->isEnabled();
    }
    EXPECT_EQ(texts, (QStringList{"还原", "最小化", "最大化", "关闭"}));
    EXPECT_EQ(enabled, (QList<bool>{false, true, true, true}));
    window.windowMenu()->hide();
    window.runMenuCommand(PsMainWindow::MenuMaximize);
    EXPECT_TRUE(window.isMaximized());
    window.runMenuCommand(PsMainWindow::MenuRestore);
    EXPECT_FALSE(window.isMaximized());
    window.runMenuCommand(PsMainWindow::MenuMinimize);
    EXPECT_TRUE(window.isMinimized());
    window.runMenuCommand(PsMainWindow::MenuRestore);
    window.runMenuCommand(PsMainWindow::MenuClose);
    EXPECT_FALSE(window.isVisible());
}

// A frame whose top 30 pixels are caption, the first 20 of them the icon-menu area.
class CaptionFrame : public PsMainWindow {
public:
    int frameAreaAt(const QPoint& pos) const override {
        if (pos.y() >= 0 && pos.y() < 30)
            return pos.x() < 20 ? 3 : 4;
        return PsMainWindow::frameAreaAt(pos);
    }
};

TEST(CaptionArea, RightClickOpensTheWindowMenuAndDoubleClickOnTheIconCloses) {
    CaptionFrame frame;
    frame.setScreenMetrics(fullHd());
    frameless(frame);
    frame.prepareNativeWindow();
    frame.show();
    QMouseEvent rightInClient(QEvent::MouseButtonRelease, QPoint(100, 100),
                              frame.mapToGlobal(QPoint(100, 100)), Qt::RightButton, Qt::NoButton,
                              Qt::NoModifier);
    QApplication::sendEvent(&frame, &rightInClient);
    EXPECT_EQ(frame.windowMenu(), nullptr);
    QMouseEvent rightInCaption(QEvent::MouseButtonRelease, QPoint(100, 10),
                               frame.mapToGlobal(QPoint(100, 10)), Qt::RightButton, Qt::NoButton,
                               Qt::NoModifier);
    QApplication::sendEvent(&frame, &rightInCaption);
    ASSERT_NE(frame.windowMenu(), nullptr);
    EXPECT_TRUE(frame.windowMenu()->isVisible());
    frame.windowMenu()->hide();
    QMouseEvent doubleInCaption(QEvent::MouseButtonDblClick, QPoint(100, 10),
                                frame.mapToGlobal(QPoint(100, 10)), Qt::LeftButton, Qt::LeftButton,
                                Qt::NoModifier);
    QApplication::sendEvent(&frame, &doubleInCaption);
    EXPECT_TRUE(frame.isVisible());
    QMouseEvent doubleOnIcon(QEvent::MouseButtonDblClick, QPoint(5, 10), frame.mapToGlobal(QPoint(5, 10)),
                             Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &doubleOnIcon);
    EXPECT_FALSE(frame.isVisible());
}

TEST(ShadowStripClicks, DraggingTheRightStripNearTheTopResizesFromTheCorner) {
    PsMainWindow window;
    window.setScreenMetrics(fullHd());
    frameless(window);
    window.prepareNativeWindow();
    window.setMinimumSize(200, 100);  // resizable, unlike the client's fixed size
    window.showFirst();
    window.setGeometry(100, 300, 400, 300);
    kf::frame::ShadowStrip* right = window.shadows().strip(kf::frame::StripRight);
    ASSERT_NE(right, nullptr);
    ASSERT_EQ(right->geometry(), QRect(500, 288, 12, 324));
    // Offscreen there is no window manager to take the resize over: the strip drags by hand.
    const QPoint press(505, 295);
    QMouseEvent down(QEvent::MouseButtonPress, right->mapFromGlobal(press), press, Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(right, &down);
    ASSERT_TRUE(right->dragging());
    const QPoint to(545, 265);
    QMouseEvent move(QEvent::MouseMove, right->mapFromGlobal(to), to, Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(right, &move);
    QMouseEvent up(QEvent::MouseButtonRelease, right->mapFromGlobal(to), to, Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(right, &up);
    EXPECT_FALSE(right->dragging());
    EXPECT_EQ(window.geometry(), QRect(100, 270, 440, 330));
    // The shadow moved along and the strip sits at the new right edge.
    EXPECT_EQ(right->geometry(), QRect(540, 258, 12, 354));
}

TEST(PopupWindow, ActivationReportsItselfAsTheCurrentView) {
    PopWidget popup("about:blank", 300, 200);
    EXPECT_TRUE(popup.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(popup.size(), QSize(300, 200));
    ASSERT_NE(popup.view(), nullptr);
    EXPECT_EQ(popup.view()->size(), QSize(300, 200));
    popup.show();
    popup.resize(320, 240);
    EXPECT_EQ(popup.view()->size(), QSize(320, 240));
    QSignalSpy activated(&popup, &PopWidget::activated);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&popup, &activate);
    ASSERT_EQ(activated.size(), 1);
    EXPECT_EQ(activated.first().first().value<PopWidget*>(), &popup);
}

TEST(TrayIcon, MenuHasOpenThenQuitThenASeparator) {
    QWidget owner;
    SystemTray tray(&owner);
    EXPECT_FALSE(tray.icon().isNull());
    ASSERT_NE(tray.contextMenu(), nullptr);
    EXPECT_EQ(tray.contextMenu()->parent(), &owner);
    const QList<QAction*> actions = tray.contextMenu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "打开主界面");
    EXPECT_EQ(actions[1]->text(), "退出客户端");
    EXPECT_TRUE(actions[2]->isSeparator());
    QSignalSpy show(&tray, &SystemTray::showWidget);
    QSignalSpy quit(&tray, &SystemTray::closeApp);
    actions[0]->trigger();
    EXPECT_EQ(show.size(), 1);
    EXPECT_EQ(quit.size(), 0);
    actions[1]->trigger();
    EXPECT_EQ(quit.size(), 1);
}

TEST(TrayIcon, OwnerGoingFirstLeavesNoDanglingMenu) {
    auto* owner = new QWidget;
    auto* tray = new SystemTray(owner);
    QPointer<QMenu> menu = tray->contextMenu();
    delete owner;  // deletes the tray and the menu, in whatever order
    EXPECT_TRUE(menu.isNull());
}

}  // namespace
