#pragma once
// The three file dialogs that pages ask for, behind a small seam: the client shows real modal
// dialogs, tests script the user's choice and read back what would have been shown.
#include <QFileDialog>
#include <QString>
#include <QVector>

#include "window/command_answer.h"

// One dialog as the page command asks for it.
struct FileDialogRequest {
    enum Kind { Save, Open };

    Kind kind = Open;
    QString caption;
    QString folder;  // start folder; empty: the dialog's own default
    QString filter;  // name filter; empty: every file

    bool operator==(const FileDialogRequest& other) const {
        return kind == other.kind && caption == other.caption && folder == other.folder &&
               filter == other.filter;
    }
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Shows the dialog modally over `parent` and returns the chosen path, or an empty text when
    // the user cancelled.
    virtual QString choose(QWidget* parent, const FileDialogRequest& request) = 0;
};

// Real modal dialogs (QFileDialog). The client uses the default options, so the desktop's own
// dialog is shown where it has one.
class QtFileDialogs : public FileDialogs {
public:
    explicit QtFileDialogs(QFileDialog::Options options = QFileDialog::Options()) : options_(options) {}

    QString choose(QWidget* parent, const FileDialogRequest& request) override;

private:
    QFileDialog::Options options_;
};

// Answers from a script, in order; an empty answer or an exhausted script is a cancel.
class ScriptedFileDialogs : public FileDialogs {
public:
    void addAnswer(const QString& path) { answers_.append(path); }
    void addCancel() { answers_.append(QString()); }

    QString choose(QWidget* parent, const FileDialogRequest& request) override;

    const QVector<FileDialogRequest>& shown() const { return shown_; }
    const QVector<QWidget*>& parents() const { return parents_; }

private:
    QVector<QString> answers_;
    QVector<FileDialogRequest> shown_;
    QVector<QWidget*> parents_;
};

namespace file_dialogs {

// The dialogs: "保存为" in ~/Documents for "pfd文件(*.pfd)"; "Open" in ~/Documents for "*";
// "打开" with no start folder and no filter.
FileDialogRequest saveProfileRequest();
FileDialogRequest openFileRequest();
FileDialogRequest openAnyFileRequest();

// "saveFileDialog" and "OpenFileDialog": the chosen path, or failure "doesn't select file".
CommandAnswer saveFileDialog(FileDialogs& dialogs, QWidget* parent);
CommandAnswer openFileDialog(FileDialogs& dialogs, QWidget* parent);
// "openFileDialogEx": the chosen path; a cancel leaves the query unanswered.
CommandAnswer openFileDialogEx(FileDialogs& dialogs, QWidget* parent);

}  // namespace file_dialogs
