#pragma once
// The driver function table (":/drive/D2.0"): device byte codes of mouse functions, macro step
// arguments and keys, looked up by task.
//
// The registry keeps each registered table as text under its Version ("D2.0"); an encoding
// call parses that text into a DriverTable and queries it. A DriverTable is meant for one
// thread at a time (the device worker); the registry itself may be used from any thread.
#include <QHash>
#include <QString>

#include <pugixml.hpp>

namespace kf::encoding {

class DriverTable {
public:
    DriverTable() = default;
    DriverTable(const DriverTable&) = delete;
    DriverTable& operator=(const DriverTable&) = delete;

    // Parses a driver table with the parser's default options. On failure the table is empty
    // and false is returned.
    bool parse(const QByteArray& xml);
    bool parse(const QString& xml) { return parse(xml.toUtf8()); }

    bool isLoaded() const { return loaded_; }

    // Attribute Code of the first row matched by the XPath /Driver/key[@Task="<task>"], or an
    // empty string. Matching is exact and case-sensitive. The task goes into the expression
    // without escaping, so a task holding a double quote (or a NUL) cannot be a literal of it:
    // such a task yields an empty code and is never evaluated, which also keeps a crafted task
    // from turning the query into one that matches other rows.
    QString driverCode(const QString& task) const;

private:
    pugi::xml_document doc_;
    bool loaded_ = false;
    // The document never changes after parse(), so a lookup's answer can be kept. Bounded.
    mutable QHash<QString, QString> memo_;
};

// Reads the whole file at `path` (":/drive/D2.0" at start-up) and, if it parses, stores its
// text in the registry under the value of the root's Version attribute; a second registration
// of the same version replaces the first. Returns false, registering nothing, when the file
// cannot be read or does not parse.
bool registerDriverTable(const QString& path);

// The registered text for `version`, or an empty string.
QString registeredDriverTable(const QString& version);

// Parses the table registered under `version` into `table`. False when there is none or it
// does not parse: the caller's write then fails.
bool loadDriverTable(DriverTable* table, const QString& version = QStringLiteral("D2.0"));

}  // namespace kf::encoding
