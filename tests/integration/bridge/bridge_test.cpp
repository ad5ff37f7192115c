// The page interface end to end: a real page in a real browser, the injected bridge script,
// the web channel, the handler's routing and the MessageEvent hop to the view.
#include <gtest/gtest.h>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>

#include "bridge_helpers.h"
#include "cefclient/browser.h"
#include "cefclient/client_handler.h"
#include "cefclient/page_bridge.h"
#include "cefclient/qcef_web_view.h"
#include "support/log_capture.h"

using kftest::bridgeHost;
using kftest::evalJs;
using kftest::settle;
using kftest::waitFor;

namespace {

// A local web server: "/hang" is never answered, "/download" is a file to save, anything else
// a small page.
class TinyServer : public QTcpServer {
public:
    TinyServer() {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    const QByteArray request = socket->readAll();
                    if (request.startsWith("GET /hang"))
                        return;
                    socket->write(
                        request.startsWith("GET /download")
                            ? "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                              "Content-Disposition: attachment; filename=x.bin\r\nContent-Length: 4\r\n"
                              "Connection: close\r\n\r\nabcd"
                            : "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 15\r\n"
                              "Connection: close\r\n\r\n<html>ok</html>");
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QString url(const char* path) const {
        return QString("http://127.0.0.1:%1%2").arg(serverPort()).arg(QLatin1String(path));
    }
};

QString logJson() {
    return evalJs("JSON.stringify(window.log)").toString();
}

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kftest::loadTestPage("test/bridge.html"));
        bridgeHost().received.clear();
        bridgeHost().held.clear();
        bridgeHost().window->showNormal();
        bridgeHost().window->setGeometry(100, 100, 800, 600);
        settle(50);
    }
};

TEST_F(BridgeTest, RoundTripAndFailureReachTheRightCallbacks) {
    evalJs(R"(ask('{"FuncName":"echo","text":"héllo 你好"}'); ask('{"FuncName":"fail"}'); 1)");
    ASSERT_TRUE(waitFor([] { return evalJs("window.log.length").toInt() == 2; }));
    EXPECT_EQ(logJson(), R"([["ok","{\"FuncName\":\"echo\",\"text\":\"héllo 你好\"}","héllo 你好"],)"
                         R"(["fail","{\"FuncName\":\"fail\"}",7,"nope"]])");
    // The requests reached the listener in the order the page made them.
    ASSERT_EQ(bridgeHost().received.size(), 2);
    EXPECT_TRUE(bridgeHost().received[0].contains("echo"));
}

TEST_F(BridgeTest, PersistentQueryTakesManyAnswersAndNonPersistentOnlyOne) {
    evalJs(R"(ask('{"FuncName":"stream"}', true); ask('{"FuncName":"stream"}', false); 1)");
    ASSERT_TRUE(waitFor([] { return evalJs("window.log.length").toInt() >= 5; }));
    settle(300);
    const QString log = logJson();
    // Persistent: 1, 2, 3 then the closing failure. Non-persistent: only the first answer.
    EXPECT_EQ(evalJs("window.log.filter(function(e){return e[0]==='ok';}).length").toInt(), 4)
        << log.toStdString();
    EXPECT_EQ(evalJs("window.log.filter(function(e){return e[0]==='fail';}).length").toInt(), 1)
        << log.toStdString();
}

TEST_F(BridgeTest, CancelledQueryIsNeverAnswered) {
    const int id = evalJs(R"(window.held = ask('{"FuncName":"hold"}'); window.held)").toInt();
    ASSERT_GT(id, 0);
    ASSERT_TRUE(waitFor([] { return bridgeHost().held.size() == 1; }));
    EXPECT_TRUE(evalJs("cefQueryCancel(window.held)").toBool());
    ASSERT_TRUE(waitFor([] { return !bridgeHost().held.first()->isPending(); }));
    EXPECT_FALSE(bridgeHost().held.first()->Success("too late"));
    settle(200);
    EXPECT_EQ(evalJs("window.log.length").toInt(), 0);
    // Cancelling an unknown id is harmless.
    EXPECT_FALSE(evalJs("cefQueryCancel(987654)").toBool());
}

