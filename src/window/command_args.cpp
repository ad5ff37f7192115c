#include "window/command_args.h"

#include <QLocale>
#include <cmath>

namespace kf::window {

QString variantText(const QVariant& value) {
    switch (static_cast<QMetaType::Type>(value.type())) {
        case QMetaType::QString:
            return value.toString();
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        case QMetaType::Double:
        case QMetaType::Float: {
            const double number = value.toDouble();
            // Whole numbers read as integers ("Num":10 is "10", not "10.0" or "1e+01") as far as
            // a double holds them exactly.
            if (std::isfinite(number) && std::trunc(number) == number &&
                std::fabs(number) <= 9007199254740992.0) {
                return QString::number(static_cast<qint64>(number));
            }
            return QString::number(number, 'g', QLocale::FloatingPointShortest);
        }
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            return value.toString();
        default:
            return QString();
    }
}

int textToInt(const QString& text) {
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    return ok ? number : 0;
}

}  // namespace kf::window
