#pragma once
// Writes 16-bit stereo PCM as a WAV file: the sound files of the music tests and benchmark.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

namespace kftest {

// `pcm`: interleaved little-endian 16-bit samples, left then right. False when the file cannot
// be written.
inline bool writeWavFile(const QString& path, const QByteArray& pcm, quint32 rate) {
    QByteArray head("RIFF");
    const auto put = [&](quint32 value, int bytes) {
        char b[4];
        qToLittleEndian(value, b);
        head.append(b, bytes);
    };
    put(36 + quint32(pcm.size()), 4);
    head.append("WAVEfmt ");
    put(16, 4), put(1, 2), put(2, 2), put(rate, 4), put(rate * 4, 4), put(4, 2), put(16, 2);
    head.append("data");
    put(quint32(pcm.size()), 4);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(head + pcm) == head.size() + pcm.size();
}

}  // namespace kftest
