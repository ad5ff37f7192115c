#pragma once
// Shared by the encoding tests: the built-in tables, parsed once.
#include "encoding/drive_resources.h"
#include "encoding/driver_table.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <pugixml.hpp>

#include <memory>
#include <ostream>

// Readable QString values in gtest failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kftest {

inline QByteArray driveText(const QString& name) {
    QByteArray text;
    kf::encoding::readDriveResource(name, &text);
    return text;
}

// A parsed resource, kept alive for the whole test run so nodes taken from it stay valid.
inline std::shared_ptr<pugi::xml_document> driveDoc(const QString& name) {
    static QHash<QString, std::shared_ptr<pugi::xml_document>> docs;
    auto& doc = docs[name];
    if (!doc) {
        doc = std::make_shared<pugi::xml_document>();
        const QByteArray text = driveText(name);
        doc->load_buffer(text.constData(), static_cast<size_t>(text.size()));
    }
    return doc;
}

// The built-in D2.0 table, parsed once.
inline const kf::encoding::DriverTable& d20() {
    static kf::encoding::DriverTable table;
    static const bool parsed = table.parse(driveText(QStringLiteral("D2.0")));
    (void)parsed;
    return table;
}

inline QStringList repeated(int count, const QString& text) {
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << text;
    return list;
}

inline QString attr(const pugi::xml_node& node, const char* name) {
    return QString::fromUtf8(node.attribute(name).value());
}

inline QStringList attributeNames(const pugi::xml_node& node) {
    QStringList names;
    for (const pugi::xml_attribute a : node.attributes()) {
        names << QString::fromUtf8(a.name());
    }
    return names;
}

}  // namespace kftest
