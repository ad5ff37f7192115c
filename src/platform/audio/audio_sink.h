#pragma once
// Where the music player's sound goes: 16-bit interleaved stereo at 44100 Hz, pulled from a
// source as the output needs it. QtAudioSink plays on the desktop's default output device;
// NullAudioSink plays on no device at the pace of a clock (machines without a sound card, tests).
#include <QObject>
#include <QString>
#include <memory>

namespace kf::platform {

class AudioSource {
public:
    virtual ~AudioSource() = default;
    // Fills `out` with up to `frames` frames; fewer, and then 0, once the sound has ended.
    virtual qint64 readFrames(qint16* out, qint64 frames) = 0;
};

class AudioSink : public QObject {
    Q_OBJECT
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kChannels = 2;

    using QObject::QObject;
    // Starts pulling from `source`, which must outlive the output (or its stop). A running
    // output is stopped first. False, with the error text, when there is nothing to play on.
    virtual bool start(AudioSource* source) = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
    virtual void stop() = 0;
    virtual bool running() const = 0;
    // Frames played since the last start.
    virtual qint64 playedFrames() const = 0;
    virtual QString errorText() const = 0;

signals:
    // The source ended and all it gave has been played; the output has stopped.
    void finished();
    // The output broke down while playing; it has stopped.
    void failed(const QString& why);
};

// KESTRAFON_AUDIO_SINK=null gives a NullAudioSink on the real clock; anything else the desktop's
// audio output.
std::unique_ptr<AudioSink> createAudioSink();

}  // namespace kf::platform
