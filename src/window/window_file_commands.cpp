// Profile and file commands: the file cache answers queries on cached profile files, replaces
// their text and writes the changed ones; the three dialogs ask the user for a path.
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
    deliver(cb, granting(*fileCache_, file_dialogs::saveFileDialog(*fileDialogs_, this)));
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
    fileCache_->saveChangedFiles();
}
