#pragma once
// The two transports that reach the desktop: uinput and XTest (see virtual_hid_transport.h).
#include <memory>

#include "platform/input/hid_reports.h"
#include "platform/input/uinput_device.h"
#include "platform/input/virtual_hid_transport.h"
#include "platform/input/x11_input.h"

namespace kf::platform {

// A keyboard and mouse made through /dev/uinput, named "Kestrafon kestrafonvd virtual input"
// (vendor 0x001F, product 0xBA1C). Text and pointer warps go through the X server, which is
// opened on first use.
class UinputHidTransport : public VirtualHidTransport, private ReportSink {
public:
    QString name() const override { return QStringLiteral("uinput"); }
    int openCollection(int usage) override;
    void close() override;
    int writeReport(const quint8* report, int size) override;
    bool typeText(const QString& text) override;
    bool moveCursorTo(int x, int y) override;

private:
    void key(quint8 usage, bool down) override;
    void button(int index, bool down) override;
    void motion(int dx, int dy) override;
    void wheel(int steps) override;
    X11Input* x11();

    UinputDevice device_;
    KeyboardState keyboard_;
    MouseState mouse_;
    std::unique_ptr<X11Input> x11_;
    bool x11Tried_ = false;
};

// Input made by the X server (XTest): for desktops where /dev/uinput may not be opened.
class XTestHidTransport : public VirtualHidTransport, private ReportSink {
public:
    QString name() const override { return QStringLiteral("XTest"); }
    int openCollection(int usage) override;
    void close() override;
    int writeReport(const quint8* report, int size) override;
    bool typeText(const QString& text) override;
    bool moveCursorTo(int x, int y) override;

private:
    void key(quint8 usage, bool down) override;
    void button(int index, bool down) override;
    void motion(int dx, int dy) override;
    void wheel(int steps) override;

    std::unique_ptr<X11Input> x11_;
    KeyboardState keyboard_;
    MouseState mouse_;
};

}  // namespace kf::platform
