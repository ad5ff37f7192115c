#include "support/browser_env.h"

#include <gtest/gtest.h>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "cefclient/client_app.h"
#include "cefclient/client_handler.h"
#include "cefclient/resource_pack_writer.h"
#include "support/qt_wait.h"

namespace kftest {
namespace {

// Custom schemes must be known before the QApplication exists: this runs before main.
const bool kSchemesRegistered = [] {
    ClientApp::registerSchemes();
    return true;
}();

struct State {
    BrowserEnvironment env;
    std::function<void()> tearDownHost;
};
State* g_state = nullptr;

class BrowserTearDown : public ::testing::Environment {
public:
    void TearDown() override {
        if (!g_state)
            return;
        if (g_state->tearDownHost)
            g_state->tearDownHost();
        kf::setClientHandler(nullptr);
        delete g_state->env.handler;
        g_state->env.handler = nullptr;
    }
};
const auto* kTearDown = ::testing::AddGlobalTestEnvironment(new BrowserTearDown);

}  // namespace

BrowserEnvironment& browserEnvironment(const QString& pagesDir, std::function<void()> tearDownHost) {
    Q_UNUSED(kSchemesRegistered);
    Q_UNUSED(kTearDown);
    if (!g_state) {
        g_state = new State;
        static QTemporaryDir dir;
        g_state->env.appDir = dir.path();
        QString error;
        if (!writeResourcePack(pagesDir, g_state->env.appDir + "/theme.pak", 5, false, &error)) {
            ADD_FAILURE() << "cannot pack the test pages: " << error.toStdString();
        }
        g_state->env.handler = new ClientHandler(g_state->env.appDir);
        kf::setClientHandler(g_state->env.handler);
        static ClientApp app;
        app.initialize(QWebEngineProfile::defaultProfile(), ClientApp::defaultSettings(QProcessEnvironment()),
                       g_state->env.handler);
        g_state->tearDownHost = std::move(tearDownHost);
    }
    return g_state->env;
}

QVariant evalJs(QWebEnginePage* page, const QString& script, int timeoutMs) {
    if (!page)
        return QVariant();
    bool done = false;
    QVariant result;
    page->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    waitFor([&] { return done; }, timeoutMs);
    return result;
}

}  // namespace kftest
