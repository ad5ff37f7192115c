#include "cefclient/client_handler.h"
#include "cefclient/resource_request.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>
#include <QWebEngineDownloadItem>
#include <QWebEnginePage>
#include <QWidget>

#include "cefclient/browser.h"
#include "cefclient/message_event.h"
#include "cefclient/update_package.h"

const char ClientHandler::kVendorSite[] = "https://www.kestrafon.com/";

namespace {
// Events and window changes may be asked for from any thread; the pages live on the GUI thread,
// so such calls are posted there. Returns true when the call was posted.
template <typename F>
bool postToOwnerThread(QObject* owner, F&& call) {
    if (QThread::currentThread() == owner->thread()) {
        return false;
    }
    QMetaObject::invokeMethod(owner, std::forward<F>(call), Qt::QueuedConnection);
    return true;
}
}  // namespace

namespace kf {
namespace {
ClientHandler* g_clientHandler = nullptr;
}  // namespace

ClientHandler* clientHandler() {
    return g_clientHandler;
}
void setClientHandler(ClientHandler* handler) {
    g_clientHandler = handler;
}
}  // namespace kf

ClientHandler::ClientHandler(const QString& appDir, QObject* parent)
    : ClientHandler(appDir, Options(), parent) {}

ClientHandler::ClientHandler(const QString& appDir, const Options& options, QObject* parent)
    : QObject(parent),
      startUrl_(options.startUrl.isEmpty() ? QString::fromLatin1(kVendorSite) : options.startUrl),
      origins_(options.startUrl),
      cursorChangeDisabled_(options.cursorChangeDisabled) {
    themePack_.load(appDir + "/theme.pak");
    downloadFolder_ = kf::update::updateFolder(appDir);
}

ClientHandler::~ClientHandler() = default;

Browser* ClientHandler::createBrowser(QWidget* viewParent, bool popup, Listener* listener) {
    auto* browser = new Browser(this, nextBrowserId_++, popup, viewParent);
    if (cursorChangeDisabled_) {
        browser->view()->setCursorChangesDisabled(true);
    }
    onAfterCreated(browser, listener);
    return browser;
}

void ClientHandler::onAfterCreated(Browser* browser, Listener* listener) {
    {
        QMutexLocker lock(&lock_);
        if (!mainBrowser_) {
            mainBrowser_ = browser;
            mainBrowserId_ = browser->identifier();
            listenerBrowser_ = browser;
        } else if (browser->isPopup()) {
            popupBrowsers_.append(browser);
            browser->view()->setFocus();
        }
    }
    ++browserCount_;
    if (listener) {
        listener->OnAfterCreated(browser);
    }
}

void ClientHandler::onBeforeClose(Browser* browser) {
    QMutexLocker lock(&lock_);
    for (auto it = pageBrowsers_.begin(); it != pageBrowsers_.end();) {
        it = (it.value() == browser) ? pageBrowsers_.erase(it) : std::next(it);
    }
    popupBrowsers_.removeAll(browser);
    if (mainBrowser_ == browser) {
        mainBrowser_ = nullptr;
    }
    if (listenerBrowser_ == browser) {
        listenerBrowser_ = nullptr;
    }
}

void ClientHandler::onLoadingStateChange(Browser* browser) {
    navStateChanged(browser, browser->canGoBack(), browser->canGoForward());
}

void ClientHandler::onLoadEnd(Browser* browser, bool ok) {
    qInfo().noquote()
        << QStringLiteral("page load finished %1 %2").arg(ok ? 1 : 0).arg(browser->page()->url().toString());
    if (!pageUrl_.isEmpty() && !pageBrowsers_.contains(pageUrl_)) {
        pageBrowsers_.insert(pageUrl_, browser);
    }
    if (!ok && !browser->lastLoadCommitted()) {
        qInfo().noquote() << "the page load was aborted (a download, or replaced by another load)";
    } else if (!ok) {
        // A failed load tells the page as the engine always has: under a name the page
        // interface does not deliver, so pages never see it unless that list grows.
        browser->sendEvent(QStringLiteral("onBrowserMsg"), {QStringLiteral("pageError")});
    }
}

void ClientHandler::onDownloadRequested(QWebEngineDownloadItem* item) {
    if (!item || item->state() != QWebEngineDownloadItem::DownloadRequested) {
        return;
    }
    // Only our own pages put files into the update folder, the one place a client update or
    // firmware image is taken from.
    const QUrl from = item->page() ? item->page()->url() : QUrl();
    if (!origins_.offersBridge(from)) {
        qWarning().noquote() << "download cancelled: it was started by a page of another origin,"
                             << BridgeOrigins::originText(from);
        item->cancel();
        return;
    }
    QString error;
    if (!kf::update::ensureOwnFolder(downloadFolder_, &error)) {
        qWarning().noquote() << "download refused:" << error;
        item->cancel();
        return;
    }
    // Only a file name: a suggested name never leads out of the update folder.
    QString name = QFileInfo(item->suggestedFileName()).fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        name = QStringLiteral("download");
    }
    item->setDownloadDirectory(downloadFolder_);
    item->setDownloadFileName(name);
    const QString path = downloadFolder_ + "/" + item->downloadFileName();
    QPointer<Browser> owner;
    {
        QMutexLocker lock(&lock_);
        if (mainBrowser_ && item->page() == mainBrowser_->page()) {
            owner = mainBrowser_;
        }
        for (const QPointer<Browser>& popup : popupBrowsers_) {
            if (popup && item->page() == popup->page())
                owner = popup;
        }
    }
    connect(item, &QWebEngineDownloadItem::downloadProgress, this,
            [this, owner, path](qint64 received, qint64 total) {
                if (owner)
                    RefreshDownState(total, received, path, owner);
            });
    connect(item, &QWebEngineDownloadItem::finished, this, [this, item, owner, path] {
        if (item->state() != QWebEngineDownloadItem::DownloadCompleted) {
            return;
        }
        if (owner)
            RefreshDownState(100, 100, path, owner);
        RefreshUpdateState(path);
    });
    item->accept();
}

