#include "music/tag_reader.h"

#include <flacfile.h>
#include <mpegfile.h>
#include <oggflacfile.h>
#include <opusfile.h>
#include <tpropertymap.h>
#include <vorbisfile.h>
#include <wavfile.h>
#include <QFile>

#include <initializer_list>
#include <memory>

#include "music/stream_format.h"

namespace kf::music {

namespace {

QString text(const TagLib::String& s) {
    return QString::fromUtf8(s.toCString(true));
}

QString number(unsigned int n) {
    return n ? QString::number(n) : QString();
}

// The first value of the first of `keys` that the file has.
QString property(const TagLib::PropertyMap& map, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const auto it = map.find(key);
        if (it != map.end() && !it->second.isEmpty()) {
            return text(it->second.front());
        }
    }
    return QString();
}

std::unique_ptr<TagLib::File> openTagFile(const QByteArray& name, StreamFormat format) {
    std::unique_ptr<TagLib::File> file;
    switch (format) {
        case StreamFormat::Mp3:
            file = std::make_unique<TagLib::MPEG::File>(name.constData());
            break;
        case StreamFormat::Wav:
            file = std::make_unique<TagLib::RIFF::WAV::File>(name.constData());
            break;
        case StreamFormat::Flac:
            file = std::make_unique<TagLib::FLAC::File>(name.constData());
            break;
        case StreamFormat::Ogg:
            // Ogg carries Vorbis, Opus or FLAC: the first reader that accepts the file wins.
            file = std::make_unique<TagLib::Ogg::Vorbis::File>(name.constData());
            if (!file->isValid()) {
                file = std::make_unique<TagLib::Ogg::Opus::File>(name.constData());
            }
            if (!file->isValid()) {
                file = std::make_unique<TagLib::Ogg::FLAC::File>(name.constData());
            }
            break;
        case StreamFormat::Unknown:
        case StreamFormat::Detect:
            break;
    }
    return file;
}

}  // namespace

bool readStreamFacts(const QString& path, StreamFormat format, TagRecord* tags, StreamInfo* info,
                     QString* error) {
    const std::unique_ptr<TagLib::File> file = openTagFile(QFile::encodeName(path), format);
    if (!file || !file->isValid()) {
        *error = QStringLiteral("not a valid %1 file: %2").arg(formatName(format), path);
        return false;
    }
    *tags = TagRecord{};
    if (const TagLib::Tag* tag = file->tag()) {
        tags->title = text(tag->title());
        tags->artist = text(tag->artist());
        tags->album = text(tag->album());
        tags->year = number(tag->year());
        tags->comment = text(tag->comment());
        tags->trackNumber = number(tag->track());
        tags->genre = text(tag->genre());
    }
    const TagLib::PropertyMap map = file->properties();
    tags->albumArtist = property(map, {"ALBUMARTIST"});
    tags->composer = property(map, {"COMPOSER"});
    tags->originalArtist = property(map, {"ORIGINALARTIST"});
    tags->copyright = property(map, {"COPYRIGHT"});
    tags->url = property(map, {"URL", "FILEWEBPAGE", "ARTISTWEBPAGE"});
    tags->encoder = property(map, {"ENCODEDBY", "ENCODER", "ENCODING"});
    tags->publisher = property(map, {"LABEL", "PUBLISHER", "ORGANIZATION"});

    *info = StreamInfo{};
    if (const TagLib::AudioProperties* audio = file->audioProperties()) {
        info->sampleRate = audio->sampleRate();
        info->channels = audio->channels();
        info->bitrate = audio->bitrate();
        info->length.ms = audio->lengthInMilliseconds();
    }
    return true;
}

}  // namespace kf::music
