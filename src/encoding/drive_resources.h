#pragma once
// The built-in key tables and default device profiles, compiled into the program under the
// resource prefix ":/drive/" (Define, D2.0, Keyboard, Mouse, Virtual, Default, DefaultEn,
// DefaultFr and the profiles MA1, MA2, MG1, MG2, MG3En, MG1En, KB1).
#include <QByteArray>
#include <QString>

namespace pugi {
class xml_document;
}

// Registers the ":/drive/" resources of this static library. Safe to call from any thread and
// any number of times; every function of kf::encoding that reads them calls it first.
void initDriveResources();

namespace kf::encoding {

// The resource prefix of the drive tables.
inline QString drivePrefix() {
    return QStringLiteral(":/drive/");
}

// Reads ":/drive/<name>" unchanged (a byte-order mark stays). Returns false, leaving `out`
// empty, when the name is empty, names a path (contains "/" or "\\", or is "." or "..") or
// there is no such resource.
bool readDriveResource(const QString& name, QByteArray* out);

// Reads a table file (a ":/drive/" resource or a file on disk) and parses it. False when it
// cannot be opened, is far larger than any table (4 MiB), or is not XML; `text` receives the
// bytes as read.
bool loadTableDocument(const QString& path, QByteArray* text, pugi::xml_document* doc);

}  // namespace kf::encoding
