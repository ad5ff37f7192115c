#include "platform/audio/null_audio_sink.h"

#include <algorithm>
#include <vector>

namespace kf::platform {

namespace {
constexpr int kPumpIntervalMs = 20;
constexpr qint64 kChunkFrames = 4096;
}  // namespace

NullAudioSink::NullAudioSink(std::function<qint64()> clockMs, QObject* parent)
    : AudioSink(parent), clock_(std::move(clockMs)) {
    if (!clock_) {
        elapsed_.start();
        clock_ = [this] { return elapsed_.elapsed(); };
    }
    timer_.setInterval(kPumpIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &NullAudioSink::pump);
}

bool NullAudioSink::start(AudioSource* source) {
    stop();
    if (!source) {
        return false;
    }
    source_ = source;
    startedAt_ = clock_();
    suspendedAt_ = -1;
    played_ = 0;
    timer_.start();
    return true;
}

void NullAudioSink::suspend() {
    if (source_ && suspendedAt_ < 0) {
        pump();
        suspendedAt_ = clock_();
        timer_.stop();
    }
}

void NullAudioSink::resume() {
    if (source_ && suspendedAt_ >= 0) {
        // The time spent suspended does not count as played.
        startedAt_ += clock_() - suspendedAt_;
        suspendedAt_ = -1;
        timer_.start();
    }
}

void NullAudioSink::stop() {
    timer_.stop();
    source_ = nullptr;
    suspendedAt_ = -1;
}

qint64 NullAudioSink::dueFrames() const {
    const qint64 now = suspendedAt_ >= 0 ? suspendedAt_ : clock_();
    return std::max<qint64>(0, (now - startedAt_) * kSampleRate / 1000);
}

void NullAudioSink::pump() {
    if (!source_) {
        return;
    }
    scratch_.resize(size_t(kChunkFrames * kChannels));
    for (qint64 due = dueFrames() - played_; due > 0;) {
        const qint64 want = std::min(due, kChunkFrames);
        const qint64 got = source_->readFrames(scratch_.data(), want);
        played_ += got;
        due -= got;
        if (got < want) {
            stop();
            emit finished();
            return;
        }
    }
}

}  // namespace kf::platform
