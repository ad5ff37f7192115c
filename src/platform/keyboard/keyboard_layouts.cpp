#include "platform/keyboard/keyboard_layouts.h"

#include <QGuiApplication>
#include <QProcess>
#include <QtGlobal>

namespace kf::platform {

QString X11KeyboardLayouts::program() {
    return QStringLiteral("setxkbmap");
}

QStringList X11KeyboardLayouts::arguments() {
    return {QStringLiteral("-layout"), QStringLiteral("us")};
}

bool X11KeyboardLayouts::activateUsLayout() {
    // Detached: the layout change takes a moment and nobody waits for its outcome.
    return QProcess::startDetached(program(), arguments());
}

std::unique_ptr<KeyboardLayouts> createKeyboardLayouts() {
    const bool onX11 = QGuiApplication::platformName() == QLatin1String("xcb");
    if (onX11 && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        return std::make_unique<X11KeyboardLayouts>();
    }
    return std::make_unique<NullKeyboardLayouts>();
}

}  // namespace kf::platform
