#include "encoding/macro_encoder.h"

#include "encoding/byte_tokens.h"
#include "encoding/driver_table.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <cstdlib>

// Device macro step codes (three bytes each; bit 0x80 of the first marks a press or the X part):
//   mDown 0x81,button,0x00   mUp 0x01,button,0x00   keyDown 0x84,key,0x00   keyUp 0x04,key,0x00
//   WheelDown 0x83,0x01,0x00 WheelUp 0x03,0x01,0x00
//   AbsoluteXY 0x82,xHi,xLo then 0x02,yHi,yLo (big-endian)
//   relative moves 0x85,xHi,xLo and/or 0x05,yHi,yLo (two's complement, a zero part is left out)
//   delay 0x06,lo,hi (little-endian milliseconds)

namespace kf::encoding {
namespace {

struct StepName {
    QString action;
    bool resolvesKey;  // the argument is a key or button looked up in the driver table
};

const QHash<QString, StepName>& stepNames() {
    static const QHash<QString, StepName> names = {
        {QStringLiteral("键盘按下"), {QStringLiteral("keyDown"), true}},
        {QStringLiteral("键盘弹起"), {QStringLiteral("keyUp"), true}},
        {QStringLiteral("延迟"), {QStringLiteral("delay"), false}},
        {QStringLiteral("鼠标按下"), {QStringLiteral("mDown"), true}},
        {QStringLiteral("鼠标弹起"), {QStringLiteral("mUp"), true}},
        {QStringLiteral("上滚动"), {QStringLiteral("WheelUp"), false}},
        {QStringLiteral("下滚动"), {QStringLiteral("WheelDown"), false}},
        {QStringLiteral("绝对定位XY"), {QStringLiteral("AbsoluteXY"), false}},
        {QStringLiteral("相对定位XY"), {QStringLiteral("RelativeXY"), false}},
        {QStringLiteral("弹道压枪XY"), {QStringLiteral("RelativeXY"), false}},
        {QStringLiteral("向左下角修正"), {QStringLiteral("SpearLB"), false}},
        {QStringLiteral("向右上角修正"), {QStringLiteral("SpearRT"), false}},
    };
    return names;
}

bool isGenericModifier(const QString& argument) {
    return argument == QLatin1String("CTRL") || argument == QLatin1String("SHIFT") ||
           argument == QLatin1String("ALT") || argument == QLatin1String("WIN");
}

QString stepKeyCode(const DriverTable& table, const QString& upper, const QString& asWritten) {
    QString code = table.driverCode(upper);
    if (code.isEmpty() && asWritten != upper) {
        code = table.driverCode(asWritten);
    }
    // A key or button step carries exactly one byte; a function code is not a key.
    return isByteToken(code) ? code : QString();
}

qint64 clamped(qint64 value, qint64 low, qint64 high) {
    return std::clamp(value, low, high);
}

// Field `i` of a comma-separated argument (empty parts kept); a missing field reads as 0.
qint64 field(const QStringList& fields, int i) {
    return i < fields.size() ? decimalOrZero(fields.at(i)) : 0;
}

void appendPair(QString* out, const char* lead, qint64 value16) {
    out->append(QLatin1String(lead));
    out->append(QLatin1Char(','));
    out->append(hexText(value16 / 256));
    out->append(QLatin1Char(','));
    out->append(hexText(value16 % 256));
    out->append(QLatin1Char(','));
}

// A relative component as two's complement 16-bit; zero components are left out.
void appendRelative(QString* out, const char* lead, qint64 value) {
    if (value == 0) {
        return;
    }
    const qint64 v = clamped(value, -32768, 32767);
    appendPair(out, lead, v < 0 ? 0x10000 + v : v);
}

// Appends the tokens of one step, each followed by ",".
void appendStep(QString* out, const MacroStep& step) {
    const QString& action = step.first;
    const QString& argument = step.second;
    if (action == QLatin1String("keyDown") || action == QLatin1String("keyUp") ||
        action == QLatin1String("mDown") || action == QLatin1String("mUp")) {
        if (!isByteToken(argument)) {
            return;
        }
        const char* lead = action == QLatin1String("keyDown") ? "0x84,"
                           : action == QLatin1String("keyUp") ? "0x04,"
                           : action == QLatin1String("mDown") ? "0x81,"
                                                              : "0x01,";
        out->append(QLatin1String(lead));
        out->append(argument);
        out->append(QLatin1String(",0x00,"));
    } else if (action == QLatin1String("WheelDown")) {
        out->append(QLatin1String("0x83,0x01,0x00,"));
    } else if (action == QLatin1String("WheelUp")) {
        out->append(QLatin1String("0x03,0x01,0x00,"));
    } else if (action == QLatin1String("AbsoluteXY")) {
        const QStringList xy = argument.split(QLatin1Char(','));
        appendPair(out, "0x82", clamped(field(xy, 0), 0, 0xFFFF));
        appendPair(out, "0x02", clamped(field(xy, 1), 0, 0xFFFF));
    } else if (action == QLatin1String("RelativeXY") || action == QLatin1String("SpearXY") ||
               action == QLatin1String("SpearLB") || action == QLatin1String("SpearRT")) {
        const QStringList xy = argument.split(QLatin1Char(','));
        // Clamp before negating so that no value overflows.
        const qint64 dx = clamped(field(xy, 0), -0xFFFF, 0xFFFF);
        const qint64 dy = clamped(field(xy, 1), -0xFFFF, 0xFFFF);
        qint64 x = dx;
        qint64 y = -dy;  // the device's vertical axis points the other way
        if (action == QLatin1String("SpearLB")) {
            x = -std::abs(dx);
            y = std::abs(dy);
        } else if (action == QLatin1String("SpearRT")) {
            x = std::abs(dx);
            y = -std::abs(dy);
        }
        appendRelative(out, "0x85", x);
        appendRelative(out, "0x05", y);
    } else if (action == QLatin1String("delay")) {
        const qint64 d = clamped(decimalOrZero(argument), 0, 0xFFFF);
        out->append(QLatin1String("0x06,"));
        out->append(hexText(d % 256));
        out->append(QLatin1Char(','));
        out->append(hexText(d / 256));
        out->append(QLatin1Char(','));
    }
}

}  // namespace

MacroStepList parseMacroSteps(const DriverTable& table, const QString& command) {
    MacroStepList steps;
    const QStringList pieces = command.split(QLatin1Char(')'), Qt::SkipEmptyParts);
    for (const QString& piece : pieces) {
        const int open = piece.indexOf(QLatin1Char('('));
        if (open <= 0) {
            continue;
        }
        const QString name = piece.left(open).trimmed();
        const QString asWritten = piece.mid(open + 1).trimmed();
        QString argument = asWritten.toUpper();
        if (isGenericModifier(argument)) {
            argument.prepend(QLatin1String("LEFT "));
        }
        const auto found = stepNames().constFind(name);
        if (found == stepNames().constEnd()) {
            continue;
        }
        const QString value = found->resolvesKey ? stepKeyCode(table, argument, asWritten) : argument;
        if (!value.isEmpty()) {
            steps.append(MacroStep(found->action, value));
        }
    }
    return steps;
}

QString encodeMacroSteps(const MacroStepList& steps) {
    QString code;
    int tokens = 0;
    for (const MacroStep& step : steps) {
        const int before = code.size();
        appendStep(&code, step);
        tokens += codeTokenCount(code.mid(before));
        if (tokens >= kMacroStepCutBytes) {
            break;
        }
    }
    return code;
}

}  // namespace kf::encoding
