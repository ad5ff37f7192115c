#include "platform/pointer/x11_pointer_control.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <atomic>
#include <cstring>
#include <functional>

namespace kf::platform {

namespace {

std::atomic<int> g_pointerXErrors{0};

int countPointerXError(Display* /*display*/, XErrorEvent* /*event*/) {
    ++g_pointerXErrors;
    return 0;
}

// Turns X errors raised while it lives into a result instead of Xlib's default handler, which
// ends the process.
class PointerErrorTrap {
public:
    explicit PointerErrorTrap(Display* display) : display_(display) {
        XSync(display_, False);
        previous_ = XSetErrorHandler(countPointerXError);
        start_ = g_pointerXErrors.load();
    }
    ~PointerErrorTrap() { XSetErrorHandler(previous_); }
    PointerErrorTrap(const PointerErrorTrap&) = delete;
    PointerErrorTrap& operator=(const PointerErrorTrap&) = delete;

    bool failed() {
        XSync(display_, False);
        return g_pointerXErrors.load() != start_;
    }

private:
    Display* display_;
    XErrorHandler previous_ = nullptr;
    int start_ = 0;
};

}  // namespace

struct X11PointerControl::Impl {
    Display* display = nullptr;
    ~Impl() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
};

X11PointerControl::X11PointerControl(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}

X11PointerControl::~X11PointerControl() = default;

std::unique_ptr<X11PointerControl> X11PointerControl::open(const QByteArray& displayName) {
    Display* display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (display == nullptr) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->display = display;
    return std::unique_ptr<X11PointerControl>(new X11PointerControl(std::move(impl)));
}

bool X11PointerControl::apply(const XAcceleration& acceleration) {
    // The server takes positive factors and thresholds of 0 or more (-1 would mean "default").
    if (acceleration.numerator < 1 || acceleration.denominator < 1 || acceleration.threshold < 0) {
        return false;
    }
    PointerErrorTrap trap(d_->display);
    XChangePointerControl(d_->display, True, True, acceleration.numerator, acceleration.denominator,
                          acceleration.threshold);
    return !trap.failed();
}

bool X11PointerControl::current(XAcceleration* out) {
    PointerErrorTrap trap(d_->display);
    int numerator = 0;
    int denominator = 0;
    int threshold = 0;
    XGetPointerControl(d_->display, &numerator, &denominator, &threshold);
    if (trap.failed()) {
        return false;
    }
    *out = XAcceleration{numerator, denominator, threshold};
    return true;
}

namespace {

// The speed property a pointer device has: libinput's first, the server's own second.
struct SpeedProperty {
    Atom name = None;
    bool libinput = false;
};

SpeedProperty speedPropertyOf(Display* display, int device, Atom libinputSpeed, Atom deceleration) {
    int count = 0;
    Atom* names = XIListProperties(display, device, &count);
    SpeedProperty found;
    for (int i = 0; i < count; ++i) {
        if (names[i] == libinputSpeed && libinputSpeed != None) {
            found = {libinputSpeed, true};
            break;
        }
        if (names[i] == deceleration && deceleration != None) {
            found = {deceleration, false};
        }
    }
    if (names != nullptr) {
        XFree(names);
    }
    return found;
}

bool hasXInput2(Display* display) {
    int opcode = 0;
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) {
        return false;
    }
    int major = 2;
    int minor = 0;
    return XIQueryVersion(display, &major, &minor) == Success;
}

QString speedKey(const XIDeviceInfo& device, const SpeedProperty& property) {
    return (property.libinput ? QStringLiteral("libinput:") : QStringLiteral("deceleration:")) +
           QString::fromUtf8(device.name != nullptr ? device.name : "")
               .replace(QLatin1Char('/'), QLatin1Char('_'))
               .replace(QLatin1Char('\\'), QLatin1Char('_'));  // "/" would start a group in the settings file
}

// Calls `each` with every enabled pointer device that has a speed property, and its key.
void forEachSpeedProperty(Display* display,
                          const std::function<void(int, const SpeedProperty&, const QString&)>& each) {
    if (!hasXInput2(display)) {
        return;
    }
    const Atom libinputSpeed = XInternAtom(display, "libinput Accel Speed", True);
    const Atom deceleration = XInternAtom(display, "Device Accel Constant Deceleration", True);
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        if (devices[i].use != XISlavePointer || !devices[i].enabled) {
            continue;
        }
        const SpeedProperty property =
            speedPropertyOf(display, devices[i].deviceid, libinputSpeed, deceleration);
        if (property.name != None) {
            each(devices[i].deviceid, property, speedKey(devices[i], property));
        }
    }
    if (devices != nullptr) {
        XIFreeDeviceInfo(devices);
    }
}

}  // namespace

QMap<QString, double> X11PointerControl::speeds() {
    Display* display = d_->display;
    QMap<QString, double> values;
    PointerErrorTrap trap(display);
    forEachSpeedProperty(display, [&](int device, const SpeedProperty& property, const QString& key) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XIGetProperty(display, device, property.name, 0, 1, False, AnyPropertyType, &type, &format,
                          &items, &after, &data) == Success &&
            format == 32 && items == 1 && data != nullptr) {
            float value = 0;
            std::memcpy(&value, data, sizeof value);
            values.insert(key, static_cast<double>(value));
        }
        if (data != nullptr) {
            XFree(data);
        }
    });
    return values;
}

bool X11PointerControl::applySpeed(qint64 speed, const QMap<QString, double>& original) {
    if (speed < 1 || speed > 20) {
        return false;
    }
    Display* display = d_->display;
    const Atom floatType = XInternAtom(display, "FLOAT", False);
    PointerErrorTrap trap(display);
    forEachSpeedProperty(display, [&](int device, const SpeedProperty& property, const QString& key) {
        const double from = original.value(key, property.libinput ? 0.0 : 1.0);
        const double wanted = property.libinput
                                  ? qBound(-1.0, from + static_cast<double>(speed - 10) / 10.0, 1.0)
                                  : from * 10.0 / static_cast<double>(speed);
        const float value = static_cast<float>(wanted);
        // Format-32 items of an input device property are 4 bytes each.
        unsigned char data[sizeof(float)];
        std::memcpy(data, &value, sizeof value);
        XIChangeProperty(display, device, property.name, floatType, 32, XIPropModeReplace, data, 1);
    });
    return !trap.failed();
}

}  // namespace kf::platform
