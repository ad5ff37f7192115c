#include "platform/pointer/desktop_pointer_system.h"

#include <QDebug>
#include <QSettings>

#include <limits>

namespace kf::platform {

namespace {

const QString kThreshold1 = QStringLiteral("Pointer/AccelerationThreshold1");
const QString kThreshold2 = QStringLiteral("Pointer/AccelerationThreshold2");
const QString kLevel = QStringLiteral("Pointer/Acceleration");
const QString kSpeed = QStringLiteral("Pointer/Speed");
const QString kWheelLines = QStringLiteral("Pointer/WheelScrollLines");
const QString kWheelChars = QStringLiteral("Pointer/WheelScrollChars");
const QString kDoubleClick = QStringLiteral("Pointer/DoubleClickTime");
// The display's own speed settings before the client changed them: speed 10 gives them back.
const QString kOriginalSpeeds = QStringLiteral("DisplayOriginalSpeeds");

bool validAcceleration(int threshold1, int threshold2, int level) {
    return threshold1 >= 0 && threshold2 >= 0 && level >= 0 && level <= DesktopPointerSystem::kMaxLevel;
}

template <typename T>
std::optional<T> readNumber(const QSettings& settings, const QString& key) {
    if (!settings.contains(key)) {
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = settings.value(key).toString().toLongLong(&ok);
    if (!ok || value < static_cast<qlonglong>(std::numeric_limits<T>::min()) ||
        value > static_cast<qlonglong>(std::numeric_limits<T>::max())) {
        return std::nullopt;
    }
    return static_cast<T>(value);
}

}  // namespace

XAcceleration toXAcceleration(int threshold1, int threshold2, int level) {
    if (level <= 0) {
        return XAcceleration{1, 1, 0};
    }
    if (level == 1) {
        return XAcceleration{2, 1, threshold1};
    }
    return XAcceleration{4, 1, threshold2 > 0 ? threshold2 : threshold1};
}

DesktopPointerSystem::DesktopPointerSystem(const QString& settingsPath,
                                           std::unique_ptr<AccelerationControl> control)
    : settingsPath_(settingsPath), control_(std::move(control)) {}

DesktopPointerSystem::~DesktopPointerSystem() = default;

bool DesktopPointerSystem::store(const QVector<std::pair<QString, QVariant>>& values) {
    // QSettings writes the whole file through a temporary file and a rename.
    QSettings settings(settingsPath_, QSettings::IniFormat);
    for (const auto& value : values) {
        settings.setValue(value.first, value.second);
    }
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qWarning().noquote() << QStringLiteral("pointer settings: could not write %1").arg(settingsPath_);
        return false;
    }
    return true;
}

bool DesktopPointerSystem::setAcceleration(int threshold1, int threshold2, int level) {
    if (!validAcceleration(threshold1, threshold2, level)) {
        return false;
    }
    if (control_ && !control_->apply(toXAcceleration(threshold1, threshold2, level))) {
        qWarning() << "pointer settings: the display refused the acceleration" << threshold1 << threshold2
                   << level;
        return false;
    }
    return store({{kThreshold1, threshold1}, {kThreshold2, threshold2}, {kLevel, level}});
}

bool DesktopPointerSystem::setSpeed(quint32 unused, qint64 speed) {
    Q_UNUSED(unused)
    if (speed < kMinSpeed || speed > kMaxSpeed) {
        return false;
    }
    if (control_ && !control_->applySpeed(speed, rememberOriginalSpeeds())) {
        qWarning() << "pointer settings: the display refused the pointer speed" << speed;
        return false;
    }
    return store({{kSpeed, speed}});
}

bool DesktopPointerSystem::setWheelScrollLines(quint32 lines, qint64 pointerArgument) {
    Q_UNUSED(pointerArgument)
    return store({{kWheelLines, lines}});
}

bool DesktopPointerSystem::setWheelScrollChars(quint32 chars, qint64 pointerArgument) {
    Q_UNUSED(pointerArgument)
    return store({{kWheelChars, chars}});
}

bool DesktopPointerSystem::setDoubleClickTime(quint32 milliseconds) {
    return store({{kDoubleClick, milliseconds}});
}

QMap<QString, double> DesktopPointerSystem::originalSpeeds() const {
    QSettings settings(settingsPath_, QSettings::IniFormat);
    settings.beginGroup(kOriginalSpeeds);
    QMap<QString, double> out;
    for (const QString& key : settings.childKeys()) {
        bool ok = false;
        const double value = settings.value(key).toString().toDouble(&ok);
        if (ok && qIsFinite(value)) {
            out.insert(key, value);
        }
    }
    return out;
}

QMap<QString, double> DesktopPointerSystem::rememberOriginalSpeeds() {
    QMap<QString, double> known = originalSpeeds();
    QVector<std::pair<QString, QVariant>> fresh;
    const QMap<QString, double> now = control_->speeds();
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (!known.contains(it.key())) {
            known.insert(it.key(), it.value());
            fresh.append(
                {kOriginalSpeeds + QLatin1Char('/') + it.key(), QString::number(it.value(), 'g', 9)});
        }
    }
    if (!fresh.isEmpty()) {
        store(fresh);
    }
    return known;
}

StoredPointerSettings DesktopPointerSystem::stored() const {
    const QSettings settings(settingsPath_, QSettings::IniFormat);
    StoredPointerSettings out;
    out.threshold1 = readNumber<int>(settings, kThreshold1);
    out.threshold2 = readNumber<int>(settings, kThreshold2);
    out.level = readNumber<int>(settings, kLevel);
    out.speed = readNumber<qint64>(settings, kSpeed);
    out.wheelScrollLines = readNumber<quint32>(settings, kWheelLines);
    out.wheelScrollChars = readNumber<quint32>(settings, kWheelChars);
    out.doubleClickTime = readNumber<quint32>(settings, kDoubleClick);
    return out;
}

bool DesktopPointerSystem::reapplyStored() {
    const StoredPointerSettings values = stored();
    if (!control_) {
        return true;
    }
    bool speedApplied = true;
    if (values.speed && *values.speed >= kMinSpeed && *values.speed <= kMaxSpeed) {
        speedApplied = control_->applySpeed(*values.speed, rememberOriginalSpeeds());
    }
    if (!values.threshold1 || !values.threshold2 || !values.level) {
        return speedApplied;
    }
    // The file is the user's to edit: a value out of range is left unapplied.
    if (!validAcceleration(*values.threshold1, *values.threshold2, *values.level)) {
        qWarning().noquote() << QStringLiteral(
                                    "pointer settings: ignored an invalid stored acceleration in %1")
                                    .arg(settingsPath_);
        return false;
    }
    return control_->apply(toXAcceleration(*values.threshold1, *values.threshold2, *values.level)) &&
           speedApplied;
}

}  // namespace kf::platform
