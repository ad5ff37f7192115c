#pragma once
// The components that perform the device, software-macro, music and update commands of the
// dispatcher. Each is built by its own subsystem; the dispatcher reads a command's arguments
// and hands them to the component's operation here. While a component does not exist (a null
// pointer in WindowComponents) its commands stay unanswered: nothing pretends to succeed.
#include <QString>

#include "device/device_api.h"

namespace kf::window {

// The capture object (DEVICE_FILTER) that holds the software key map.
class VirtualKeyMaps {
public:
    virtual ~VirtualKeyMaps() = default;
    virtual bool refreshVirtualMap(const QString& virtualStr) = 0;
};

// The low-level mouse hook that records mouse tracks.
class MouseTrackHook {
public:
    virtual ~MouseTrackHook() = default;
    // Starts recording; a running hook is stopped first (its track text is kept).
    virtual void start() = 0;
    // Stops and returns the recorded track text.
    virtual QString stop() = 0;
};

// The virtual HID input device through which software macros type.
class VirtualInputDevice {
public:
    virtual ~VirtualInputDevice() = default;
    // Opens the device; false when it is not available.
    virtual bool open() = 0;
    virtual void close() = 0;
    // One keyboard report with no modifier and no keys: releases every key.
    virtual bool releaseAllKeys() = 0;
};

// The music player (AudioData).
class MusicPlayer {
public:
    virtual ~MusicPlayer() = default;
    virtual void SetSource(const QString& path) = 0;
    virtual void PlayMusic() = 0;
    virtual void pauseMusic() = 0;
    virtual void ResumeMusic() = 0;
    virtual void PlayLoopMusic() = 0;
    virtual void seekPosition(int ms) = 0;
    virtual void SetMute(const QString& left, const QString& right) = 0;
    virtual void SetPlayerVolume(const QString& left, const QString& right) = 0;
    virtual QString musicInfo() = 0;
};

// Client self-update and firmware update.
class UpdateRunner {
public:
    virtual ~UpdateRunner() = default;
    virtual void executeUpdateClient(const QString& filePath) = 0;
    virtual void executeUpdateFirmware(const QString& deviceKey, const QString& filePath) = 0;
};

// The components Window hands work to. Not owned here: the subsystem that creates a component
// keeps it alive as long as the Window.
struct WindowComponents {
    kf::device::DeviceListSource* deviceList = nullptr;
    kf::device::DeviceRequests* deviceRequests = nullptr;
    VirtualKeyMaps* virtualKeyMaps = nullptr;
    MouseTrackHook* mouseTracks = nullptr;
    VirtualInputDevice* virtualDevice = nullptr;
    MusicPlayer* music = nullptr;
    UpdateRunner* updates = nullptr;
};

}  // namespace kf::window
