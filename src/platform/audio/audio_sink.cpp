#include "platform/audio/audio_sink.h"

#include "platform/audio/null_audio_sink.h"
#include "platform/audio/qt_audio_sink.h"

namespace kf::platform {

std::unique_ptr<AudioSink> createAudioSink() {
    if (qEnvironmentVariable("KESTRAFON_AUDIO_SINK") == QLatin1String("null")) {
        return std::make_unique<NullAudioSink>();
    }
    return std::make_unique<QtAudioSink>();
}

}  // namespace kf::platform
