#pragma once
// Shared helpers of the format tests: files in temporary folders, crafted packs and archives,
// and running our tools.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ostream>

#include "cefclient/resource_pack_writer.h"

namespace kftest {

// Writes bytes to path, creating missing folders; false when that fails.
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// Every file below dir as "relative/path", sorted.
QStringList filesBelow(const QString& dir);

// value as 4 little-endian bytes, to patch into crafted files with QByteArray::replace.
QByteArray le32(quint32 value);

// 0, 1, ..., 255 repeated `times` times: every byte value, to see no value is mangled.
QByteArray allByteValues(int times = 1);

// The payload of a theme archive with the given (path, data) files, serialised by hand so a
// test can put in an unsafe path or a length that does not match the data.
struct PayloadFile {
    QString path;
    QByteArray data;
    qint64 length = -1;  // the stored length; -1: the data's size
};
QByteArray archivePayload(const QString& name, const QVector<PayloadFile>& files);

// The path of one of our tools in the build tree, or an empty string when it is not built.
QString toolPath(const QString& name);

struct ToolResult {
    int exitCode = -1;
    QString out;
    QString err;
};
ToolResult runTool(const QString& name, const QStringList& args);

}  // namespace kftest

// Readable QString and QByteArray values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << bytes.left(200).toStdString() << (bytes.size() > 200 ? "\"..." : "\"");
}
