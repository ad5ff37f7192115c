// Window and application commands and slots that need no browser: hiding and quitting, the
// tray's reactions, the login window, navigation answers, popups opened and closed, the
// keyboard layout and opening URLs outside the client (both recorded instead of done).
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <thread>

#include "app/system_tray.h"
#include "cefclient/client_handler.h"
#include "platform/desktop/url_opener.h"
#include "platform/display/screen_metrics.h"
#include "platform/keyboard/keyboard_layouts.h"
#include "window_helpers.h"

using kftest::ask;
using kftest::ok;
using Answers = QList<kftest::Answer>;

namespace {

// Collects the log lines written while it lives.
class LogCapture {
public:
    LogCapture() {
        lines().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { lines().append(text); });
    }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    static QStringList& lines() {
        static QStringList all;
        return all;
    }

private:
    QtMessageHandler previous_;
};

class AppCommands : public ::testing::Test {
protected:
    kftest::IsolatedWindow window;
    int quits = 0;
    kf::platform::RecordingKeyboardLayouts* layouts = nullptr;
    kf::platform::RecordingUrlOpener* opener = nullptr;

    void SetUp() override {
        auto keyboard = std::make_unique<kf::platform::RecordingKeyboardLayouts>();
        layouts = keyboard.get();
        window.setKeyboardLayouts(std::move(keyboard));
        auto urls = std::make_unique<kf::platform::RecordingUrlOpener>();
        opener = urls.get();
        window.setUrlOpener(std::move(urls));
        window.setQuitRoutine([this] { ++quits; });
        window.setScreenMetrics(
            std::make_unique<kf::platform::FixedScreenMetrics>(QSize(1920, 1080), QRect(0, 0, 1920, 1040)));
    }
};

TEST_F(AppCommands, CloseHidesAndTheClientLivesOnInTheTrayOrQuitsWithoutOne) {
    // [a tray is available, quits after closing the window, after "CloseX"]
    for (const auto& [tray, quitsAfterClose, quitsAfterCloseX] :
         {std::tuple{true, 0, 0}, std::tuple{false, 1, 1}}) {
        kftest::IsolatedWindow w;
        int count = 0;
        w.setQuitRoutine([&count] { ++count; });
        w.setTrayAvailability([tray = tray] { return tray; });
        w.show();
        EXPECT_FALSE(w.close());
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(count, quitsAfterClose) << "tray " << tray;
        w.show();
        EXPECT_EQ(ask(w, QJsonObject{{"FuncName", "CloseX"}}), Answers{ok("CloseX sucess")});
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(count, quitsAfterCloseX) << "tray " << tray;  // the client quits once
    }
}

TEST_F(AppCommands, CloseAppQuitsOnceAndAnswersEachTime) {
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "CloseApp"}}), Answers{ok("modify conf sucess")});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "CloseApp"}}), Answers{ok("modify conf sucess")});
    window.oncloseApp();
    EXPECT_EQ(quits, 1);
}

TEST_F(AppCommands, TrayActivationShowsForClicksOnly) {
    window.hide();
    window.onSystemtrayActive(QSystemTrayIcon::Context);
    window.onSystemtrayActive(QSystemTrayIcon::MiddleClick);
    EXPECT_FALSE(window.isVisible());
    window.onSystemtrayActive(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible());
    window.setWindowState(Qt::WindowMinimized);
    window.onSystemtrayActive(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window.isMinimized());
    window.hide();
    window.onSystemtrayActive(QSystemTrayIcon::Unknown);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(AppCommands, TrayMenuShowsTheWindowAndQuits) {
    LogCapture log;
    window.createSystemTray();
    SystemTray* tray = window.systemTray();
    ASSERT_NE(tray, nullptr);
    window.createSystemTray();
    EXPECT_EQ(window.systemTray(), tray);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_TRUE(LogCapture::lines().join('\n').contains("System tray unavailable"));
    }
    window.hide();
    tray->openAction()->trigger();
    EXPECT_TRUE(window.isVisible());
    tray->quitAction()->trigger();
    tray->quitAction()->trigger();
    EXPECT_EQ(quits, 1);
    // Without a tray, or with one, a balloon from another thread is delivered on the GUI thread.
    std::thread worker([this] { window.ShowMessage("写入成功"); });
    worker.join();
    QCoreApplication::processEvents();
}

