#include "music/memory_player.h"

namespace kf::music {

void MemoryPlayer::record(const QString& name, const QList<qint64>& args) {
    QStringList line{name};
    for (qint64 a : args) {
        line << QString::number(a);
    }
    calls << line.join(QLatin1Char('|'));
}

bool MemoryPlayer::openFile(const QString& path, StreamFormat format) {
    calls << QStringLiteral("openFile|%1|%2").arg(path).arg(int(format));
    return !unreadable.contains(path);
}

bool MemoryPlayer::play() {
    record(QStringLiteral("play"));
    state.playing = true;
    return true;
}

bool MemoryPlayer::playLoop(TimeFormat format, qint64 start, qint64 end, int cycles, bool continueAfter) {
    record(QStringLiteral("playLoop"), {int(format), start, end, cycles, continueAfter});
    state.playing = true;
    return true;
}

bool MemoryPlayer::seek(TimeFormat format, qint64 time, SeekMethod method) {
    record(QStringLiteral("seek"), {int(format), time, int(method)});
    return true;
}

bool MemoryPlayer::stop() {
    record(QStringLiteral("stop"));
    state.playing = false;
    return true;
}

bool MemoryPlayer::pause() {
    record(QStringLiteral("pause"));
    state.playing = false;
    return true;
}

bool MemoryPlayer::resume() {
    record(QStringLiteral("resume"));
    state.playing = true;
    return true;
}

bool MemoryPlayer::setMasterVolume(int left, int right) {
    record(QStringLiteral("setMasterVolume"), {left, right});
    return true;
}

bool MemoryPlayer::setPlayerVolume(int left, int right) {
    record(QStringLiteral("setPlayerVolume"), {left, right});
    volumeLeft = left;
    volumeRight = right;
    return true;
}

void MemoryPlayer::playerVolume(int* left, int* right) const {
    *left = volumeLeft;
    *right = volumeRight;
}

bool MemoryPlayer::slideVolume(TimeFormat format, qint64 startTime, int startLeft, int startRight,
                               qint64 endTime, int endLeft, int endRight) {
    record(QStringLiteral("slideVolume"),
           {int(format), startTime, startLeft, startRight, endTime, endLeft, endRight});
    return true;
}

bool MemoryPlayer::spectrum(int count, FftWindow window, SpectrumBins* left, SpectrumBins* right) {
    record(QStringLiteral("spectrum"), {count, int(window)});
    *left = leftBins;
    *right = rightBins;
    return true;
}

bool MemoryPlayer::setSetting(Setting setting, int value) {
    record(QStringLiteral("setSetting"), {int(setting), value});
    return true;
}

int MemoryPlayer::query(Query what) const {
    return what == Query::SpectrumPoints ? points : 0;
}

bool MemoryPlayer::loadTags(TagRecord* out) {
    record(QStringLiteral("loadTags"));
    *out = tags;
    return true;
}

}  // namespace kf::music
