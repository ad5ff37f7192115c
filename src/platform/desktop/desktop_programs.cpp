#include "platform/desktop/desktop_programs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace kf::platform {

QList<QStringList> desktopProgramCandidates(DesktopProgram program) {
    switch (program) {
        case DesktopProgram::MailClient:
            return {};  // the desktop's "mailto:" handler
        case DesktopProgram::Calculator:
            return {{QStringLiteral("gnome-calculator")}, {QStringLiteral("kcalc")},
                    {QStringLiteral("mate-calc")},        {QStringLiteral("galculator")},
                    {QStringLiteral("qalculate-gtk")},    {QStringLiteral("xcalc")}};
        case DesktopProgram::TextEditor:
            return {{QStringLiteral("gnome-text-editor")},
                    {QStringLiteral("gedit")},
                    {QStringLiteral("kate")},
                    {QStringLiteral("kwrite")},
                    {QStringLiteral("mousepad")},
                    {QStringLiteral("pluma")},
                    {QStringLiteral("xed")},
                    {QStringLiteral("featherpad")},
                    {QStringLiteral("leafpad")},
                    {QStringLiteral("xedit")}};
        case DesktopProgram::NotesOrColour:
            return {{QStringLiteral("gnome-control-center"), QStringLiteral("color")},
                    {QStringLiteral("xpad")},
                    {QStringLiteral("knotes")}};
    }
    return {};
}

namespace {

class SystemDesktopPrograms : public DesktopPrograms {
public:
    bool start(DesktopProgram program) override {
        if (program == DesktopProgram::MailClient) {
            // The desktop's handler for mail links opens its mail client on a new message.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [] { QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:"))); }, Qt::QueuedConnection);
            return QCoreApplication::instance() != nullptr;
        }
        for (const QStringList& candidate : desktopProgramCandidates(program)) {
            const QString path = QStandardPaths::findExecutable(candidate.first());
            if (!path.isEmpty()) {
                return QProcess::startDetached(path, candidate.mid(1));
            }
        }
        return false;
    }
};

}  // namespace

std::unique_ptr<DesktopPrograms> createDesktopPrograms() {
    return std::make_unique<SystemDesktopPrograms>();
}

}  // namespace kf::platform
