#include "platform/audio/qt_audio_sink.h"

#include <QAudioDeviceInfo>
#include <QAudioOutput>
#include <QDebug>

namespace kf::platform {

namespace {
constexpr int kFrameBytes = AudioSink::kChannels * int(sizeof(qint16));

QString outputErrorText(QAudio::Error error) {
    switch (error) {
        case QAudio::OpenError:
            return QStringLiteral("the audio output device could not be opened");
        case QAudio::IOError:
            return QStringLiteral("the audio output device failed while playing");
        case QAudio::UnderrunError:
            return QStringLiteral("the audio output ran out of data");
        case QAudio::FatalError:
            return QStringLiteral("the audio output is no longer usable");
        case QAudio::NoError:
            break;
    }
    return QString();
}
}  // namespace

qint64 QtAudioSink::Pull::readData(char* data, qint64 maxSize) {
    if (!source || ended) {
        return 0;
    }
    const qint64 frames = maxSize / kFrameBytes;
    const qint64 got = source->readFrames(reinterpret_cast<qint16*>(data), frames);
    if (got < frames) {
        ended = true;
    }
    return got * kFrameBytes;
}

QtAudioSink::QtAudioSink(QObject* parent) : AudioSink(parent) {}

QtAudioSink::~QtAudioSink() {
    release(false);
}

bool QtAudioSink::start(AudioSource* source) {
    stop();
    error_.clear();
    const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
    if (device.isNull() || !source) {
        error_ = QStringLiteral("no audio output device");
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(kSampleRate);
    format.setChannelCount(kChannels);
    format.setSampleSize(16);
    format.setSampleType(QAudioFormat::SignedInt);
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setCodec(QStringLiteral("audio/pcm"));
    if (!device.isFormatSupported(format)) {
        error_ = QStringLiteral("the audio output device cannot play 16-bit stereo at 44100 Hz");
        return false;
    }
    output_ = std::make_unique<QAudioOutput>(device, format);
    pull_.source = source;
    pull_.ended = false;
    pull_.open(QIODevice::ReadOnly);
    connect(output_.get(), &QAudioOutput::stateChanged, this, &QtAudioSink::onStateChanged);
    output_->start(&pull_);
    if (output_->error() != QAudio::NoError) {
        error_ = outputErrorText(output_->error());
        stop();
        return false;
    }
    return true;
}

void QtAudioSink::suspend() {
    if (output_) {
        output_->suspend();
    }
}

void QtAudioSink::resume() {
    if (output_) {
        output_->resume();
    }
}

void QtAudioSink::stop() {
    release(true);
}

void QtAudioSink::release(bool later) {
    if (output_) {
        // Disconnected first: the stop's own state change is no news to anybody.
        output_->disconnect(this);
        output_->stop();
        // Stopping may happen inside the output's own signal: it is deleted once that returns.
        if (later) {
            output_.release()->deleteLater();
        } else {
            output_.reset();
        }
    }
    pull_.close();
    pull_.source = nullptr;
}

qint64 QtAudioSink::playedFrames() const {
    return output_ ? output_->processedUSecs() * kSampleRate / 1000000 : 0;
}

void QtAudioSink::onStateChanged() {
    if (!output_) {
        return;
    }
    const QAudio::Error error = output_->error();
    const QAudio::State state = output_->state();
    if (state == QAudio::IdleState && pull_.ended) {
        stop();
        emit finished();
    } else if (state == QAudio::StoppedState && error != QAudio::NoError) {
        const QString why = outputErrorText(error);
        qWarning().noquote() << "audio output stopped:" << why;
        error_ = why;
        stop();
        emit failed(why);
    }
}

}  // namespace kf::platform
