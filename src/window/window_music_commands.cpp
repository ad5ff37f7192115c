// Music commands: the page drives the music player by event name and reads its information.
// The player (AudioData) is a component of its own; without it these stay unanswered.
#include <QDir>

#include "window/command_args.h"
#include "window/window.h"

using kf::window::argText;

void Window::cmdRGBMusicPlay(const QVariantMap& args, const QueryCallbackPtr& cb) {
    kf::music::MusicCommands* player = components_.music;
    if (!player) {
        return;  // the music player plays
    }
    const QString event = argText(args, QStringLiteral("Event"));
    if (event == QLatin1String("PlayMusic")) {
        // A path relative to the application folder, or an absolute one (what the file dialogs
        // answer), which is used as it stands.
        const QString url = argText(args, QStringLiteral("Url"));
        player->SetSource(QDir::isAbsolutePath(url) ? url : appDir_ + "/" + url);
        player->PlayMusic();
    } else if (event == QLatin1String("PauseMusic")) {
        player->pauseMusic();
    } else if (event == QLatin1String("ResumeMusic")) {
        player->ResumeMusic();
    } else if (event == QLatin1String("PlayLoopMusic")) {
        player->PlayLoopMusic();
    } else if (event == QLatin1String("SeekPosition")) {
        player->seekPosition(kf::window::textToInt(argText(args, QStringLiteral("RefreshPosition"))));
    } else if (event == QLatin1String("SetMute")) {
        player->SetMute(argText(args, QStringLiteral("L")), argText(args, QStringLiteral("R")));
    } else if (event == QLatin1String("SetPlayerVolume")) {
        player->SetPlayerVolume(argText(args, QStringLiteral("L")), argText(args, QStringLiteral("R")));
    }
    // Every event, known or not, is answered the same.
    answerSuccess(cb, QStringLiteral("RGBMusicPlay success"));
}

void Window::cmdGetMusicInfo(const QVariantMap&, const QueryCallbackPtr& cb) {
    if (!components_.music) {
        return;  // the music player reads the tags
    }
    answerSuccess(cb, components_.music->musicInfo());
}
