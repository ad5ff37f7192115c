#include "frame/ps_main_window.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <QWindow>

#include "frame/frame_areas.h"
#include "platform/display/screen_metrics.h"

namespace kf::frame {

FrameState& frameState() {
    static FrameState state;
    return state;
}

}  // namespace kf::frame

using kf::frame::HitTest;

PsMainWindow::PsMainWindow(bool startHidden, QWidget* parent)
    : QWidget(parent), startHidden_(startHidden), screenMetrics_(kf::platform::createScreenMetrics()) {}

PsMainWindow::~PsMainWindow() {
    kf::frame::frameState().shadowsDestroyed = true;
    shadows_.destroy();
    // The main window going away ends the client.
    if (shownOnce_) {
        runQuitRoutine();
    }
}

bool PsMainWindow::closesToTray() const {
    return trayAvailable_ ? trayAvailable_() : QSystemTrayIcon::isSystemTrayAvailable();
}

void PsMainWindow::setScreenMetrics(std::unique_ptr<kf::platform::ScreenMetrics> metrics) {
    if (metrics) {
        screenMetrics_ = std::move(metrics);
    }
}

void PsMainWindow::prepareNativeWindow() {
    nativeHandle_ = winId();
    if (nativeHandle_ && kFrameless) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowMaximizeButtonHint);
        nativeHandle_ = winId();  // changing the flags recreates the native window
    }
    if (QWindow* handle = windowHandle()) {
        connect(handle, &QWindow::windowStateChanged, this, &PsMainWindow::stateChanged,
                Qt::UniqueConnection);
        // The window manager can take the window off the screen without the widget hearing of
        // it (another virtual desktop): the native window's exposure tells.
        handle->installEventFilter(this);
    }
    setMinimumSize(kMinimumWidth, kMinimumHeight);
}

