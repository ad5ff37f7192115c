#pragma once
// The page resource pack ("theme.pak"): a "DBPAK" file whose entry table and blobs are stored
// with every byte shifted by a constant. The whole pack is read into memory once, so requests
// for page resources are answered without touching the disk.
//
// File layout (integers little-endian):
//   0   6  "DBPAK\0"            12  4  signed entry count, > 0
//   6   4  "1.0\0"              16  1  direction flag (non-zero: unshift by subtracting k)
//   10  2  unused               17  1  shift value k
//   18  2  unused               20  208 * count entry records, shifted
// Entry record after unshifting: 0..49 unused, 50..199 name (UTF-8, NUL-terminated), 200 size,
// 204 offset of the blob from the start of the file. Blobs are shifted the same way.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

namespace resource_pack_format {
constexpr int kHeaderSize = 20;
constexpr int kRecordSize = 208;
constexpr int kNameOffset = 50;
constexpr int kNameCapacity = 150;  // including the terminating zero byte
constexpr int kSizeOffset = 200;
constexpr int kDataOffsetOffset = 204;
constexpr int kCountOffset = 12;
constexpr int kDirectionOffset = 16;
constexpr int kShiftOffset = 17;
constexpr char kMagic[] = "DBPAK";  // compared with its zero byte
constexpr char kVersion[] = "1.0";  // compared with its zero byte

// The amount added to every stored byte to recover the original: -k when the direction flag
// is set, +k otherwise (modulo 256).
inline quint8 unshiftDelta(bool subtract, quint8 k) {
    return subtract ? quint8(256 - k) : k;
}

// Adds `delta` to every byte of src and stores the result in dst (dst may equal src).
void unshift(const char* src, char* dst, qint64 length, quint8 delta);

// The pack's base name: the file name after the last "/" without its last 4 characters.
QString baseNameForPath(const QString& path);
}  // namespace resource_pack_format

struct ResourcePackEntry {
    QString name;  // as stored, e.g. "theme/black/client.html"
    QString key;   // lookup key derived from the name, e.g. "black/client.html"; empty if none
    quint32 size = 0;
    quint32 offset = 0;
};

// Filled once by load(); after that only read, so lookups from other threads are safe as long
// as nothing loads again meanwhile.
class ResourcePack {
public:
    // Replaces the map and the entry list with the content of the file at path. On any fault
    // (unreadable file, bad header, an entry table or blob that runs past the end of the file,
    // an entry name without its terminating zero, entries whose data adds up to more than the
    // file) the pack ends up empty and false is returned.
    bool load(const QString& path);
    QByteArray lookup(const QString& key) const;  // empty when missing
    bool contains(const QString& key) const;
    bool isLoaded() const { return loaded_; }
    QString baseName() const { return baseName_; }  // "theme" for ".../theme.pak"
    int size() const { return map_.size(); }        // number of keys in the map

    QString path() const { return path_; }
    QByteArray header() const { return header_; }  // the 20 header bytes of the loaded file
    const QVector<ResourcePackEntry>& entries() const { return entries_; }
    QStringList keys() const { return map_.keys(); }
    // Why the last load failed; empty after a successful load.
    QString errorString() const { return error_; }

private:
    bool fail(const QString& why);

    QString path_;
    QString baseName_;
    QString error_;
    QByteArray header_;
    QVector<ResourcePackEntry> entries_;
    QMap<QString, QByteArray> map_;
    bool loaded_ = false;
};
