#include "cefclient/theme_archive.h"

#include <lzma.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cstdlib>

namespace theme_archive {

namespace {

bool setError(QString* error, const QString& text) {
    if (error != nullptr) {
        *error = text;
    }
    return false;
}

// Decodes the raw LZMA1 stream into exactly `size` bytes. The stream may end with an end
// marker (our writer and xz put one there) or stop at the stated size (as the LZMA SDK's
// one-call encoder leaves it); both are accepted, nothing else is.
bool decompress(const char* properties, quint32 size, const char* stream, qint64 streamSize, QByteArray* out,
                QString* error) {
    lzma_filter filters[2];
    filters[0].id = LZMA_FILTER_LZMA1;
    filters[0].options = nullptr;
    filters[1].id = LZMA_VLI_UNKNOWN;
    filters[1].options = nullptr;
    if (lzma_properties_decode(&filters[0], nullptr, reinterpret_cast<const uint8_t*>(properties),
                               kPropertiesSize) != LZMA_OK) {
        return setError(error, QStringLiteral("invalid LZMA properties"));
    }
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    // A dictionary larger than the whole output is never used; capping it keeps a forged
    // dictionary size from allocating gigabytes.
    options->dict_size = qMax<uint32_t>(LZMA_DICT_SIZE_MIN, qMin<uint32_t>(options->dict_size, size));
    filters[0].id = LZMA_FILTER_LZMA1EXT;
    options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options->ext_size_low = size;
    options->ext_size_high = 0;

    QByteArray result(int(size), Qt::Uninitialized);
    size_t inPos = 0;
    size_t outPos = 0;
    const lzma_ret ret =
        lzma_raw_buffer_decode(filters, nullptr, reinterpret_cast<const uint8_t*>(stream), &inPos,
                               size_t(streamSize), reinterpret_cast<uint8_t*>(result.data()), &outPos, size);
    std::free(options);
    if (ret != LZMA_OK) {
        return setError(error, QStringLiteral("LZMA stream is damaged (liblzma error %1)").arg(int(ret)));
    }
    if (outPos != size) {
        return setError(error,
                        QStringLiteral("LZMA stream holds %1 bytes, header says %2").arg(outPos).arg(size));
    }
    *out = result;
    return true;
}

bool parsePayload(const QByteArray& payload, Contents* out, QString* error) {
    QDataStream in(payload);
    Contents contents;
    quint32 count = 0;
    in >> contents.name >> count;
    if (in.status() != QDataStream::Ok) {
        return setError(error, QStringLiteral("payload header is damaged"));
    }
    // No reserve(count): the count is untrusted, and every file needs at least 12 payload bytes,
    // so a false count ends in a stream error long before memory matters.
    for (quint32 i = 0; i < count; ++i) {
        File file;
        quint32 length = 0;
        in >> file.path >> length >> file.data;
        if (in.status() != QDataStream::Ok) {
            return setError(error, QStringLiteral("file %1 of %2: payload is damaged").arg(i).arg(count));
        }
        if (quint32(file.data.size()) != length) {
            return setError(error, QStringLiteral("file %1 (%2): %3 bytes, length says %4")
                                       .arg(i)
                                       .arg(file.path)
                                       .arg(file.data.size())
                                       .arg(length));
        }
        contents.files.append(file);
    }
    *out = contents;
    return true;
}

// True when some existing part of folder + "/" + path below folder is a symbolic link, which
// would send the write somewhere else.
bool passesSymlink(const QString& folder, const QString& path) {
    QString current = folder;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        current += QLatin1Char('/') + part;
        const QFileInfo info(current);
        if (info.isSymLink()) {
            return true;
        }
        if (!info.exists()) {
            return false;
        }
    }
    return false;
}

}  // namespace

bool decode(const QByteArray& archive, Contents* out, QString* error) {
    if (archive.size() <= kStreamOffset) {
        return setError(error, QStringLiteral("archive too short (%1 bytes)").arg(archive.size()));
    }
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(archive.constData() + kPropertiesOffset, archive.size() - kPropertiesOffset);
    if (sha1.result() != QByteArray::fromRawData(archive.constData() + kDigestOffset, kDigestSize)) {
        return setError(error, QStringLiteral("digest mismatch"));
    }
    const quint32 size = qFromLittleEndian<quint32>(archive.constData() + kPayloadSizeOffset);
    if (size > kMaxPayloadSize) {
        return setError(error, QStringLiteral("payload size %1 exceeds the limit").arg(size));
    }
    QByteArray payload;
    if (!decompress(archive.constData() + kPropertiesOffset, size, archive.constData() + kStreamOffset,
                    archive.size() - kStreamOffset, &payload, error)) {
        return false;
    }
    return parsePayload(payload, out, error);
}

bool readFile(const QString& path, Contents* out, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return setError(error, QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    }
    if (file.size() > qint64(kMaxPayloadSize)) {
        return setError(error, QStringLiteral("%1 is too large").arg(path));
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size()) {
        return setError(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    }
    return decode(bytes, out, error);
}

bool isSafeRelativePath(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(0))) {
        return false;
    }
    const QChar first = path.at(0);
    if (first == QLatin1Char('/') || first == QLatin1Char('\\')) {
        return false;
    }
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':') && first.isLetter()) {
        return false;  // "C:..." names a drive on the system the archive may come from
    }
    QString normalised = path;
    normalised.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = normalised.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part == QLatin1String("..")) {
            return false;
        }
    }
    const QString& last = parts.last();
    return !last.isEmpty() && last != QLatin1String(".");
}

bool writeFiles(const Contents& contents, const QString& folder, QString* error) {
    for (const File& file : contents.files) {
        if (!isSafeRelativePath(file.path)) {
            return setError(error, QStringLiteral("refused unsafe path \"%1\"").arg(file.path));
        }
        if (passesSymlink(folder, file.path)) {
            return setError(
                error, QStringLiteral("refused \"%1\": it leads through a symbolic link").arg(file.path));
        }
    }
    for (const File& file : contents.files) {
        const QString target = folder + QLatin1Char('/') + file.path;
        const QString parent = target.left(target.lastIndexOf(QLatin1Char('/')));
        if (!QDir().mkpath(parent)) {
            return setError(error, QStringLiteral("cannot create folder %1").arg(parent));
        }
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return setError(error, QStringLiteral("cannot open %1: %2").arg(target, out.errorString()));
        }
        if (out.write(file.data) != file.data.size() || !out.flush()) {
            return setError(error, QStringLiteral("cannot write %1: %2").arg(target, out.errorString()));
        }
        out.close();
    }
    return true;
}

bool unpack(const QString& appDir, const QString& name, const QString& targetFolder, QString* error) {
    Contents contents;
    if (!readFile(appDir + QLatin1Char('/') + name, &contents, error)) {
        return false;
    }
    return writeFiles(contents, targetFolder.isEmpty() ? appDir : targetFolder, error);
}

}  // namespace theme_archive
