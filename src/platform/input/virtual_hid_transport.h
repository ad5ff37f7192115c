#pragma once
// Where the virtual input device's output reports go. The reports themselves (65 bytes, built
// by pvmulti_client) are read here by hid_reports.h. Backends: uinput (a keyboard and mouse
// named "Kestrafon kestrafonvd virtual input"), XTest (input made by the X server itself, when
// uinput cannot be opened) and an in-memory transport that records what it is given.
//
// Callers serialise all calls (pvmulti_client holds one lock per client).
#include <QString>

#include <memory>
#include <vector>

namespace kf::platform {

class VirtualHidTransport {
public:
    virtual ~VirtualHidTransport() = default;
    // A short name for the log ("uinput", "XTest", "memory").
    virtual QString name() const = 0;
    // Opens the device's collection with `usage` (1 control reports, 2 messages); 0, or the
    // system's error code.
    virtual int openCollection(int usage) = 0;
    virtual void close() = 0;
    // Writes one output report; 0, or the system's error code.
    virtual int writeReport(const quint8* report, int size) = 0;
    // Types `text` into the focused window, character by character, whatever the keyboard
    // layout; false when some of it could not be typed.
    virtual bool typeText(const QString& text) = 0;
    // Moves the pointer to screen position (x, y); false when that is not possible.
    virtual bool moveCursorTo(int x, int y) = 0;
};

// The transports to try, in order: uinput, then XTest.
std::vector<std::unique_ptr<VirtualHidTransport>> createVirtualHidTransports();

}  // namespace kf::platform
