#include "unit/formats/formats_test_helpers.h"

#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "support/test_paths.h"

namespace kftest {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Removed rather than truncated: ext4 flushes a truncated file on close, which makes tests
    // that rewrite one file many times wait for the disk.
    QFile::remove(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesBelow(const QString& dir) {
    QStringList files;
    const QDir root(dir);
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files.append(root.relativeFilePath(it.next()));
    }
    files.sort();
    return files;
}

QByteArray le32(quint32 value) {
    QByteArray bytes;
    for (int i = 0; i < 4; ++i) {
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return bytes;
}

QByteArray allByteValues(int times) {
    QByteArray bytes;
    for (int t = 0; t < times; ++t) {
        for (int v = 0; v < 256; ++v) {
            bytes.append(static_cast<char>(v));
        }
    }
    return bytes;
}

QByteArray archivePayload(const QString& name, const QVector<PayloadFile>& files) {
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << name << quint32(files.size());
    for (const PayloadFile& file : files) {
        out << file.path << quint32(file.length < 0 ? file.data.size() : file.length) << file.data;
    }
    return payload;
}

QString toolPath(const QString& name) {
    // Each tool is built in its own folder of the build tree.
    const QStringList candidates = {binaryDir() + "/tools/" + name + "/" + name,
                                    binaryDir() + "/tools/" + name};
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable()) {
            return candidate;
        }
    }
    return QString();
}

ToolResult runTool(const QString& name, const QStringList& args) {
    ToolResult result;
    const QString path = toolPath(name);
    if (path.isEmpty()) {
        result.err = QStringLiteral("%1 is not built in %2").arg(name, binaryDir());
        return result;
    }
    QProcess process;
    process.start(path, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        result.err = QStringLiteral("%1 did not finish").arg(name);
        return result;
    }
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

}  // namespace kftest
