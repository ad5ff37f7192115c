#include "input/shortcut_programs.h"

#include <QThread>
#include <QtDebug>

namespace kf::input {

using platform::DesktopProgram;

ShortcutPrograms::ShortcutPrograms(platform::DesktopPrograms& programs, platform::UrlOpener& urls)
    : programs_(programs), urls_(urls) {}

QUrl ShortcutPrograms::fileUrl(const QString& argument) {
    if (argument.startsWith(QLatin1Char('/'))) {
        return QUrl::fromLocalFile(argument);
    }
    return QUrl(QStringLiteral("file:///") + argument);
}

bool ShortcutPrograms::run(const QString& argument) {
    static const QHash<QString, DesktopProgram> kPrograms = {
        {QStringLiteral("mail"), DesktopProgram::MailClient},
        {QStringLiteral("calculatrice"), DesktopProgram::Calculator},
        {QStringLiteral("notepad"), DesktopProgram::TextEditor},
        {QStringLiteral("stikynot"), DesktopProgram::NotesOrColour},
    };
    const auto found = kPrograms.constFind(argument);
    if (found != kPrograms.constEnd()) {
        if (!programs_.start(*found)) {
            qInfo().noquote() << QStringLiteral("Shortcut: no program for \"%1\" is installed").arg(argument);
            return false;
        }
        return true;
    }
    const QUrl url = fileUrl(argument);
    if (QThread::currentThread() == context_.thread()) {
        return urls_.openUrl(url);
    }
    QMetaObject::invokeMethod(
        &context_, [this, url] { urls_.openUrl(url); }, Qt::QueuedConnection);
    return true;
}

}  // namespace kf::input
