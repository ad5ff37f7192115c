#include "frame/shadow_strip.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "frame/frame_areas.h"

namespace kf::frame {

ShadowStrip::ShadowStrip(int index, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint | Qt::X11BypassWindowManagerHint),
      index_(index),
      mainWindow_(mainWindow) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("KestrafonShadow%1").arg(index));
}

void ShadowStrip::setImage(const QImage& image) {
    image_ = image;
    update();
}

void ShadowStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.drawImage(0, 0, image_);
}

void ShadowStrip::mousePressEvent(QMouseEvent* event) {
    if (!mainWindow_) {
        return;
    }
    // A click on the shadow belongs to the main window: bring it forward above the strips.
    mainWindow_->activateWindow();
    mainWindow_->raise();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const HitTest hit = stripHitTest(index_, event->globalPos(), mainWindow_->frameGeometry(), shadowSize_);
    const Qt::Edges edges = edgesFor(hit);
    if (!edges) {
        return;
    }
    QWindow* handle = mainWindow_->windowHandle();
    if (handle && handle->startSystemResize(edges)) {
        return;  // the window manager resizes
    }
    dragging_ = true;
    dragEdges_ = edges;
    dragStart_ = event->globalPos();
    dragGeometry_ = mainWindow_->geometry();
}

void ShadowStrip::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !mainWindow_) {
        return;
    }
    mainWindow_->setGeometry(resizedGeometry(dragGeometry_, dragEdges_, event->globalPos() - dragStart_,
                                             mainWindow_->minimumSize(), mainWindow_->maximumSize()));
}

void ShadowStrip::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

void ShadowStrip::closeEvent(QCloseEvent* event) {
    // Closing a shadow closes the window it belongs to.
    event->ignore();
    if (mainWindow_) {
        mainWindow_->close();
    }
}

}  // namespace kf::frame
