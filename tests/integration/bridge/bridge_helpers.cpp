#include "bridge_helpers.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "cefclient/browser.h"
#include "cefclient/client_handler.h"
#include "cefclient/page_bridge.h"
#include "cefclient/qcef_web_view.h"
#include "cefclient/resource_request.h"
#include "support/browser_env.h"
#include "support/test_paths.h"

namespace {

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

BridgeHost& bridgeHost() {
    static BridgeHost* host = [] {
        auto* h = new BridgeHost;
        const BrowserEnvironment& env =
            browserEnvironment(sourceDir() + "/tests/integration/bridge/pages", [h] {
                delete h->window;  // the view and its browser with it
                h->window = nullptr;
            });
        h->appDir = env.appDir;
        h->handler = env.handler;
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
    Browser* browser = bridgeHost().view->browser();
    return browser ? evalJs(browser->page(), script, timeoutMs) : QVariant();
}

bool loadTestPage(const QString& key) {
    BridgeHost& host = bridgeHost();
    const QString url = QString::fromLatin1(resource_request::kWebClientPrefix) + key;
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
