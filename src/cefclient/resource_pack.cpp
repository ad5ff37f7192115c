#include "cefclient/resource_pack.h"

#include <QFile>
#include <QtEndian>
#include <cstring>
#include <limits>
#include <vector>

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

    // Unbuffered: the header and the table are read in one call each, and every blob is read
    // straight into its own byte array and unshifted there, so each byte is copied once. (A
    // memory map would save that copy, but a file truncated while mapped kills the process.)
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return fail(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    }
    const qint64 fileSize = file.size();
    header_ = file.read(fmt::kHeaderSize);
    if (header_.size() != fmt::kHeaderSize) {
        return fail(QStringLiteral("file too short for a pack header"));
    }
    const char* header = header_.constData();
    // Magic and version are zero-terminated strings in fixed fields.
    if (std::memcmp(header, fmt::kMagic, sizeof(fmt::kMagic)) != 0) {
        return fail(QStringLiteral("not a DBPAK file"));
    }
    if (std::memcmp(header + 6, fmt::kVersion, sizeof(fmt::kVersion)) != 0) {
        return fail(QStringLiteral("unsupported pack version"));
    }
    const qint32 count = qFromLittleEndian<qint32>(header + fmt::kCountOffset);
    if (count <= 0) {
        return fail(QStringLiteral("entry count %1 is not positive").arg(count));
    }
    const bool subtract = header[fmt::kDirectionOffset] != 0;
    const quint8 delta = fmt::unshiftDelta(subtract, static_cast<quint8>(header[fmt::kShiftOffset]));
    const qint64 tableSize = qint64(count) * fmt::kRecordSize;
    if (fmt::kHeaderSize + tableSize > fileSize || tableSize > kMaxBlobSize) {
        return fail(QStringLiteral("entry table of %1 records runs past the end of the file").arg(count));
    }
    std::vector<char> table(static_cast<size_t>(tableSize));
    if (file.read(table.data(), tableSize) != tableSize) {
        return fail(QStringLiteral("short read of the entry table"));
    }
    fmt::unshift(table.data(), table.data(), tableSize, delta);

    // Every record is checked before any blob is read, so a damaged pack loads nothing.
    QVector<ResourcePackEntry> entries;
    entries.reserve(count);
    // Each entry that is read gets its own copy of its blob, so entries that overlap could make
    // a small file take any amount of memory: what is read may add up to the file size at most.
    qint64 total = 0;
    for (qint32 i = 0; i < count; ++i) {
        const char* record = table.data() + qint64(i) * fmt::kRecordSize;
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
        if (!entry.key.isEmpty()) {
            total += entry.size;
            if (total > fileSize) {
                return fail(QStringLiteral("entry %1 (%2): the entries' data adds up to more than the file")
                                .arg(i)
                                .arg(entry.name));
            }
        }
        entries.append(entry);
    }

    QMap<QString, QByteArray> map;
    for (const ResourcePackEntry& entry : qAsConst(entries)) {
        if (entry.key.isEmpty()) {
            continue;
        }
        QByteArray blob(int(entry.size), Qt::Uninitialized);
        if (entry.size > 0 &&
            (!file.seek(entry.offset) || file.read(blob.data(), entry.size) != entry.size)) {
            return fail(QStringLiteral("entry %1: short read: %2").arg(entry.name, file.errorString()));
        }
        fmt::unshift(blob.constData(), blob.data(), entry.size, delta);
        map.insert(entry.key, blob);  // a later entry with the same key wins
    }
    map_ = map;
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
