#pragma once
// One of the four shadow windows around the main window: a translucent, frameless tool window
// that never takes the focus and shows a pre-rendered strip image. A press on it activates the
// main window and resizes it from the matching edge or corner.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

namespace kf::frame {

class ShadowStrip : public QWidget {
    Q_OBJECT
public:
    ShadowStrip(int index, QWidget* mainWindow);

    int index() const { return index_; }
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }
    // The shadow thickness, for the corner hit test of the side strips.
    void setShadowSize(int size) { shadowSize_ = size; }
    // True while a press on the strip is resizing the main window by hand (no window manager
    // took the resize over).
    bool dragging() const { return dragging_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    const int index_;
    QWidget* mainWindow_;
    QImage image_;
    int shadowSize_ = 0;
    bool dragging_ = false;
    Qt::Edges dragEdges_;
    QPoint dragStart_;
    QRect dragGeometry_;
};

}  // namespace kf::frame
