#pragma once
// The desktop's pointer settings: every accepted value is written to a per-user settings file
// (so it survives restarts and can be applied again at start), and the acceleration is also
// applied to the X server when there is one: the acceleration through the core pointer control,
// the speed through each pointer device's own speed property. The X server has no notion of
// wheel lines or double-click time; those are kept in the file only.
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>
#include <optional>
#include <utility>

#include "platform/pointer/pointer_system.h"

namespace kf::platform {

// X pointer acceleration: motion beyond `threshold` pixels per event is scaled by
// numerator / denominator.
struct XAcceleration {
    int numerator = 1;
    int denominator = 1;
    int threshold = 0;

    bool operator==(const XAcceleration& other) const {
        return numerator == other.numerator && denominator == other.denominator &&
               threshold == other.threshold;
    }
};

// The closest X setting to a two-threshold acceleration: X has a single threshold and factor,
// so level 1 doubles beyond threshold1 and level 2 quadruples beyond threshold2 (beyond
// threshold1 when threshold2 is 0); level 0 is a factor of 1.
XAcceleration toXAcceleration(int threshold1, int threshold2, int level);

// Where an acceleration is applied (the X server; a fake in tests).
class AccelerationControl {
public:
    virtual ~AccelerationControl() = default;
    virtual bool apply(const XAcceleration& acceleration) = 0;
    // Each pointer device's own speed setting as it is now, keyed by device (the key also names
    // the kind of setting, so a value is only ever given back to the same kind).
    virtual QMap<QString, double> speeds() = 0;
    // Pointer speed 1 to 20 relative to `original` (what speeds() gave before the client changed
    // anything): 10 gives every device its original setting back; a device missing from
    // `original` counts from its unscaled setting. True when every device took it (or none has
    // a speed setting).
    virtual bool applySpeed(qint64 speed, const QMap<QString, double>& original) = 0;
};

// The values in the settings file; a value that is missing or unreadable is empty.
struct StoredPointerSettings {
    std::optional<int> threshold1;
    std::optional<int> threshold2;
    std::optional<int> level;
    std::optional<qint64> speed;
    std::optional<quint32> wheelScrollLines;
    std::optional<quint32> wheelScrollChars;
    std::optional<quint32> doubleClickTime;
};

class DesktopPointerSystem : public PointerSystem {
public:
    // `control` may be null when there is no display: values are then only stored.
    DesktopPointerSystem(const QString& settingsPath, std::unique_ptr<AccelerationControl> control);
    ~DesktopPointerSystem() override;

    // Acceleration: thresholds 0 or more and level 0 to 2; speed 1 to 20; the others take any
    // value. A value outside its range is refused and nothing changes. A value the display
    // refuses is not stored; a file that cannot be written makes the call fail.
    bool setAcceleration(int threshold1, int threshold2, int level) override;
    bool setSpeed(quint32 unused, qint64 speed) override;
    bool setWheelScrollLines(quint32 lines, qint64 pointerArgument) override;
    bool setWheelScrollChars(quint32 chars, qint64 pointerArgument) override;
    bool setDoubleClickTime(quint32 milliseconds) override;

    StoredPointerSettings stored() const;
    // The display's speed settings from before the client first changed them, by device.
    QMap<QString, double> originalSpeeds() const;
    // Applies the stored acceleration and speed to the display again (the X server forgets them
    // when it restarts). True when they were applied or there is nothing to apply.
    bool reapplyStored();

    QString settingsPath() const { return settingsPath_; }

    static constexpr int kMaxLevel = 2;
    static constexpr qint64 kMinSpeed = 1;
    static constexpr qint64 kMaxSpeed = 20;

private:
    bool store(const QVector<std::pair<QString, QVariant>>& values);
    // Remembers the speed setting of every device the file does not know yet, as it is now,
    // and returns all the remembered ones.
    QMap<QString, double> rememberOriginalSpeeds();

    QString settingsPath_;
    std::unique_ptr<AccelerationControl> control_;
};

}  // namespace kf::platform
