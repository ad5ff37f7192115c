#pragma once
// Helpers for the music tests: generated sound files, a clock the test moves, the real player
// on a device-less output.
#include <QString>
#include <QtGlobal>
#include <memory>

#include "music/stream_player.h"
#include "platform/audio/null_audio_sink.h"

namespace kftest {

// A 16-bit stereo WAV at 44100 Hz: a sine of `hz` at `amplitude` (1 = full scale) on the left,
// silence on the right.
void writeSineWav(const QString& path, double seconds, double hz, double amplitude = 1.0);
// Encodes a WAV with GStreamer's gst-launch-1.0 through `encoder` (a pipeline fragment such as
// "flacenc"); false when the tool fails.
bool encodeWav(const QString& wav, const QString& out, const QString& encoder);

// The real player on a NullAudioSink whose clock the test sets (milliseconds).
struct ClockedPlayer {
    ClockedPlayer();
    // Moves the clock to `ms` and lets the output take what is due.
    void playUntil(qint64 ms);
    // Opens `path` and waits until it is decoded.
    bool openDecoded(const QString& path);

    std::shared_ptr<qint64> now = std::make_shared<qint64>(0);
    kf::platform::NullAudioSink* sink = nullptr;
    std::unique_ptr<kf::music::StreamPlayer> player;
};

}  // namespace kftest
