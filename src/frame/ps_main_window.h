#pragma once
// The frameless top-level window the client lives in. The page draws its own title bar; this
// class gives the window its fixed minimum size, its first show (centred, or hidden when the
// client was started with -autostart) and the hook through which native events reach the frame.
#include <QWidget>

class PsMainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 1160;
    static constexpr int kMinimumHeight = 720;
    static constexpr bool kFrameless = true;

    explicit PsMainWindow(QWidget* parent = nullptr);

    // Stores the native handle and switches to the frameless flags; called once at start.
    void prepareNativeWindow();
    // The first show: centred on the primary screen, or minimized and hidden with -autostart.
    void showFirst();
    bool shownOnce() const { return shownOnce_; }
    WId nativeHandle() const { return nativeHandle_; }

    // Native events of this window; true when handled (result set).
    virtual bool frameNativeEvent(const QByteArray& eventType, void* message, long* result);

    // Top-left position that centres a window of the given size on a screen of the given size.
    static QPoint centredPosition(const QSize& screen, const QSize& window);

private:
    WId nativeHandle_ = 0;
    bool shownOnce_ = false;
};
