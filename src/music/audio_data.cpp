#include "music/audio_data.h"

#include <QDebug>
#include <QElapsedTimer>

#include "music/indented_json.h"

using kf::music::FftWindow;
using kf::music::PlayTime;
using kf::music::Query;
using kf::music::Setting;
using kf::music::TimeFormat;

namespace {
// Volume texts from the page: decimal integers, anything else reads as 0.
int volumeValue(const QString& text) {
    return text.trimmed().toInt();
}
}  // namespace

AudioData::AudioData(std::unique_ptr<kf::music::Player> player, QObject* parent)
    : QObject(parent), player_(std::move(player)) {
    player_->setSetting(Setting::SpectrumScale, int(kf::music::SpectrumScale::Decibel));
    player_->setSetting(Setting::SpectrumChannels, int(kf::music::SpectrumChannels::Apart));
    timer_.setInterval(interval_);
    connect(&timer_, &QTimer::timeout, this, &AudioData::refreshDatas);
    clock_ = [] {
        static QElapsedTimer clock = [] {
            QElapsedTimer t;
            t.start();
            return t;
        }();
        return clock.elapsed();
    };
}

AudioData::~AudioData() {
    timer_.stop();
    player_->stop();
}

QString AudioData::clockText(const PlayTime& time) {
    return QStringLiteral("%1:%2")
        .arg(time.minutes(), 2, 10, QLatin1Char('0'))
        .arg(time.seconds(), 2, 10, QLatin1Char('0'));
}

void AudioData::setPlaying(bool playing) {
    playing_ = playing;
    emit isPlayingChanged();
}

void AudioData::park() {
    timer_.stop();
    rotate_ += parkedTicks();
    parked_ = true;
    parkedAt_ = clock_();
}

int AudioData::parkedTicks() const {
    return parked_ ? int(qMax<qint64>(0, clock_() - parkedAt_) / interval_) : 0;
}

void AudioData::unpark(bool restart) {
    if (!parked_) {
        return;
    }
    rotate_ += parkedTicks();
    parked_ = false;
    if (restart) {
        timer_.start();
    }
}

int AudioData::rotate() const {
    return rotate_ + parkedTicks();
}

void AudioData::SetSource(const QString& source) {
    source_ = source;
    if (!player_->openFile(source, kf::music::StreamFormat::Detect)) {
        qWarning().noquote() << "file open failed" << player_->errorText();
    }
}

void AudioData::setSourceHTTP(const QString&) {}

void AudioData::SetMute(const QString& L, const QString& R) {
    player_->setMasterVolume(volumeValue(L), volumeValue(R));
}

void AudioData::SetPlayerVolume(const QString& L, const QString& R) {
    player_->setPlayerVolume(volumeValue(L), volumeValue(R));
}

void AudioData::PlayMusic() {
    unpark(false);
    player_->play();
    timer_.start();
    // Without an output to play on (or a file) the player stays stopped, and says so here.
    setPlaying(player_->status().playing);
}

void AudioData::pauseMusic() {
    unpark(false);
    player_->pause();
    timer_.stop();
    setPlaying(false);
}

void AudioData::stopMusic() {
    unpark(false);
    player_->stop();
    timer_.stop();
    setPlaying(false);
}

void AudioData::ResumeMusic() {
    unpark(false);
    player_->setPlayerVolume(0, 0);
    const qint64 at = player_->position().ms / 1000;
    // Fades in over five seconds from where the music stands.
    player_->slideVolume(TimeFormat::Seconds, at, 20, 20, at + 5, 80, 80);
    player_->resume();
    timer_.start();
    setPlaying(player_->status().playing);
}

void AudioData::PlayLoopMusic() {
    player_->playLoop(TimeFormat::Milliseconds, 0, 5000, 100, true);
    // A loop started after the end plays to a refresh that never stopped.
    unpark(true);
}

void AudioData::seekPosition(int ms) {
    player_->seek(TimeFormat::Milliseconds, ms, kf::music::SeekMethod::FromBeginning);
}

QString AudioData::musicInfo() {
    player_->loadTags(&tags_);
    info_ = player_->streamInfo();
    player_->playerVolume(&volumeLeft_, &volumeRight_);
    // The length in milliseconds, the unit of "Position" and of the page's "SeekPosition".
    seekTime_ = info_.length.ms;

    kf::music::IndentedJsonObject info;
    info.addText("Title", tags_.title);
    info.addText("Artist", tags_.artist);
    info.addText("Album", tags_.album);
    info.addText("Year", tags_.year);
    info.addText("Comment", tags_.comment);
    info.addText("TrackNum", tags_.trackNumber);
    info.addText("Genre", tags_.genre);
    info.addText("AlbumArtist", tags_.albumArtist);
    info.addText("Composer", tags_.composer);
    info.addText("OriginalArtist", tags_.originalArtist);
    info.addText("Copyright", tags_.copyright);
    info.addText("URL", tags_.url);
    info.addText("Encoder", tags_.encoder);
    info.addText("Publisher", tags_.publisher);
    info.addText("LeftVolume", QString::number(volumeLeft_));
    info.addText("RightVolume", QString::number(volumeRight_));
    info.addText("Time", clockText(info_.length));
    return info.text();
}

QString AudioData::spectrumMessage() const {
    kf::music::IndentedJsonObject message;
    message.addNumbers("LeftChannel", left_.data(), int(left_.size()));
    message.addNumbers("RightChannel", right_.data(), int(right_.size()));
    message.addText("CurTime", currentTime_);
    message.addNumber("Position", position_);
    message.addText("SeekTime", QString::number(seekTime_));
    message.addText("Rotate", QString::number(rotate()));
    return message.text();
}

void AudioData::refreshDatas() {
    ++rotate_;
    if (!player_->status().playing) {
        park();  // ended: no messages until the music plays again
        return;
    }
    const PlayTime at = player_->position();
    position_ = at.ms;
    currentTime_ = clockText(at);
    emit positionChanged();

    // The bins hold a 512-point spectrum; a larger count from the player is analysed as 512.
    const int points = qMin(player_->query(Query::SpectrumPoints), kf::music::kSpectrumPoints);
    player_->spectrum(points, FftWindow::Hann, &left_, &right_);
    emit amplitudeChanged();
    emit pcmDataChanged();

    if (scriptSink_) {
        scriptSink_(QStringLiteral("VisualizeMusice(") + spectrumMessage() + QStringLiteral(")"));
    }
}
