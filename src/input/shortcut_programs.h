#pragma once
// "Shortcut" actions: "mail" opens the desktop's mail client, "calculatrice" a calculator,
// "notepad" a text editor, "stikynot" the colour settings or a sticky-note program; anything
// else is opened as a file URL with the desktop's handler for it.
#include <QObject>
#include <QString>
#include <QUrl>

#include "platform/desktop/desktop_programs.h"
#include "platform/desktop/url_opener.h"

namespace kf::input {

class ShortcutPrograms {
public:
    // Both must outlive this object. Made on the GUI thread: URLs are opened there.
    ShortcutPrograms(platform::DesktopPrograms& programs, platform::UrlOpener& urls);

    // Any thread. False when a program kind has no program installed; URLs are only requested.
    bool run(const QString& argument);

    // "file:///" + argument; an absolute path is made a file URL as it is.
    static QUrl fileUrl(const QString& argument);

private:
    platform::DesktopPrograms& programs_;
    platform::UrlOpener& urls_;
    QObject context_;  // queued URL openings die with this object
};

}  // namespace kf::input
