#pragma once
// Pointer settings that change nothing: every call is recorded with its exact arguments and
// answered with a result the test chooses.
#include <QVector>

#include "platform/pointer/pointer_system.h"

namespace kf::platform {

struct PointerCall {
    enum Operation { Acceleration, Speed, WheelScrollLines, WheelScrollChars, DoubleClickTime };

    Operation operation = Acceleration;
    QVector<qint64> arguments;  // in the order of the PointerSystem operation's parameters

    bool operator==(const PointerCall& other) const {
        return operation == other.operation && arguments == other.arguments;
    }
    QString toString() const;  // "Speed(7, 1)", for test messages
};

class RecordingPointerSystem : public PointerSystem {
public:
    void setResult(bool accepted) { result_ = accepted; }
    const QVector<PointerCall>& calls() const { return calls_; }
    void clear() { calls_.clear(); }

    bool setAcceleration(int threshold1, int threshold2, int level) override;
    bool setSpeed(quint32 unused, qint64 speed) override;
    bool setWheelScrollLines(quint32 lines, qint64 pointerArgument) override;
    bool setWheelScrollChars(quint32 chars, qint64 pointerArgument) override;
    bool setDoubleClickTime(quint32 milliseconds) override;

private:
    bool record(PointerCall::Operation operation, QVector<qint64> arguments);

    QVector<PointerCall> calls_;
    bool result_ = true;
};

}  // namespace kf::platform
