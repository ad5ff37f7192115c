#pragma once
// The compressed theme archive ("theme.dat"; client update packages use the same format).
//
// File layout (integers little-endian):
//   0    128  free text, not read
//   128  20   SHA-1 of every byte from offset 148 to the end of the file
//   148  5    LZMA properties (lc/lp/pb byte, dictionary size)
//   153  4    size of the uncompressed payload
//   157  rest raw LZMA1 stream, at least one byte, with or without an end marker
// The payload is a QDataStream in its default (big-endian) format: a package name (QString),
// a quint32 file count, then per file a QString relative path with "/" separators, a quint32
// length and a QByteArray of exactly that length.
#include <QByteArray>
#include <QString>
#include <QVector>

namespace theme_archive {

constexpr int kTextSize = 128;
constexpr int kDigestOffset = 128;
constexpr int kDigestSize = 20;
constexpr int kPropertiesOffset = 148;
constexpr int kPropertiesSize = 5;
constexpr int kPayloadSizeOffset = 153;
constexpr int kStreamOffset = 157;
// Payloads above this are refused before anything is allocated for them; theme data and client
// updates are a few MiB.
constexpr quint32 kMaxPayloadSize = 256u * 1024 * 1024;

struct File {
    QString path;  // relative, "/" separators
    QByteArray data;
};

struct Contents {
    QString name;  // the package name stored in the payload
    QVector<File> files;
};

// Checks the digest, decompresses and parses an archive held in memory. False (with a reason
// in *error when given) on any fault; *out is only filled on success.
bool decode(const QByteArray& archive, Contents* out, QString* error = nullptr);

// Reads the whole file at path and decodes it.
bool readFile(const QString& path, Contents* out, QString* error = nullptr);

// True for a path that stays inside the folder it is written to: not empty, not absolute
// (no leading "/" or "\", no drive letter), no ".." part (with "/" or "\" as separators), no
// NUL, and ending in a file name.
bool isSafeRelativePath(const QString& path);

// Writes every file under folder + "/" + path, creating missing folders. All paths are checked
// first (isSafeRelativePath, and no existing symbolic link on the way below folder), so a
// refused archive writes nothing.
bool writeFiles(const Contents& contents, const QString& folder, QString* error = nullptr);

// Reads appDir + "/" + name and writes its files under targetFolder (under appDir when
// targetFolder is empty). A damaged archive or an unsafe path writes nothing and returns false.
bool unpack(const QString& appDir, const QString& name, const QString& targetFolder,
            QString* error = nullptr);

}  // namespace theme_archive
