#pragma once
// The browser side of the client for integration tests, set up once per test program (the
// engine starts once per process): a temporary application folder with a theme.pak packed
// from a folder of test pages, the process-wide ClientHandler, and the engine settings with the
// page interface. Whatever a test host builds on top (windows, views) is removed at the global
// tear-down, before the handler and before the application object.
#include <QString>
#include <QVariant>
#include <functional>

class ClientHandler;
class QWebEnginePage;

namespace kftest {

struct BrowserEnvironment {
    QString appDir;
    ClientHandler* handler = nullptr;
};

// The first call builds the environment from `pagesDir`; later calls return it unchanged.
// `tearDownHost` runs first at the global tear-down.
BrowserEnvironment& browserEnvironment(const QString& pagesDir, std::function<void()> tearDownHost);

// Runs a script in the page and waits for its result (invalid when the time is up).
QVariant evalJs(QWebEnginePage* page, const QString& script, int timeoutMs = 10000);

}  // namespace kftest
