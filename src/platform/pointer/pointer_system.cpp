#include "platform/pointer/pointer_system.h"

#include <QStandardPaths>

#include "platform/pointer/desktop_pointer_system.h"
#include "platform/pointer/x11_pointer_control.h"

namespace kf::platform {

QString defaultPointerSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) +
           QStringLiteral("/Kestrafon/pointer.ini");
}

std::unique_ptr<PointerSystem> createPointerSystem() {
    return std::make_unique<DesktopPointerSystem>(defaultPointerSettingsPath(), X11PointerControl::open());
}

}  // namespace kf::platform
