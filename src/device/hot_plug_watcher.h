#pragma once
// Device arrival and removal: the system's USB notifications and the device emulator's plugging
// both end here, are logged like device-change messages and become the signal DevicesChanged
// with 2 (a device interface arrived) or 1 (a device was removed), which the application hands
// to the pages as the event of the same name. The event carries nothing else; a page that wants
// the new set asks "GetDevicesList".
#include <QObject>
#include <QString>

#include <memory>

namespace kf::platform {
class UsbSystem;
}

namespace kf::device {

class SimFolderWatcher;

class HotPlugWatcher : public QObject {
    Q_OBJECT
public:
    explicit HotPlugWatcher(QObject* parent = nullptr);
    ~HotPlugWatcher() override;

    // Listens to `usb` (not owned; may be null) and to the emulator's state folder (none when
    // empty). Returns false when neither source could be started.
    bool start(kf::platform::UsbSystem* usb, const QString& simStateFolder);

    // One device-change notification: `kind` a kf::platform::UsbEventKind. An arrival is logged
    // "DBT_DEVICEARRIVAL case" and announced with 2 only for a device interface; a completed
    // removal is logged "DBT_DEVICEREMOVECOMPLETE case" and announced with 1 whatever it
    // concerns; a pending removal is only logged ("DBT_DEVICEREMOVEPENDING case").
    void handleDeviceEvent(int kind, bool deviceInterface);

signals:
    // Emitted for every announcement.
    void DevicesChanged(int kind);

private:
    void announce(int kind);

    std::unique_ptr<SimFolderWatcher> simWatcher_;
};

}  // namespace kf::device
