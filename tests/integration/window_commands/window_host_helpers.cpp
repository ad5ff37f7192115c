#include "window_host_helpers.h"

#include "cefclient/browser.h"
#include "cefclient/client_handler.h"
#include "cefclient/page_bridge.h"
#include "cefclient/resource_request.h"
#include "platform/display/screen_metrics.h"
#include "support/browser_env.h"
#include "support/test_paths.h"
#include "window/window.h"

namespace kftest {

QString pageUrl(const QString& key) {
    return QString::fromLatin1(resource_request::kWebClientPrefix) + key;
}

WindowHost& windowHost() {
    static WindowHost* host = [] {
        auto* h = new WindowHost;
        const BrowserEnvironment& env =
            browserEnvironment(sourceDir() + "/tests/integration/window_commands/pages", [h] {
                delete h->window;
                h->window = nullptr;
            });
        h->appDir = env.appDir;
        h->handler = env.handler;
        // As the start sequence does: the window, its handle to the handler, the frame.
        h->window = new Window;
        // A 1920 × 1080 primary display with a 40-pixel panel at the bottom.
        h->window->setScreenMetrics(
            std::make_unique<kf::platform::FixedScreenMetrics>(QSize(1920, 1080), QRect(0, 0, 1920, 1040)));
        h->window->winId();
        h->handler->setMainWindowHandle(h->window);
        h->window->prepareNativeWindow();
        h->window->createSystemTray();
        h->window->showFirst();
        return h;
    }();
    return *host;
}

QVariant evalJs(Browser* browser, const QString& script, int timeoutMs) {
    return browser ? evalJs(browser->page(), script, timeoutMs) : QVariant();
}

bool waitForPage(Browser* browser, const QString& url) {
    return waitFor(
        [&] {
            return browser && browser->bridge()->isReady() && browser->page()->url() == QUrl(url) &&
                   evalJs(browser, "typeof window.ask === 'function'", 2000).toBool();
        },
        30000);
}

}  // namespace kftest
