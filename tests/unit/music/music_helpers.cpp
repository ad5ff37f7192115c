#include "music_helpers.h"

#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <cmath>

#include "support/qt_wait.h"
#include "support/wav_file.h"

namespace kftest {

void writeSineWav(const QString& path, double seconds, double hz, double amplitude) {
    const int rate = 44100;
    const int frames = int(seconds * rate);
    QByteArray data(frames * 4, '\0');
    auto* samples = reinterpret_cast<qint16*>(data.data());
    for (int i = 0; i < frames; ++i) {
        samples[2 * i] =
            qToLittleEndian(qint16(std::lround(32767 * amplitude * std::sin(2 * M_PI * hz * i / rate))));
    }
    writeWavFile(path, data, rate);
}

bool encodeWav(const QString& wav, const QString& out, const QString& encoder) {
    const QString pipeline =
        QStringLiteral("filesrc location=\"%1\" ! wavparse ! audioconvert ! %2 ! filesink location=\"%3\"")
            .arg(wav, encoder, out);
    QProcess tool;
    tool.start(QStringLiteral("gst-launch-1.0"), QStringList{"-q"} + QProcess::splitCommand(pipeline));
    return tool.waitForFinished(60000) && tool.exitCode() == 0 && QFile(out).size() > 0;
}

ClockedPlayer::ClockedPlayer() {
    auto output = std::make_unique<kf::platform::NullAudioSink>([clock = now] { return *clock; });
    sink = output.get();
    player = std::make_unique<kf::music::StreamPlayer>(std::move(output));
}

void ClockedPlayer::playUntil(qint64 ms) {
    *now = ms;
    sink->pump();
}

bool ClockedPlayer::openDecoded(const QString& path) {
    return player->openFile(path, kf::music::StreamFormat::Detect) &&
           waitFor([this] { return player->decoded(); });
}

}  // namespace kftest
