#pragma once
// A session whose activity tests switch by hand.
#include "platform/session/session_activity.h"

namespace kf::platform {

class MemorySessionActivity : public SessionActivity {
    Q_OBJECT
public:
    using SessionActivity::SessionActivity;
    bool available() const override { return available_; }
    QString unavailableReason() const override { return available_ ? QString() : QStringLiteral("test"); }
    bool isActive() const override { return active_; }

    // Emits activeChanged when the value changes.
    void setActive(bool active);
    void setAvailable(bool available) { available_ = available; }

private:
    bool active_ = true;
    bool available_ = true;
};

}  // namespace kf::platform
