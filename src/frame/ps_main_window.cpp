#include "frame/ps_main_window.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/process.h"

PsMainWindow::PsMainWindow(QWidget* parent) : QWidget(parent) {}

void PsMainWindow::prepareNativeWindow() {
    nativeHandle_ = winId();
    if (nativeHandle_ && kFrameless) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowMaximizeButtonHint);
        nativeHandle_ = winId();  // changing the flags recreates the native window
    }
    setMinimumSize(kMinimumWidth, kMinimumHeight);
}

QPoint PsMainWindow::centredPosition(const QSize& screen, const QSize& window) {
    return QPoint((screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2);
}

void PsMainWindow::showFirst() {
    if (kf::startedWithAutostart()) {
        setWindowState(Qt::WindowMinimized);
        hide();
    } else {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (screen) {
            move(centredPosition(screen->size(), QSize(kMinimumWidth, kMinimumHeight)));
        }
        show();
    }
    shownOnce_ = true;
}

bool PsMainWindow::frameNativeEvent(const QByteArray&, void*, long*) { return false; }
