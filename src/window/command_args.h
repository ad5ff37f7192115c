#pragma once
// How the dispatcher reads a request's arguments: every value as text. A missing key is an
// empty text, a number its decimal text, a boolean "true" or "false", a string itself; arrays,
// objects and null read as empty texts.
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace kf::window {

QString variantText(const QVariant& value);

inline QString argText(const QVariantMap& args, const QString& key) {
    const auto it = args.constFind(key);
    return it == args.constEnd() ? QString() : variantText(it.value());
}

// A decimal integer as the page sends it ("12", also " 12"); anything else is 0.
int textToInt(const QString& text);

}  // namespace kf::window
