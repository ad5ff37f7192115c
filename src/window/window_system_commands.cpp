// Pointer settings commands: speed, acceleration, wheel lines, horizontal wheel characters
// and double-click time. The pointer-settings component performs them; until it is wired in
// here they stay unanswered.
#include "window/command_args.h"
#include "window/window.h"

void Window::cmdModifyMouseAcce(const QVariantMap&, const QueryCallbackPtr&) {
    // Pointer acceleration from "Num" (pointer settings).
}

void Window::cmdModifyWindowAcceleratedSpeed(const QVariantMap&, const QueryCallbackPtr&) {
    // Pointer speed from "Num" (pointer settings).
}

void Window::cmdModifyMouseScrollLines(const QVariantMap&, const QueryCallbackPtr&) {
    // Wheel scroll lines from "Num" (pointer settings).
}

void Window::cmdModifyMouseScrollLinesX(const QVariantMap&, const QueryCallbackPtr&) {
    // Horizontal wheel scroll characters from "Num" (pointer settings).
}

void Window::cmdModifyMouseDoubleClick(const QVariantMap&, const QueryCallbackPtr&) {
    // Double-click time from "Num" (pointer settings).
}

void Window::cmdGetWindowsMouseConfig(const QVariantMap&, const QueryCallbackPtr&) {
    // Recognised; does nothing and is not answered.
}
