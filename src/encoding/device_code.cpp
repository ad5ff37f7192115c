#include "encoding/device_code.h"

#include "encoding/byte_tokens.h"

#include <QStringList>

namespace kf::encoding {
namespace {

constexpr qint64 kDpiLength = 5;
constexpr qint64 kDpiStep = 50;

}  // namespace

bool deviceCodeForWrite(const QString& code, const QString& length, QString* out) {
    if (out == nullptr) {
        return false;
    }
    out->clear();
    const qint64 size = decimalOrZero(length);
    QString result;
    if (size == kDpiLength) {
        const qint64 v = decimalOrZero(code) / kDpiStep;
        if (v < 0 || v > 0xFFFF) {
            return false;
        }
        const QString lo = hexText(v % 256);
        const QString hi = hexText(v / 256);
        result = QStringList{QStringLiteral("0x01"), lo, hi, lo, hi}.join(QLatin1Char(','));
    } else if (code.size() == 6) {
        result = code.mid(0, 2) + QLatin1Char(',') + code.mid(2, 2) + QLatin1Char(',') + code.mid(4, 2);
    } else {
        result = code;
    }
    const QStringList tokens = codeTokens(result);
    if (!allByteTokens(tokens) || tokens.size() != size) {
        return false;
    }
    *out = tokens.join(QLatin1Char(','));
    return true;
}

}  // namespace kf::encoding
