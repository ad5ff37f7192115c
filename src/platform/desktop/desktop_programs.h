#pragma once
// The desktop programs a software macro can start by kind: the mail client, a calculator, a
// text editor, and the colour settings or a sticky-note program. The desktop backend starts
// the first one installed; the recording backend only notes the request.
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace kf::platform {

enum class DesktopProgram { MailClient, Calculator, TextEditor, NotesOrColour };

class DesktopPrograms {
public:
    virtual ~DesktopPrograms() = default;
    // Starts the program, detached; false when none is installed or it cannot be started.
    virtual bool start(DesktopProgram program) = 0;
};

// The candidates tried in order for a kind: program and arguments (none for mail).
QList<QStringList> desktopProgramCandidates(DesktopProgram program);

// Mail through the desktop's "mailto:" handler; the others from the candidate lists.
std::unique_ptr<DesktopPrograms> createDesktopPrograms();

class RecordingDesktopPrograms : public DesktopPrograms {
public:
    bool start(DesktopProgram program) override {
        started.append(program);
        return true;
    }
    QList<DesktopProgram> started;
};

}  // namespace kf::platform
