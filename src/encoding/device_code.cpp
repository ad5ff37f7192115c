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
    // Every part between commas is a byte, as the device write reads them: an empty part is 00
    // ("0x01,2,,ff" is 01 02 00 FF), so the parts are counted and kept as they are.
    const QStringList tokens = result.split(QLatin1Char(','), Qt::KeepEmptyParts);
    for (const QString& token : tokens) {
        if (!token.isEmpty() && !isByteToken(token)) {
            return false;
        }
    }
    if (tokens.size() != size) {
        return false;
    }
    *out = result;
    return true;
}

}  // namespace kf::encoding
