#include "device_host_helpers.h"

#include "cefclient/browser.h"
#include "cefclient/client_handler.h"
#include "cefclient/page_bridge.h"
#include "cefclient/qcef_web_view.h"
#include "cefclient/resource_request.h"
#include "device/devices_handler.h"
#include "support/browser_env.h"
#include "support/test_paths.h"
#include "window/window.h"

namespace kftest {

DeviceHost& deviceHost() {
    static DeviceHost* host = [] {
        auto* h = new DeviceHost;
        const BrowserEnvironment& env =
            browserEnvironment(sourceDir() + "/tests/integration/devices/pages", [h] {
                delete h->window;
                h->window = nullptr;
            });
        h->appDir = env.appDir;
        h->handler = env.handler;
        // The device library of the build's application folder.
        devices_handler::setLibraryFolder(appDir());
        h->window = new Window;
        h->window->winId();
        h->handler->setMainWindowHandle(h->window);
        h->window->prepareNativeWindow();
        h->window->showFirst();
        return h;
    }();
    return *host;
}

QueryCallbackPtr Answers::callback() {
    auto answers = answers_;
    return QueryCallbackPtr::create(
        [answers](bool success, int code, const QString& text, bool) {
            answers->append(PageAnswer{success, code, text});
        },
        false);
}

QList<PageAnswer> request(const QString& text) {
    Answers answers;
    deviceHost().window->onJsMessage(text, answers.callback());
    return answers.list();
}

Browser* mainBrowser() {
    return deviceHost().window->mainView()->browser();
}

QVariant evalJs(const QString& script, int timeoutMs) {
    Browser* browser = mainBrowser();
    return browser ? evalJs(browser->page(), script, timeoutMs) : QVariant();
}

bool waitForMainPage() {
    const QUrl url(QString::fromLatin1(resource_request::kStartPageUrl));
    return waitFor(
        [&] {
            Browser* browser = mainBrowser();
            return browser && browser->bridge()->isReady() && browser->page()->url() == url &&
                   evalJs("typeof window.ask === 'function'", 2000).toBool();
        },
        30000);
}

}  // namespace kftest
