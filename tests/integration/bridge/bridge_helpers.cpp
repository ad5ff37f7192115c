#include "bridge_helpers.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineProfile>

#include "app/process.h"
#include "cefclient/browser.h"
#include "cefclient/client_app.h"
#include "cefclient/client_handler.h"
#include "cefclient/page_bridge.h"
#include "cefclient/qcef_web_view.h"
#include "cefclient/resource_pack_writer.h"
#include "support/test_paths.h"

namespace {
// Custom schemes must be known before the QApplication exists.
const bool kSchemesRegistered = [] {
    ClientApp::registerSchemes();
    return true;
}();

// Answers test requests by their text:
//   {"FuncName":"echo","text":T}  success T        {"FuncName":"fail"}  failure 7 "nope"
//   {"FuncName":"stream"}         3 successes then a failure (for persistent queries)
//   {"FuncName":"hold"}           kept unanswered in BridgeHost::held
void answer(kftest::BridgeHost& host, const QString& request, const QueryCallbackPtr& callback) {
    host.received.append(request);
    const QJsonObject o = QJsonDocument::fromJson(request.toUtf8()).object();
    const QString f = o.value("FuncName").toString();
    if (f == "echo") {
        callback->Success(o.value("text").toString());
    } else if (f == "fail") {
        callback->Failure(7, "nope");
    } else if (f == "stream") {
        callback->Success("1");
        callback->Success("2");
        callback->Success("3");
        callback->Failure(0, "end");
    } else if (f == "hold") {
        host.held.append(callback);
    }
}
}  // namespace

namespace kftest {
namespace {
BridgeHost* g_host = nullptr;

// Browsers must go before the application object does; gtest's global tear-down runs while
// the QApplication of the shared main still exists.
class BridgeHostTearDown : public ::testing::Environment {
public:
    void TearDown() override {
        if (!g_host)
            return;
        delete g_host->window;  // the view and its browser with it
        g_host->window = nullptr;
        kf::setClientHandler(nullptr);
        delete g_host->handler;
        g_host->handler = nullptr;
    }
};
const auto* kTearDown = ::testing::AddGlobalTestEnvironment(new BridgeHostTearDown);
}  // namespace

BridgeHost& bridgeHost() {
    static BridgeHost* host = [] {
        Q_UNUSED(kSchemesRegistered);
        Q_UNUSED(kTearDown);
        auto* h = new BridgeHost;
        g_host = h;
        static QTemporaryDir dir;
        h->appDir = dir.path();
        QString error;
        writeResourcePack(sourceDir() + "/tests/integration/bridge/pages", h->appDir + "/theme.pak", 3, false,
                          &error);
        h->handler = new ClientHandler(h->appDir);
        kf::setClientHandler(h->handler);
        static ClientApp app;
        app.initialize(QWebEngineProfile::defaultProfile(), ClientApp::defaultSettings(QProcessEnvironment()),
                       h->handler);
        h->window = new QWidget;
        h->window->setGeometry(100, 100, 800, 600);
        h->view = new QCefWebView(h->window);
        h->view->resize(800, 600);
        h->window->show();
        QObject::connect(h->view, &QCefWebView::jsMessage, h->view,
                         [h](const QString& name, const QueryCallbackPtr& cb) { answer(*h, name, cb); });
        return h;
    }();
    return *host;
}

QVariant evalJs(const QString& script, int timeoutMs) {
    BridgeHost& host = bridgeHost();
    Browser* browser = host.view->browser();
    if (!browser)
        return QVariant();
    bool done = false;
    QVariant result;
    browser->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    waitFor([&] { return done; }, timeoutMs);
    return result;
}

bool loadTestPage(const QString& key) {
    BridgeHost& host = bridgeHost();
    const QString url = QString::fromLatin1(ClientHandler::kWebClientPrefix) + key;
    host.handler->setPageUrl(url);
    // Mark the document being replaced, so the wait below cannot mistake it for the new one.
    if (host.view->browser())
        evalJs("window.__replaced = true; 1", 2000);
    host.view->load(QUrl(url));
    return waitFor(
        [&] {
            return host.view->browser() && host.view->browser()->bridge()->isReady() &&
                   host.view->browser()->page()->url() == QUrl(url) &&
                   evalJs("!window.__replaced && typeof window.ask === 'function'", 2000).toBool();
        },
        30000);
}

}  // namespace kftest
