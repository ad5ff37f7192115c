#pragma once
// The music visualiser: wraps the music player, polls it every 60 ms while a page has it
// playing, and hands each spectrum message, as the script "VisualizeMusice(<message>)", to
// whoever sends it on to the page (the window connects it to the "OnRGBMusicData" event).
// Its signals, slot and invokable methods are the page commands' vocabulary.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "music/music_api.h"
#include "music/player.h"

class AudioData : public QObject, public kf::music::MusicCommands {
    Q_OBJECT
public:
    static constexpr int kInterval = 60;  // ms between refreshes

    // Applies the player's settings: spectrum in decibels, left and right apart.
    explicit AudioData(std::unique_ptr<kf::music::Player> player, QObject* parent = nullptr);
    ~AudioData() override;

    // Receives every refresh's script; called on this object's thread.
    void setScriptSink(std::function<void(const QString& script)> sink) { scriptSink_ = std::move(sink); }

    // The music information text of "GetMusicInfo"; also sets the seek time to the length.
    QString musicInfo() override;
    // The spectrum message of the last refresh, as built from the current members.
    QString spectrumMessage() const;
    // "MM:SS" of a time: whole minutes and seconds, two digits at least.
    static QString clockText(const kf::music::PlayTime& time);

    kf::music::Player& player() { return *player_; }
    // The tick counter; while the refresh is parked after the end of the music it goes on
    // counting the ticks the clock says have passed.
    int rotate() const;
    qint64 position() const { return position_; }
    QString currentTime() const { return currentTime_; }
    qint64 seekTime() const { return seekTime_; }
    bool isPlaying() const { return playing_; }
    bool timerRunning() const { return timer_.isActive(); }
    // The monotonic clock (milliseconds) the parked refresh counts its ticks by; tests set one.
    void setClock(std::function<qint64()> msClock) { clock_ = std::move(msClock); }

signals:
    void amplitudeChanged();
    void positionChanged();
    void isPlayingChanged();
    void pcmDataChanged();

public slots:
    void refreshDatas();

public:
    Q_INVOKABLE void SetSource(const QString& source) override;
    Q_INVOKABLE void setSourceHTTP(const QString& source);
    Q_INVOKABLE void SetMute(const QString& L, const QString& R) override;
    Q_INVOKABLE void SetPlayerVolume(const QString& L, const QString& R) override;
    Q_INVOKABLE void PlayMusic() override;
    Q_INVOKABLE void stopMusic();
    Q_INVOKABLE void pauseMusic() override;
    Q_INVOKABLE void ResumeMusic() override;
    Q_INVOKABLE void PlayLoopMusic() override;
    Q_INVOKABLE void seekPosition(int ms) override;

private:
    void setPlaying(bool playing);
    // The music has ended: the timer stops instead of waking this thread every 60 ms for
    // nothing, as if it still ran until a pause or stop (the tick counter counts on).
    void park();
    // Ends the parked state, adding the ticks that passed; `restart` starts the timer again.
    void unpark(bool restart);
    int parkedTicks() const;

    std::unique_ptr<kf::music::Player> player_;
    QTimer timer_;
    std::function<void(const QString&)> scriptSink_;
    QString source_;
    kf::music::TagRecord tags_;
    kf::music::StreamInfo info_;
    int volumeLeft_ = 0;
    int volumeRight_ = 0;
    kf::music::SpectrumBins left_{};
    kf::music::SpectrumBins right_{};
    int rotate_ = 0;
    qint64 position_ = 0;
    QString currentTime_ = QStringLiteral("00:00");
    qint64 seekTime_ = 0;
    int interval_ = kInterval;
    bool playing_ = false;
    bool parked_ = false;
    qint64 parkedAt_ = 0;
    std::function<qint64()> clock_;
};