TEST_F(BridgeTest, AnswerAfterNavigationIsDroppedSafely) {
    evalJs(R"(ask('{"FuncName":"hold"}'); 1)");
    ASSERT_TRUE(waitFor([] { return bridgeHost().held.size() == 1; }));
    QueryCallbackPtr held = bridgeHost().held.first();
    ASSERT_TRUE(kftest::loadTestPage("test/bridge.html"));
    EXPECT_FALSE(held->isPending());
    EXPECT_FALSE(held->Success("stale"));
    EXPECT_EQ(evalJs("window.log.length").toInt(), 0);
    // The new document numbers its queries from 1 again; only its own answer reaches it.
    EXPECT_EQ(evalJs(R"(ask('{"FuncName":"hold"}'))").toInt(), 1);
    ASSERT_TRUE(waitFor([] { return bridgeHost().held.size() == 2; }));
    EXPECT_FALSE(held->Success("stale"));
    EXPECT_TRUE(bridgeHost().held.last()->Success("fresh"));
    ASSERT_TRUE(waitFor([] { return evalJs("window.log.length").toInt() == 1; }));
    EXPECT_EQ(logJson(), R"([["ok","{\"FuncName\":\"hold\"}","fresh"]])");
}

TEST_F(BridgeTest, OnlyRealLoadFailuresReportPageError) {
    TinyServer server;
    const struct {
        const char* what;
        QString script;
        int errors;
    } cases[] = {
        {"a download", "location.href = '" + server.url("/download") + "'", 0},
        {"a navigation replaced by another",
         "location.href = '" + server.url("/hang") + "'; setTimeout(function () { location.href = '" +
             server.url("/page") + "'; }, 300)",
         0},
        {"a refused connection", "location.href = 'http://127.0.0.1:1/'", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(kftest::loadTestPage("test/bridge.html"));
        Browser* browser = bridgeHost().view->browser();
        QSignalSpy events(browser->bridge(), &PageBridge::event);
        QSignalSpy finished(browser->page(), &QWebEnginePage::loadFinished);
        evalJs(c.script + "; 1");
        ASSERT_TRUE(waitFor([&] { return finished.count() > 0; }, 20000));
        settle(1000);
        ASSERT_TRUE(kftest::loadTestPage("test/bridge.html"));  // events held meanwhile arrive
        int errors = 0;
        for (const QList<QVariant>& e : events)
            errors += e.at(0).toString() == "onBrowserMsg" && e.at(1).toList() == QVariantList{"pageError"};
        EXPECT_EQ(errors, c.errors);
    }
}

TEST_F(BridgeTest, MessagesWhileAPageOfAnotherOriginIsShownAreRefused) {
    TinyServer server;
    Browser* browser = bridgeHost().view->browser();
    PageBridge* bridge = browser->bridge();
    ASSERT_TRUE(bridge->isReady());
    evalJs("location.href = '" + server.url("/page") + "'; 1");
    ASSERT_TRUE(waitFor([&] { return browser->page()->url() == QUrl(server.url("/page")); }, 20000));
    EXPECT_FALSE(bridge->isReady());  // our document's state went with it
    EXPECT_FALSE(
        evalJs(
            "typeof ClientRequest === 'function' || (typeof qt !== 'undefined' && !!qt.webChannelTransport)")
            .toBool());
    kftest::LogCapture log;
    QSignalSpy events(bridge, &PageBridge::event);
    // What a document of that origin would send, had it reached the channel.
    const QVariantList messages[] = {
        {"ready", "intruder"}, {"query", "intruder", 1, R"({"FuncName":"ExecuteUpdateClient"})", false}};
    for (const QVariantList& message : messages) {
        bridge->setInbox(message);
    }
    bridgeHost().handler->DevicesChanged(2);
    settle(200);
    EXPECT_TRUE(bridgeHost().received.isEmpty());
    EXPECT_FALSE(bridge->isReady());
    EXPECT_EQ(events.count(), 0);  // held for our next document
    bridge->cancelPending();       // which is the next test's: it does not expect this one
    EXPECT_EQ(log.matching("from a page of another origin").size(), 2)
        << log.lines().join('\n').toStdString();
}

TEST_F(BridgeTest, EventsReachOnlyTheFirstRegisteredFunction) {
    Browser* browser = bridgeHost().view->browser();
    bridgeHost().handler->DevicesChanged(2);
    bridgeHost().handler->currentPropChanged(1, 2);              // allowed name, nothing registered
    browser->sendEvent("notAnEvent", {1});                       // not one of the page events
    browser->sendEvent("onBrowserMsg", {QString("pageError")});  // wrong case: not delivered
    ASSERT_TRUE(waitFor([] { return evalJs("window.eventsA.length").toInt() >= 1; }));
    settle(200);
    EXPECT_EQ(evalJs("JSON.stringify(window.eventsA)").toString(), R"([["DevicesChanged",[2]]])");
    EXPECT_EQ(evalJs("window.eventsB.length").toInt(), 0);
}

TEST_F(BridgeTest, EventArgumentsKeepTheirTypes) {
    QVariantMap inner{{"k", 1.5}, {"list", QVariantList{true, "x"}}};
    bridgeHost().view->browser()->sendEvent("OnBrowserMsg",
                                            {true, 42, 2.5, QString("s"), QVariantList{1, inner}});
    ASSERT_TRUE(waitFor([] { return evalJs("window.eventsA.length").toInt() >= 1; }));
    EXPECT_EQ(evalJs("JSON.stringify(window.eventsA[0])").toString(),
              R"(["OnBrowserMsg",[true,42,2.5,"s",[1,{"k":1.5,"list":[true,"x"]}]]])");
}

TEST_F(BridgeTest, TargetedMessageGoesOnlyToThePageRegisteredUnderItsUrl) {
    ClientHandler* handler = bridgeHost().handler;
    handler->OnBrowserMsg("elsewhere", "kestrafon://page.kestrafon/local/other.html");
    handler->OnBrowserMsg("here", handler->pageUrl());
    ASSERT_TRUE(waitFor([] { return evalJs("window.eventsA.length").toInt() >= 1; }));
    settle(200);
    EXPECT_EQ(evalJs("JSON.stringify(window.eventsA)").toString(), R"([["OnBrowserMsg",["here"]]])");
}

TEST_F(BridgeTest, MoveWindowWithFourNumbersMovesAndAnswers) {
    QWidget* window = bridgeHost().window;
    const QRect before = window->geometry();
    evalJs("ask('MoveWindow:10,20,700,500'); 1");
    ASSERT_TRUE(waitFor([] { return evalJs("window.log.length").toInt() == 1; }));
    EXPECT_EQ(logJson(), R"([["ok","MoveWindow:10,20,700,500",""]])");
    EXPECT_EQ(window->geometry(), QRect(before.x() + 10, before.y() + 20, 700, 500));
    EXPECT_TRUE(bridgeHost().received.isEmpty());
}

TEST_F(BridgeTest, MoveWindowWithTwoNumbersStaysUnanswered) {
    QSignalSpy routed(bridgeHost().handler, &ClientHandler::queryRouted);
    const QRect before = bridgeHost().window->geometry();
    evalJs("ask('MoveWindow:10,20'); 1");
    ASSERT_TRUE(waitFor([&] { return routed.count() == 1; }));
    settle(300);
    EXPECT_EQ(evalJs("window.log.length").toInt(), 0);
    EXPECT_EQ(bridgeHost().window->geometry(), before);
    EXPECT_TRUE(bridgeHost().received.isEmpty());
}

TEST_F(BridgeTest, MinimizeTextMustMatchExactly) {
    QSignalSpy routed(bridgeHost().handler, &ClientHandler::queryRouted);
    evalJs(R"(ask('{"FuncName":"MinisizeWindow"}'); 1)");
    ASSERT_TRUE(waitFor([&] { return routed.count() == 1; }));
    ASSERT_TRUE(waitFor([] { return bridgeHost().window->isMinimized(); }, 3000));
    EXPECT_TRUE(bridgeHost().received.isEmpty());
    // Asked again while minimized: restored.
    evalJs(R"(ask('{"FuncName":"MinisizeWindow"}'); 1)");
    ASSERT_TRUE(waitFor([] { return !bridgeHost().window->isMinimized(); }, 3000));
    // With a blank after the colon it is an ordinary request for the listener.
    evalJs(R"(ask('{"FuncName": "MinisizeWindow"}'); 1)");
    ASSERT_TRUE(waitFor([] { return bridgeHost().received.size() == 1; }));
    EXPECT_EQ(bridgeHost().received.first(), R"({"FuncName": "MinisizeWindow"})");
    EXPECT_EQ(evalJs("window.log.length").toInt(), 0);
}

TEST_F(BridgeTest, WrongArgumentsThrowClearErrorsAndNothingIsSent) {
    // setMessageCallback does not throw: the page's start-up script ran on past a wrong call.
    EXPECT_EQ(evalJs("[window.registeredWrongly, window.startupFinished]").toList(),
              (QVariantList{false, true}));
    const QString probe = R"((function () {
        var out = [];
        function t(f) { try { f(); out.push('no error'); } catch (e) { out.push(e.message); } }
        t(function () { ClientRequest(); });
        t(function () { ClientRequest('text'); });
        t(function () { ClientRequest({ request: 5 }); });
        t(function () { ClientRequest({ request: 'x', onSuccess: 3 }); });
        t(function () { ClientRequest({ request: 'x', persistent: 'yes' }); });
        t(function () { cefQueryCancel('1'); });
        t(function () { setMessageCallback('DevicesChanged'); });
        t(function () { setMessageCallback(1, function () {}); });
        return JSON.stringify(out);
    })())";
    EXPECT_EQ(
        evalJs(probe).toString(),
        R"(["Invalid arguments; expecting a single object","Invalid arguments; expecting a single object",)"
        R"("Invalid arguments; object member 'request' is required and must have type string",)"
        R"("Invalid arguments; object member 'onSuccess' must have type function",)"
        R"("Invalid arguments; object member 'persistent' must have type boolean",)"
        R"("Invalid arguments; expecting a single integer","no error","no error"])");
    settle(200);
    EXPECT_TRUE(bridgeHost().received.isEmpty());
}

