#include "cefclient/resource_pack_writer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <cstring>
#include <limits>

#include "cefclient/resource_pack.h"

namespace fmt = resource_pack_format;

namespace {

bool setError(QString* error, const QString& text) {
    if (error != nullptr) {
        *error = text;
    }
    return false;
}

// Every regular file below dir, as paths relative to dir with "/" separators, sorted.
QStringList filesBelow(const QString& dir) {
    QStringList files;
    const QDir root(QFileInfo(dir).absoluteFilePath());
    QDirIterator it(root.path(), QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files.append(root.relativeFilePath(it.next()));
    }
    files.sort();
    return files;
}

}  // namespace

QByteArray buildResourcePack(const QVector<ResourcePackSource>& entries, quint8 shift, bool subtract,
                             QString* error) {
    if (entries.isEmpty()) {
        setError(error, QStringLiteral("a pack needs at least one entry"));
        return QByteArray();
    }
    const qint64 tableEnd = fmt::kHeaderSize + qint64(entries.size()) * fmt::kRecordSize;
    qint64 total = tableEnd;
    QVector<QByteArray> names;
    names.reserve(entries.size());
    for (const ResourcePackSource& entry : entries) {
        const QByteArray name = entry.name.toUtf8();
        if (name.isEmpty() || name.size() >= fmt::kNameCapacity || name.contains('\0')) {
            setError(error, QStringLiteral("entry name \"%1\" is empty or longer than %2 bytes")
                                .arg(entry.name)
                                .arg(fmt::kNameCapacity - 1));
            return QByteArray();
        }
        names.append(name);
        total += entry.data.size();
    }
    // Offsets are 32-bit, and the pack is built in one byte array.
    if (total > std::numeric_limits<int>::max() - 64) {
        setError(error, QStringLiteral("pack would be too large (%1 bytes)").arg(total));
        return QByteArray();
    }

    QByteArray pack(int(total), '\0');
    char* out = pack.data();
    std::memcpy(out, fmt::kMagic, sizeof(fmt::kMagic));
    std::memcpy(out + 6, fmt::kVersion, sizeof(fmt::kVersion));
    qToLittleEndian<qint32>(entries.size(), out + fmt::kCountOffset);
    out[fmt::kDirectionOffset] = subtract ? 1 : 0;
    out[fmt::kShiftOffset] = static_cast<char>(shift);

    // A reader adds `delta` to every stored byte, so the writer stores byte - delta.
    const quint8 store = quint8(256 - fmt::unshiftDelta(subtract, shift));
    qint64 offset = tableEnd;
    for (int i = 0; i < entries.size(); ++i) {
        char* record = out + fmt::kHeaderSize + qint64(i) * fmt::kRecordSize;
        std::memcpy(record + fmt::kNameOffset, names.at(i).constData(), size_t(names.at(i).size()));
        const QByteArray& data = entries.at(i).data;
        qToLittleEndian<quint32>(quint32(data.size()), record + fmt::kSizeOffset);
        qToLittleEndian<quint32>(quint32(offset), record + fmt::kDataOffsetOffset);
        fmt::unshift(record, record, fmt::kRecordSize, store);
        fmt::unshift(data.constData(), out + offset, data.size(), store);
        offset += data.size();
    }
    return pack;
}

bool writeResourcePack(const QString& dir, const QString& outPath, quint8 shift, bool subtract,
                       QString* error) {
    if (!QFileInfo(dir).isDir()) {
        return setError(error, QStringLiteral("%1 is not a folder").arg(dir));
    }
    const QString baseName = fmt::baseNameForPath(outPath);
    if (baseName.isEmpty()) {
        return setError(error, QStringLiteral("%1 has no base name (expected NAME.pak)").arg(outPath));
    }
    QVector<ResourcePackSource> entries;
    for (const QString& relative : filesBelow(dir)) {
        QFile file(dir + QLatin1Char('/') + relative);
        if (!file.open(QIODevice::ReadOnly)) {
            return setError(error,
                            QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        }
        entries.append({baseName + QLatin1Char('/') + relative, file.readAll()});
        if (entries.last().data.size() != file.size()) {
            return setError(error, QStringLiteral("short read from %1").arg(file.fileName()));
        }
    }
    if (entries.isEmpty()) {
        return setError(error, QStringLiteral("%1 holds no files").arg(dir));
    }
    const QByteArray pack = buildResourcePack(entries, shift, subtract, error);
    if (pack.isEmpty()) {
        return false;
    }
    QDir().mkpath(QFileInfo(outPath).absolutePath());
    QSaveFile out(outPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(pack) != pack.size() || !out.commit()) {
        return setError(error, QStringLiteral("cannot write %1: %2").arg(outPath, out.errorString()));
    }
    return true;
}
