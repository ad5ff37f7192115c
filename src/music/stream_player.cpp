#include "music/stream_player.h"

#include <QDebug>
#include <algorithm>

#include "music/stream_format.h"
#include "music/tag_reader.h"

namespace kf::music {

namespace {
constexpr qint64 kRate = DecodedPcm::kSampleRate;

qint64 framesToMs(qint64 frames) {
    return frames * 1000 / kRate;
}
}  // namespace

std::unique_ptr<Player> createPlayer() {
    return std::make_unique<StreamPlayer>(platform::createAudioSink());
}

StreamPlayer::StreamPlayer(std::unique_ptr<platform::AudioSink> sink, QObject* parent)
    : QObject(parent), sink_(std::move(sink)) {
    connect(sink_.get(), &platform::AudioSink::finished, this, [this] {
        if (state_ == State::Playing) {
            state_ = State::Ended;
        }
    });
    connect(sink_.get(), &platform::AudioSink::failed, this, [this](const QString& why) {
        fail(QStringLiteral("the audio output failed while playing %1: %2").arg(path_, why));
    });
    connect(&decoder_, &PcmDecoder::finished, this,
            [this](const QString& error) {
                if (error.isEmpty()) {
                    return;
                }
                if (pcm_.frames() == 0) {
                    fail(QStringLiteral("cannot decode %1: %2").arg(path_, error));
                    open_ = false;
                } else {
                    qWarning().noquote()
                        << QStringLiteral("decoding %1 stopped early, it ends there: %2").arg(path_, error);
                }
            });
}

StreamPlayer::~StreamPlayer() {
    sink_->stop();
    decoder_.stop();
}

qint64 StreamPlayer::toFrames(TimeFormat format, qint64 time) {
    return format == TimeFormat::Seconds ? time * kRate : time * kRate / 1000;
}

void StreamPlayer::fail(const QString& why) {
    error_ = why;
    qWarning().noquote() << why;
    sink_->stop();
    state_ = State::Stopped;
}

void StreamPlayer::close() {
    sink_->stop();
    decoder_.stop();
    pcm_.samples.clear();
    pcm_.samples.shrink_to_fit();
    pcm_.complete = false;
    cursor_.moveTo(0);
    state_ = State::Stopped;
    open_ = false;
    tags_ = TagRecord{};
    info_ = StreamInfo{};
}

bool StreamPlayer::openFile(const QString& path, StreamFormat format) {
    close();
    path_ = path;
    const StreamFormat found = detectStreamFormat(path, &error_);
    if (found == StreamFormat::Unknown) {
        return false;
    }
    if (format != StreamFormat::Detect && format != found) {
        error_ = QStringLiteral("%1 is a %2 file, not %3").arg(path, formatName(found), formatName(format));
        return false;
    }
    if (!readStreamFacts(path, found, &tags_, &info_, &error_)) {
        return false;
    }
    open_ = true;
    decoder_.start(path, info_.length.ms * kRate / 1000);
    return true;
}

StreamInfo StreamPlayer::streamInfo() const {
    StreamInfo info = info_;
    // Once decoded the length is exact; before, it is what the file's headers say (an estimate
    // for MP3 files without a frame index).
    if (pcm_.complete && pcm_.frames() > 0) {
        info.length.ms = framesToMs(pcm_.frames());
    }
    return info;
}

bool StreamPlayer::startOutput() {
    cursor_.restartOutput();
    if (!sink_->start(this)) {
        fail(QStringLiteral("cannot play %1: %2").arg(path_, sink_->errorText()));
        return false;
    }
    state_ = State::Playing;
    return true;
}

bool StreamPlayer::play() {
    if (!open_) {
        error_ = QStringLiteral("no file is open");
        return false;
    }
    switch (state_) {
        case State::Playing:
            return true;
        case State::Paused:
            return resume();
        case State::Ended:
            cursor_.moveTo(0);
            break;
        case State::Stopped:
            break;
    }
    return startOutput();
}

bool StreamPlayer::playLoop(TimeFormat format, qint64 start, qint64 end, int cycles, bool continueAfter) {
    if (!open_) {
        error_ = QStringLiteral("no file is open");
        return false;
    }
    if (!cursor_.loop(toFrames(format, start), toFrames(format, end), cycles, continueAfter)) {
        error_ = QStringLiteral("no range to loop");
        return false;
    }
    return startOutput();
}

bool StreamPlayer::seek(TimeFormat format, qint64 time, SeekMethod method) {
    if (!open_) {
        error_ = QStringLiteral("no file is open");
        return false;
    }
    qint64 target = toFrames(format, time);
    if (method == SeekMethod::Forward) {
        target = streamFramePlayed() + target;
    } else if (method == SeekMethod::Backward) {
        target = streamFramePlayed() - target;
    }
    const bool wasPlaying = state_ == State::Playing;
    sink_->stop();
    cursor_.moveTo(target);
    if (state_ == State::Ended) {
        state_ = State::Stopped;
    }
    // What the output had buffered is dropped; a paused player starts it again on resume.
    return wasPlaying ? startOutput() : true;
}

bool StreamPlayer::stop() {
    sink_->stop();
    cursor_.moveTo(0);
    state_ = State::Stopped;
    return true;
}

bool StreamPlayer::pause() {
    if (state_ != State::Playing) {
        return false;
    }
    sink_->suspend();
    state_ = State::Paused;
    return true;
}

bool StreamPlayer::resume() {
    if (state_ != State::Paused) {
        return false;
    }
    if (!sink_->running()) {
        return startOutput();
    }
    sink_->resume();
    state_ = State::Playing;
    return true;
}

qint64 StreamPlayer::streamFramePlayed() const {
    if (state_ == State::Ended) {
        return pcm_.frames();
    }
    return sink_->running() ? cursor_.streamFrameAt(sink_->playedFrames()) : cursor_.streamFrame();
}

PlayTime StreamPlayer::position() const {
    return PlayTime{framesToMs(streamFramePlayed())};
}

bool StreamPlayer::setMasterVolume(int left, int right) {
    cursor_.setMasterVolume({left, right});
    return true;
}

bool StreamPlayer::setPlayerVolume(int left, int right) {
    cursor_.setPlayerVolume({left, right});
    return true;
}

void StreamPlayer::playerVolume(int* left, int* right) const {
    const Volume v = cursor_.playerVolume();
    *left = v.left;
    *right = v.right;
}

PlayerStatus StreamPlayer::status() const {
    PlayerStatus s;
    s.playing = state_ == State::Playing;
    s.paused = state_ == State::Paused;
    s.loopsLeft = cursor_.loopsLeft();
    return s;
}

bool StreamPlayer::slideVolume(TimeFormat format, qint64 startTime, int startLeft, int startRight,
                               qint64 endTime, int endLeft, int endRight) {
    cursor_.slide(toFrames(format, startTime), {startLeft, startRight}, toFrames(format, endTime),
                  {endLeft, endRight});
    return true;
}

bool StreamPlayer::spectrum(int points, FftWindow window, SpectrumBins* left, SpectrumBins* right) {
    left->fill(0);
    right->fill(0);
    if (state_ != State::Playing && state_ != State::Paused) {
        return false;
    }
    // The window is centred on the play position.
    points = std::min(points, kSpectrumPoints);
    const qint64 first = std::max<qint64>(0, streamFramePlayed() - points / 2);
    const qint64 available = std::clamp<qint64>(pcm_.frames() - first, 0, points);
    const qint16* frames = available > 0 ? pcm_.samples.data() + 2 * first : nullptr;
    return analyser_.analyse(frames, int(available), points, window, scale_, channels_, left, right);
}

bool StreamPlayer::setSetting(Setting setting, int value) {
    switch (setting) {
        case Setting::SpectrumScale:
            if (value != int(SpectrumScale::Linear) && value != int(SpectrumScale::Decibel)) {
                return false;
            }
            scale_ = SpectrumScale(value);
            return true;
        case Setting::SpectrumChannels:
            if (value != int(SpectrumChannels::Apart) && value != int(SpectrumChannels::Mixed)) {
                return false;
            }
            channels_ = SpectrumChannels(value);
            return true;
    }
    return false;
}

int StreamPlayer::query(Query what) const {
    return what == Query::SpectrumPoints ? kSpectrumPoints : 0;
}

bool StreamPlayer::loadTags(TagRecord* tags) {
    if (!open_) {
        return false;
    }
    *tags = tags_;
    return true;
}

qint64 StreamPlayer::readFrames(qint16* out, qint64 frames) {
    return cursor_.read(out, frames);
}

}  // namespace kf::music
