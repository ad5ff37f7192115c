#pragma once
// Writes one JSON object in Qt's indented form (four spaces a level, "key": value, arrays one
// element a line, a newline after the closing brace) with its members in the order they are
// added: QJsonObject would sort them by key, and the page's messages have a fixed order.
#include <QByteArray>
#include <QString>

namespace kf::music {

class IndentedJsonObject {
public:
    void addText(const char* key, const QString& value);
    void addNumber(const char* key, qint64 value);
    void addNumbers(const char* key, const int* values, int count);
    QString text() const;

private:
    void beginMember(const char* key);

    QByteArray out_ = "{\n";
    bool empty_ = true;
};

}  // namespace kf::music
