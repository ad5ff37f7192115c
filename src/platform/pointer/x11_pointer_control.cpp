#include "platform/pointer/x11_pointer_control.h"

#include <X11/Xlib.h>

#include <atomic>

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

}  // namespace kf::platform
