#include "cefclient/browser.h"

#include <QChildEvent>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QWebChannel>
#include <QWebEngineHistory>
#include <QWebEngineProfile>

#include "cefclient/client_handler.h"
#include "cefclient/page_bridge.h"

namespace {

// Catches the first navigation of a popup the page asked for, hands its URL to the desktop's
// default handler (the system web browser) and goes away: no popup window is created.
class PopupCatcher : public QWebEnginePage {
public:
    PopupCatcher(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (isMainFrame && !handled_) {
            handled_ = true;
            QDesktopServices::openUrl(url);
            deleteLater();
        }
        return false;
    }

private:
    bool handled_ = false;
};

}  // namespace

BrowserPage::BrowserPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
    setBackgroundColor(QColor(0x22, 0x25, 0x29));
}

QWebEnginePage* BrowserPage::createWindow(WebWindowType) {
    return new PopupCatcher(profile(), this);
}

void BrowserPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                           int lineNumber, const QString& sourceID) {
    const QString line = QStringLiteral("[page] %1 (%2:%3)").arg(message, sourceID).arg(lineNumber);
    switch (level) {
        case InfoMessageLevel:
            qInfo().noquote() << line;
            break;
        case WarningMessageLevel:
            qWarning().noquote() << line;
            break;
        case ErrorMessageLevel:
            qCritical().noquote() << line;
            break;
    }
}

BrowserView::BrowserView(QWidget* parent) : QWebEngineView(parent) {
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(true);
}

void BrowserView::setCursorChangesDisabled(bool disabled) {
    cursorChangesDisabled_ = disabled;
    if (disabled && focusProxy()) {
        focusProxy()->installEventFilter(this);
    }
}

namespace {
bool offersLink(const QDropEvent* event) {
    return event->possibleActions() & Qt::LinkAction;
}
}  // namespace

void BrowserView::dragEnterEvent(QDragEnterEvent* event) {
    if (offersLink(event)) {
        event->ignore();
        return;
    }
    QWebEngineView::dragEnterEvent(event);
}

void BrowserView::dragMoveEvent(QDragMoveEvent* event) {
    if (offersLink(event)) {
        event->ignore();
        return;
    }
    QWebEngineView::dragMoveEvent(event);
}

void BrowserView::dropEvent(QDropEvent* event) {
    if (offersLink(event)) {
        event->ignore();
        return;
    }
    QWebEngineView::dropEvent(event);
}

bool BrowserView::eventFilter(QObject* watched, QEvent* event) {
    if (cursorChangesDisabled_ && event->type() == QEvent::CursorChange) {
        if (auto* widget = qobject_cast<QWidget*>(watched);
            widget && widget->testAttribute(Qt::WA_SetCursor)) {
            widget->unsetCursor();
        }
        return true;
    }
    return QWebEngineView::eventFilter(watched, event);
}

void BrowserView::childEvent(QChildEvent* event) {
    QWebEngineView::childEvent(event);
    // The render widget appears after the page is set; filter it as soon as it exists.
    if (cursorChangesDisabled_ && event->added() && event->child()->isWidgetType()) {
        event->child()->installEventFilter(this);
    }
}

Browser::Browser(ClientHandler* handler, int identifier, bool popup, QWidget* viewParent)
    : handler_(handler), identifier_(identifier), popup_(popup) {
    page_ = new BrowserPage(QWebEngineProfile::defaultProfile(), this);
    view_ = new BrowserView(viewParent);
    view_->setPage(page_);
    channel_ = new QWebChannel(this);
    bridge_ = new PageBridge(this);
    channel_->registerObject(QStringLiteral("kfBridge"), bridge_);
    // The channel stays published: the engine only gives a document created after it is set the
    // channel's transport. A document of another origin has it removed by the injected script
    // before its own scripts run, and the bridge refuses whatever such a document still sends.
    page_->setWebChannel(channel_);
    connect(page_, &QWebEnginePage::urlChanged, this, &Browser::followOrigin);

    connect(page_, &QWebEnginePage::loadStarted, this, [this] {
        loadStartedAt_ = QDateTime::currentDateTimeUtc();
        if (handler_)
            handler_->onLoadingStateChange(this);
    });
    connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (handler_) {
            handler_->onLoadingStateChange(this);
            handler_->onLoadEnd(this, ok);
        }
    });
    connect(page_, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl& origin, QWebEnginePage::Feature feature) {
                if (feature == QWebEnginePage::Geolocation) {
                    page_->setFeaturePermission(origin, feature, QWebEnginePage::PermissionGrantedByUser);
                }
            });
}

Browser::~Browser() {
    if (handler_) {
        handler_->onBeforeClose(this);
    }
    delete bridge_;
    bridge_ = nullptr;
    if (view_) {
        view_->setPage(nullptr);
    }
}

bool Browser::offersBridgeTo(const QUrl& url) const {
    return handler_ ? handler_->bridgeOrigins().offersBridge(url) : BridgeOrigins().offersBridge(url);
}

bool Browser::offersBridge() const {
    return offersBridgeTo(page_->url());
}

void Browser::followOrigin(const QUrl& url) {
    const bool own = offersBridgeTo(url);
    if (own == showsOwnDocument_) {
        return;
    }
    showsOwnDocument_ = own;
    if (!own) {
        bridge_->cancelPending();
        qInfo().noquote() << "the page bridge is not offered to" << BridgeOrigins::originText(url);
    }
}

void Browser::load(const QUrl& url) {
    page_->load(url);
}

bool Browser::lastLoadCommitted() const {
    // A failed load shows the engine's error page, which is committed like any page and stamps
    // the current history entry; an aborted load (a download, a navigation replaced by another,
    // a stop) commits nothing, so the entry keeps its older stamp.
    const QWebEngineHistoryItem current = page_->history()->currentItem();
    return current.isValid() && loadStartedAt_.isValid() && current.lastVisited().toUTC() >= loadStartedAt_;
}

bool Browser::canGoBack() const {
    return page_->history()->canGoBack();
}
bool Browser::canGoForward() const {
    return page_->history()->canGoForward();
}

QWidget* Browser::topLevelWidget() const {
    return view_ ? view_->window() : nullptr;
}

void Browser::sendEvent(const QString& name, const QVariantList& args) {
    if (bridge_) {
        bridge_->sendEvent(name, args);
    }
}

void Browser::executeJavaScript(const QString& script, const QString& sourceUrl) {
    QString source = script;
    if (!sourceUrl.isEmpty()) {
        source += QStringLiteral("\n//# sourceURL=") + sourceUrl;
    }
    page_->runJavaScript(source);
}
