#pragma once
// The desktop's default audio output through Qt Multimedia (PulseAudio or ALSA), pulling the
// source through a small read-only device. Without an output device start() says so at once.
#include <QIODevice>
#include <memory>

#include "platform/audio/audio_sink.h"

class QAudioOutput;

namespace kf::platform {

class QtAudioSink : public AudioSink {
    Q_OBJECT
public:
    explicit QtAudioSink(QObject* parent = nullptr);
    ~QtAudioSink() override;

    bool start(AudioSource* source) override;
    void suspend() override;
    void resume() override;
    void stop() override;
    bool running() const override { return output_ != nullptr; }
    qint64 playedFrames() const override;
    QString errorText() const override { return error_; }

private:
    // Hands the output what the source gives; remembers when the source has ended.
    class Pull : public QIODevice {
    public:
        AudioSource* source = nullptr;
        bool ended = false;
        bool isSequential() const override { return true; }

    protected:
        qint64 readData(char* data, qint64 maxSize) override;
        qint64 writeData(const char*, qint64) override { return -1; }
    };

    void onStateChanged();
    void release(bool later);

    std::unique_ptr<QAudioOutput> output_;
    Pull pull_;
    QString error_;
};

}  // namespace kf::platform
