#include "encoding/byte_tokens.h"

namespace kf::encoding {

QStringList codeTokens(const QString& code) {
    return code.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

int codeTokenCount(const QString& code) {
    int count = 0;
    bool inToken = false;
    for (const QChar c : code) {
        if (c == QLatin1Char(',')) {
            inToken = false;
        } else if (!inToken) {
            inToken = true;
            ++count;
        }
    }
    return count;
}

QString normalizedCode(const QString& code) {
    return codeTokens(code).join(QLatin1Char(','));
}

bool isByteToken(const QString& token) {
    int start = 0;
    if (token.size() >= 2 && token.at(0) == QLatin1Char('0') &&
        (token.at(1) == QLatin1Char('x') || token.at(1) == QLatin1Char('X'))) {
        start = 2;
    }
    if (start >= token.size()) {
        return false;
    }
    int value = 0;
    for (int i = start; i < token.size(); ++i) {
        const QChar c = token.at(i);
        int digit = -1;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digit = c.unicode() - '0';
        } else if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) {
            digit = c.unicode() - 'a' + 10;
        } else if (c >= QLatin1Char('A') && c <= QLatin1Char('F')) {
            digit = c.unicode() - 'A' + 10;
        } else {
            return false;
        }
        value = value * 16 + digit;
        if (value > 0xFF) {
            return false;
        }
    }
    return true;
}

bool allByteTokens(const QStringList& tokens) {
    for (const QString& token : tokens) {
        if (!isByteToken(token)) {
            return false;
        }
    }
    return true;
}

QString hexText(qint64 value) {
    return QString::number(value, 16);
}

qint64 decimalOrZero(const QString& text) {
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 10);
    return ok ? value : 0;
}

}  // namespace kf::encoding
