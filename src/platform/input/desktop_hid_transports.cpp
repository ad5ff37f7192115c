#include "platform/input/desktop_hid_transports.h"

#include <linux/input.h>

#include <cerrno>

#include "platform/input/input_codes.h"

namespace kf::platform {

namespace {

constexpr int kEvdevButtons[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA};
constexpr int kXButtons[] = {1, 3, 2, 8, 9};

UinputDevice::Setup virtualDeviceSetup() {
    UinputDevice::Setup setup;
    setup.name = QByteArrayLiteral("Kestrafon kestrafonvd virtual input");
    setup.keys = evdevKeysForHidUsages();
    for (int button : kEvdevButtons) {
        setup.keys.append(button);
    }
    setup.relativeAxes = {REL_X, REL_Y, REL_WHEEL};
    return setup;
}

// Applies a report to the last state of its kind; false for a report that is not one.
bool applyReport(const quint8* report, int size, KeyboardState* keyboard, MouseState* mouse,
                 ReportSink& sink) {
    KeyboardState nextKeyboard;
    MouseState nextMouse;
    switch (readReport(report, size, &nextKeyboard, &nextMouse)) {
        case ReportKind::Keyboard:
            applyKeyboard(*keyboard, nextKeyboard, sink);
            *keyboard = nextKeyboard;
            return true;
        case ReportKind::Mouse:
            applyMouse(*mouse, nextMouse, sink);
            *mouse = nextMouse;
            return true;
        case ReportKind::Invalid:
            break;
    }
    return false;
}

}  // namespace

int UinputHidTransport::openCollection(int usage) {
    if (usage != 1) {
        return device_.isOpen() ? 0 : ENODEV;  // one device carries both collections
    }
    keyboard_ = {};
    mouse_ = {};
    return device_.create(virtualDeviceSetup());
}

void UinputHidTransport::close() {
    device_.destroy();
    x11_.reset();
    x11Tried_ = false;
}

int UinputHidTransport::writeReport(const quint8* report, int size) {
    if (!device_.isOpen()) {
        return EBADF;
    }
    if (!applyReport(report, size, &keyboard_, &mouse_, *this)) {
        return EINVAL;
    }
    return device_.send();
}

void UinputHidTransport::key(quint8 usage, bool down) {
    if (const int code = evdevForHidUsage(usage)) {
        device_.add(EV_KEY, code, down ? 1 : 0);
    }
}

void UinputHidTransport::button(int index, bool down) {
    device_.add(EV_KEY, kEvdevButtons[index], down ? 1 : 0);
}

void UinputHidTransport::motion(int dx, int dy) {
    device_.add(EV_REL, REL_X, dx);
    device_.add(EV_REL, REL_Y, dy);
}

void UinputHidTransport::wheel(int steps) {
    device_.add(EV_REL, REL_WHEEL, steps);
}

X11Input* UinputHidTransport::x11() {
    if (!x11Tried_) {
        x11Tried_ = true;
        x11_ = X11Input::open();
    }
    return x11_.get();
}

bool UinputHidTransport::typeText(const QString& text) {
    X11Input* x = x11();
    return x && x->typeText(text);
}

bool UinputHidTransport::moveCursorTo(int x, int y) {
    X11Input* input = x11();
    return input && input->warp(x, y);
}

int XTestHidTransport::openCollection(int usage) {
    if (usage == 1) {
        keyboard_ = {};
        mouse_ = {};
        x11_ = X11Input::open();
    }
    return x11_ ? 0 : ENXIO;
}

void XTestHidTransport::close() {
    x11_.reset();
}

int XTestHidTransport::writeReport(const quint8* report, int size) {
    if (!x11_) {
        return EBADF;
    }
    if (!applyReport(report, size, &keyboard_, &mouse_, *this)) {
        return EINVAL;
    }
    x11_->flush();
    return 0;
}

void XTestHidTransport::key(quint8 usage, bool down) {
    if (const int code = evdevForHidUsage(usage)) {
        x11_->key(code, down);
    }
}

void XTestHidTransport::button(int index, bool down) {
    x11_->button(kXButtons[index], down);
}

void XTestHidTransport::motion(int dx, int dy) {
    x11_->motion(dx, dy);
}

void XTestHidTransport::wheel(int steps) {
    // Buttons 4 and 5 are one wheel notch up and down.
    const int xButton = steps > 0 ? 4 : 5;
    for (int i = 0; i < qAbs(steps); ++i) {
        x11_->button(xButton, true);
        x11_->button(xButton, false);
    }
}

bool XTestHidTransport::typeText(const QString& text) {
    return x11_ && x11_->typeText(text);
}

bool XTestHidTransport::moveCursorTo(int x, int y) {
    return x11_ && x11_->warp(x, y);
}

std::vector<std::unique_ptr<VirtualHidTransport>> createVirtualHidTransports() {
    std::vector<std::unique_ptr<VirtualHidTransport>> transports;
    transports.push_back(std::make_unique<UinputHidTransport>());
    transports.push_back(std::make_unique<XTestHidTransport>());
    return transports;
}

}  // namespace kf::platform
