#include "platform/pointer/recording_pointer_system.h"

#include <QStringList>

namespace kf::platform {

QString PointerCall::toString() const {
    static const char* const names[] = {"Acceleration", "Speed", "WheelScrollLines", "WheelScrollChars",
                                        "DoubleClickTime"};
    QStringList values;
    for (qint64 value : arguments) {
        values.append(QString::number(value));
    }
    return QStringLiteral("%1(%2)").arg(QLatin1String(names[operation]), values.join(QStringLiteral(", ")));
}

bool RecordingPointerSystem::record(PointerCall::Operation operation, QVector<qint64> arguments) {
    calls_.append(PointerCall{operation, std::move(arguments)});
    return result_;
}

bool RecordingPointerSystem::setAcceleration(int threshold1, int threshold2, int level) {
    return record(PointerCall::Acceleration, {threshold1, threshold2, level});
}

bool RecordingPointerSystem::setSpeed(quint32 unused, qint64 speed) {
    return record(PointerCall::Speed, {unused, speed});
}

bool RecordingPointerSystem::setWheelScrollLines(quint32 lines, qint64 pointerArgument) {
    return record(PointerCall::WheelScrollLines, {lines, pointerArgument});
}

bool RecordingPointerSystem::setWheelScrollChars(quint32 chars, qint64 pointerArgument) {
    return record(PointerCall::WheelScrollChars, {chars, pointerArgument});
}

bool RecordingPointerSystem::setDoubleClickTime(quint32 milliseconds) {
    return record(PointerCall::DoubleClickTime, {milliseconds});
}

}  // namespace kf::platform
