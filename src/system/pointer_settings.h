#pragma once
// The page's five pointer-setting commands. Each reads the integer "Num", turns it into the
// system setting through its table or rule, and answers whether the system accepted it.
// A request without "Num" changes nothing and is not answered.
#include <QVariant>
#include <QVariantMap>

#include <optional>

#include "window/command_answer.h"

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

    // The commands by their page names.
    CommandAnswer modifyMouseAcce(const QVariantMap& args);
    CommandAnswer modifyWindowAcceleratedSpeed(const QVariantMap& args);
    CommandAnswer modifyMouseScrollLines(const QVariantMap& args);
    CommandAnswer modifyMouseScrollLinesX(const QVariantMap& args);
    CommandAnswer modifyMouseDoubleClick(const QVariantMap& args);
    // Recognised, never answered: there is no reply format for the current settings.
    static CommandAnswer getWindowsMouseConfig();

    // "Num" as an integer: a whole JSON number or a decimal text. Empty for anything else (a
    // fraction, a word, a boolean, a value beyond int), which the commands answer as a failure
    // without touching the system.
    static std::optional<int> readNum(const QVariant& value);

private:
    CommandAnswer run(const QVariantMap& args, bool (PointerSettings::*operation)(int), const QString& name);

    kf::platform::PointerSystem& system_;
};
