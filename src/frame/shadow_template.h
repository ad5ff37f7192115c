#pragma once
// The shadow template: a 24 by 24 square cut from the sprite image, whose inverted blue channel
// is the shadow's alpha. From it come the colours table (the template with a border of ones),
// the alpha ramp (the rising run of the table's last row) and the thickness of the shadow.
#include <QImage>
#include <QPoint>
#include <QVector>

namespace kf::frame {

class ShadowTemplate {
public:
    static constexpr int kFullSize = 24;
    static constexpr int kShift = 1;
    static constexpr int kMetaSize = kFullSize + 2 * kShift;
    // Where the template square lies in the sprite image.
    static constexpr int kSpriteX = 261;
    static constexpr int kSpriteY = 57;

    // Builds the template from the sprite; false (and empty) when the sprite does not hold the
    // whole square or the ramp leaves no thickness.
    bool build(const QImage& sprite);
    // Loads the sprite from the resource ":/image/sprite" and builds from it.
    bool buildFromResource();

    bool isValid() const { return size_ > 0; }
    // The alpha ramp from the outside in; size() + 2 × shift values.
    const QVector<int>& alphas() const { return alphas_; }
    // Thickness of each shadow strip.
    int size() const { return size_; }
    // The colours table, kMetaSize × kMetaSize alphas; out-of-range positions read 1.
    int colourAt(int column, int row) const;
    // Alpha of the shadow line `distance` pixels out from the window (0 = touching it).
    int lineAlpha(int distance) const;
    // Alpha of a corner pixel; x and y count from the outer corner (0 .. size − 1).
    int cornerAlpha(int x, int y) const;

private:
    QVector<int> colours_;
    QVector<int> alphas_;
    int size_ = 0;
};

}  // namespace kf::frame
