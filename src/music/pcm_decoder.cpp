#include "music/pcm_decoder.h"

#include <QAudioDecoder>
#include <QDebug>
#include <QFileInfo>

namespace kf::music {

PcmDecoder::PcmDecoder(DecodedPcm& pcm, QObject* parent) : QObject(parent), pcm_(pcm) {
    stall_.setSingleShot(true);
    stall_.setInterval(kStallMs);
    connect(&stall_, &QTimer::timeout, this,
            [this] { end(QStringLiteral("the decoder made no progress for %1 s").arg(kStallMs / 1000)); });
}

PcmDecoder::~PcmDecoder() {
    stop();
}

void PcmDecoder::start(const QString& path, qint64 expectedFrames) {
    stop();
    pcm_.samples.clear();
    pcm_.samples.shrink_to_fit();
    // The length a file's header claims is only a hint: a header may claim 30 minutes for a
    // file of a few bytes. Room for a few seconds is made at once; the rest grows as decoded
    // data arrives.
    pcm_.samples.reserve(size_t(qBound<qint64>(0, expectedFrames, kInitialFrames) * 2));
    pcm_.complete = false;
    path_ = path;

    QAudioFormat format;
    format.setSampleRate(DecodedPcm::kSampleRate);
    format.setChannelCount(2);
    format.setSampleSize(16);
    format.setSampleType(QAudioFormat::SignedInt);
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setCodec(QStringLiteral("audio/pcm"));
    decoder_ = std::make_unique<QAudioDecoder>();
    decoder_->setAudioFormat(format);
    decoder_->setSourceFilename(QFileInfo(path).absoluteFilePath());
    connect(decoder_.get(), &QAudioDecoder::bufferReady, this, &PcmDecoder::readBuffer);
    connect(decoder_.get(), &QAudioDecoder::finished, this, [this] { end(QString()); });
    connect(decoder_.get(), QOverload<QAudioDecoder::Error>::of(&QAudioDecoder::error), this,
            [this](QAudioDecoder::Error) { end(decoder_->errorString()); });
    stall_.start();
    decoder_->start();
}

void PcmDecoder::stop() {
    stall_.stop();
    if (decoder_) {
        decoder_->disconnect(this);
        decoder_->stop();
        // It may be stopping from inside its own signal: deleted once that has returned.
        decoder_.release()->deleteLater();
    }
}

void PcmDecoder::readBuffer() {
    if (!decoder_) {
        return;
    }
    const QAudioBuffer buffer = decoder_->read();
    const QAudioFormat format = buffer.format();
    if (!buffer.isValid() || format.channelCount() != 2 || format.sampleSize() != 16 ||
        format.sampleType() != QAudioFormat::SignedInt || format.sampleRate() != DecodedPcm::kSampleRate) {
        end(QStringLiteral("the decoder delivered another sample format than asked for"));
        return;
    }
    stall_.start();
    const auto* samples = buffer.constData<qint16>();
    pcm_.samples.insert(pcm_.samples.end(), samples, samples + buffer.sampleCount());
    if (pcm_.frames() >= kMaxFrames) {
        pcm_.samples.resize(size_t(kMaxFrames) * 2);
        qWarning().noquote() << QStringLiteral("%1 is longer than %2 minutes: only its first %2 minutes play")
                                    .arg(path_)
                                    .arg(kMaxMinutes);
        end(QString());
    }
}

void PcmDecoder::end(const QString& error) {
    stop();
    pcm_.complete = true;
    emit finished(error);
}

}  // namespace kf::music
