#pragma once
// One browser: a web page with its view, its QWebChannel and its page bridge. The browser
// client handler keeps track of every browser (main, popups, page-browser map).
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariantList>
#include <QWebEnginePage>
#include <QWebEngineView>

class ClientHandler;
class PageBridge;
class QWebChannel;

// The page: reports what the handler needs and keeps popups out of the client.
class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    BrowserPage(QWebEngineProfile* profile, QObject* parent);

protected:
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;
};

// The view: no context menu, no link drops, and optionally a fixed cursor.
class BrowserView : public QWebEngineView {
    Q_OBJECT
public:
    explicit BrowserView(QWidget* parent);
    void setCursorChangesDisabled(bool disabled);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    bool cursorChangesDisabled_ = false;
};

class Browser : public QObject {
    Q_OBJECT
public:
    Browser(ClientHandler* handler, int identifier, bool popup, QWidget* viewParent);
    ~Browser() override;

    int identifier() const { return identifier_; }
    bool isPopup() const { return popup_; }
    ClientHandler* handler() const { return handler_; }
    BrowserView* view() const { return view_; }
    BrowserPage* page() const { return page_; }
    PageBridge* bridge() const { return bridge_; }

    void load(const QUrl& url);
    // Whether the last load that was started committed a document (possibly the error page of a
    // failure); false for a load that was aborted.
    bool lastLoadCommitted() const;
    bool canGoBack() const;
    bool canGoForward() const;

    // The top-level window that shows this browser.
    QWidget* topLevelWidget() const;

    void sendEvent(const QString& name, const QVariantList& args);

    // Runs a script in the main frame, reported with sourceUrl (the result is not awaited).
    void executeJavaScript(const QString& script, const QString& sourceUrl);

    // Whether the page's current document is one of the client's own, which alone may use the
    // bridge (see BridgeOrigins).
    bool offersBridge() const;

private:
    // The page shows `url`: when that is another origin's document, ours is gone (its leaving
    // message may not come), so its queries end and events wait for our next document.
    void followOrigin(const QUrl& url);
    bool offersBridgeTo(const QUrl& url) const;

    ClientHandler* handler_;
    const int identifier_;
    const bool popup_;
    QPointer<BrowserView> view_;
    BrowserPage* page_ = nullptr;
    QWebChannel* channel_ = nullptr;
    PageBridge* bridge_ = nullptr;
    QDateTime loadStartedAt_;
    bool showsOwnDocument_ = true;
};
