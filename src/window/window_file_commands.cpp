// Profile and file commands: the file cache answers queries on cached profile files, replaces
// their text and writes the changed ones; the three dialogs ask the user for a path.
#include <QDebug>
#include <QFileInfo>

#include "window/file_cache.h"
#include "window/file_commands.h"
#include "window/file_dialogs.h"
#include "window/window.h"

void Window::cmdReadFileToStr(const QVariantMap& args, const QueryCallbackPtr& cb) {
    deliver(cb, FileCommands(*fileCache_).readFileToStr(args));  // tests for "FilePath" itself
}

void Window::cmdModifyFileFromStr(const QVariantMap& args, const QueryCallbackPtr& cb) {
    deliver(cb, FileCommands(*fileCache_).modifyFileFromStr(args));
}

void Window::cmdSavexml(const QVariantMap&, const QueryCallbackPtr& cb) {
    deliver(cb, FileCommands(*fileCache_).savexml());
}

void Window::cmdGetWindowsKeyboreadConfig(const QVariantMap&, const QueryCallbackPtr& cb) {
    deliver(cb, FileCommands::getWindowsKeyboreadConfig());  // recognised, never answered
}

namespace {

// A path the person chose may then be read or written by the file commands.
CommandAnswer granting(FileCache& cache, const CommandAnswer& answer) {
    if (answer.kind == CommandAnswer::Success) {
        cache.allowChosenPath(answer.text);
    }
    return answer;
}

}  // namespace

void Window::cmdSaveFileDialog(const QVariantMap&, const QueryCallbackPtr& cb) {
    const CommandAnswer answer = granting(*fileCache_, file_dialogs::saveFileDialog(*fileDialogs_, this));
    // The dialog offers "*.pfd" but may return a name without it; the page then adds ".pfd",
    // and that is the file the person chose too.
    if (answer.kind == CommandAnswer::Success && QFileInfo(answer.text).suffix().isEmpty()) {
        fileCache_->allowChosenPath(answer.text + QStringLiteral(".pfd"));
    }
    deliver(cb, answer);
}

void Window::cmdOpenFileDialog(const QVariantMap&, const QueryCallbackPtr& cb) {
    deliver(cb, granting(*fileCache_, file_dialogs::openFileDialog(*fileDialogs_, this)));
}

void Window::cmdDownloadFile(const QVariantMap& args, const QueryCallbackPtr& cb) {
    deliver(cb, FileCommands::downloadFile(args));  // recognised, never answered
}

void Window::cmdOpenFileDialogEx(const QVariantMap&, const QueryCallbackPtr& cb) {
    deliver(cb, granting(*fileCache_, file_dialogs::openFileDialogEx(*fileDialogs_, this)));
}

void Window::saveChangedFiles() {
    if (fileCache_->saveChangedFiles() != FileCache::SaveOutcome::Failed) {
        return;
    }
    // Nothing is lost silently: the log has the reason (FileCache), the person is told.
    const QStringList unsaved = fileCache_->changedFiles();
    qWarning().noquote() << "profile changes not saved:" << unsaved.join(QStringLiteral(", ")).left(1000);
    ShowMessage(QStringLiteral("配置文件未能保存 (profile changes not saved): %1; see kestrafon.log")
                    .arg(unsaved.value(0).left(300)));
}
