#pragma once
// The client of the virtual HID input device through which software macros type and click.
// It writes 65-byte output reports (control report 0x40 wrapping a keyboard report 0x07 or a
// relative mouse report 0x04) to a transport (platform/input/virtual_hid_transport.h): uinput
// when /dev/uinput may be opened, else XTest. Every report is filled and written under one lock,
// so reports from the player, the capture thread and the main window never mix their bytes.
#include <QByteArray>
#include <QMetaType>
#include <QMutex>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "platform/input/virtual_hid_transport.h"

struct pvmulti_client {
public:
    using TransportList = std::vector<std::unique_ptr<kf::platform::VirtualHidTransport>>;
    using TransportFactory = std::function<TransportList()>;

    static constexpr int kReportSize = 65;

    explicit pvmulti_client(TransportFactory factory = kf::platform::createVirtualHidTransports);
    ~pvmulti_client();
    pvmulti_client(const pvmulti_client&) = delete;
    pvmulti_client& operator=(const pvmulti_client&) = delete;

    // Finds the control collection (usage 1) and then the message collection (usage 2) of the
    // device, printing the diagnostics of each step; false, with everything closed, when either
    // cannot be opened.
    bool connect();
    void disconnect();
    bool isConnected() const;
    // The transport in use ("uinput", "XTest"), or empty.
    QString transportName() const;

    // One relative mouse report: buttons (bit 0 left, 1 right, 2 middle, 3 button 4, 4 button 5),
    // motion and wheel. False (with "failed WriteFile %d" printed) when the write fails, and
    // false without a word while the device is not connected.
    bool sendMouse(quint8 buttons, qint8 dx, qint8 dy, qint8 wheel);
    // One keyboard report: modifier bits (bit i = usage 0xE0 + i) and six key usages.
    bool sendKeyboard(quint8 modifiers, const quint8 (&keys)[6]);
    // Text typed into the focused window, and pointer warps, through the same transport.
    bool typeText(const QString& text);
    bool moveCursorTo(int x, int y);

    // The report bytes (65) of a keyboard and a mouse report.
    static QByteArray keyboardReport(quint8 modifiers, const quint8 (&keys)[6]);
    static QByteArray mouseReport(quint8 buttons, qint8 dx, qint8 dy, qint8 wheel);

private:
    bool write(const QByteArray& report);

    TransportFactory factory_;
    mutable QMutex mutex_;
    std::unique_ptr<kf::platform::VirtualHidTransport> transport_;
};

// Queued connections (the macro executor's taskFinished) carry the handle as an opaque pointer.
Q_DECLARE_OPAQUE_POINTER(pvmulti_client*)
Q_DECLARE_METATYPE(pvmulti_client*)
