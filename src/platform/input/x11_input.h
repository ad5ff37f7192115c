#pragma once
// Input made by the X server itself (the XTest extension), on a connection of its own: keys by
// Linux key code (X key code = code + 8, the evdev keymap of X servers on Linux), buttons,
// relative motion, pointer warps, and text typed character by character. Characters the
// keyboard map does not hold are bound to spare key codes, which are given back on close.
// Callers serialise all calls.
#include <QHash>
#include <QString>
#include <QVector>

#include <memory>

struct _XDisplay;

namespace kf::platform {

class X11Input {
public:
    // Null when no X display can be opened or it lacks XTest.
    static std::unique_ptr<X11Input> open();
    ~X11Input();
    X11Input(const X11Input&) = delete;
    X11Input& operator=(const X11Input&) = delete;

    void key(int evdevCode, bool down);
    // X button numbers: 1 left, 2 middle, 3 right, 4/5 wheel, 8/9 side buttons.
    void button(int xButton, bool down);
    void motion(int dx, int dy);
    bool warp(int x, int y);
    bool typeText(const QString& text);
    void flush();

private:
    explicit X11Input(_XDisplay* display);
    bool typeCodePoint(uint codePoint);
    unsigned char keycodeFor(unsigned long keysym, bool* shift);

    _XDisplay* display_ = nullptr;
    QVector<unsigned char> spare_;               // key codes without symbols, ours to bind
    QHash<unsigned long, unsigned char> bound_;  // keysym -> spare key code bound to it
    int nextSpare_ = 0;
};

}  // namespace kf::platform
