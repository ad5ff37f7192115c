#pragma once
// The digest of an unpacked client update: SHA-256 over its files in the byte order of their
// relative paths (UTF-8), each as the path, a zero byte, the size as 8 bytes big-endian and the
// content. The client computes it over the files it unpacked from a verified package; the
// Updater recomputes it over what it copied and installs nothing when the two differ. Written as
// 64 lower-case hexadecimal digits.
#include <QByteArray>
#include <QCryptographicHash>
#include <QString>
#include <QVector>

namespace kf::update {

// Feeds the files one after another, in path order.
class UpdateDigest {
public:
    UpdateDigest() : hash_(QCryptographicHash::Sha256) {}
    void beginFile(const QString& relativePath, quint64 size);
    void addData(const char* data, qint64 size) { hash_.addData(data, int(size)); }
    QString hex() const { return QString::fromLatin1(hash_.result().toHex()); }

private:
    QCryptographicHash hash_;
};

// The digest of (relative path, content) pairs; a path given twice counts with its last content.
QString updateDigest(const QVector<QPair<QString, QByteArray>>& files);

// True for 64 hexadecimal digits.
bool isUpdateDigest(const QString& text);

}  // namespace kf::update
