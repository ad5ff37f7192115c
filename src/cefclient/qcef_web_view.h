#pragma once
// The widget that hosts one browser. The browser is created when the widget has a size and a
// URL (creation state 0 → 1 → 2); page requests arrive as MessageEvents posted with high
// priority and leave as the jsMessage signal on the GUI thread.
#include <QMutex>
#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include "cefclient/client_handler.h"
#include "cefclient/query_callback.h"

class Browser;

class QCefWebView : public QWidget, public ClientHandler::Listener {
    Q_OBJECT
public:
    enum BrowserState { kNone = 0, kCreating = 1, kCreated = 2 };

    explicit QCefWebView(QWidget* parent = nullptr, bool popup = false);
    ~QCefWebView() override;

    void load(const QUrl& url);
    QUrl url() const { return url_; }
    Browser* browser() const { return browser_; }

    // Makes this view the one that hosts the page: the process-wide handler hands page requests
    // to it from now on, and window requests act on `hostWindow` when one is given.
    void makeCurrent(QWidget* hostWindow = nullptr);
    BrowserState browserState() const { return state_; }
    bool isPopup() const { return popup_; }

    // ClientHandler::Listener
    void OnAfterCreated(Browser* browser) override;
    void OnMessageEvent(MessageEvent* event) override;

signals:
    void titleChanged(QString title);
    void urlChanged(QUrl url);
    void loadStarted();
    void loadFinished(bool ok);
    void navStateChanged(bool canGoBack, bool canGoForward);
    void jsMessage(const QString& name, const QueryCallbackPtr callbackPtr);

public slots:
    void back();
    void forward();
    void reload();
    void stop();
    // Runs scriptSource in the main frame; true when there is a browser to run it in.
    QVariant evaluateJavaScript(QString scriptSource, QString url);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createBrowser();

    QPointer<Browser> browser_;
    BrowserState state_ = kNone;
    bool resizePending_ = false;
    bool urlChangePending_ = false;
    const bool popup_;
    QUrl url_;
    QMutex mutex_;
};
