#pragma once
// The real music player: the file's format is found from its content, its tags and length are
// read with TagLib, it is decoded into memory by PcmDecoder (starting at open, so playing starts
// at once and seeking is immediate), played through an AudioSink from a PlayCursor, and its
// spectrum is taken by SpectrumAnalyser from the decoded samples at the play position.
// Everything runs on the thread that owns the player; the output pulls from there.
#include <QObject>

#include "music/pcm_decoder.h"
#include "music/play_cursor.h"
#include "music/player.h"
#include "music/spectrum_analyser.h"
#include "platform/audio/audio_sink.h"

namespace kf::music {

class StreamPlayer : public QObject, public Player, private platform::AudioSource {
    Q_OBJECT
public:
    explicit StreamPlayer(std::unique_ptr<platform::AudioSink> sink, QObject* parent = nullptr);
    ~StreamPlayer() override;

    QString errorText() const override { return error_; }
    bool openFile(const QString& path, StreamFormat format) override;
    StreamInfo streamInfo() const override;
    bool play() override;
    bool playLoop(TimeFormat format, qint64 start, qint64 end, int cycles, bool continueAfter) override;
    bool seek(TimeFormat format, qint64 time, SeekMethod method) override;
    bool stop() override;
    bool pause() override;
    bool resume() override;
    PlayTime position() const override;
    bool setMasterVolume(int left, int right) override;
    bool setPlayerVolume(int left, int right) override;
    void playerVolume(int* left, int* right) const override;
    PlayerStatus status() const override;
    bool slideVolume(TimeFormat format, qint64 startTime, int startLeft, int startRight, qint64 endTime,
                     int endLeft, int endRight) override;
    bool spectrum(int points, FftWindow window, SpectrumBins* left, SpectrumBins* right) override;
    bool setSetting(Setting setting, int value) override;
    int query(Query what) const override;
    bool loadTags(TagRecord* tags) override;

    // The decoder has finished with the current file (tests wait for this).
    bool decoded() const { return pcm_.complete; }
    platform::AudioSink& sink() { return *sink_; }

private:
    enum class State { Stopped, Playing, Paused, Ended };

    qint64 readFrames(qint16* out, qint64 frames) override;
    bool startOutput();
    void close();
    void fail(const QString& why);
    qint64 streamFramePlayed() const;
    static qint64 toFrames(TimeFormat format, qint64 time);

    std::unique_ptr<platform::AudioSink> sink_;
    DecodedPcm pcm_;
    mutable PlayCursor cursor_{pcm_};
    PcmDecoder decoder_{pcm_};
    SpectrumAnalyser analyser_;
    State state_ = State::Stopped;
    bool open_ = false;
    QString path_;
    QString error_;
    TagRecord tags_;
    StreamInfo info_;
    SpectrumScale scale_ = SpectrumScale::Linear;
    SpectrumChannels channels_ = SpectrumChannels::Apart;
};

}  // namespace kf::music
