// Window commands with real pages: maximizing and restoring whichever window hosts the page
// that asks, popups opened, messaged and closed from the page, activation deciding where
// requests go, the login window and local pages. Offscreen, with a real browser handler.
#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

#include "cefclient/browser.h"
#include "cefclient/client_handler.h"
#include "cefclient/qcef_web_view.h"
#include "frame/pop_widget.h"
#include "window/window.h"
#include "window_host_helpers.h"

using kftest::evalJs;
using kftest::settle;
using kftest::waitFor;
using kftest::windowHost;

namespace {

const QRect kWorkArea(0, 0, 1920, 1040);
const QRect kCentred(380, 180, 1160, 720);

Browser* mainBrowser() {
    return windowHost().window->mainView()->browser();
}

// Sends a request from a page and waits until the window has received it.
void ask(Browser* browser, const QString& request) {
    // The request as a JavaScript string literal: the one element of a compact JSON array.
    const QByteArray array = QJsonDocument(QJsonArray{request}).toJson(QJsonDocument::Compact);
    const QString literal = QString::fromUtf8(array.mid(1, array.size() - 2));
    QSignalSpy routed(windowHost().handler, &ClientHandler::queryRouted);
    evalJs(browser, "ask(" + literal + "); 1");
    ASSERT_TRUE(waitFor([&] { return routed.count() >= 1; }));
    // The MessageEvent hop to the window.
    settle(50);
}

QString pageLog(Browser* browser) {
    return evalJs(browser, "JSON.stringify(window.log)").toString();
}

// CTest runs each case in a process of its own; run together, the cases go in name order, so
// the one that needs a window never maximized comes first ("AA") and the ones that navigate
// the main page away come last ("Z", "ZZ").
class WindowCommands : public ::testing::Test {
protected:
    void SetUp() override {
        Window* window = windowHost().window;
        ASSERT_TRUE(kftest::waitForPage(mainBrowser(), kftest::pageUrl("black/client.html")));
        evalJs(mainBrowser(), "window.log = []; window.events = []; 1");
        window->show();
        window->setGeometry(kCentred);
        // Requests from the main page reach the window and act on it.
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(window, &activate);
    }
};

TEST_F(WindowCommands, AARestoreBeforeAnyMaximizeLeavesTheWindowWhereItIs) {
    ask(mainBrowser(), "restoreWindow");
    EXPECT_EQ(windowHost().window->geometry(), kCentred);
    EXPECT_EQ(pageLog(mainBrowser()), "[]");
}

TEST_F(WindowCommands, ActivationMakesTheMainViewCurrentAndTheWindowTheHost) {
    Window* window = windowHost().window;
    windowHost().handler->setListener(nullptr);
    windowHost().handler->setMainWindowHandle(nullptr);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(window, &activate);
    EXPECT_EQ(windowHost().handler->listener(), window->mainView());
    EXPECT_EQ(windowHost().handler->getMainWindowHandle(), window);
}

TEST_F(WindowCommands, PageMaximizeUsesTheWorkAreaWithinTheWindowsLimitsAndRestoreGoesBack) {
    Window* window = windowHost().window;
    ask(mainBrowser(), "maxsizeWindow");
    // The client window has a fixed size: it goes to the work area's corner at that size.
    EXPECT_EQ(window->geometry(), QRect(kWorkArea.topLeft(), kCentred.size()));
    // Asked twice, the way back is still the geometry from before the first.
    ask(mainBrowser(), R"({"FuncName":"x","y":"maxsizeWindow"})");
    ask(mainBrowser(), "restoreWindow");
    EXPECT_EQ(window->geometry(), kCentred);
    EXPECT_EQ(pageLog(mainBrowser()), "[]");
}

TEST_F(WindowCommands, PopupsOpenOncePerUrlTakeMessagesMaximizeAndClose) {
    Window* window = windowHost().window;
    ClientHandler* handler = windowHost().handler;
    const QString popupUrl = kftest::pageUrl("test/popup.html");
    const QString open =
        QStringLiteral(R"({"FuncName":"OpenView","Url":"%1","Width":400,"Height":300})").arg(popupUrl);
    ask(mainBrowser(), open);
    ASSERT_EQ(window->popupViews().size(), 1);
    PopWidget* popup = window->popupViews().first();
    EXPECT_EQ(handler->pageUrl(), popupUrl);
    EXPECT_EQ(handler->getMainWindowHandle(), popup);
    ASSERT_TRUE(waitFor([&] { return popup->view()->browser() != nullptr; }));
    Browser* popupBrowser = popup->view()->browser();
    ASSERT_TRUE(kftest::waitForPage(popupBrowser, popupUrl));
    ASSERT_TRUE(waitFor([&] { return handler->browserForPage(popupUrl) == popupBrowser; }));

    // The popup's own requests are dispatched like the main page's.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(popup, &activate);
    EXPECT_EQ(window->currentView(), popup);
    EXPECT_EQ(handler->listener(), popup->view());
    ask(popupBrowser, open);  // a second OpenView for the same page changes nothing
    EXPECT_EQ(window->popupViews().size(), 1);
    ask(popupBrowser, R"({"FuncName":"goback"})");
    ASSERT_TRUE(waitFor([&] { return pageLog(popupBrowser).contains("goback"); }));

    // A message for the page registered under the popup's URL reaches the popup only.
    ask(popupBrowser,
        QStringLiteral(R"({"FuncName":"SendMsgToMainBrowser","Url":"%1","Msg":"hello"})").arg(popupUrl));
    ASSERT_TRUE(waitFor([&] { return evalJs(popupBrowser, "window.events.length").toInt() == 1; }));
    EXPECT_EQ(evalJs(popupBrowser, "JSON.stringify(window.events)").toString(),
              R"([["OnBrowserMsg",["hello"]]])");
    EXPECT_TRUE(pageLog(popupBrowser).contains("SendMsgToMainBrowser success"));
    EXPECT_EQ(evalJs(mainBrowser(), "window.events.length").toInt(), 0);

    // Maximize from the popup acts on the popup, which has no size limits.
    const QRect popupGeometry = popup->geometry();
    ask(popupBrowser, "maxsizeWindow");
    EXPECT_EQ(popup->geometry(), kWorkArea);
    ask(popupBrowser, "restoreWindow");
    EXPECT_EQ(popup->geometry(), popupGeometry);
    EXPECT_EQ(window->geometry(), kCentred);

    // CloseView from the popup closes it; the main page is heard again straight away.
    QPointer<PopWidget> closing = popup;
    ask(popupBrowser, R"({"FuncName":"CloseView"})");
    ASSERT_TRUE(waitFor([&] { return closing.isNull(); }));
    EXPECT_TRUE(window->popupViews().isEmpty());
    EXPECT_EQ(handler->getMainWindowHandle(), window);
    EXPECT_EQ(handler->listener(), window->mainView());
    ask(mainBrowser(), R"({"FuncName":"goforward"})");
    ASSERT_TRUE(waitFor([&] { return pageLog(mainBrowser()).contains("goforward"); }));
}

TEST_F(WindowCommands, MessagesNeedUrlAndMsgAndAreAnsweredWithoutAReceiver) {
    ask(mainBrowser(), R"({"FuncName":"SendMsgToMainBrowser","Url":"kestrafon://nowhere/"})");
    ask(mainBrowser(), R"({"FuncName":"SendMsgToMainBrowser","Msg":"x"})");
    ask(mainBrowser(), R"({"FuncName":"SendMsgToMainBrowser","Url":"kestrafon://nowhere/","Msg":"x"})");
    ASSERT_TRUE(waitFor([] { return evalJs(mainBrowser(), "window.log.length").toInt() == 1; }));
    settle(100);
    EXPECT_EQ(
        pageLog(mainBrowser()),
        R"([["ok","{\"FuncName\":\"SendMsgToMainBrowser\",\"Url\":\"kestrafon://nowhere/\",\"Msg\":\"x\"}",)"
        R"("SendMsgToMainBrowser success"]])");
    EXPECT_EQ(evalJs(mainBrowser(), "window.events.length").toInt(), 0);
}

TEST_F(WindowCommands, ZLoginMainLoadsThePageAndShowsTheSizedWindow) {
    Window* window = windowHost().window;
    ClientHandler* handler = windowHost().handler;
    const QString url = kftest::pageUrl("black/client.html");
    ask(mainBrowser(),
        QStringLiteral(R"({"FuncName":"LoginMain","Url":"%1","width":800,"height":600})").arg(url));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->geometry(), QRect(560, 240, 800, 600));
    EXPECT_EQ(handler->pageUrl(), url);
    EXPECT_EQ(handler->startUrl(), url);
    EXPECT_EQ(window->mainView()->size(), QSize(800, 600));
    ASSERT_TRUE(waitFor([&] { return window->isVisible(); }, 5000));  // the login timer shows it
    ASSERT_TRUE(kftest::waitForPage(mainBrowser(), url));
    EXPECT_EQ(pageLog(mainBrowser()), "[]");
    window->setMinimumSize(Window::kMinimumWidth, Window::kMinimumHeight);
}

TEST_F(WindowCommands, ZZLoadUrlLoadsAPageBesideTheExecutable) {
    ask(mainBrowser(), R"({"FuncName":"loadurl","url":"/theme/none.html"})");
    const QUrl expected = QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/theme/none.html");
    EXPECT_TRUE(waitFor([&] { return mainBrowser()->page()->requestedUrl() == expected; }));
}

}  // namespace
