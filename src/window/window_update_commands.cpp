// Update commands. Neither is answered: progress reaches the page as "RefreshUpdateState".
// The client self-update and the firmware updates are the update component's
// (window/updates.h).
#include "window/command_args.h"
#include "window/window.h"

using kf::window::argText;

void Window::cmdExecuteUpdateClient(const QVariantMap& args, const QueryCallbackPtr&) {
    const QString filePath = argText(args, QStringLiteral("FilePath"));
    if (components_.updates) {
        components_.updates->executeUpdateClient(filePath);
    }
}

void Window::cmdExecuteUpdateFirmware(const QVariantMap& args, const QueryCallbackPtr&) {
    const QString version = argText(args, QStringLiteral("Version"));
    const QString filePath = argText(args, QStringLiteral("FilePath"));
    if (components_.updates) {
        components_.updates->executeUpdateFirmware(version, filePath);
    }
}