QPoint PsMainWindow::centredPosition(const QSize& screen, const QSize& window) {
    return QPoint((screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2);
}

void PsMainWindow::showFirst() {
    kf::frame::FrameState& state = kf::frame::frameState();
    if (shadows_.init(this, state.activeShadowColour)) {
        state.shadowSize = shadows_.size();
    }
    state.shadowsDestroyed = false;
    shadows_.update(kf::frame::ShadowHidden);
    if (startHidden_) {
        setWindowState(Qt::WindowMinimized);
        hide();
    } else {
        const QSize screen = screenMetrics_->primaryScreenSize();
        if (!screen.isEmpty()) {
            move(centredPosition(screen, QSize(kMinimumWidth, kMinimumHeight)));
        }
        show();
    }
    shownOnce_ = true;
    if (!startHidden_) {
        shadows_.update(kf::frame::ShadowMoved | kf::frame::ShadowResized | kf::frame::ShadowShown);
    }
}

bool PsMainWindow::frameNativeEvent(const QByteArray&, void*, long*) {
    return false;
}

int PsMainWindow::frameAreaAt(const QPoint& pos) const {
    return rect().contains(pos) ? 1 : 0;
}

void PsMainWindow::stateChanged(Qt::WindowState state) {
    followState(state);
}

void PsMainWindow::followState(Qt::WindowStates state) {
    if (state & (Qt::WindowMinimized | Qt::WindowFullScreen)) {
        shadows_.update(kf::frame::ShadowHidden);
        return;
    }
    if (state & Qt::WindowMaximized) {
        shadows_.update(kf::frame::ShadowHidden);
        // Maximized means the work area of the display that holds the window's centre, never
        // the panels and task bars around it.
        const QRect area = screenMetrics_->availableGeometryAt(frameGeometry().center());
        if (!area.isEmpty() && geometry() != area) {
            if (!maximizedByFrame_) {
                normalGeometry_ = geometry();
                maximizedByFrame_ = true;
            }
            setGeometry(area);
        }
        return;
    }
    if (maximizedByFrame_) {
        maximizedByFrame_ = false;
        setGeometry(normalGeometry_);
    }
    shadows_.update(kf::frame::ShadowResized | kf::frame::ShadowShown);
}

bool PsMainWindow::event(QEvent* event) {
    using namespace kf::frame;
    const bool result = QWidget::event(event);
    const Qt::WindowStates state = windowState();
    const bool normal = !(state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            shadows_.update(normal ? (ShadowMoved | ShadowResized) : ShadowHidden);
            break;
        case QEvent::Show:
            shadows_.update(normal ? (ShadowResized | ShadowShown) : (ShadowResized | ShadowHidden));
            break;
        case QEvent::Hide:
            shadows_.update(ShadowHidden);
            break;
        case QEvent::WindowStateChange:
            followState(state);
            break;
        case QEvent::ActivationChange:
            if (isActiveWindow()) {
                shadows_.setColour(frameState().activeShadowColour);
                shadows_.update(ShadowActivate);
            } else {
                shadows_.setColour(frameState().inactiveShadowColour);
            }
            update();
            break;
        default:
            break;
    }
    return result;
}

bool PsMainWindow::eventFilter(QObject* watched, QEvent* event) {
    QWindow* handle = windowHandle();
    if (handle && watched == handle && event->type() == QEvent::Expose) {
        const Qt::WindowStates state = windowState();
        const bool normal = !(state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
        if (!handle->isExposed()) {
            shadows_.update(kf::frame::ShadowHidden);
        } else if (normal && isVisible()) {
            shadows_.update(kf::frame::ShadowResized | kf::frame::ShadowShown);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PsMainWindow::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const HitTest hit = kf::frame::hitTestForArea(frameAreaAt(event->pos()));
    QWindow* handle = windowHandle();
    if (!handle) {
        return;
    }
    if (hit == HitTest::Caption) {
        handle->startSystemMove();
    } else if (const Qt::Edges edges = kf::frame::edgesFor(hit)) {
        handle->startSystemResize(edges);
    }
}

void PsMainWindow::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton &&
        kf::frame::hitTestForArea(frameAreaAt(event->pos())) == HitTest::Caption) {
        openWindowMenu(event->globalPos());
    }
}

void PsMainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    // A double click on the icon-menu area closes the window, as a system frame does.
    if (event->button() == Qt::LeftButton && frameAreaAt(event->pos()) == 3) {
        close();
    }
}

void PsMainWindow::runMenuCommand(MenuCommand command) {
    switch (command) {
        case MenuClose:
            close();
            break;
        case MenuMinimize:
            setWindowState(Qt::WindowMinimized);
            break;
        case MenuMaximize:
            setWindowState(Qt::WindowMaximized);
            break;
        case MenuRestore:
            setWindowState(Qt::WindowNoState);
            break;
    }
}

void PsMainWindow::openWindowMenu(const QPoint& globalPos) {
    if (!windowMenu_) {
        windowMenu_ = new QMenu(this);
        const struct {
            const char* text;
            MenuCommand command;
        } entries[] = {
            {"还原", MenuRestore}, {"最小化", MenuMinimize}, {"最大化", MenuMaximize}, {"关闭", MenuClose}};
        for (const auto& entry : entries) {
            if (entry.command == MenuClose) {
                windowMenu_->addSeparator();
            }
            QAction* action = windowMenu_->addAction(QString::fromUtf8(entry.text));
            action->setData(int(entry.command));
            const MenuCommand command = entry.command;
            connect(action, &QAction::triggered, this, [this, command] { runMenuCommand(command); });
        }
    }
    const Qt::WindowStates state = windowState();
    const bool normal = !(state & (Qt::WindowMinimized | Qt::WindowMaximized));
    const QList<QAction*> actions = windowMenu_->actions();
    for (QAction* action : actions) {
        if (action->isSeparator())
            continue;
        const int command = action->data().toInt();
        if (command == MenuRestore)
            action->setEnabled(!normal);
        if (command == MenuMaximize)
            action->setEnabled(!(state & Qt::WindowMaximized));
        if (command == MenuMinimize)
            action->setEnabled(!(state & Qt::WindowMinimized));
    }
    windowMenu_->popup(globalPos);
}
