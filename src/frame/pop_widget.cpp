#include "frame/pop_widget.h"

#include <QEvent>
#include <QResizeEvent>
#include <QUrl>

#include "cefclient/qcef_web_view.h"

PopWidget::PopWidget(const QString& url, int width, int height, QWidget* parent)
    : QWidget(parent), url_(url), width_(width), height_(height) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    resize(width_, height_);
    setFocus();
    view_ = new QCefWebView(this, false);
    view_->resize(width_, height_);
    view_->load(QUrl(url_));
    view_->setFocus();
    installEventFilter(this);
}

PopWidget::~PopWidget() {
    removeEventFilter(this);
    // The view (and its browser) goes with this widget as its child.
}

void PopWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_) {
        view_->resize(event->size());
    }
}

bool PopWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this && event->type() == QEvent::WindowActivate) {
        // Requests from now on come from this popup's page, and window requests act on it.
        view_->makeCurrent(this);
        emit activated(this);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
