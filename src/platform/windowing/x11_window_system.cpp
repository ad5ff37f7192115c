#include "platform/windowing/x11_window_system.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>

namespace kf::platform {

namespace {

constexpr long kMaxClientWindows = 65536;
// 8 KiB of title text: more than any title that the bring-forward rule accepts (under 1024
// characters), so a cut title is still recognised as too long.
constexpr long kMaxTitleLongs = 2048;
constexpr long kMaxSupportedAtoms = 4096;

std::atomic<int> g_xErrors{0};

int countXError(Display* /*display*/, XErrorEvent* /*event*/) {
    ++g_xErrors;
    return 0;
}

// Absorbs X errors while it lives (a window can vanish between listing it and reading it) instead
// of Xlib's default handler, which ends the process.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display_(display) {
        XSync(display_, False);
        previous_ = XSetErrorHandler(countXError);
        start_ = g_xErrors.load();
    }
    ~ErrorTrap() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    bool failed() {
        XSync(display_, False);
        return g_xErrors.load() != start_;
    }

private:
    Display* display_;
    XErrorHandler previous_ = nullptr;
    int start_ = 0;
};

// One XGetWindowProperty result, freed on destruction.
struct Property {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long bytesAfter = 0;
    unsigned char* data = nullptr;

    Property() = default;
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;
    ~Property() {
        if (data != nullptr) {
            XFree(data);
        }
    }
};

bool readProperty(Display* display, Window window, Atom name, Atom type, long maxLongs, Property& out) {
    const int status = XGetWindowProperty(display, window, name, 0, maxLongs, False, type, &out.type,
                                          &out.format, &out.count, &out.bytesAfter, &out.data);
    return status == Success && out.data != nullptr && out.type != None;
}

}  // namespace

struct X11WindowSystem::Impl {
    Display* display = nullptr;
    Window root = 0;
    Atom clientList = None;
    Atom wmPid = None;
    Atom netWmName = None;
    Atom utf8String = None;
    Atom compoundText = None;
    Atom activeWindow = None;
    Atom supported = None;

    ~Impl() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }

    QVector<Window> listWindows() {
        QVector<Window> windows;
        Property list;
        if (readProperty(display, root, clientList, XA_WINDOW, kMaxClientWindows, list) &&
            list.format == 32) {
            // Format 32 data comes as an array of long, whatever the server's word size.
            const auto* ids = reinterpret_cast<const unsigned long*>(list.data);
            for (unsigned long i = 0; i < list.count; ++i) {
                windows.append(static_cast<Window>(ids[i]));
            }
            return windows;
        }
        // No window manager keeps a client list: the root window's children are the top levels.
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) != 0 && children != nullptr) {
            for (unsigned int i = 0; i < count && i < kMaxClientWindows; ++i) {
                windows.append(children[i]);
            }
        }
        if (children != nullptr) {
            XFree(children);
        }
        return windows;
    }

    qint64 windowPid(Window window) {
        Property pid;
        if (!readProperty(display, window, wmPid, XA_CARDINAL, 1, pid) || pid.format != 32 || pid.count < 1) {
            return 0;
        }
        return static_cast<qint64>(reinterpret_cast<const unsigned long*>(pid.data)[0] & 0xffffffffUL);
    }

    QString windowTitle(Window window) {
        {
            Property name;
            if (readProperty(display, window, netWmName, utf8String, kMaxTitleLongs, name) &&
                name.format == 8) {
                return QString::fromUtf8(reinterpret_cast<const char*>(name.data),
                                         static_cast<int>(name.count));
            }
        }
        Property name;
        if (!readProperty(display, window, XA_WM_NAME, AnyPropertyType, kMaxTitleLongs, name) ||
            name.format != 8) {
            return QString();
        }
        const auto* text = reinterpret_cast<const char*>(name.data);
        const int size = static_cast<int>(name.count);
        if (name.type == XA_STRING) {
            return QString::fromLatin1(text, size);
        }
        if (name.type == utf8String) {
            return QString::fromUtf8(text, size);
        }
        if (name.type != compoundText) {
            return QString();
        }
        XTextProperty property{};
        property.value = name.data;
        property.encoding = name.type;
        property.format = name.format;
        property.nitems = name.count;
        char** list = nullptr;
        int listCount = 0;
        QString title;
        if (Xutf8TextPropertyToTextList(display, &property, &list, &listCount) >= Success &&
            list != nullptr) {
            if (listCount > 0 && list[0] != nullptr) {
                title = QString::fromUtf8(list[0]);
            }
            XFreeStringList(list);
        }
        return title;
    }

    bool managerSupportsActivation() {
        Property atoms;
        if (!readProperty(display, root, supported, XA_ATOM, kMaxSupportedAtoms, atoms) ||
            atoms.format != 32) {
            return false;
        }
        const auto* list = reinterpret_cast<const unsigned long*>(atoms.data);
        for (unsigned long i = 0; i < atoms.count; ++i) {
            if (list[i] == activeWindow) {
                return true;
            }
        }
        return false;
    }
};

std::unique_ptr<X11WindowSystem> X11WindowSystem::open(const QByteArray& displayName) {
    Display* display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (display == nullptr) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->display = display;
    impl->root = DefaultRootWindow(display);
    impl->clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
    impl->wmPid = XInternAtom(display, "_NET_WM_PID", False);
    impl->netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    impl->utf8String = XInternAtom(display, "UTF8_STRING", False);
    impl->compoundText = XInternAtom(display, "COMPOUND_TEXT", False);
    impl->activeWindow = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    impl->supported = XInternAtom(display, "_NET_SUPPORTED", False);
    return std::unique_ptr<X11WindowSystem>(new X11WindowSystem(std::move(impl)));
}

X11WindowSystem::X11WindowSystem(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11WindowSystem::~X11WindowSystem() = default;

QVector<TopLevelWindow> X11WindowSystem::topLevelWindows() {
    ErrorTrap trap(impl_->display);
    QVector<TopLevelWindow> result;
    const QVector<Window> windows = impl_->listWindows();
    result.reserve(windows.size());
    for (Window window : windows) {
        TopLevelWindow entry;
        entry.id = window;
        entry.pid = impl_->windowPid(window);
        entry.title = impl_->windowTitle(window);
        result.append(entry);
    }
    return result;
}

bool X11WindowSystem::activateWindow(quint64 id) {
    ErrorTrap trap(impl_->display);
    Display* display = impl_->display;
    const auto window = static_cast<Window>(id);
    XWindowAttributes attributes{};
    if (window == 0 || XGetWindowAttributes(display, window, &attributes) == 0 || trap.failed()) {
        return false;
    }
    if (impl_->managerSupportsActivation()) {
        // Ask the window manager, as a pager would; it raises, de-iconifies and focuses the window.
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = impl_->activeWindow;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // source: pager (a direct user request)
        event.xclient.data.l[1] = CurrentTime;
        event.xclient.data.l[2] = 0;
        XSendEvent(display, impl_->root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    } else {
        // No window manager to ask: map, raise and focus the window ourselves.
        XMapRaised(display, window);
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
    }
    XFlush(display);
    return !trap.failed();
}

quint64 X11WindowSystem::focusedWindow() {
    ErrorTrap trap(impl_->display);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(impl_->display, &focus, &revert);
    if (focus == None || focus == PointerRoot) {
        return 0;
    }
    return focus;
}

}  // namespace kf::platform
