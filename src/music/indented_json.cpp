#include "music/indented_json.h"

namespace kf::music {

namespace {

// The escapes QJsonDocument writes: quote, backslash, the short control escapes and \u00XX for
// the other control characters; everything else as UTF-8.
void appendString(QByteArray& out, const QByteArray& utf8) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (quint8(c) < 0x20) {
                    out += "\\u00";
                    out += hex[quint8(c) >> 4];
                    out += hex[quint8(c) & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

}  // namespace

void IndentedJsonObject::beginMember(const char* key) {
    if (!empty_) {
        out_ += ",\n";
    }
    empty_ = false;
    out_ += "    ";
    appendString(out_, QByteArray(key));
    out_ += ": ";
}

void IndentedJsonObject::addText(const char* key, const QString& value) {
    beginMember(key);
    appendString(out_, value.toUtf8());
}

void IndentedJsonObject::addNumber(const char* key, qint64 value) {
    beginMember(key);
    out_ += QByteArray::number(value);
}

void IndentedJsonObject::addNumbers(const char* key, const int* values, int count) {
    beginMember(key);
    out_ += "[\n";
    for (int i = 0; i < count; ++i) {
        out_ += "        ";
        out_ += QByteArray::number(values[i]);
        out_ += i + 1 < count ? ",\n" : "\n";
    }
    out_ += "    ]";
}

QString IndentedJsonObject::text() const {
    return QString::fromUtf8(out_ + (empty_ ? "}\n" : "\n}\n"));
}

}  // namespace kf::music
