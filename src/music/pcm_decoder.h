#pragma once
// Decodes a music file into DecodedPcm (16-bit stereo at 44100 Hz, whatever the file holds)
// through Qt Multimedia's decoder, which runs GStreamer on its own threads and hands buffers to
// this object's thread. Decoding runs ahead of playing, so seeking is a jump in memory. A decoder
// that stops making progress is given up on, and a stream longer than kMaxMinutes is cut there.
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "music/play_cursor.h"

class QAudioDecoder;

namespace kf::music {

class PcmDecoder : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxMinutes = 30;  // about 320 MB of samples
    static constexpr qint64 kMaxFrames = qint64(kMaxMinutes) * 60 * DecodedPcm::kSampleRate;
    static constexpr int kStallMs = 10000;
    // The most room made before any data has arrived: 10 s of samples (1.7 MB).
    static constexpr qint64 kInitialFrames = qint64(10) * DecodedPcm::kSampleRate;

    explicit PcmDecoder(DecodedPcm& pcm, QObject* parent = nullptr);
    ~PcmDecoder() override;

    // Empties the samples and decodes `path` into them; room for `expectedFrames`, at most
    // kInitialFrames, is made at once.
    void start(const QString& path, qint64 expectedFrames = 0);
    // Stops decoding; the samples stay as they are.
    void stop();
    bool running() const { return decoder_ != nullptr; }

signals:
    // Decoding has ended: `error` is empty when the whole stream was decoded. The samples are
    // complete either way.
    void finished(const QString& error);

private:
    void readBuffer();
    void end(const QString& error);

    DecodedPcm& pcm_;
    std::unique_ptr<QAudioDecoder> decoder_;
    QTimer stall_;
    QString path_;
};

}  // namespace kf::music
