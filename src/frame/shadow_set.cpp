#include "frame/shadow_set.h"

#include <QWidget>

#include "frame/frame_areas.h"
#include "frame/shadow_strip.h"

namespace kf::frame {

ShadowGeometry shadowGeometry(const QRect& window, int size, int minimumSide) {
    ShadowGeometry g;
    const int w = qMax(window.width() + 2 * size, minimumSide);
    const int h = qMax(window.height() + 2 * size, minimumSide);
    const int x = window.left() - size;
    const int y = window.top() - size;
    g.shadow = QRect(x, y, w, h);
    g.strips[StripTop] = QRect(x + size, y, w - 2 * size, size);
    g.strips[StripRight] = QRect(x + w - size, y, size, h);
    g.strips[StripBottom] = QRect(x + size, y + h - size, w - 2 * size, size);
    g.strips[StripLeft] = QRect(x, y, size, h);
    return g;
}

ShadowSet::~ShadowSet() {
    destroy();
}

bool ShadowSet::init(QWidget* mainWindow, const QColor& colour) {
    destroy();
    if (!mainWindow || !template_.buildFromResource()) {
        return false;
    }
    colour_ = colour;
    for (int i = 0; i < StripCount; ++i) {
        strips_[i] = new ShadowStrip(i, mainWindow);
        strips_[i]->setShadowSize(template_.size());
    }
    mainWindow_ = mainWindow;
    hidden_ = true;
    last_ = QRect();
    return true;
}

void ShadowSet::destroy() {
    mainWindow_ = nullptr;
    for (ShadowStrip*& strip : strips_) {
        delete strip;
        strip = nullptr;
    }
    for (QImage& image : images_) {
        image = QImage();
    }
    hidden_ = true;
    last_ = QRect();
}

ShadowStrip* ShadowSet::strip(int index) const {
    return (index >= 0 && index < StripCount) ? strips_[index] : nullptr;
}

void ShadowSet::setColour(const QColor& colour) {
    if (colour == colour_) {
        return;
    }
    colour_ = colour;
    if (!isInitialised() || last_.isEmpty()) {
        return;
    }
    const ShadowGeometry g = shadowGeometry(last_, size());
    renderHorizontal(StripTop, g.strips[StripTop].width());
    renderHorizontal(StripBottom, g.strips[StripBottom].width());
    renderVertical(StripRight, g.strips[StripRight].height());
    renderVertical(StripLeft, g.strips[StripLeft].height());
}

QRgb ShadowSet::shade(int alpha) const {
    const int a = qBound(0, alpha * colour_.alpha() / 255, 255);
    return qPremultiply(qRgba(colour_.red(), colour_.green(), colour_.blue(), a));
}

void ShadowSet::renderHorizontal(int index, int length) {
    const int s = size();
    QImage image(qBound(1, length, kMaxStripLength), s, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < s; ++y) {
        // The top strip touches the window with its last line, the bottom one with its first.
        const int distance = index == StripTop ? s - 1 - y : y;
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const QRgb value = shade(template_.lineAlpha(distance));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = value;
        }
    }
    images_[index] = image;
    strips_[index]->setImage(image);
}

void ShadowSet::renderVertical(int index, int length) {
    const int s = size();
    const int h = qBound(1, length, kMaxStripLength);
    QImage image(s, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < s; ++x) {
            // The left strip touches the window with its last column, the right one with its first.
            const int distance = index == StripLeft ? s - 1 - x : x;
            int alpha;
            if (y < s) {
                alpha = template_.cornerAlpha(s - 1 - distance, y);
            } else if (y >= h - s) {
                alpha = template_.cornerAlpha(s - 1 - distance, h - 1 - y);
            } else {
                alpha = template_.lineAlpha(distance);
            }
            line[x] = shade(alpha);
        }
    }
    images_[index] = image;
    strips_[index]->setImage(image);
}

void ShadowSet::stackBehindMain() {
    for (ShadowStrip* strip : strips_) {
        strip->raise();
    }
    mainWindow_->raise();
}

void ShadowSet::update(int flags, const QRect* newGeometry) {
    if (!isInitialised()) {
        return;
    }
    if (flags == ShadowActivate) {
        if (!hidden_) {
            stackBehindMain();
        }
        return;
    }
    if (flags & ShadowHidden) {
        if (!hidden_) {
            for (ShadowStrip* strip : strips_) {
                strip->hide();
            }
            hidden_ = true;
        }
        return;
    }
    const QRect window = newGeometry ? *newGeometry : mainWindow_->frameGeometry();
    const int s = size();
    const ShadowGeometry g = shadowGeometry(window, s);
    if (window.width() != last_.width() || images_[StripTop].isNull()) {
        renderHorizontal(StripTop, g.strips[StripTop].width());
        renderHorizontal(StripBottom, g.strips[StripBottom].width());
    }
    if (window.height() != last_.height() || images_[StripLeft].isNull()) {
        renderVertical(StripRight, g.strips[StripRight].height());
        renderVertical(StripLeft, g.strips[StripLeft].height());
    }
    for (int i = 0; i < StripCount; ++i) {
        if (strips_[i]->geometry() != g.strips[i]) {
            strips_[i]->setGeometry(g.strips[i]);
        }
    }
    last_ = window;
    if (flags & ShadowShown) {
        const Qt::WindowStates state = mainWindow_->windowState();
        if (!mainWindow_->isVisible() ||
            (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
            return;
        }
        for (ShadowStrip* strip : strips_) {
            strip->show();
        }
        hidden_ = false;
        stackBehindMain();
    }
}

}  // namespace kf::frame
