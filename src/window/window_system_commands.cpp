// Pointer settings commands: speed, acceleration, wheel lines, horizontal wheel characters and
// double-click time. Each needs "Num"; without it the request stays unanswered.
#include "system/pointer_settings.h"
#include "window/pointer_commands.h"
#include "window/window.h"

void Window::cmdModifyMouseAcce(const QVariantMap& args, const QueryCallbackPtr& cb) {
    deliver(cb, PointerCommands(*pointerSettings_).modifyMouseAcce(args));
}

void Window::cmdModifyWindowAcceleratedSpeed(const QVariantMap& args, const QueryCallbackPtr& cb) {
    deliver(cb, PointerCommands(*pointerSettings_).modifyWindowAcceleratedSpeed(args));
}

void Window::cmdModifyMouseScrollLines(const QVariantMap& args, const QueryCallbackPtr& cb) {
    deliver(cb, PointerCommands(*pointerSettings_).modifyMouseScrollLines(args));
}

void Window::cmdModifyMouseScrollLinesX(const QVariantMap& args, const QueryCallbackPtr& cb) {
    deliver(cb, PointerCommands(*pointerSettings_).modifyMouseScrollLinesX(args));
}

void Window::cmdModifyMouseDoubleClick(const QVariantMap& args, const QueryCallbackPtr& cb) {
    deliver(cb, PointerCommands(*pointerSettings_).modifyMouseDoubleClick(args));
}

void Window::cmdGetWindowsMouseConfig(const QVariantMap&, const QueryCallbackPtr& cb) {
    deliver(cb, PointerCommands::getWindowsMouseConfig());  // recognised, never answered
}
