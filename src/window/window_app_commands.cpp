// Window and application commands: maximizing and restoring the host window, the login
// window, navigation of the main view, popup views, messages between pages, the keyboard
// layout, hiding and quitting, and opening URLs outside the client.
#include <QCoreApplication>
#include <QTimer>
#include <QUrl>
#include <QtGlobal>

#include "app/process.h"
#include "cefclient/browser.h"
#include "cefclient/client_handler.h"
#include "cefclient/qcef_web_view.h"
#include "frame/pop_widget.h"
#include "platform/desktop/url_opener.h"
#include "platform/display/screen_metrics.h"
#include "platform/keyboard/keyboard_layouts.h"
#include "window/command_args.h"
#include "window/window.h"

using kf::window::argText;
using kf::window::textToInt;

namespace {
// Sizes the page asks for are kept within what a window can sensibly be: nothing negative,
// nothing larger than a display system window.
constexpr int kMaxViewExtent = 8192;

int viewExtent(const QString& text) {
    return qBound(0, textToInt(text), kMaxViewExtent);
}

QWidget* hostWindow() {
    ClientHandler* handler = kf::clientHandler();
    return handler ? handler->getMainWindowHandle() : nullptr;
}
}  // namespace

QUrl Window::localPageUrl(const QString& relative) {
    return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + relative);
}

void Window::maximizeHostWindow() {
    QWidget* host = hostWindow();
    if (!host) {
        return;
    }
    // Maximizing a window that the page maximized already keeps the geometry to go back to.
    if (!(hostMaximized_ && maximizedHost_ == host)) {
        savedNormalGeometry_ = host->geometry();
        hasSavedGeometry_ = true;
    }
    maximizedHost_ = host;
    hostMaximized_ = true;
    const QRect area = screenMetrics().primaryAvailableGeometry();
    if (!area.isEmpty()) {
        host->setGeometry(area);
    }
}

void Window::restoreHostWindow() {
    QWidget* host = hostWindow();
    // Before any maximize there is no geometry to go back to: the window stays where it is.
    if (!host || !hasSavedGeometry_) {
        return;
    }
    host->setGeometry(savedNormalGeometry_);
    hostMaximized_ = false;
}

void Window::cmdLoginMain(const QVariantMap& args, const QueryCallbackPtr&) {
    const QString url = argText(args, QStringLiteral("Url"));
    const QString widthText = argText(args, QStringLiteral("width"));
    const QString heightText = argText(args, QStringLiteral("height"));
    if (url.isEmpty() || widthText.isEmpty() || heightText.isEmpty()) {
        return;
    }
    const int width = viewExtent(widthText);
    const int height = viewExtent(heightText);
    hide();
    mainView_->resize(width, height);
    mainView_->load(QUrl(url));
    if (ClientHandler* handler = kf::clientHandler()) {
        handler->setPageUrl(url);
        handler->setStartUrl(url);
    }
    setMinimumSize(width, height);
    const QSize screen = screenMetrics().primaryScreenSize();
    move((screen.width() - width) / 2, (screen.height() - height) / 2);
    resize(width, height);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &Window::LoginWindow);
    loginTimers_.append(timer);
    timer->start(1000);
    // Never answered.
}

void Window::LoginWindow() {
    show();
    // Shown once per "LoginMain": every login timer is done once the window is up, so none of
    // them shows the window again after the user hid it.
    for (const QPointer<QTimer>& timer : qAsConst(loginTimers_)) {
        if (timer) {
            timer->stop();
            timer->disconnect();
            timer->deleteLater();
        }
    }
    loginTimers_.clear();
}

void Window::cmdLoadurl(const QVariantMap& args, const QueryCallbackPtr&) {
    if (!args.contains(QStringLiteral("url"))) {
        return;
    }
    // The page passes a url beginning with "/": it is appended to the application folder as is.
    const QUrl target = localPageUrl(argText(args, QStringLiteral("url")));
    ClientHandler* handler = kf::clientHandler();
    Browser* browser = handler ? handler->getMainBrowser() : nullptr;
    if (!target.isEmpty() && browser) {
        browser->load(target);
    }
}

void Window::cmdGoback(const QVariantMap&, const QueryCallbackPtr& cb) {
    mainView_->back();
    answerSuccess(cb, QStringLiteral("goback"));
}

void Window::cmdGoforward(const QVariantMap&, const QueryCallbackPtr& cb) {
    mainView_->forward();
    answerSuccess(cb, QStringLiteral("goforward"));
}

