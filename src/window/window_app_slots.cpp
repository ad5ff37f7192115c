// Window slots for the window and the application (tray, hiding, quitting, the developer test
// tool view, loading) and the window's own events: resize, close and activation.
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QResizeEvent>
#include <QThread>
#include <QtDebug>

#include "app/system_tray.h"
#include "cefclient/client_handler.h"
#include "cefclient/qcef_web_view.h"
#include "frame/pop_widget.h"
#include "window/command_args.h"
#include "window/updates.h"
#include "window/window.h"

void Window::createSystemTray() {
    if (tray_) {
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // A bare X server or a desktop without a notification area: closing the window then
        // quits the client (after saving), since nothing would bring the window back.
        qWarning().noquote()
            << "System tray unavailable: the client runs without its notification-area icon, "
               "and closing the window quits it";
    }
    tray_ = new SystemTray(this);
    connect(tray_, &QSystemTrayIcon::activated, this, &Window::onSystemtrayActive, Qt::UniqueConnection);
    connect(tray_, &SystemTray::showWidget, this, &Window::onshowWidget);
    connect(tray_, &SystemTray::closeApp, this, &Window::oncloseApp);
}

void Window::ShowMessage(QString Message) {
    // The device worker reports from its own thread; the balloon belongs to the GUI thread.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, Message] { ShowMessage(Message); }, Qt::QueuedConnection);
        return;
    }
    if (tray_) {
        tray_->showMessage(QStringLiteral("提醒"), Message, QSystemTrayIcon::Information, 1);
    }
}

void Window::quitApp() {
    // While a quit waits for a firmware update the window stays up with its notice.
    if (!quitNotice_ || !quitNotice_->isVisible()) {
        hide();
    }
    saveChangedFiles();
}

void Window::oncloseApp() {
    saveChangedFiles();
    // The client ends once, however often this is asked for.
    if (quitAsked_) {
        return;
    }
    quitAsked_ = true;
    runQuitRoutine();
}

bool Window::quitAfterFirmwareUpdate(std::function<void()> quit) {
    if (!updates_ || !updates_->firmwareRunning()) {
        quit();
        return false;
    }
    if (!quitNotice_ || !quitNotice_->isVisible()) {
        qWarning().noquote() << "the client closes once the running firmware update has ended";
    }
    // Shown in front of the page, which may be hidden in the tray: the person sees why the
    // client is still there and that the device must stay plugged in.
    if (!quitNotice_) {
        quitNotice_ = new QLabel(this);
        // A window of its own, so it is drawn above the page's native view.
        quitNotice_->setAttribute(Qt::WA_NativeWindow);
        quitNotice_->setObjectName(QStringLiteral("quitNotice"));
        quitNotice_->setAlignment(Qt::AlignCenter);
        quitNotice_->setWordWrap(true);
        quitNotice_->setStyleSheet(QStringLiteral(
            "background: rgba(20, 22, 26, 230); color: white; font-size: 18px; padding: 24px;"));
        quitNotice_->setText(
            QStringLiteral("固件升级中，请勿拔出设备；升级完成后客户端将退出。\n"
                           "Firmware update in progress: keep the device plugged in. The client closes when "
                           "it is done."));
    }
    quitNotice_->setGeometry(rect());
    quitNotice_->show();
    quitNotice_->raise();
    show();
    raise();
    ShowMessage(QStringLiteral("固件升级中，升级完成后客户端将退出"));
    updates_->whenFirmwareIdle([this, quit = std::move(quit)] {
        if (quitNotice_) {
            quitNotice_->hide();
        }
        quit();
    });
    return true;
}

void Window::onshowWidget() {
    show();
}

void Window::finishLoading(bool) {
    qInfo().noquote() << "加载完成";
}

void Window::reload_currentPage() {
    mainView_->reload();
}

void Window::onSystemtrayActive(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Unknown:
        case QSystemTrayIcon::DoubleClick:
        case QSystemTrayIcon::Trigger:
            setWindowState(Qt::WindowActive);
            show();
            raise();
            activateWindow();
            break;
        case QSystemTrayIcon::Context:
        case QSystemTrayIcon::MiddleClick:
            break;  // the context menu is the system's business
    }
}

void Window::onCurrentPropChanged(int propIndex, int proMode) {
    if (ClientHandler* handler = kf::clientHandler()) {
        handler->currentPropChanged(propIndex, proMode);
    }
}

void Window::showMouseConf() {
    if (ClientHandler* handler = kf::clientHandler()) {
        handler->onSwitchVirtualDevice();
    }
}

void Window::setClientInfo(const QMap<QString, QString>& info) {
    clientInfo_ = info;
}

void Window::showDebug() {
    const QMap<QString, QString> info = clientInfo_;
    if (info.isEmpty()) {
        return;
    }
    const QString url = localPageUrl(info.value(QStringLiteral("testToolRurl"))).toString();
    const QStringList size = info.value(QStringLiteral("testToolSize")).split(QLatin1Char(','));
    // A size without both parts reads the missing part as 0.
    const int width = qBound(0, kf::window::textToInt(size.value(0)), 8192);
    const int height = qBound(0, kf::window::textToInt(size.value(1)), 8192);
    const auto existing = views_.constFind(url);
    if (existing != views_.constEnd() && existing.value()) {
        return;
    }
    PopWidget* popup = openPopup(url, width, height);
    popup->view()->makeCurrent(popup);
    popup->show();
}

void Window::deviceHotKeyActive() {
    // No global shortcut is ever registered, so there is never a device to open here.
}

bool Window::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this && event->type() == QEvent::WindowActivate) {
        mainView_->makeCurrent(this);
        return true;
    }
    return PsMainWindow::eventFilter(watched, event);
}

void Window::resizeEvent(QResizeEvent* event) {
    PsMainWindow::resizeEvent(event);
    if (mainView_) {
        mainView_->resize(event->size());
    }
}

void Window::closeEvent(QCloseEvent* event) {
    // Closing hides the window and the client lives on in the tray; without a tray it quits,
    // after saving, through oncloseApp.
    event->ignore();
    hide();
    if (!closesToTray()) {
        oncloseApp();
    }
}
