#pragma once
// A desktop-wide watch on pointer button releases, whatever window is under the pointer, that
// never takes the input away from anyone. The X11 backend selects XInput2 raw button events on
// the root window of a connection of its own, read on the thread that installs it (the GUI
// thread); the in-memory backend lets tests release buttons by hand.
#include <QPoint>

#include <functional>
#include <memory>

namespace kf::platform {

class PointerButtonHook {
public:
    // `button` is the X button number (1 left, 2 middle, 3 right); `position` the pointer's
    // screen position at the release.
    using Handler = std::function<void(int button, QPoint position)>;

    virtual ~PointerButtonHook() = default;
    // False when the desktop offers no such watch. Installing again replaces the handler.
    virtual bool install(Handler handler) = 0;
    virtual void uninstall() = 0;
};

// The X11 hook; null when no X display with XInput 2.2 can be opened.
std::unique_ptr<PointerButtonHook> createPointerButtonHook();

// Tests: install() succeeds unless told otherwise, and release() calls the handler while one is
// installed.
class MemoryPointerButtonHook : public PointerButtonHook {
public:
    bool install(Handler handler) override {
        ++installs_;
        if (fails_) {
            return false;
        }
        handler_ = std::move(handler);
        return true;
    }
    void uninstall() override { handler_ = nullptr; }

    void release(int button, QPoint position) {
        if (handler_) {
            handler_(button, position);
        }
    }
    bool installed() const { return bool(handler_); }
    int installs() const { return installs_; }
    void setFails(bool fails) { fails_ = fails; }

private:
    Handler handler_;
    int installs_ = 0;
    bool fails_ = false;
};

}  // namespace kf::platform
