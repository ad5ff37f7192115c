#pragma once
// What the dispatcher asks of the software-input subsystem, one interface per command group
// (the main window holds them in its component table): the capture object's key map, the
// mouse-track recorder and the virtual input device.
#include <QString>
#include <QtGlobal>

namespace kf::input {

// The capture object (DEVICE_FILTER) that holds the software key map.
class VirtualKeyMaps {
public:
    virtual ~VirtualKeyMaps() = default;
    virtual bool refreshVirtualMap(const QString& virtualStr) = 0;
    // Why the key map cannot catch any key now (the input devices cannot be opened, the capture
    // ended); empty while the capture runs or has not been tried yet. Any thread.
    virtual QString captureProblem() const { return QString(); }
};

// The desktop-wide recorder of left-button releases ("mouse tracks").
class MouseTrackHook {
public:
    virtual ~MouseTrackHook() = default;
    // Starts recording; a running hook is stopped first (its track text is kept). False when
    // no hook can be installed.
    virtual bool start() = 0;
    // Stops and returns the whole recorded track text.
    virtual QString stop() = 0;
};

// The virtual HID input device through which software macros type.
class VirtualInputDevice {
public:
    virtual ~VirtualInputDevice() = default;
    // Opens a fresh device handle; false when it is not available.
    virtual bool open() = 0;
    virtual void close() = 0;
    // One keyboard report with no modifier and no keys: releases every key. With a macro task's
    // number (not 0), only when no newer task has started since, whose keys they now are.
    virtual bool releaseAllKeys(quint64 endedTask) = 0;
};

}  // namespace kf::input
