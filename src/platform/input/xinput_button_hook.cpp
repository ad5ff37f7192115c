// Pointer button releases from XInput2 raw events: delivered to a root-window selection
// whatever window has the pointer or a grab, and only observed, never consumed.
#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include "platform/input/pointer_button_hook.h"

namespace kf::platform {

namespace {

class XInputButtonHook : public PointerButtonHook {
public:
    XInputButtonHook(Display* display, int opcode) : display_(display), opcode_(opcode) {}
    ~XInputButtonHook() override {
        uninstall();
        XCloseDisplay(display_);
    }

    bool install(Handler handler) override {
        handler_ = std::move(handler);
        if (notifier_) {
            return true;
        }
        if (!select(true)) {
            handler_ = nullptr;
            return false;
        }
        notifier_ = std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readEvents(); });
        return true;
    }

    void uninstall() override {
        if (!notifier_) {
            return;
        }
        notifier_.reset();
        select(false);
        handler_ = nullptr;
        // Releases already queued on the connection belong to the ended recording.
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
        }
    }

private:
    bool select(bool on) {
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        if (on) {
            XISetMask(bits, XI_RawButtonRelease);
        }
        XIEventMask mask;
        mask.deviceid = XIAllMasterDevices;
        mask.mask_len = sizeof bits;
        mask.mask = bits;
        const bool ok = XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1) == Success;
        XSync(display_, False);
        return ok;
    }

    void readEvents() {
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            XGenericEventCookie* cookie = &event.xcookie;
            if (cookie->type != GenericEvent || cookie->extension != opcode_ ||
                !XGetEventData(display_, cookie)) {
                continue;
            }
            int button = 0;
            if (cookie->evtype == XI_RawButtonRelease) {
                button = static_cast<XIRawEvent*>(cookie->data)->detail;
            }
            XFreeEventData(display_, cookie);
            if (button == 0 || !handler_) {
                continue;
            }
            Window root, child;
            int rootX = 0, rootY = 0, x = 0, y = 0;
            unsigned int buttons = 0;
            XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &rootX, &rootY, &x, &y,
                          &buttons);
            handler_(button, QPoint(rootX, rootY));
        }
    }

    Display* display_;
    int opcode_;
    Handler handler_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace

std::unique_ptr<PointerButtonHook> createPointerButtonHook() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return nullptr;
    }
    int opcode = 0, event = 0, error = 0;
    int major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success) {
        XCloseDisplay(display);
        return nullptr;
    }
    return std::make_unique<XInputButtonHook>(display, opcode);
}

}  // namespace kf::platform
