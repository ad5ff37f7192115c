#include "device/hot_plug_watcher.h"

#include <QtDebug>

#include "device/sim_folder_watcher.h"
#include "platform/usb/usb_system.h"

namespace kf::device {

using kf::platform::UsbEventKind;

HotPlugWatcher::HotPlugWatcher(QObject* parent) : QObject(parent) {}

HotPlugWatcher::~HotPlugWatcher() = default;

bool HotPlugWatcher::start(kf::platform::UsbSystem* usb, const QString& simStateFolder) {
    bool listening = false;
    if (usb) {
        connect(usb, &kf::platform::UsbSystem::usbEvent, this, &HotPlugWatcher::handleDeviceEvent);
        if (usb->startMonitor()) {
            listening = true;
        } else {
            qWarning().noquote() << "USB device notifications are not available";
        }
    }
    if (!simStateFolder.isEmpty()) {
        simWatcher_ = std::make_unique<SimFolderWatcher>(simStateFolder);
        connect(simWatcher_.get(), &SimFolderWatcher::deviceArrived, this,
                [this] { handleDeviceEvent(static_cast<int>(UsbEventKind::Arrival), true); });
        connect(simWatcher_.get(), &SimFolderWatcher::deviceRemoved, this,
                [this] { handleDeviceEvent(static_cast<int>(UsbEventKind::RemoveComplete), true); });
        if (simWatcher_->start()) {
            listening = true;
        } else {
            qWarning().noquote() << "the device emulator's folder cannot be watched:" << simStateFolder;
            simWatcher_.reset();
        }
    }
    return listening;
}

void HotPlugWatcher::handleDeviceEvent(int kind, bool deviceInterface) {
    switch (static_cast<UsbEventKind>(kind)) {
        case UsbEventKind::Arrival:
            qInfo().noquote() << "DBT_DEVICEARRIVAL case";
            if (deviceInterface) {
                announce(2);
            }
            break;
        case UsbEventKind::RemoveComplete:
            qInfo().noquote() << "DBT_DEVICEREMOVECOMPLETE case";
            announce(1);
            break;
        case UsbEventKind::RemovePending:
            qInfo().noquote() << "DBT_DEVICEREMOVEPENDING case";
            break;
    }
}

void HotPlugWatcher::announce(int kind) {
    emit DevicesChanged(kind);
}

}  // namespace kf::device
