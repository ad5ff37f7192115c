#pragma once
// The process-wide browser client handler: knows every browser, carries page requests to the
// listener (the view that hosts the page), handles the two window requests itself, sends the
// named events to pages, serves the local pages from the theme pack and runs downloads.
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>

#include "cefclient/bridge_origins.h"
#include "cefclient/query_callback.h"
#include "cefclient/resource_pack.h"

#include "cefclient/browser.h"
class MessageEvent;
class QWebEngineDownloadItem;
class QWidget;

class ClientHandler;

namespace kf {
// The process-wide browser client handler: created by the main routine before the event loop,
// kept until the engine shuts down; null before and after.
ClientHandler* clientHandler();
void setClientHandler(ClientHandler* handler);
}  // namespace kf

class ClientHandler : public QObject {
    Q_OBJECT
public:
    // Implemented by the widget that hosts a browser.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void OnAfterCreated(Browser* browser) = 0;
        // Takes ownership of the event.
        virtual void OnMessageEvent(MessageEvent* event) = 0;
    };

    // The vendor's web site, the default start URL and where pack misses are fetched from.
    static const char kVendorSite[];

    // What the command line says about the browsers: the start URL (the "url" switch; the
    // vendor's site when empty) and whether pages may change the mouse cursor
    // ("mouse-cursor-change-disabled").
    struct Options {
        QString startUrl;
        bool cursorChangeDisabled = false;
    };

    // Loads appDir + "/theme.pak".
    explicit ClientHandler(const QString& appDir, QObject* parent = nullptr);
    ClientHandler(const QString& appDir, const Options& options, QObject* parent = nullptr);
    ~ClientHandler() override;

    // Browser bookkeeping, called by the views and browsers.
    Browser* createBrowser(QWidget* viewParent, bool popup, Listener* listener);
    void onAfterCreated(Browser* browser, Listener* listener);
    void onBeforeClose(Browser* browser);
    void onLoadingStateChange(Browser* browser);
    void onLoadEnd(Browser* browser, bool ok);
    void onDownloadRequested(QWebEngineDownloadItem* item);

    // A page request: "MoveWindow…" and the exact minimize text are handled here, everything
    // else goes to the listener as a MessageEvent. Unanswered when there is no listener.
    void onQuery(Browser* browser, const QString& request, const QueryCallbackPtr& callback);

    // Events to the pages.
    void DevicesChanged(int kind);
    void navStateChanged(Browser* browser, bool canGoBack, bool canGoForward);
    void currentPropChanged(int a, int b);
    void RefreshDownState(qint64 total, qint64 received, const QString& path, Browser* browser);
    void RefreshUpdateState(const QString& path);
    void onSwitchVirtualDevice();
    void OnBrowserMsg(const QString& data, const QString& target);
    void OnRGBMusicData(const QString& data, const QString& target);

    // Host window: the top-level window whose page made the last request.
    void setMainWindowHandle(QWidget* window);
    QWidget* getMainWindowHandle() const;

    Browser* getMainBrowser() const;
    int mainBrowserId() const;
    int browserCount() const { return browserCount_; }
    QList<Browser*> popupBrowsers() const;
    bool isClosing() const { return closing_; }
    void setClosing(bool closing) { closing_ = closing; }

    void setPageUrl(const QString& url) { pageUrl_ = url; }
    QString pageUrl() const { return pageUrl_; }
    Browser* browserForPage(const QString& url) const { return pageBrowsers_.value(url); }
    void setStartUrl(const QString& url) { startUrl_ = url; }
    QString startUrl() const { return startUrl_; }
    bool cursorChangeDisabled() const { return cursorChangeDisabled_; }

    void setListener(Listener* listener) { listener_ = listener; }
    Listener* listener() const { return listener_; }
    // The browser of the view that currently hosts the page.
    void setListenerBrowser(Browser* browser) { listenerBrowser_ = browser; }

    const ResourcePack& themePack() const { return themePack_; }
    // The documents the page bridge is offered to (the client's own pages).
    const BridgeOrigins& bridgeOrigins() const { return origins_; }

    // Parses "MoveWindow" arguments: integers separated by ",", from character 11 on.
    static QList<int> parseMoveArguments(const QString& request);
    // Moves or restores the top-level window as a page asked for (dx, dy, w, h).
    static void moveTopLevel(QWidget* window, int dx, int dy, int w, int h);
    // Minimizes the window, or restores it when it is minimized already.
    static void minimizeTopLevel(QWidget* window);

signals:
    // Emitted after each page request was routed (handled here or passed on); used by tests.
    void queryRouted(const QString& request);

private:
    void sendToMain(const QString& name, const QVariantList& args);
    void sendToTarget(const QString& name, const QVariantList& args, const QString& target);

    QString startUrl_;
    BridgeOrigins origins_;
    bool cursorChangeDisabled_ = false;
    ResourcePack themePack_;
    mutable QMutex lock_;
    QPointer<Browser> mainBrowser_;
    int mainBrowserId_ = 0;
    QList<QPointer<Browser>> popupBrowsers_;
    int browserCount_ = 0;
    int nextBrowserId_ = 1;
    QString pageUrl_;
    QMap<QString, Browser*> pageBrowsers_;
    Listener* listener_ = nullptr;
    QPointer<Browser> listenerBrowser_;
    QPointer<QWidget> mainWindow_;
    bool closing_ = false;
    QString downloadFolder_;
};
