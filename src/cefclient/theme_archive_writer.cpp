#include "cefclient/theme_archive_writer.h"

#include <lzma.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <cstring>
#include <limits>

namespace ta = theme_archive;

namespace {

bool setError(QString* error, const QString& text) {
    if (error != nullptr) {
        *error = text;
    }
    return false;
}

QByteArray payloadFor(const ta::Contents& contents) {
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << contents.name << quint32(contents.files.size());
    for (const ta::File& file : contents.files) {
        out << file.path << quint32(file.data.size()) << file.data;
    }
    return payload;
}

// Raw LZMA1 encoding of `in`; the 5 property bytes go to `properties`.
bool compress(const QByteArray& in, const ThemeArchiveOptions& options, char* properties, QByteArray* out,
              QString* error) {
    lzma_options_lzma lzma;
    if (lzma_lzma_preset(&lzma, uint32_t(qBound(0, options.preset, 9)))) {
        return setError(error, QStringLiteral("unsupported LZMA preset %1").arg(options.preset));
    }
    lzma.ext_flags = 0;  // with LZMA1EXT: no end marker
    lzma.ext_size_low = 0;
    lzma.ext_size_high = 0;
    lzma_filter filters[2];
    filters[0].id = LZMA_FILTER_LZMA1;
    filters[0].options = &lzma;
    filters[1].id = LZMA_VLI_UNKNOWN;
    filters[1].options = nullptr;
    if (lzma_properties_encode(&filters[0], reinterpret_cast<uint8_t*>(properties)) != LZMA_OK) {
        return setError(error, QStringLiteral("cannot encode LZMA properties"));
    }
    if (!options.endMarker) {
        filters[0].id = LZMA_FILTER_LZMA1EXT;
    }
    // Incompressible data grows a little; retry with more room in the rare case it is not enough.
    qint64 room = in.size() + in.size() / 8 + 4096;
    for (int attempt = 0; attempt < 4; ++attempt, room *= 2) {
        if (room > std::numeric_limits<int>::max() - 64) {
            break;
        }
        QByteArray buffer(int(room), Qt::Uninitialized);
        size_t outPos = 0;
        const lzma_ret ret = lzma_raw_buffer_encode(
            filters, nullptr, reinterpret_cast<const uint8_t*>(in.constData()), size_t(in.size()),
            reinterpret_cast<uint8_t*>(buffer.data()), &outPos, size_t(buffer.size()));
        if (ret == LZMA_OK) {
            buffer.truncate(int(outPos));
            *out = buffer;
            return true;
        }
        if (ret != LZMA_BUF_ERROR) {
            return setError(error, QStringLiteral("LZMA encoder failed (liblzma error %1)").arg(int(ret)));
        }
    }
    return setError(error, QStringLiteral("LZMA output does not fit in memory"));
}

}  // namespace

QByteArray buildThemeArchive(const ta::Contents& contents, const ThemeArchiveOptions& options,
                             QString* error) {
    for (const ta::File& file : contents.files) {
        if (!ta::isSafeRelativePath(file.path)) {
            setError(error, QStringLiteral("unsafe path \"%1\"").arg(file.path));
            return QByteArray();
        }
    }
    ThemeArchiveOptions withText = options;
    if (withText.text.isEmpty()) {
        withText.text = QStringLiteral("Kestrafon theme archive\nname: %1\n").arg(contents.name);
    }
    return buildThemeArchiveFromPayload(payloadFor(contents), withText, error);
}

QByteArray buildThemeArchiveFromPayload(const QByteArray& payload, const ThemeArchiveOptions& options,
                                        QString* error) {
    if (quint64(payload.size()) > ta::kMaxPayloadSize) {
        setError(error, QStringLiteral("payload of %1 bytes exceeds the limit").arg(payload.size()));
        return QByteArray();
    }
    char properties[ta::kPropertiesSize];
    QByteArray stream;
    if (!compress(payload, options, properties, &stream, error)) {
        return QByteArray();
    }

    char head[ta::kStreamOffset] = {};
    const QByteArray text =
        options.text.isEmpty() ? QByteArrayLiteral("Kestrafon theme archive\n") : options.text.toUtf8();
    std::memcpy(head, text.constData(), size_t(qMin(text.size(), ta::kTextSize - 1)));
    std::memcpy(head + ta::kPropertiesOffset, properties, ta::kPropertiesSize);
    qToLittleEndian<quint32>(quint32(payload.size()), head + ta::kPayloadSizeOffset);
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(head + ta::kPropertiesOffset, ta::kStreamOffset - ta::kPropertiesOffset);
    sha1.addData(stream);
    std::memcpy(head + ta::kDigestOffset, sha1.result().constData(), ta::kDigestSize);
    QByteArray archive;
    archive.reserve(ta::kStreamOffset + stream.size());
    archive.append(head, ta::kStreamOffset);
    archive.append(stream);
    return archive;
}

bool writeThemeArchive(const QString& dir, const QString& outPath, const QString& name, QString* error) {
    if (!QFileInfo(dir).isDir()) {
        return setError(error, QStringLiteral("%1 is not a folder").arg(dir));
    }
    ta::Contents contents;
    contents.name = name;
    const QDir root(QFileInfo(dir).absoluteFilePath());
    QStringList files;
    QDirIterator it(root.path(), QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files.append(root.relativeFilePath(it.next()));
    }
    files.sort();
    for (const QString& relative : qAsConst(files)) {
        QFile file(dir + QLatin1Char('/') + relative);
        if (!file.open(QIODevice::ReadOnly)) {
            return setError(error,
                            QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        }
        contents.files.append({relative, file.readAll()});
        if (contents.files.last().data.size() != file.size()) {
            return setError(error, QStringLiteral("short read from %1").arg(file.fileName()));
        }
    }
    const QByteArray archive = buildThemeArchive(contents, ThemeArchiveOptions(), error);
    if (archive.isEmpty()) {
        return false;
    }
    QDir().mkpath(QFileInfo(outPath).absolutePath());
    QSaveFile out(outPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(archive) != archive.size() || !out.commit()) {
        return setError(error, QStringLiteral("cannot write %1: %2").arg(outPath, out.errorString()));
    }
    return true;
}
