#include "device_host_helpers.h"

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
#include "cefclient/qcef_web_view.h"
#include "cefclient/resource_pack_writer.h"
#include "device/devices_handler.h"
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
DeviceHost* g_host = nullptr;

class DeviceHostTearDown : public ::testing::Environment {
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
const auto* kTearDown = ::testing::AddGlobalTestEnvironment(new DeviceHostTearDown);

}  // namespace

DeviceHost& deviceHost() {
    static DeviceHost* host = [] {
        Q_UNUSED(kSchemesRegistered);
        Q_UNUSED(kTearDown);
        auto* h = new DeviceHost;
        g_host = h;
        static QTemporaryDir dir;
        h->appDir = dir.path();
        QString error;
        writeResourcePack(sourceDir() + "/tests/integration/devices/pages", h->appDir + "/theme.pak", 5,
                          false, &error);
        h->handler = new ClientHandler(h->appDir);
        kf::setClientHandler(h->handler);
        static ClientApp app;
        app.initialize(QWebEngineProfile::defaultProfile(), ClientApp::defaultSettings(QProcessEnvironment()),
                       h->handler);
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

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

Browser* mainBrowser() {
    return deviceHost().window->mainView()->browser();
}

QVariant evalJs(const QString& script, int timeoutMs) {
    Browser* browser = mainBrowser();
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

bool waitForMainPage() {
    const QUrl url(QString::fromLatin1(ClientHandler::kStartPage));
    return waitFor(
        [&] {
            Browser* browser = mainBrowser();
            return browser && browser->bridge()->isReady() && browser->page()->url() == url &&
                   evalJs("typeof window.ask === 'function'", 2000).toBool();
        },
        30000);
}

}  // namespace kftest
