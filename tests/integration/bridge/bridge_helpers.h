#pragma once
// A real browser host for the bridge tests: a test pack, the process-wide handler, a top-level
// window with a QCefWebView, and a stand-in for Window that answers requests by their text.
#include <QList>
#include <QString>
#include <QVariant>
#include <QWidget>
#include <functional>

#include "support/qt_wait.h"

#include "cefclient/query_callback.h"

class QCefWebView;
class ClientHandler;

namespace kftest {

struct BridgeHost {
    QWidget* window = nullptr;
    QCefWebView* view = nullptr;
    ClientHandler* handler = nullptr;
    QString appDir;
    QList<QString> received;       // every request that reached the listener
    QList<QueryCallbackPtr> held;  // callbacks kept by "hold" requests
};

// Created once per test program (the browser engine starts once per process).
BridgeHost& bridgeHost();

// Loads a page from the test pack and waits until its bridge is up.
bool loadTestPage(const QString& key);

// Runs a script in the page and waits for its result.
QVariant evalJs(const QString& script, int timeoutMs = 10000);

}  // namespace kftest
