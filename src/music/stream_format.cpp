#include "music/stream_format.h"

#include <QFile>
#include <QFileInfo>

namespace kf::music {

namespace {
constexpr int kHeadBytes = 64;
}

StreamFormat formatOfHead(const QByteArray& head) {
    const auto byte = [&](int i) { return i < head.size() ? quint8(head.at(i)) : 0; };
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WAVE") {
        return StreamFormat::Wav;
    }
    if (head.startsWith("fLaC")) {
        return StreamFormat::Flac;
    }
    if (head.startsWith("OggS")) {
        return StreamFormat::Ogg;
    }
    // An ID3v2 tag, or an MPEG audio frame header: 11 sync bits and a layer other than 0.
    if (head.startsWith("ID3") || (byte(0) == 0xFF && (byte(1) & 0xE0) == 0xE0 && (byte(1) & 0x06) != 0)) {
        return StreamFormat::Mp3;
    }
    return StreamFormat::Unknown;
}

StreamFormat detectStreamFormat(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("no such file: %1").arg(path);
        return StreamFormat::Unknown;
    }
    if (!info.isFile()) {
        *error = QStringLiteral("not a regular file: %1").arg(path);
        return StreamFormat::Unknown;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return StreamFormat::Unknown;
    }
    const StreamFormat format = formatOfHead(file.read(kHeadBytes));
    if (format == StreamFormat::Unknown) {
        *error = QStringLiteral("not a WAV, MP3, FLAC or Ogg file: %1").arg(path);
    }
    return format;
}

QString formatName(StreamFormat format) {
    switch (format) {
        case StreamFormat::Mp3:
            return QStringLiteral("MP3");
        case StreamFormat::Ogg:
            return QStringLiteral("Ogg");
        case StreamFormat::Wav:
            return QStringLiteral("WAV");
        case StreamFormat::Flac:
            return QStringLiteral("FLAC");
        case StreamFormat::Unknown:
        case StreamFormat::Detect:
            break;
    }
    return QStringLiteral("unknown");
}

}  // namespace kf::music