void Window::cmdCloseX(const QVariantMap&, const QueryCallbackPtr& cb) {
    quitApp();
    answerSuccess(cb, QStringLiteral("CloseX sucess"));
    // Without a tray nothing could bring the hidden window back: the client quits instead (the
    // quit is queued, so the answer still reaches the page).
    if (!closesToTray()) {
        oncloseApp();
    }
}

void Window::cmdCloseApp(const QVariantMap&, const QueryCallbackPtr& cb) {
    oncloseApp();
    // The quit is queued, so the answer still reaches the page before the event loop ends.
    answerSuccess(cb, QStringLiteral("modify conf sucess"));
}

void Window::cmdOpenUrl(const QVariantMap& args, const QueryCallbackPtr& cb) {
    if (!args.contains(QStringLiteral("Url"))) {
        return;
    }
    urlOpener_->openUrl(QUrl::fromUserInput(argText(args, QStringLiteral("Url"))));
    answerSuccess(cb, QStringLiteral("open successed"));
}

PopWidget* Window::openPopup(const QString& url, int width, int height) {
    auto* popup = new PopWidget(url, width, height, this);
    views_.insert(url, popup);
    connect(popup->view(), &QCefWebView::jsMessage, this, &Window::onJsMessage);
    connect(popup, &PopWidget::activated, this, &Window::setCurrentView);
    return popup;
}

void Window::cmdOpenView(const QVariantMap& args, const QueryCallbackPtr&) {
    if (!args.contains(QStringLiteral("Url")) || !args.contains(QStringLiteral("Width")) ||
        !args.contains(QStringLiteral("Height"))) {
        return;
    }
    const QString url = argText(args, QStringLiteral("Url"));
    ClientHandler* handler = kf::clientHandler();
    if (handler) {
        handler->setPageUrl(url);
    }
    const auto existing = views_.constFind(url);
    if (existing != views_.constEnd() && existing.value()) {
        return;  // one popup per URL; the open one is left as it is
    }
    PopWidget* popup = openPopup(url, viewExtent(argText(args, QStringLiteral("Width"))),
                                 viewExtent(argText(args, QStringLiteral("Height"))));
    if (handler) {
        handler->setMainWindowHandle(popup);
    }
    popup->show();
}

void Window::cmdCloseView(const QVariantMap&, const QueryCallbackPtr&) {
    // The popup's view was the one page requests went to: the main view takes over again, so
    // the main page is heard even before its window is activated.
    mainView_->makeCurrent(this);
    PopWidget* current = currentView_.data();
    if (!current) {
        currentView_ = nullptr;
        return;
    }
    for (auto it = views_.begin(); it != views_.end();) {
        it = (it.value() == current) ? views_.erase(it) : std::next(it);
    }
    current->hide();
    current->deleteLater();
    currentView_ = nullptr;
}

void Window::cmdSendMsgToMainBrowser(const QVariantMap& args, const QueryCallbackPtr& cb) {
    if (!args.contains(QStringLiteral("Url")) || !args.contains(QStringLiteral("Msg"))) {
        return;
    }
    const QString url = argText(args, QStringLiteral("Url"));
    const QString msg = argText(args, QStringLiteral("Msg"));
    if (ClientHandler* handler = kf::clientHandler()) {
        handler->OnBrowserMsg(msg, url);
    }
    answerSuccess(cb, QStringLiteral("SendMsgToMainBrowser success"));
}

void Window::cmdSetIME(const QVariantMap&, const QueryCallbackPtr& cb) {
    keyboardLayouts_->activateUsLayout();  // the outcome is not reported
    answerSuccess(cb, QStringLiteral("SetIME success!"));
}

QList<PopWidget*> Window::popupViews() const {
    QList<PopWidget*> result;
    for (const QPointer<PopWidget>& view : views_) {
        if (view)
            result.append(view.data());
    }
    return result;
}

void Window::setCurrentView(PopWidget* popup) {
    currentView_ = popup;
}

void Window::setKeyboardLayouts(std::unique_ptr<kf::platform::KeyboardLayouts> layouts) {
    if (layouts)
        keyboardLayouts_ = std::move(layouts);
}

void Window::setUrlOpener(std::unique_ptr<kf::platform::UrlOpener> opener) {
    if (opener)
        urlOpener_ = std::move(opener);
}