TEST_F(AppCommands, NavigationAnswersWithTheCommandName) {
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "goback"}}), Answers{ok("goback")});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "goforward"}}), Answers{ok("goforward")});
    // Without a browser there is nothing to load; not answered either way.
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "loadurl"}, {"url", "/theme/a.html"}}).isEmpty());
}

TEST_F(AppCommands, SetImeSwitchesToUsAndAnswersWhateverTheOutcome) {
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "SetIME"}}), Answers{ok("SetIME success!")});
    layouts->setSucceeds(false);
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "SetIME"}}), Answers{ok("SetIME success!")});
    EXPECT_EQ(layouts->usRequests(), 2);
}

TEST_F(AppCommands, OpenUrlGoesToTheDesktopOnlyWithAUrl) {
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "OpenUrl"}}).isEmpty());
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "OpenUrl"}, {"url", "https://a.example/"}}).isEmpty());
    EXPECT_TRUE(opener->opened().isEmpty());
    opener->setSucceeds(false);
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "OpenUrl"}, {"Url", "www.example.com/x?q=1"}}),
              Answers{ok("open successed")});
    ASSERT_EQ(opener->opened().size(), 1);
    EXPECT_EQ(opener->opened().first(), QUrl("http://www.example.com/x?q=1"));
}

TEST_F(AppCommands, LoginMainCentresTheLoginWindowAndShowsItOnce) {
    window.show();
    EXPECT_TRUE(
        ask(window,
            QJsonObject{{"FuncName", "LoginMain"}, {"Url", "about:blank"}, {"width", 800}, {"height", "600"}})
            .isEmpty());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.pos(), QPoint(560, 240));
    EXPECT_EQ(window.size(), QSize(800, 600));
    EXPECT_EQ(window.minimumSize(), QSize(800, 600));
    const auto activeTimers = [this] {
        int active = 0;
        for (QTimer* timer : window.findChildren<QTimer*>())
            active += timer->isActive() ? 1 : 0;
        return active;
    };
    EXPECT_EQ(activeTimers(), 1);
    // A second login before the first showed: whichever timer fires shows the window, and no
    // timer is left to show it again after the user hid it.
    ask(window,
        QJsonObject{{"FuncName", "LoginMain"}, {"Url", "about:blank"}, {"width", 800}, {"height", 600}});
    EXPECT_EQ(activeTimers(), 2);
    QMetaObject::invokeMethod(&window, "LoginWindow");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(activeTimers(), 0);
}

TEST_F(AppCommands, LoginMainNeedsAllThreeTexts) {
    window.show();
    const QSize before = window.size();
    for (const QJsonObject& request :
         {QJsonObject{{"FuncName", "LoginMain"}, {"width", 800}, {"height", 600}},
          QJsonObject{{"FuncName", "LoginMain"}, {"Url", "about:blank"}, {"height", 600}},
          QJsonObject{{"FuncName", "LoginMain"}, {"Url", "x"}, {"width", ""}, {"height", 6}},
          QJsonObject{{"FuncName", "LoginMain"}, {"Url", ""}, {"width", 8}, {"height", 6}}}) {
        EXPECT_TRUE(ask(window, request).isEmpty());
    }
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.size(), before);
    EXPECT_TRUE(window.findChildren<QTimer*>().isEmpty());
    // Absurd sizes are kept within what a window can be.
    ask(window, QJsonObject{{"FuncName", "LoginMain"}, {"Url", "x"}, {"width", 1e9}, {"height", -5}});
    EXPECT_LE(window.minimumWidth(), 8192);
    EXPECT_EQ(window.minimumHeight(), 0);
}

