// Profile and file commands. The file cache (loadFileToCache, saveChangedFiles) and the file
// dialogs are the profile component's; until they are wired in here these commands read their
// arguments and stay unanswered.
#include "window/command_args.h"
#include "window/window.h"

using kf::window::argText;

void Window::cmdReadFileToStr(const QVariantMap& args, const QueryCallbackPtr&) {
    if (!args.contains(QStringLiteral("FilePath"))) {
        return;
    }
    // The file cache answers the XPath query on the cached file.
}

void Window::cmdModifyFileFromStr(const QVariantMap&, const QueryCallbackPtr&) {
    // The file cache replaces the cached file's text ("FilePath", "ContentStr").
}

void Window::cmdSavexml(const QVariantMap&, const QueryCallbackPtr&) {
    // The file cache writes the changed files.
}

void Window::cmdGetWindowsKeyboreadConfig(const QVariantMap&, const QueryCallbackPtr&) {
    // Recognised; does nothing and is not answered.
}

void Window::cmdSaveFileDialog(const QVariantMap&, const QueryCallbackPtr&) {
    // The file dialogs component asks for the path.
}

void Window::cmdOpenFileDialog(const QVariantMap&, const QueryCallbackPtr&) {
    // The file dialogs component asks for the path.
}

void Window::cmdDownloadFile(const QVariantMap&, const QueryCallbackPtr&) {
    // Recognised; does nothing and is not answered.
}

void Window::cmdOpenFileDialogEx(const QVariantMap&, const QueryCallbackPtr&) {
    // The file dialogs component asks for the path.
}

void Window::saveChangedFiles() {
    // The file cache writes its changed files here; without it there is nothing to write.
}
