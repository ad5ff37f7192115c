#pragma once
// The input-interception driver as the capture loop reaches it: twenty device objects
// (1–10 keyboards, 11–20 mice), a per-device filter, a wait for the next stroke, and reads and
// writes of driver records (interception_records.h). The client API over it lives in
// src/input/interception.
//
// Backends: evdev (physical keyboards and mice under /dev/input, grabbed while their filter is
// not 0, strokes sent on through a uinput pass-through device) and an in-memory driver for
// tests. Only the capture thread calls a driver, except wake(), which any thread may call.
#include <QString>
#include <QtGlobal>

#include <memory>

namespace kf::platform {

class InterceptionDriver {
public:
    virtual ~InterceptionDriver() = default;

    // Opens device object `device` (1–20). False, with the system's error code, when the driver
    // is not there or may not be used.
    virtual bool openDevice(int device, int* error) = 0;
    virtual void closeDevice(int device) = 0;
    // 0 lets the device's strokes go to the desktop untouched; any other mask captures them.
    virtual bool setFilter(int device, quint16 mask) = 0;
    // Blocks until a stroke waits at an open device and returns its number; 0 after wake(), or
    // when the driver can deliver nothing more (failure() then says why).
    virtual int wait() = 0;
    virtual void wake() = 0;
    // Moves whole records waiting at `device` into `out` (at most `capacity` bytes); bytes moved.
    virtual int read(int device, quint8* out, int capacity) = 0;
    // Sends records on as strokes of `device`; bytes accepted.
    virtual int write(int device, const quint8* records, int size) = 0;
    // The device's hardware identifier, UTF-16, cut at `size` bytes; bytes written.
    virtual int hardwareId(int device, quint8* out, int size) = 0;
    // Why the driver stopped delivering; empty while it works.
    virtual QString failure() const = 0;
};

// The evdev driver of this machine (see evdev_interception_driver.h); KESTRAFON_INPUT_FOLDER
// replaces /dev/input.
std::unique_ptr<InterceptionDriver> createInterceptionDriver();

}  // namespace kf::platform
