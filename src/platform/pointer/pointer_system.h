#pragma once
// The user's system pointer settings: acceleration, speed, wheel lines, horizontal wheel
// characters and double-click time. Each operation takes its arguments exactly as the page's
// commands produce them and reports whether the system accepted the change; every accepted
// change is kept in the user's settings so it survives restarts, and no other program is told.
#include <QString>
#include <QtGlobal>

#include <memory>

namespace kf::platform {

class PointerSystem {
public:
    virtual ~PointerSystem() = default;

    // Level 0 turns acceleration off; level 1 doubles movement beyond threshold1; level 2
    // doubles it beyond threshold1 and again beyond threshold2. Thresholds are in device units.
    virtual bool setAcceleration(int threshold1, int threshold2, int level) = 0;
    // Pointer speed 1 (slowest) to 20, 10 unscaled. `unused` is passed along by the caller but
    // carries nothing for this setting.
    virtual bool setSpeed(quint32 unused, qint64 speed) = 0;
    // Lines per wheel notch (0: no scrolling; 0xFFFFFFFF: a page per notch). `pointerArgument`
    // carries nothing for this setting.
    virtual bool setWheelScrollLines(quint32 lines, qint64 pointerArgument) = 0;
    // Characters per horizontal wheel notch; `pointerArgument` as above.
    virtual bool setWheelScrollChars(quint32 chars, qint64 pointerArgument) = 0;
    virtual bool setDoubleClickTime(quint32 milliseconds) = 0;
};

// The per-user settings file: the configuration folder + "/Kestrafon/pointer.ini".
QString defaultPointerSettingsPath();

// The desktop's pointer settings: kept in defaultPointerSettingsPath(), and the acceleration
// applied to the X server when a display can be opened.
std::unique_ptr<PointerSystem> createPointerSystem();

}  // namespace kf::platform