TEST_F(BridgeTest, DownloadsLandInTheUpdateFolderAndReportProgressThenCompletion) {
    const QString target = bridgeHost().appDir + "/update/update-package.bin";
    QFile::remove(target);
    evalJs("startDownload(); 1");
    ASSERT_TRUE(waitFor(
        [] {
            return evalJs("window.downloads.some(function(d){return d[0]==='RefreshUpdateState';})").toBool();
        },
        20000));
    EXPECT_TRUE(QFile::exists(target));
    const QVariantList downloads = evalJs("window.downloads").toList();
    ASSERT_GE(downloads.size(), 2);
    // The last progress report is 100 of 100, then the finished package's full path.
    EXPECT_EQ(downloads.at(downloads.size() - 2).toList().at(1).toList(), (QVariantList{100, 100, target}));
    EXPECT_EQ(downloads.last().toList().at(1).toList(), QVariantList{target});
}

TEST_F(BridgeTest, PageSeesItsWebClientUrlAndPackMissesAreNotServedLocally) {
    EXPECT_EQ(evalJs("location.href").toString(), "kestrafon://page.kestrafon/local/test/bridge.html");
    // A key that is in the pack loads over XHR; one that is not goes to the network (which is
    // unreachable here), so it never yields the pack's bytes.
    evalJs(R"((function () {
        window.xhrResult = null;
        var r = new XMLHttpRequest();
        r.onload = function () { window.xhrResult = r.status + ':' + (r.responseText.indexOf('bridge test') >= 0); };
        r.onerror = function () { window.xhrResult = 'error'; };
        r.open('GET', 'kestrafon://page.kestrafon/local/test/bridge.html?x=1');
        r.send();
        return 1;
    })())");
    ASSERT_TRUE(waitFor([] { return !evalJs("window.xhrResult").isNull(); }));
    EXPECT_EQ(evalJs("window.xhrResult").toString(), "200:true");
}

}  // namespace
