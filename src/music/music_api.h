#pragma once
// What the music layer offers the command dispatcher: the page's music operations, which
// AudioData performs. The dispatcher holds this interface only, so tests can hand the music rows
// to stand-ins.
#include <QString>

namespace kf::music {

class MusicCommands {
public:
    virtual ~MusicCommands() = default;
    virtual void SetSource(const QString& path) = 0;
    virtual void PlayMusic() = 0;
    virtual void pauseMusic() = 0;
    virtual void ResumeMusic() = 0;
    virtual void PlayLoopMusic() = 0;
    virtual void seekPosition(int ms) = 0;
    virtual void SetMute(const QString& left, const QString& right) = 0;
    virtual void SetPlayerVolume(const QString& left, const QString& right) = 0;
    // The music information text of "GetMusicInfo".
    virtual QString musicInfo() = 0;
};

}  // namespace kf::music
