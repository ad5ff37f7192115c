#include "cefclient/resource_pack.h"

#include <QFile>
#include <QtEndian>
#include <cstring>
#include <limits>

namespace resource_pack_format {

void unshift(const char* src, char* dst, qint64 length, quint8 delta) {
    // Sixteen bytes per step through the compiler's vector extension, so the loop stays
    // vectorised at -O2 too (plain byte loops are only vectorised at -O3 there).
    typedef unsigned char Block __attribute__((vector_size(16)));
    constexpr qint64 kBlock = sizeof(Block);
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    auto* d = reinterpret_cast<unsigned char*>(dst);
    Block add;
    for (qint64 i = 0; i < kBlock; ++i) {
        add[i] = delta;
    }
    qint64 i = 0;
    for (; i + 4 * kBlock <= length; i += 4 * kBlock) {
        Block a, b, c, e;
        std::memcpy(&a, s + i, kBlock);
        std::memcpy(&b, s + i + kBlock, kBlock);
        std::memcpy(&c, s + i + 2 * kBlock, kBlock);
        std::memcpy(&e, s + i + 3 * kBlock, kBlock);
        a += add;
        b += add;
        c += add;
        e += add;
        std::memcpy(d + i, &a, kBlock);
        std::memcpy(d + i + kBlock, &b, kBlock);
        std::memcpy(d + i + 2 * kBlock, &c, kBlock);
        std::memcpy(d + i + 3 * kBlock, &e, kBlock);
    }
    for (; i < length; ++i) {
        d[i] = static_cast<unsigned char>(s[i] + delta);
    }
}

QString baseNameForPath(const QString& path) {
    const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return fileName.left(qMax(0, fileName.size() - 4));
}

}  // namespace resource_pack_format

namespace fmt = resource_pack_format;

namespace {

// Largest blob a QByteArray can hold, with room for its own header.
constexpr quint32 kMaxBlobSize = quint32(std::numeric_limits<int>::max()) - 64;

// The lookup key of an entry name: everything after the first occurrence of the base name and
// the one character that follows it ("theme/black/client.html" gives "black/client.html").
// A name that does not contain the base name has no key.
QString keyForName(const QString& name, const QString& baseName) {
    const int at = name.indexOf(baseName);
    if (at < 0) {
        return QString();
    }
    return name.mid(at + baseName.size() + 1);
}

}  // namespace

bool ResourcePack::fail(const QString& why) {
    map_.clear();
    entries_.clear();
    loaded_ = false;
    error_ = why;
    return false;
}

bool ResourcePack::load(const QString& path) {
    map_.clear();
    entries_.clear();
    header_.clear();
    error_.clear();
    loaded_ = false;
    path_ = path;
    baseName_ = fmt::baseNameForPath(path);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return fail(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    }
    const qint64 fileSize = file.size();
    if (fileSize < fmt::kHeaderSize) {
        return fail(QStringLiteral("file too short for a pack header"));
    }
    // The file is read once: mapped where the file system allows it, read whole otherwise.
    if (uchar* mapped = file.map(0, fileSize)) {
        const bool ok = parse(reinterpret_cast<const char*>(mapped), fileSize);
        file.unmap(mapped);
        return ok;
    }
    if (fileSize > kMaxBlobSize) {
        return fail(QStringLiteral("file too large to read"));
    }
    const QByteArray all = file.readAll();
    if (all.size() != fileSize) {
        return fail(QStringLiteral("short read: %1").arg(file.errorString()));
    }
    return parse(all.constData(), all.size());
}

bool ResourcePack::parse(const char* data, qint64 fileSize) {
    header_ = QByteArray(data, fmt::kHeaderSize);
    // Magic and version are zero-terminated strings in fixed fields.
    if (std::memcmp(data, fmt::kMagic, sizeof(fmt::kMagic)) != 0) {
        return fail(QStringLiteral("not a DBPAK file"));
    }
    if (std::memcmp(data + 6, fmt::kVersion, sizeof(fmt::kVersion)) != 0) {
        return fail(QStringLiteral("unsupported pack version"));
    }
    const qint32 count = qFromLittleEndian<qint32>(data + fmt::kCountOffset);
    if (count <= 0) {
        return fail(QStringLiteral("entry count %1 is not positive").arg(count));
    }
    const bool subtract = data[fmt::kDirectionOffset] != 0;
    const quint8 delta = fmt::unshiftDelta(subtract, static_cast<quint8>(data[fmt::kShiftOffset]));
    if (fmt::kHeaderSize + qint64(count) * fmt::kRecordSize > fileSize) {
        return fail(QStringLiteral("entry table of %1 records runs past the end of the file").arg(count));
    }

    // Every record is checked before any blob is copied, so a damaged pack loads nothing.
    QVector<ResourcePackEntry> entries;
    entries.reserve(count);
    char record[fmt::kRecordSize];
    for (qint32 i = 0; i < count; ++i) {
        fmt::unshift(data + fmt::kHeaderSize + qint64(i) * fmt::kRecordSize, record, fmt::kRecordSize, delta);
        const char* name = record + fmt::kNameOffset;
        const void* end = std::memchr(name, 0, fmt::kNameCapacity);
        if (end == nullptr) {
            return fail(QStringLiteral("entry %1: name is not terminated").arg(i));
        }
        ResourcePackEntry entry;
        entry.name = QString::fromUtf8(name, int(static_cast<const char*>(end) - name));
        entry.key = keyForName(entry.name, baseName_);
        entry.size = qFromLittleEndian<quint32>(record + fmt::kSizeOffset);
        entry.offset = qFromLittleEndian<quint32>(record + fmt::kDataOffsetOffset);
        if (qint64(entry.offset) + entry.size > fileSize) {
            return fail(
                QStringLiteral("entry %1 (%2): data runs past the end of the file").arg(i).arg(entry.name));
        }
        if (entry.size > kMaxBlobSize) {
            return fail(QStringLiteral("entry %1 (%2): data too large").arg(i).arg(entry.name));
        }
        entries.append(entry);
    }

    for (const ResourcePackEntry& entry : qAsConst(entries)) {
        if (entry.key.isEmpty()) {
            continue;
        }
        QByteArray blob(int(entry.size), Qt::Uninitialized);
        fmt::unshift(data + entry.offset, blob.data(), entry.size, delta);
        map_.insert(entry.key, blob);  // a later entry with the same key wins
    }
    entries_ = entries;
    loaded_ = true;
    return true;
}

QByteArray ResourcePack::lookup(const QString& key) const {
    return map_.value(key);
}

bool ResourcePack::contains(const QString& key) const {
    return map_.contains(key);
}
