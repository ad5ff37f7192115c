#pragma once
// Software key maps: the trigger key of a map entry, the actions it plays and how.
#include <QHash>
#include <QString>
#include <QVector>

namespace kf::input {

// (code, flag) in one 32-bit key: keyboard strokes use the scan code and 1 for an E0 prefix,
// else 0; mouse strokes the button-down flag (1 left, 4 right, 16 middle, 64 button 4,
// 256 button 5) and kMouseTriggerFlag.
using TriggerKey = quint32;
constexpr quint16 kMouseTriggerFlag = 10;
constexpr TriggerKey triggerKey(quint16 code, quint16 flag) {
    return (quint32(code) << 16) | flag;
}
constexpr quint16 triggerCode(TriggerKey key) {
    return quint16(key >> 16);
}

// An action name ("KeybroadDown", "keyboard", "text", ...) and its argument.
struct MacroAction {
    QString name;
    QString argument;
    bool operator==(const MacroAction& other) const {
        return name == other.name && argument == other.argument;
    }
};

// playType: 1 click, 2 press-and-release, 3 loop while held, 4 toggle loop.
struct TriggerEntry {
    QVector<MacroAction> actions;
    int playType = 0;
    int playCount = 0;
    int playDelay = 0;  // milliseconds
    int auxiliary = 0;
    bool operator==(const TriggerEntry& other) const {
        return actions == other.actions && playType == other.playType && playCount == other.playCount &&
               playDelay == other.playDelay && auxiliary == other.auxiliary;
    }
    bool operator!=(const TriggerEntry& other) const { return !(*this == other); }
};

using TriggerMap = QHash<TriggerKey, TriggerEntry>;

// Receives what the capture loop decides: a trigger to play (key state 0 press, 1 release),
// or the running play to stop. Called on the capture thread.
class TriggerTarget {
public:
    virtual ~TriggerTarget() = default;
    virtual void trigger(const TriggerEntry& entry, int keyState) = 0;
    virtual void stopPlayer() = 0;
};

}  // namespace kf::input
