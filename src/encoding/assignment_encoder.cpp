#include "encoding/assignment_encoder.h"

#include "encoding/byte_tokens.h"
#include "encoding/driver_table.h"
#include "encoding/macro_encoder.h"

namespace kf::encoding {
namespace {

// The low and high byte tokens of a value, split on its hexadecimal text as the devices expect:
// up to 0xFF the text and "0x00"; above, the text without its first digit and the first digit.
// Only values up to 0xFFF split correctly this way; larger ones are refused.
bool splitHex(qint64 value, QString* low, QString* high) {
    if (value < 0 || value > 0xFFF) {
        return false;
    }
    const QString text = hexText(value);
    if (value <= 0xFF) {
        *low = text;
        *high = QStringLiteral("0x00");
    } else {
        *low = text.mid(1);
        *high = text.left(1);
    }
    return true;
}

QString reject(bool* ok) {
    if (ok != nullptr) {
        *ok = false;
    }
    return QString();
}

}  // namespace

QString hotkeyCode(const QStringList& codes) {
    QStringList parts = codes;
    if (parts.size() == 1) {
        parts.prepend(QStringLiteral("0x00"));
    }
    while (parts.size() < 3) {
        parts.append(QStringLiteral("0x00"));
    }
    return QStringLiteral("0x02,") + parts.mid(0, 3).join(QLatin1Char(','));
}

QString chordCode(const DriverTable& table, const QString& chord) {
    QStringList codes;
    const QStringList parts = chord.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        QString code = table.driverCode(part);
        if (code.isEmpty()) {
            code = table.driverCode(part.toUpper());
        }
        codes.append(code);
    }
    // Joined and split again: parts that found nothing vanish and the rest move up.
    return hotkeyCode(codeTokens(codes.join(QLatin1Char(','))));
}

bool dpiCode(const QString& command, QString* code) {
    if (code == nullptr) {
        return false;
    }
    code->clear();
    const QStringList fields = command.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    if (fields.size() < 3 || !isByteToken(fields.at(0))) {
        return false;
    }
    const qint64 m = decimalOrZero(fields.at(0));
    const qint64 x = decimalOrZero(fields.at(1)) / 50;
    const qint64 y = decimalOrZero(m == 1 ? fields.at(1) : fields.at(2)) / 50;
    QString xLow, xHigh, yLow, yHigh;
    if (!splitHex(x, &xLow, &xHigh) || !splitHex(y, &yLow, &yHigh)) {
        return false;
    }
    *code = QStringList{fields.at(0), xLow, xHigh, yLow, yHigh}.join(QLatin1Char(',')) +
            QStringLiteral(",0x00,0x00,0x00");
    return true;
}

QString encodeAssignment(const DriverTable& table, const QString& type, const QString& command, bool* ok) {
    if (ok != nullptr) {
        *ok = true;
    }
    const QString kind = type.toUpper();
    QString code;
    if (kind == QLatin1String("MOUSE") || kind == QLatin1String("MACROFUN")) {
        code = table.driverCode(command);
    } else if (kind == QLatin1String("HOTKEY") || kind == QLatin1String("KEYBOARD")) {
        code = chordCode(table, command);
    } else if (kind == QLatin1String("MACRO")) {
        code = encodeMacroSteps(parseMacroSteps(table, command));
    } else if (kind == QLatin1String("MULTIMEDIA")) {
        code = command;
    } else if (kind == QLatin1String("DPI")) {
        if (!dpiCode(command, &code)) {
            return reject(ok);
        }
    }
    const QStringList tokens = codeTokens(code);
    if (!allByteTokens(tokens)) {
        return reject(ok);
    }
    return tokens.join(QLatin1Char(','));
}

}  // namespace kf::encoding
