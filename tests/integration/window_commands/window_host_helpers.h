#pragma once
// The client's window as the start sequence builds it, with a real browser handler, real
// browsers and the test pages of this folder, for the window commands that act on host
// windows, popups and pages.
#include <QString>
#include <QVariant>
#include <functional>

#include "support/qt_wait.h"

class Browser;
class ClientHandler;
class Window;

namespace kftest {

struct WindowHost {
    ClientHandler* handler = nullptr;
    Window* window = nullptr;
    QString appDir;
};

// Created once per test program (the browser engine starts once per process).
WindowHost& windowHost();

// The URL of a test page ("black/client.html" is the main page, "test/popup.html" a popup).
QString pageUrl(const QString& key);

// Waits until the browser shows `url` with its bridge up.
bool waitForPage(Browser* browser, const QString& url);

// Runs a script in the browser's page and waits for its result.
QVariant evalJs(Browser* browser, const QString& script, int timeoutMs = 10000);

}  // namespace kftest
