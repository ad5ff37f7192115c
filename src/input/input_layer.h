#pragma once
// What the main window owns of the software-input subsystem: the virtual input device handle,
// the macro player, the mouse-track recorder and, once the start sequence asks for it, the
// capture object with its thread. The platform backends are handed in, so tests run all of it
// against in-memory devices.
#include <QMutex>
#include <QThread>

#include <functional>
#include <memory>

#include "input/device_filter.h"
#include "input/input_components.h"
#include "input/macro_player.h"
#include "input/mouse_tracks.h"
#include "input/pvmulti_client.h"
#include "input/shortcut_programs.h"
#include "platform/desktop/desktop_programs.h"
#include "platform/desktop/url_opener.h"
#include "platform/input/interception_driver.h"
#include "platform/input/pointer_button_hook.h"
#include "platform/session/session_activity.h"

namespace kf::input {

struct InputBackends {
    std::function<std::unique_ptr<platform::InterceptionDriver>()> driver;
    pvmulti_client::TransportFactory transports;
    std::unique_ptr<platform::PointerButtonHook> pointerHook;
    std::unique_ptr<platform::DesktopPrograms> programs;
    std::unique_ptr<platform::UrlOpener> urls;
    // Null: the session counts as always active.
    std::unique_ptr<platform::SessionActivity> session;

    // The machine's own: evdev, uinput or XTest, XInput2, the desktop's programs and URL handler,
    // logind.
    static InputBackends desktop();
};

class InputLayer : public VirtualInputDevice {
public:
    explicit InputLayer(InputBackends backends);
    // Ends the capture loop (every grab released), then the player, then closes the device.
    ~InputLayer() override;
    InputLayer(const InputLayer&) = delete;
    InputLayer& operator=(const InputLayer&) = delete;

    // VirtualInputDevice: open() makes a fresh handle and connects it.
    bool open() override;
    void close() override;
    bool releaseAllKeys(quint64 endedTask) override;
    std::shared_ptr<pvmulti_client> client() const;

    MacroPlayer& player() { return *player_; }
    MouseTrackRecorder& mouseTracks() { return *mouseTracks_; }

    // Creates the capture object with its thread and starts the capture loop (once; later calls
    // return the same object). Triggers go to `target`, which must outlive this layer. The
    // capture follows the session's activity from then on.
    DEVICE_FILTER* startCapture(TriggerTarget* target);
    DEVICE_FILTER* capture() const { return capture_; }
    // Ends the capture loop and waits for its thread; the devices are released.
    void stopCapture();

private:
    InputBackends backends_;
    mutable QMutex clientMutex_;
    std::shared_ptr<pvmulti_client> client_;
    std::unique_ptr<ShortcutPrograms> shortcuts_;
    std::unique_ptr<MacroPlayer> player_;
    std::unique_ptr<MouseTrackRecorder> mouseTracks_;
    std::atomic<DEVICE_FILTER*> captureForPlayer_{nullptr};
    DEVICE_FILTER* capture_ = nullptr;
    QThread* captureThread_ = nullptr;
};

}  // namespace kf::input
