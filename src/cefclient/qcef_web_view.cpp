#include "cefclient/qcef_web_view.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMutexLocker>

#include "cefclient/browser.h"
#include "cefclient/message_event.h"

QCefWebView::QCefWebView(QWidget* parent, bool popup) : QWidget(parent), popup_(popup) {
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    qRegisterMetaType<QueryCallbackPtr>("QueryCallbackPtr");
}

QCefWebView::~QCefWebView() {
    ClientHandler* handler = kf::clientHandler();
    if (handler && handler->listener() == this) {
        handler->setListener(nullptr);
    }
    delete browser_.data();
}

void QCefWebView::load(const QUrl& url) {
    QMutexLocker lock(&mutex_);
    url_ = url;
    switch (state_) {
        case kNone:
            lock.unlock();
            createBrowser();
            break;
        case kCreating:
            urlChangePending_ = true;
            break;
        case kCreated:
            browser_->load(url_);
            break;
    }
}

void QCefWebView::createBrowser() {
    QMutexLocker lock(&mutex_);
    ClientHandler* handler = kf::clientHandler();
    if (state_ != kNone || !handler || width() < 1 || height() < 1) {
        return;
    }
    state_ = kCreating;
    handler->setListener(this);
    lock.unlock();
    Browser* browser = handler->createBrowser(this, popup_, this);
    browser->view()->setGeometry(0, 0, width(), height());
    browser->view()->show();
    browser->load(url_.isEmpty() ? QUrl(QStringLiteral("about:blank")) : url_);
}

void QCefWebView::OnAfterCreated(Browser* browser) {
    QMutexLocker lock(&mutex_);
    browser_ = browser;
    state_ = kCreated;
    // A load or resize asked for while the browser was being created is applied now.
    const bool reload = urlChangePending_;
    urlChangePending_ = false;
    resizePending_ = false;
    lock.unlock();
    browser->view()->setGeometry(0, 0, width(), height());
    if (reload) {
        browser->load(url_);
    }
}

void QCefWebView::OnMessageEvent(MessageEvent* event) {
    QCoreApplication::postEvent(this, event, Qt::HighEventPriority);
}

bool QCefWebView::event(QEvent* event) {
    if (event->type() == MessageEvent::eventType()) {
        auto* message = static_cast<MessageEvent*>(event);
        emit jsMessage(message->name(), message->callback());
        return true;
    }
    return QWidget::event(event);
}

void QCefWebView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    switch (state_) {
        case kNone:
            createBrowser();
            break;
        case kCreating:
            resizePending_ = true;
            break;
        case kCreated:
            if (browser_)
                browser_->view()->setGeometry(0, 0, width(), height());
            break;
    }
}

void QCefWebView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (state_ == kNone) {
        createBrowser();
    }
}

void QCefWebView::closeEvent(QCloseEvent* event) {
    ClientHandler* handler = kf::clientHandler();
    if (handler && !handler->isClosing() && browser_) {
        browser_->page()->triggerAction(QWebEnginePage::Stop);
    }
    event->accept();
}

void QCefWebView::back() {
    if (browser_)
        browser_->page()->triggerAction(QWebEnginePage::Back);
}

void QCefWebView::forward() {
    if (browser_)
        browser_->page()->triggerAction(QWebEnginePage::Forward);
}

void QCefWebView::reload() {
    if (browser_)
        browser_->page()->triggerAction(QWebEnginePage::Reload);
}

void QCefWebView::stop() {
    if (browser_)
        browser_->page()->triggerAction(QWebEnginePage::Stop);
}

QVariant QCefWebView::evaluateJavaScript(QString scriptSource, QString url) {
    if (!browser_) {
        return false;
    }
    browser_->executeJavaScript(scriptSource, url);
    return true;
}

void QCefWebView::makeCurrent(QWidget* hostWindow) {
    ClientHandler* handler = kf::clientHandler();
    if (!handler) {
        return;
    }
    handler->setListener(this);
    handler->setListenerBrowser(browser_);
    if (hostWindow) {
        handler->setMainWindowHandle(hostWindow);
    }
}