QList<int> ClientHandler::parseMoveArguments(const QString& request) {
    QList<int> numbers;
    const QString text = request.mid(11);
    int pos = 0;
    while (pos < text.size() && numbers.size() < 16) {
        while (pos < text.size() && text.at(pos).isSpace())
            ++pos;
        int end = pos;
        if (end < text.size() && (text.at(end) == QLatin1Char('-') || text.at(end) == QLatin1Char('+')))
            ++end;
        const int digitsStart = end;
        while (end < text.size() && text.at(end).isDigit())
            ++end;
        if (end == digitsStart)
            break;
        bool ok = false;
        const int value = text.mid(pos, end - pos).toInt(&ok);
        if (!ok)
            break;
        numbers.append(value);
        pos = end;
        if (pos < text.size() && text.at(pos) == QLatin1Char(','))
            ++pos;
    }
    return numbers;
}

void ClientHandler::moveTopLevel(QWidget* window, int dx, int dy, int w, int h) {
    if (!window)
        return;
    if (window->isMinimized() || window->isMaximized()) {
        const QRect current = window->geometry();
        window->showNormal();
        window->setGeometry(current.left(), current.top(), w, h);
        return;
    }
    const QRect current = window->geometry();
    window->setGeometry(current.left() + dx, current.top() + dy, w, h);
}

void ClientHandler::minimizeTopLevel(QWidget* window) {
    if (!window)
        return;
    if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->showMinimized();
    }
}

void ClientHandler::onQuery(Browser* browser, const QString& request, const QueryCallbackPtr& callback) {
    if (browser) {
        setMainWindowHandle(browser->topLevelWidget());
    }
    if (request.startsWith(QLatin1String("MoveWindow"))) {
        const QList<int> n = parseMoveArguments(request);
        if (n.size() == 4) {
            moveTopLevel(getMainWindowHandle(), n[0], n[1], n[2], n[3]);
            callback->Success(QString());
        }
    } else if (request == QLatin1String("{\"FuncName\":\"MinisizeWindow\"}")) {
        minimizeTopLevel(getMainWindowHandle());
    } else if (listener_) {
        listener_->OnMessageEvent(new MessageEvent(request, callback));
    }
    emit queryRouted(request);
}

void ClientHandler::sendToMain(const QString& name, const QVariantList& args) {
    if (postToOwnerThread(this, [this, name, args] { sendToMain(name, args); }))
        return;
    Browser* browser = getMainBrowser();
    if (browser) {
        browser->sendEvent(name, args);
    }
}

void ClientHandler::sendToTarget(const QString& name, const QVariantList& args, const QString& target) {
    if (postToOwnerThread(this, [this, name, args, target] { sendToTarget(name, args, target); }))
        return;
    if (Browser* browser = pageBrowsers_.value(target)) {
        browser->sendEvent(name, args);
    }
}

void ClientHandler::DevicesChanged(int kind) {
    qInfo().noquote() << "devicesChanged";
    sendToMain(QStringLiteral("DevicesChanged"), {kind});
}

void ClientHandler::navStateChanged(Browser* browser, bool canGoBack, bool canGoForward) {
    if (browser) {
        browser->sendEvent(QStringLiteral("navStateChanged"), {canGoBack, canGoForward});
    }
}

void ClientHandler::currentPropChanged(int a, int b) {
    sendToMain(QStringLiteral("currentPropChanged"), {a, b});
}

void ClientHandler::RefreshDownState(qint64 total, qint64 received, const QString& path, Browser* browser) {
    if (browser) {
        browser->sendEvent(QStringLiteral("RefreshDownState"),
                           {static_cast<int>(total), static_cast<int>(received), path});
    }
}

void ClientHandler::RefreshUpdateState(const QString& path) {
    if (postToOwnerThread(this, [this, path] { RefreshUpdateState(path); }))
        return;
    if (Browser* browser = listenerBrowser_.data()) {
        browser->sendEvent(QStringLiteral("RefreshUpdateState"), {path});
    }
}

void ClientHandler::onSwitchVirtualDevice() {
    sendToMain(QStringLiteral("onSwitchVirtualDevice"), {});
}

void ClientHandler::OnBrowserMsg(const QString& data, const QString& target) {
    sendToTarget(QStringLiteral("OnBrowserMsg"), {data}, target);
}

void ClientHandler::OnRGBMusicData(const QString& data, const QString& target) {
    sendToTarget(QStringLiteral("OnRGBMusicData"), {data}, target);
}

void ClientHandler::setMainWindowHandle(QWidget* window) {
    QPointer<QWidget> guarded(window);
    if (postToOwnerThread(this, [this, guarded] { setMainWindowHandle(guarded.data()); }))
        return;
    QMutexLocker lock(&lock_);
    mainWindow_ = window;
}

QWidget* ClientHandler::getMainWindowHandle() const {
    QMutexLocker lock(&lock_);
    return mainWindow_.data();
}

Browser* ClientHandler::getMainBrowser() const {
    QMutexLocker lock(&lock_);
    return mainBrowser_.data();
}

int ClientHandler::mainBrowserId() const {
    QMutexLocker lock(&lock_);
    return mainBrowserId_;
}

QList<Browser*> ClientHandler::popupBrowsers() const {
    QMutexLocker lock(&lock_);
    QList<Browser*> result;
    for (const QPointer<Browser>& popup : popupBrowsers_) {
        if (popup)
            result.append(popup.data());
    }
    return result;
}
