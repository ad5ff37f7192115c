#pragma once
// The system pointer settings the pages change: speed, acceleration, wheel lines, horizontal
// wheel characters and double-click time. Each operation turns the page's number into the
// system's value through its table or rule and reports whether the system accepted it.
#include <QtGlobal>

namespace kf::platform {
class PointerSystem;
}

class PointerSettings {
public:
    explicit PointerSettings(kf::platform::PointerSystem& system);

    // The operations; each is true when the system accepted the change.
    // Acceleration row Num of {0,0,0}, {7,0,1}, {4,6,2}, {4,0,1}; Num outside 0 to 3 fails
    // without a system call.
    bool setAcceleration(int num);
    // Num is the speed. The unused argument carries 6 + Num for Num 0 to 9 and 0 otherwise.
    bool setSpeed(int num);
    // Num unchanged in both arguments; no range check.
    bool setScrollLines(int num);
    bool setScrollChars(int num);
    // 970 - 70 * Num milliseconds for Num 0 to 11; anything else fails without a system call.
    bool setDoubleClickTime(int num);

private:
    kf::platform::PointerSystem& system_;
};
