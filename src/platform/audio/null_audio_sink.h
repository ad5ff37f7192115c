#pragma once
// An audio output without a device: it takes the source's frames at the pace of a clock (every
// 20 ms, what is due) and drops them. The client uses it where there is no sound card to play on;
// tests give it a clock they move themselves and call pump().
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <vector>

#include "platform/audio/audio_sink.h"

namespace kf::platform {

class NullAudioSink : public AudioSink {
    Q_OBJECT
public:
    // `clockMs`: a monotonic clock in milliseconds; the real one when empty.
    explicit NullAudioSink(std::function<qint64()> clockMs = {}, QObject* parent = nullptr);

    bool start(AudioSource* source) override;
    void suspend() override;
    void resume() override;
    void stop() override;
    bool running() const override { return source_ != nullptr; }
    qint64 playedFrames() const override { return played_; }
    QString errorText() const override { return QString(); }

    // Takes what is due by the clock now (the timer does this every 20 ms).
    void pump();

private:
    qint64 dueFrames() const;

    std::function<qint64()> clock_;
    QElapsedTimer elapsed_;
    QTimer timer_;
    AudioSource* source_ = nullptr;
    qint64 startedAt_ = 0;
    qint64 suspendedAt_ = -1;  // clock time of the suspend, -1 while not suspended
    qint64 played_ = 0;
    std::vector<qint16> scratch_;
};

}  // namespace kf::platform
