#pragma once
// The client's window as the start sequence builds it, with a real browser handler and the test
// page of this folder, its device layer on our emulated library, and a callback that records
// answers in place of a page.
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>

#include "cefclient/query_callback.h"
#include "support/qt_wait.h"

class Browser;
class ClientHandler;
class Window;

namespace kftest {

struct DeviceHost {
    ClientHandler* handler = nullptr;
    Window* window = nullptr;
    QString appDir;
};

// Created once per test program (the browser engine starts once per process).
DeviceHost& deviceHost();

struct PageAnswer {
    bool success = false;
    int code = 0;
    QString text;
};

// Every answer given through the callbacks it makes, in the order given.
class Answers {
public:
    QueryCallbackPtr callback();
    const QList<PageAnswer>& list() const { return *answers_; }
    int count() const { return answers_->size(); }

private:
    std::shared_ptr<QList<PageAnswer>> answers_ = std::make_shared<QList<PageAnswer>>();
};

// Sends a request to the window's dispatcher as the page would and returns what was answered
// before the dispatcher returned.
QList<PageAnswer> request(const QString& text);

// The page of the main view and scripts run in it.
Browser* mainBrowser();
bool waitForMainPage();
QVariant evalJs(const QString& script, int timeoutMs = 10000);

}  // namespace kftest
