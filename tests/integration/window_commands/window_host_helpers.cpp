#include "window_host_helpers.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWebEngineProfile>

#include "app/process.h"
#include "cefclient/browser.h"
#include "cefclient/client_app.h"
#include "cefclient/client_handler.h"
#include "cefclient/page_bridge.h"
#include "cefclient/resource_pack_writer.h"
#include "platform/display/screen_metrics.h"
#include "support/test_paths.h"
#include "window/window.h"

namespace {
// Custom schemes must be known before the QApplication exists.
const bool kSchemesRegistered = [] {
    ClientApp::registerSchemes();
    return true;
}();
}  // namespace

namespace kftest {
namespace {
WindowHost* g_host = nullptr;

// Browsers go before the application object does.
class WindowHostTearDown : public ::testing::Environment {
public:
    void TearDown() override {
        if (!g_host)
            return;
        delete g_host->window;
        g_host->window = nullptr;
        kf::setClientHandler(nullptr);
        delete g_host->handler;
        g_host->handler = nullptr;
    }
};
const auto* kTearDown = ::testing::AddGlobalTestEnvironment(new WindowHostTearDown);
}  // namespace

QString pageUrl(const QString& key) {
    return QString::fromLatin1(ClientHandler::kWebClientPrefix) + key;
}

WindowHost& windowHost() {
    static WindowHost* host = [] {
        Q_UNUSED(kSchemesRegistered);
        Q_UNUSED(kTearDown);
        auto* h = new WindowHost;
        g_host = h;
        static QTemporaryDir dir;
        h->appDir = dir.path();
        QString error;
        writeResourcePack(sourceDir() + "/tests/integration/window_commands/pages", h->appDir + "/theme.pak",
                          5, false, &error);
        h->handler = new ClientHandler(h->appDir);
        kf::setClientHandler(h->handler);
        static ClientApp app;
        app.initialize(QWebEngineProfile::defaultProfile(), ClientApp::defaultSettings(QProcessEnvironment()),
                       h->handler);
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

bool waitForPage(Browser* browser, const QString& url) {
    return waitFor(
        [&] {
            return browser && browser->bridge()->isReady() && browser->page()->url() == QUrl(url) &&
                   evalJs(browser, "typeof window.ask === 'function'", 2000).toBool();
        },
        30000);
}

}  // namespace kftest