TEST_F(AppCommands, OpenViewOncePerUrlAndCloseViewClosesTheLastActivated) {
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "OpenView"}, {"Url", "about:blank#a"}, {"Width", 300}})
                    .isEmpty());
    EXPECT_TRUE(window.popupViews().isEmpty());
    const QJsonObject openA{
        {"FuncName", "OpenView"}, {"Url", "about:blank#a"}, {"Width", 300}, {"Height", "200"}};
    EXPECT_TRUE(ask(window, openA).isEmpty());
    ASSERT_EQ(window.popupViews().size(), 1);
    PopWidget* a = window.popupViews().first();
    EXPECT_TRUE(a->isVisible());
    EXPECT_EQ(a->size(), QSize(300, 200));
    a->resize(500, 400);
    ask(window, openA);  // the same URL: the open popup stays as it is
    ASSERT_EQ(window.popupViews().size(), 1);
    EXPECT_EQ(a->size(), QSize(500, 400));
    ask(window,
        QJsonObject{{"FuncName", "OpenView"}, {"Url", "about:blank#b"}, {"Width", 100}, {"Height", 100}});
    ASSERT_EQ(window.popupViews().size(), 2);
    PopWidget* b = window.popupViews().last() == a ? window.popupViews().first() : window.popupViews().last();
    // Activation decides which popup is current, not the order of opening.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(a, &activate);
    EXPECT_EQ(window.currentView(), a);
    QPointer<PopWidget> closed = a;
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "CloseView"}}).isEmpty());
    EXPECT_EQ(window.currentView(), nullptr);
    EXPECT_EQ(window.popupViews(), QList<PopWidget*>{b});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());
    // With no current popup, CloseView closes nothing.
    ask(window, QJsonObject{{"FuncName", "CloseView"}});
    EXPECT_EQ(window.popupViews(), QList<PopWidget*>{b});
    // The URL can be opened again once its popup is gone.
    ask(window, openA);
    EXPECT_EQ(window.popupViews().size(), 2);
}

TEST_F(AppCommands, TestToolViewFromTheClientSettings) {
    window.showDebug();  // no settings: nothing
    EXPECT_TRUE(window.popupViews().isEmpty());
    window.setClientInfo({{"testToolRurl", "/tool/index.html"}, {"testToolSize", "640,480"}});
    QMetaObject::invokeMethod(&window, "showDebug");
    QMetaObject::invokeMethod(&window, "showDebug");
    ASSERT_EQ(window.popupViews().size(), 1);
    EXPECT_EQ(window.popupViews().first()->url(),
              QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/tool/index.html").toString());
    EXPECT_EQ(window.popupViews().first()->size(), QSize(640, 480));
    // A size with one part reads the other as 0 instead of reading past the list.
    window.setClientInfo({{"testToolRurl", "/other.html"}, {"testToolSize", "320"}});
    window.showDebug();
    EXPECT_EQ(window.popupViews().size(), 2);
}

TEST(LocalPages, UrlIsTheApplicationFolderFollowedByTheText) {
    const QString dir = QCoreApplication::applicationDirPath();
    EXPECT_EQ(Window::localPageUrl("/theme/a b.html"), QUrl::fromLocalFile(dir + "/theme/a b.html"));
    EXPECT_EQ(Window::localPageUrl("/theme/a b.html").toLocalFile(), dir + "/theme/a b.html");
    // Without the leading "/" the last folder name and the text run together.
    EXPECT_EQ(Window::localPageUrl("x.html").toLocalFile(), dir + "x.html");
    EXPECT_EQ(Window::localPageUrl("/q?#.html").toLocalFile(), dir + "/q?#.html");
}

TEST_F(AppCommands, SlotsWithoutCallersWorkThroughTheMetaObject) {
    LogCapture log;
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, "finishLoading", Q_ARG(bool, true)));
    EXPECT_TRUE(LogCapture::lines().contains("加载完成"));
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, "reload_currentPage"));
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, "deviceHotKeyActive"));
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, "playActions", Q_ARG(QString, "x")));
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, "onCurrentPropChanged", Q_ARG(int, 1), Q_ARG(int, 2)));
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, "showMouseConf"));
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, "DeviceDataReportUi", Q_ARG(QString, "0,1,2")));
    bool status = true;
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, "GetVirtualDeviceStatus", Q_RETURN_ARG(bool, status)));
    EXPECT_FALSE(status);
    // The macro executor reports its end queued, with the device handle as an opaque pointer.
    EXPECT_TRUE(QMetaObject::invokeMethod(&window, "onTaskFinished", Qt::QueuedConnection,
                                          Q_ARG(pvmulti_client*, nullptr)));
    QCoreApplication::processEvents();
    EXPECT_TRUE(LogCapture::lines().contains("onTaskFinished reset all key==========================="));
}

}  // namespace
