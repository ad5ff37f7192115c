#include "music/tag_reader.h"

#include <flacfile.h>
#include <infotag.h>
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

// The leading digits of a text ("2024-05-01" gives "2024"); empty without any.
QString leadingNumber(const QString& text) {
    int n = 0;
    while (n < text.size() && text.at(n).isDigit()) {
        ++n;
    }
    return text.left(n);
}

// A WAV file's tags are usually a RIFF INFO list rather than an ID3v2 chunk. Every field the
// ID3v2 tag leaves empty is taken from the INFO tag's field of the same meaning.
void fillFromInfoTag(const TagLib::RIFF::Info::Tag& info, TagRecord* tags) {
    const auto field = [&info](const char* id) { return text(info.fieldText(TagLib::ByteVector(id, 4))); };
    const struct {
        QString TagRecord::*member;
        std::initializer_list<const char*> ids;
    } fields[] = {
        {&TagRecord::title, {"INAM"}},     {&TagRecord::artist, {"IART"}},
        {&TagRecord::album, {"IPRD"}},     {&TagRecord::comment, {"ICMT"}},
        {&TagRecord::genre, {"IGNR"}},     {&TagRecord::trackNumber, {"ITRK", "IPRT"}},
        {&TagRecord::copyright, {"ICOP"}}, {&TagRecord::encoder, {"ISFT", "ITCH"}},
    };
    for (const auto& f : fields) {
        QString& value = tags->*f.member;
        for (const char* id : f.ids) {
            if (value.isEmpty()) {
                value = field(id);
            }
        }
    }
    if (tags->year.isEmpty()) {
        tags->year = leadingNumber(field("ICRD"));
    }
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
    if (const auto* wav = dynamic_cast<const TagLib::RIFF::WAV::File*>(file.get());
        wav && wav->hasInfoTag()) {
        fillFromInfoTag(*wav->InfoTag(), tags);
    }

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
