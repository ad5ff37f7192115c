#pragma once
// The binding to the vendor device library: each devices_handler loads libUsbInterface.so from
// the application folder by name and resolves its functions (a missing library or function
// leaves a null pointer, and every use counts a null pointer as failure). It also enumerates the
// device table, finds USB interface paths, scans the keyboards and mice, and keeps the start-up
// inventory of the devices present when the client started.
#include <QByteArray>
#include <QLibrary>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

#include "device/usb_interface_api.h"
#include "device/usb_scan.h"

namespace kf::platform {
class UsbSystem;
}

namespace kf::device {

// The library's functions, named as it exports them.
struct UsbInterfaceFunctions {
    kf::usb::DcDevicesFn dcDevices = nullptr;
    kf::usb::DeviceExistFn DeviceExist = nullptr;
    kf::usb::ResetFn Reset = nullptr;
    kf::usb::BootLoaderFn BootLoader = nullptr;
    kf::usb::EraseRomFn EraseRom = nullptr;
    kf::usb::WriteRomFn WriteRom = nullptr;
    kf::usb::CheckRomFn CheckRom = nullptr;
    kf::usb::FinishUpdateRomFn FinishUpdateRom = nullptr;
    kf::usb::UpdateVersionFn UpdateVersion = nullptr;
    kf::usb::DcWritePropertyFn dcWriteProperty = nullptr;
    kf::usb::DcWriteDevicePropertyFn dcWriteDeviceProperty = nullptr;
    kf::usb::DcNotifyRGBDeviceFn dcNotifyRGBDevice = nullptr;
    // Looked up, never called.
    kf::usb::NotifyFn Notify = nullptr;
    kf::usb::DeviceDataFn DeviceData = nullptr;
    kf::usb::DcReadPropertyFn dcReadProperty = nullptr;
    kf::usb::DcReadAddressFn dcReadAddress = nullptr;
    kf::usb::DcWriteAddressFn dcWriteAddress = nullptr;
    kf::usb::OpenVidPidFn Open_vidpid = nullptr;
    kf::usb::ColseHandlerFn ColseHandler = nullptr;
};

// What one table entry told the start-up inventory.
struct InventoryRecord {
    QString identifier;  // the 40-byte device identifier
    QString serial;
    QString version;
    QString secondText;
    QString path;
    QString twoChars;
};

// The devices present at start-up, kept for the life of the process.
struct StartupInventory {
    QStringList vendorProductIds;            // "258A001A", each once, in table order
    QMap<QString, InventoryRecord> records;  // by device identifier
    QMap<QString, int> entryCounts;          // table entries per device identifier
    KeyboardMouseScan keyboardsAndMice;
};

}  // namespace kf::device

class devices_handler : public QObject {
    Q_OBJECT
public:
    explicit devices_handler(QObject* parent = nullptr);
    ~devices_handler() override;

    // The folder the library is loaded from; by default the application folder. Tests point it
    // at the build's application folder. Affects handlers created afterwards.
    static void setLibraryFolder(const QString& folder);
    static QString libraryFolder();

    // Held around every library call of the client: the library is not known to tolerate
    // overlapping calls, and the list build, the worker's writes and the direct requests run on
    // different threads.
    static QMutex& libraryCallLock();

    bool libraryLoaded() const { return loaded_; }
    const kf::device::UsbInterfaceFunctions& functions() const { return fns_; }

    // The 42102-byte device table: zeroed, then filled by dcDevices with the usage filter for
    // the two vendor collections. All zero (count 0) when the library or the function is missing.
    QByteArray enumerate();

    // The platform's devices for the lookups below; by default the system's (libudev). Not
    // owned when set.
    void setUsbSystem(kf::platform::UsbSystem* usb);
    kf::platform::UsbSystem* usbSystem();

    QString findUsbInterfacePath(const QString& identifier);
    kf::device::KeyboardMouseScan scanKeyboardsAndMice();

    // The vendor and product identifiers found at start-up.
    void setIdentifierList(const QStringList& identifiers) { identifiers_ = identifiers; }
    QStringList identifierList() const { return identifiers_; }

    // Builds the start-up inventory from one enumeration and the keyboard and mouse scan.
    void buildStartupInventory();
    const kf::device::StartupInventory& inventory() const { return inventory_; }

signals:
    // Declared for the device layer; the client never emits it.
    void deviceChanged();

private:
    QLibrary library_;
    bool loaded_ = false;
    kf::device::UsbInterfaceFunctions fns_;
    QStringList identifiers_;
    kf::device::StartupInventory inventory_;
    std::unique_ptr<kf::platform::UsbSystem> ownUsb_;
    kf::platform::UsbSystem* usb_ = nullptr;
};
