#include "frame/shadow_template.h"

#include <QtGlobal>

#include "app/core_resources.h"

namespace kf::frame {

bool ShadowTemplate::build(const QImage& sprite) {
    colours_.clear();
    alphas_.clear();
    size_ = 0;
    const QRect square(kSpriteX, kSpriteY, kFullSize, kFullSize);
    if (sprite.isNull() || !sprite.rect().contains(square)) {
        return false;
    }
    // The inverted blue channel becomes the alpha: ((p XOR 0x00FFFFFF) << 24).
    const QImage cut = sprite.copy(square).convertToFormat(QImage::Format_ARGB32);
    QVector<int> templ(kFullSize * kFullSize);
    for (int y = 0; y < kFullSize; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(cut.constScanLine(y));
        for (int x = 0; x < kFullSize; ++x) {
            const quint32 pixel = (quint32(line[x]) ^ 0x00FFFFFFu) << 24;
            templ[y * kFullSize + x] = int(pixel >> 24);
        }
    }
    colours_.resize(kMetaSize * kMetaSize);
    for (int row = 0; row < kMetaSize; ++row) {
        for (int column = 0; column < kMetaSize; ++column) {
            int value = 1;
            if (column >= 2 * kShift && row >= 2 * kShift) {
                value = qMax(1, templ[(row - 2 * kShift) * kFullSize + (column - 2 * kShift)]);
            }
            colours_[row * kMetaSize + column] = value;
        }
    }
    // The ramp: the last row from the left while it does not decrease.
    const int last = (kMetaSize - 1) * kMetaSize;
    for (int column = 0; column < kMetaSize; ++column) {
        const int value = colours_[last + column];
        if (!alphas_.isEmpty() && value < alphas_.last()) {
            break;
        }
        alphas_.append(value);
    }
    size_ = alphas_.size() - 2 * kShift;
    if (size_ <= 0) {
        colours_.clear();
        alphas_.clear();
        size_ = 0;
        return false;
    }
    return true;
}

bool ShadowTemplate::buildFromResource() {
    initCoreResources();
    return build(QImage(QStringLiteral(":/image/sprite")));
}

int ShadowTemplate::colourAt(int column, int row) const {
    if (column < 0 || row < 0 || column >= kMetaSize || row >= kMetaSize || colours_.isEmpty()) {
        return 1;
    }
    return colours_[row * kMetaSize + column];
}

int ShadowTemplate::lineAlpha(int distance) const {
    if (size_ <= 0) {
        return 0;
    }
    // The outermost line takes the first ramp value after the border, the line touching the
    // window the last one.
    const int fromOutside = qBound(0, size_ - 1 - distance, size_ - 1);
    return alphas_[2 * kShift + fromOutside];
}

int ShadowTemplate::cornerAlpha(int x, int y) const {
    if (size_ <= 0) {
        return 0;
    }
    return colourAt(2 * kShift + qBound(0, x, size_ - 1), 2 * kShift + qBound(0, y, size_ - 1));
}

}  // namespace kf::frame
