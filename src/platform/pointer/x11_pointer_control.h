#pragma once
// Pointer acceleration (XChangePointerControl) and speed (each pointer device's speed property,
// XInput 2) on an X server. The only pointer-settings file that includes Xlib.
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
    // Every enabled pointer device's speed setting: libinput's "Accel Speed" (-1 to 1, 0
    // unscaled) where the device has it, keyed "libinput:<device name>", else the server's
    // "Device Accel Constant Deceleration" (1 unscaled), keyed "deceleration:<device name>".
    QMap<QString, double> speeds() override;
    // Sets them: libinput's to original + (speed - 10) / 10 within -1 to 1, the deceleration to
    // original * 10 / speed. False when the speed is outside 1 to 20 or the server refused it.
    bool applySpeed(qint64 speed, const QMap<QString, double>& original) override;

private:
    struct Impl;
    explicit X11PointerControl(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d_;
};

}  // namespace kf::platform
