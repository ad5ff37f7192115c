#pragma once
// Keyboard layouts of the session. The client only ever switches to the US English layout so
// that software macros and typed key names mean the same keys whatever layout the user has.
#include <QStringList>

#include <memory>

namespace kf::platform {

class KeyboardLayouts {
public:
    virtual ~KeyboardLayouts() = default;
    // Loads and activates the US English layout for the session. False when the request could
    // not be made (no display, tool missing); the caller does not report it.
    virtual bool activateUsLayout() = 0;
};

// X11: runs "setxkbmap us" against the display of this process, without waiting for it.
class X11KeyboardLayouts : public KeyboardLayouts {
public:
    bool activateUsLayout() override;
    // The program and arguments that activateUsLayout() starts.
    static QString program();
    static QStringList arguments();
};

// Used where there is no X display: nothing can be switched.
class NullKeyboardLayouts : public KeyboardLayouts {
public:
    bool activateUsLayout() override { return false; }
};

// Records every request; tests read the count and choose the outcome.
class RecordingKeyboardLayouts : public KeyboardLayouts {
public:
    bool activateUsLayout() override {
        ++usRequests_;
        return succeeds_;
    }
    int usRequests() const { return usRequests_; }
    void setSucceeds(bool succeeds) { succeeds_ = succeeds; }

private:
    int usRequests_ = 0;
    bool succeeds_ = true;
};

// The layouts of this session: X11 when the toolkit runs on an X display, else the null one.
std::unique_ptr<KeyboardLayouts> createKeyboardLayouts();

}  // namespace kf::platform
