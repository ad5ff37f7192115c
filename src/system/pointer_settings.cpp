#include "system/pointer_settings.h"

#include <array>

#include "platform/pointer/pointer_system.h"

namespace {

struct AccelerationRow {
    int threshold1;
    int threshold2;
    int level;
};

constexpr std::array<AccelerationRow, 4> kAccelerationTable{{{0, 0, 0}, {7, 0, 1}, {4, 6, 2}, {4, 0, 1}}};
// Pointer speeds by index; handed along in the argument the speed setting does not read.
constexpr std::array<quint32, 10> kSpeedTable{{6, 7, 8, 9, 10, 11, 12, 13, 14, 15}};
constexpr int kDoubleClickEntries = 12;
constexpr int kDoubleClickLongest = 970;
constexpr int kDoubleClickStep = 70;

}  // namespace

PointerSettings::PointerSettings(kf::platform::PointerSystem& system) : system_(system) {}

bool PointerSettings::setAcceleration(int num) {
    if (num < 0 || num >= static_cast<int>(kAccelerationTable.size())) {
        return false;
    }
    const AccelerationRow& row = kAccelerationTable[static_cast<size_t>(num)];
    return system_.setAcceleration(row.threshold1, row.threshold2, row.level);
}

bool PointerSettings::setSpeed(int num) {
    const bool indexed = num >= 0 && num < static_cast<int>(kSpeedTable.size());
    const quint32 tableSpeed = indexed ? kSpeedTable[static_cast<size_t>(num)] : 0;
    return system_.setSpeed(tableSpeed, num);
}

bool PointerSettings::setScrollLines(int num) {
    return system_.setWheelScrollLines(static_cast<quint32>(num), num);
}

bool PointerSettings::setScrollChars(int num) {
    return system_.setWheelScrollChars(static_cast<quint32>(num), num);
}

bool PointerSettings::setDoubleClickTime(int num) {
    if (num < 0 || num >= kDoubleClickEntries) {
        return false;
    }
    return system_.setDoubleClickTime(static_cast<quint32>(kDoubleClickLongest - kDoubleClickStep * num));
}
