#pragma once
// The components that perform the device, software-macro, music and update commands of the
// dispatcher. Each is built by its own subsystem; the dispatcher reads a command's arguments
// and hands them to the component's operation here. While a component does not exist (a null
// pointer in WindowComponents) its commands stay unanswered: nothing pretends to succeed.
#include <QString>

#include "device/device_api.h"
#include "input/input_components.h"
#include "music/music_api.h"

namespace kf::window {

// The capture object's key map, the mouse-track recorder and the virtual input device belong
// to the software-input layer (kf_input).
using kf::input::MouseTrackHook;
using kf::input::VirtualInputDevice;
using kf::input::VirtualKeyMaps;

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
    kf::music::MusicCommands* music = nullptr;  // AudioData
    UpdateRunner* updates = nullptr;
};

}  // namespace kf::window
