#include "window/file_dialogs.h"

#include <QDir>
#include <QFileDialog>

QString QtFileDialogs::choose(QWidget* parent, const FileDialogRequest& request) {
    if (request.kind == FileDialogRequest::Save) {
        return QFileDialog::getSaveFileName(parent, request.caption, request.folder, request.filter, nullptr,
                                            options_);
    }
    return QFileDialog::getOpenFileName(parent, request.caption, request.folder, request.filter, nullptr,
                                        options_);
}

QString ScriptedFileDialogs::choose(QWidget* parent, const FileDialogRequest& request) {
    shown_.append(request);
    parents_.append(parent);
    if (answers_.isEmpty()) {
        return QString();
    }
    return answers_.takeFirst();
}

namespace file_dialogs {

namespace {

const QString kNotSelected = QStringLiteral("doesn't select file");

QString documentsFolder() {
    return QDir::homePath() + QStringLiteral("/Documents");
}

// A chosen path is the success text; a cancel is answered with `cancelled`.
CommandAnswer ask(FileDialogs& dialogs, QWidget* parent, const FileDialogRequest& request,
                  const CommandAnswer& cancelled) {
    const QString path = dialogs.choose(parent, request);
    if (path.isEmpty()) {
        return cancelled;
    }
    return CommandAnswer::success(path);
}

}  // namespace

FileDialogRequest saveProfileRequest() {
    return FileDialogRequest{FileDialogRequest::Save, QStringLiteral("保存为"), documentsFolder(),
                             QStringLiteral("pfd文件(*.pfd)")};
}

FileDialogRequest openFileRequest() {
    return FileDialogRequest{FileDialogRequest::Open, QStringLiteral("Open"), documentsFolder(),
                             QStringLiteral("*")};
}

FileDialogRequest openAnyFileRequest() {
    return FileDialogRequest{FileDialogRequest::Open, QStringLiteral("打开"), QString(), QString()};
}

CommandAnswer saveFileDialog(FileDialogs& dialogs, QWidget* parent) {
    return ask(dialogs, parent, saveProfileRequest(), CommandAnswer::failure(kNotSelected));
}

CommandAnswer openFileDialog(FileDialogs& dialogs, QWidget* parent) {
    return ask(dialogs, parent, openFileRequest(), CommandAnswer::failure(kNotSelected));
}

CommandAnswer openFileDialogEx(FileDialogs& dialogs, QWidget* parent) {
    return ask(dialogs, parent, openAnyFileRequest(), CommandAnswer::none());
}

}  // namespace file_dialogs
