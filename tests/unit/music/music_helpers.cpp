#include "music_helpers.h"

#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <cmath>

#include "support/qt_wait.h"

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
    QByteArray head("RIFF");
    const auto put = [&](quint32 value, int bytes) {
        char b[4];
        qToLittleEndian(value, b);
        head.append(b, bytes);
    };
    put(36 + quint32(data.size()), 4);
    head.append("WAVEfmt ");
    put(16, 4), put(1, 2), put(2, 2), put(rate, 4), put(rate * 4, 4), put(4, 2), put(16, 2);
    head.append("data");
    put(quint32(data.size()), 4);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(head + data);
    }
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

LogCapture::LogCapture() {
    lines().clear();
    previous_ = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { lines().append(text); });
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(previous_);
}

QStringList& LogCapture::lines() {
    static QStringList all;
    return all;
}

}  // namespace kftest
