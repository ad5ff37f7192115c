#pragma once
// The in-memory player for tests: every call is recorded as a line ("name|arg|arg"), and what
// the player reports (state, position, spectrum, tags, stream length, point count) is set by
// the test. Opening fails for paths the test names.
#include <QSet>
#include <QStringList>

#include "music/player.h"

namespace kf::music {

class MemoryPlayer : public Player {
public:
    QStringList calls;
    QSet<QString> unreadable;  // paths whose open fails
    PlayerStatus state;
    PlayTime at;
    SpectrumBins leftBins{}, rightBins{};
    TagRecord tags;
    StreamInfo info;
    int points = kSpectrumPoints;
    int volumeLeft = 100, volumeRight = 100;

    QString errorText() const override { return QStringLiteral("cannot open"); }
    bool openFile(const QString& path, StreamFormat format) override;
    StreamInfo streamInfo() const override { return info; }
    bool play() override;
    bool playLoop(TimeFormat format, qint64 start, qint64 end, int cycles, bool continueAfter) override;
    bool seek(TimeFormat format, qint64 time, SeekMethod method) override;
    bool stop() override;
    bool pause() override;
    bool resume() override;
    PlayTime position() const override { return at; }
    bool setMasterVolume(int left, int right) override;
    bool setPlayerVolume(int left, int right) override;
    void playerVolume(int* left, int* right) const override;
    PlayerStatus status() const override { return state; }
    bool slideVolume(TimeFormat format, qint64 startTime, int startLeft, int startRight, qint64 endTime,
                     int endLeft, int endRight) override;
    bool spectrum(int points, FftWindow window, SpectrumBins* left, SpectrumBins* right) override;
    bool setSetting(Setting setting, int value) override;
    int query(Query what) const override;
    bool loadTags(TagRecord* out) override;

private:
    void record(const QString& name, const QList<qint64>& args = {});
};

}  // namespace kf::music
