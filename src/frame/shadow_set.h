#pragma once
// The drop shadow of the frameless main window: four shadow windows (top, right, bottom,
// left) painted from the shadow template's alpha ramp, following the main window as it moves,
// resizes, shows, hides and comes to the front.
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <array>

#include "frame/shadow_template.h"

class QWidget;

namespace kf::frame {

class ShadowStrip;

// What changed about the main window since the last update.
enum ShadowUpdateFlag {
    ShadowMoved = 0x01,
    ShadowResized = 0x02,
    ShadowShown = 0x04,
    ShadowHidden = 0x08,
    ShadowActivate = 0x10,
};

// Where the four strips lie around a window: the window grown by `size` on every side (at
// least `minimumSide` wide and high), the top and bottom strips between the side strips, the
// side strips the full height.
struct ShadowGeometry {
    QRect shadow;
    std::array<QRect, 4> strips;
};
ShadowGeometry shadowGeometry(const QRect& window, int size,
                              int minimumSide = 2 * (ShadowTemplate::kFullSize + ShadowTemplate::kShift));

class ShadowSet {
public:
    // Strip images are drawn at the strip's exact size, but never longer than a window of the
    // display system can be.
    static constexpr int kMaxStripLength = 32767;

    ShadowSet() = default;
    ~ShadowSet();
    ShadowSet(const ShadowSet&) = delete;
    ShadowSet& operator=(const ShadowSet&) = delete;

    // Builds the template from the sprite resource and creates the four windows (hidden). False
    // leaves the window without shadows.
    bool init(QWidget* mainWindow, const QColor& colour);
    bool isInitialised() const { return mainWindow_ != nullptr; }
    // Frees the windows; later updates do nothing.
    void destroy();

    void setColour(const QColor& colour);
    QColor colour() const { return colour_; }

    // Follows the main window; `newGeometry` replaces its current rectangle when given.
    void update(int flags, const QRect* newGeometry = nullptr);

    bool isHidden() const { return hidden_; }
    int size() const { return template_.size(); }
    const ShadowTemplate& shape() const { return template_; }
    ShadowStrip* strip(int index) const;
    // The main window's rectangle as last drawn.
    QRect lastGeometry() const { return last_; }

private:
    void renderHorizontal(int index, int length);
    void renderVertical(int index, int length);
    void stackBehindMain();
    QRgb shade(int alpha) const;

    QWidget* mainWindow_ = nullptr;
    ShadowTemplate template_;
    QColor colour_ = Qt::black;
    std::array<ShadowStrip*, 4> strips_{};
    std::array<QImage, 4> images_;
    QRect last_;
    bool hidden_ = true;
};

}  // namespace kf::frame
