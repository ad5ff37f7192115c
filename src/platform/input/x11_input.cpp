#include "platform/input/x11_input.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace kf::platform {

namespace {
// Spare key codes are used in turn and a binding is kept until its code comes round again, so
// a window that reads its key map late still sees the character it was sent.
constexpr int kMaxSpare = 32;
}  // namespace

std::unique_ptr<X11Input> X11Input::open() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return nullptr;
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return nullptr;
    }
    return std::unique_ptr<X11Input>(new X11Input(display));
}

X11Input::X11Input(_XDisplay* display) : display_(display) {
    int minCode = 0, maxCode = 0;
    XDisplayKeycodes(display_, &minCode, &maxCode);
    int perCode = 0;
    KeySym* map = XGetKeyboardMapping(display_, KeyCode(minCode), maxCode - minCode + 1, &perCode);
    if (!map) {
        return;
    }
    for (int code = maxCode; code >= minCode && spare_.size() < kMaxSpare; --code) {
        bool empty = true;
        for (int i = 0; i < perCode; ++i) {
            empty = empty && map[(code - minCode) * perCode + i] == NoSymbol;
        }
        if (empty) {
            spare_.append(static_cast<unsigned char>(code));
        }
    }
    XFree(map);
}

X11Input::~X11Input() {
    for (auto it = bound_.constBegin(); it != bound_.constEnd(); ++it) {
        KeySym none[2] = {NoSymbol, NoSymbol};
        XChangeKeyboardMapping(display_, it.value(), 2, none, 1);
    }
    XCloseDisplay(display_);
}

void X11Input::key(int evdevCode, bool down) {
    XTestFakeKeyEvent(display_, unsigned(evdevCode + 8), down, CurrentTime);
}

void X11Input::button(int xButton, bool down) {
    XTestFakeButtonEvent(display_, unsigned(xButton), down, CurrentTime);
}

void X11Input::motion(int dx, int dy) {
    XTestFakeRelativeMotionEvent(display_, dx, dy, CurrentTime);
}

bool X11Input::warp(int x, int y) {
    XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, x, y);
    XFlush(display_);
    return true;
}

void X11Input::flush() {
    XFlush(display_);
}

unsigned char X11Input::keycodeFor(unsigned long keysym, bool* shift) {
    const KeyCode code = XKeysymToKeycode(display_, keysym);
    if (code != 0) {
        for (int level = 0; level < 2; ++level) {
            if (XkbKeycodeToKeysym(display_, code, 0, level) == keysym) {
                *shift = level == 1;
                return code;
            }
        }
    }
    *shift = false;
    const auto found = bound_.constFind(keysym);
    if (found != bound_.constEnd()) {
        return found.value();
    }
    if (spare_.isEmpty()) {
        return 0;
    }
    const unsigned char spare = spare_.at(nextSpare_);
    nextSpare_ = (nextSpare_ + 1) % spare_.size();
    for (auto it = bound_.begin(); it != bound_.end(); ++it) {
        if (it.value() == spare) {
            bound_.erase(it);
            break;
        }
    }
    KeySym both[2] = {keysym, keysym};
    XChangeKeyboardMapping(display_, spare, 2, both, 1);
    XSync(display_, False);
    bound_.insert(keysym, spare);
    return spare;
}

bool X11Input::typeCodePoint(uint codePoint) {
    unsigned long keysym;
    if (codePoint == '\n' || codePoint == '\r') {
        keysym = XK_Return;
    } else if (codePoint == '\t') {
        keysym = XK_Tab;
    } else if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0)) {
        return false;  // other control characters have no key
    } else {
        // Latin-1 keysyms are the code points; all others are 0x01000000 + code point.
        keysym = codePoint < 0x100 ? codePoint : 0x01000000u | codePoint;
    }
    bool shift = false;
    const unsigned char code = keycodeFor(keysym, &shift);
    if (code == 0) {
        return false;
    }
    const KeyCode shiftCode = XKeysymToKeycode(display_, XK_Shift_L);
    if (shift && shiftCode) {
        XTestFakeKeyEvent(display_, shiftCode, True, CurrentTime);
    }
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    if (shift && shiftCode) {
        XTestFakeKeyEvent(display_, shiftCode, False, CurrentTime);
    }
    return true;
}

bool X11Input::typeText(const QString& text) {
    bool all = true;
    for (int i = 0; i < text.size(); ++i) {
        const QChar unit = text.at(i);
        uint codePoint = unit.unicode();
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(unit, text.at(++i));
        } else if (unit.isSurrogate()) {
            all = false;  // half a pair names no character
            continue;
        }
        all = typeCodePoint(codePoint) && all;
    }
    XSync(display_, False);
    return all;
}

}  // namespace kf::platform
