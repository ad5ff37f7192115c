#pragma once
// Pointer acceleration on an X server (XChangePointerControl). The only pointer-settings file
// that includes Xlib.
#include <QByteArray>

#include <memory>

#include "platform/pointer/desktop_pointer_system.h"

namespace kf::platform {

class X11PointerControl : public AccelerationControl {
public:
    // Opens the display (empty: $DISPLAY). Null when it cannot be opened.
    static std::unique_ptr<X11PointerControl> open(const QByteArray& displayName = QByteArray());
    ~X11PointerControl() override;

    // Sets the acceleration; false when the values are out of range or the server refused them.
    bool apply(const XAcceleration& acceleration) override;
    // Reads the server's current acceleration.
    bool current(XAcceleration* out);

private:
    struct Impl;
    explicit X11PointerControl(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d_;
};

}  // namespace kf::platform
