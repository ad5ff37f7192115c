// The client's window as the start sequence builds it, on a real X server with the real start
// page: the four shadow windows lie around it, leave while it is maximized and come back, and
// a picture of the frameless window with its shadow is saved for people to look at.
#include <gtest/gtest.h>
#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QWebEngineProfile>

#include "cefclient/browser.h"
#include "cefclient/client_app.h"
#include "cefclient/client_handler.h"
#include "cefclient/page_bridge.h"
#include "cefclient/qcef_web_view.h"
#include "cefclient/resource_request.h"
#include "display_helpers.h"
#include "frame/frame_areas.h"
#include "frame/shadow_strip.h"
#include "support/test_paths.h"
#include "window/window.h"

namespace {

const bool kSchemesRegistered = [] {
    ClientApp::registerSchemes();
    return true;
}();

// The window and the handler go before the application object does.
struct Host {
    ClientHandler* handler = nullptr;
    Window* window = nullptr;
};
Host g_host;

class HostTearDown : public ::testing::Environment {
public:
    void TearDown() override {
        delete g_host.window;
        g_host.window = nullptr;
        kf::setClientHandler(nullptr);
        delete g_host.handler;
        g_host.handler = nullptr;
    }
};
const auto* kTearDown = ::testing::AddGlobalTestEnvironment(new HostTearDown);

Window* startWindow() {
    Q_UNUSED(kSchemesRegistered);
    Q_UNUSED(kTearDown);
    g_host.handler = new ClientHandler(kftest::appDir());
    kf::setClientHandler(g_host.handler);
    static ClientApp app;
    app.initialize(QWebEngineProfile::defaultProfile(), ClientApp::defaultSettings(QProcessEnvironment()),
                   g_host.handler);
    g_host.window = new Window;
    g_host.window->winId();
    g_host.handler->setMainWindowHandle(g_host.window);
    g_host.window->prepareNativeWindow();
    g_host.window->createSystemTray();
    g_host.window->showFirst();
    return g_host.window;
}

// What a compositing desktop shows: a light background, the shadow strips blended onto it by
// their alpha, and the window on top. The virtual X server has no compositor, so its own
// picture shows the strips' colour without their alpha.
QImage composite(Window* window, const QRect& area) {
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0xe9, 0xec, 0xef));
    QPainter painter(&image);
    painter.translate(-area.topLeft());
    for (int i = 0; i < kf::frame::StripCount; ++i) {
        kf::frame::ShadowStrip* strip = window->shadows().strip(i);
        painter.drawImage(strip->geometry().topLeft(), strip->image());
    }
    const QRect frame = window->frameGeometry();
    painter.drawPixmap(frame.topLeft(),
                       window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()));
    return image;
}

bool stripsVisible(Window* window) {
    for (int i = 0; i < kf::frame::StripCount; ++i) {
        if (!window->shadows().strip(i)->isVisible())
            return false;
    }
    return true;
}

TEST(WindowOnX11, ShadowSurroundsTheWindowAndAPictureIsSaved) {
    Window* window = startWindow();
    const QString start = QString::fromLatin1(resource_request::kStartPageUrl);
    ASSERT_TRUE(kftest::waitFor([&] {
        Browser* browser = window->mainView()->browser();
        return browser && browser->page()->url() == QUrl(start) && browser->bridge()->isReady();
    }));
    kftest::settle(1500);  // let the page paint

    const QRect frame = window->frameGeometry();
    EXPECT_EQ(frame, QRect(60, 40, 1160, 720));
    ASSERT_TRUE(stripsVisible(window));
    const int size = window->shadows().size();
    EXPECT_EQ(size, 12);
    const auto g = kf::frame::shadowGeometry(frame, size);
    for (int i = 0; i < kf::frame::StripCount; ++i) {
        EXPECT_EQ(window->shadows().strip(i)->geometry(), g.strips[i]) << "strip " << i;
        EXPECT_TRUE(window->shadows().strip(i)->testAttribute(Qt::WA_TranslucentBackground));
    }

    const QRect area = g.shadow.adjusted(-24, -24, 24, 24).intersected(window->screen()->geometry());
    const QImage picture = composite(window, area);
    const QString path = kftest::screenshotDir() + "/window.png";
    ASSERT_TRUE(picture.save(path)) << path.toStdString();
    // The shadow darkens the background towards the window's edge.
    const QPoint outside = frame.topLeft() - area.topLeft() + QPoint(400, -size);
    const QPoint edge = frame.topLeft() - area.topLeft() + QPoint(400, -1);
    EXPECT_LT(qGray(picture.pixel(edge)), qGray(picture.pixel(outside)));

    // Taken off the screen behind the client's back (as a window manager does for another
    // virtual desktop), the window takes its shadow along; back on the screen, the shadow too.
    const QString id = QString::number(window->winId());
    kftest::xdotool({"windowunmap", id});
    EXPECT_TRUE(kftest::waitFor([&] { return !window->shadows().strip(0)->isVisible(); }, 5000));
    EXPECT_TRUE(window->isVisible());
    kftest::xdotool({"windowmap", id});
    EXPECT_TRUE(kftest::waitFor([&] { return stripsVisible(window); }, 5000));

    // Maximized (from the window menu), the shadows leave; restored, they are back.
    window->runMenuCommand(PsMainWindow::MenuMaximize);
    kftest::settle(300);
    EXPECT_FALSE(stripsVisible(window));
    EXPECT_EQ(window->geometry().topLeft(), window->screen()->availableGeometry().topLeft());
    window->runMenuCommand(PsMainWindow::MenuRestore);
    kftest::settle(300);
    EXPECT_TRUE(stripsVisible(window));
    EXPECT_EQ(window->frameGeometry(), frame);
}

}  // namespace
