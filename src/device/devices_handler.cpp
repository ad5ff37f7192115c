#include "device/devices_handler.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QtDebug>

#include "device/device_table.h"
#include "platform/usb/usb_system.h"

using kf::device::DeviceTableEntry;
using kf::device::KeyboardMouseScan;

namespace {

QMutex g_folderLock;
QMutex g_callLock;
QString g_libraryFolder;

template <typename Fn>
void resolve(QLibrary& library, const char* name, Fn* out) {
    *out = reinterpret_cast<Fn>(library.resolve(name));
}

}  // namespace

QMutex& devices_handler::libraryCallLock() {
    return g_callLock;
}

void devices_handler::setLibraryFolder(const QString& folder) {
    QMutexLocker lock(&g_folderLock);
    g_libraryFolder = folder;
}

QString devices_handler::libraryFolder() {
    {
        QMutexLocker lock(&g_folderLock);
        if (!g_libraryFolder.isEmpty()) {
            return g_libraryFolder;
        }
    }
    return QCoreApplication::applicationDirPath();
}

devices_handler::devices_handler(QObject* parent) : QObject(parent) {
    // By name, as libUsbInterface.so in the application folder.
    library_.setFileName(QDir(libraryFolder()).filePath(QStringLiteral("UsbInterface")));
    loaded_ = library_.load();
    if (!loaded_) {
        qWarning().noquote() << "the device library could not be loaded:" << library_.errorString();
        return;
    }
    resolve(library_, "dcDevices", &fns_.dcDevices);
    resolve(library_, "DeviceExist", &fns_.DeviceExist);
    resolve(library_, "Reset", &fns_.Reset);
    resolve(library_, "BootLoader", &fns_.BootLoader);
    resolve(library_, "EraseRom", &fns_.EraseRom);
    resolve(library_, "WriteRom", &fns_.WriteRom);
    resolve(library_, "CheckRom", &fns_.CheckRom);
    resolve(library_, "FinishUpdateRom", &fns_.FinishUpdateRom);
    resolve(library_, "UpdateVersion", &fns_.UpdateVersion);
    resolve(library_, "dcWriteProperty", &fns_.dcWriteProperty);
    resolve(library_, "dcWriteDeviceProperty", &fns_.dcWriteDeviceProperty);
    resolve(library_, "dcNotifyRGBDevice", &fns_.dcNotifyRGBDevice);
    resolve(library_, "Notify", &fns_.Notify);
    resolve(library_, "DeviceData", &fns_.DeviceData);
    resolve(library_, "dcReadProperty", &fns_.dcReadProperty);
    resolve(library_, "dcReadAddress", &fns_.dcReadAddress);
    resolve(library_, "dcWriteAddress", &fns_.dcWriteAddress);
    resolve(library_, "Open_vidpid", &fns_.Open_vidpid);
    resolve(library_, "ColseHandler", &fns_.ColseHandler);
}

// The library stays loaded: other handlers of the process share it, and the system keeps one
// copy per process anyway.
devices_handler::~devices_handler() = default;

QByteArray devices_handler::enumerate() {
    QByteArray table(kf::usb::kTableBytes, '\0');
    if (!fns_.dcDevices) {
        return table;  // count 0
    }
    std::uint16_t filter[2 * kf::usb::kUsageFilterPairs] = {};
    filter[0] = kf::usb::kVendorUsage;
    filter[1] = kf::usb::kVendorUsagePageA;
    filter[2] = kf::usb::kVendorUsage;
    filter[3] = kf::usb::kVendorUsagePageB;
    QMutexLocker lock(&libraryCallLock());
    fns_.dcDevices(reinterpret_cast<unsigned char*>(table.data()), filter);  // its result is not consulted
    return table;
}

void devices_handler::setUsbSystem(kf::platform::UsbSystem* usb) {
    usb_ = usb;
}

kf::platform::UsbSystem* devices_handler::usbSystem() {
    if (!usb_) {
        if (!ownUsb_) {
            ownUsb_ = kf::platform::createUsbSystem();
        }
        usb_ = ownUsb_.get();
    }
    return usb_;
}

QString devices_handler::findUsbInterfacePath(const QString& identifier) {
    return kf::device::findUsbInterfacePath(usbSystem(), identifier);
}

KeyboardMouseScan devices_handler::scanKeyboardsAndMice() {
    QList<kf::platform::SetupDevice> devices;
    if (!usbSystem()->presentDevices(&devices)) {
        return KeyboardMouseScan();
    }
    return kf::device::scanKeyboardsAndMice(devices,
                                            [this](const QString& id) { return findUsbInterfacePath(id); });
}

void devices_handler::buildStartupInventory() {
    inventory_ = kf::device::StartupInventory();
    const QVector<DeviceTableEntry> entries = kf::device::parseDeviceTable(enumerate());
    for (const DeviceTableEntry& entry : entries) {
        const QString ids = kf::device::vendorProductIdentifier(entry.vendorId, entry.productId);
        kf::device::InventoryRecord record;
        record.identifier = QString::fromUtf8(entry.identifier);
        record.serial = QString::fromUtf8(entry.serial);
        record.version = QString::fromUtf8(entry.version);
        record.secondText = entry.secondText;
        record.path = entry.path;
        record.twoChars = QString::fromUtf8(entry.twoChars);
        inventory_.records.insert(record.identifier, record);
        if (!inventory_.vendorProductIds.contains(ids)) {
            inventory_.vendorProductIds.append(ids);
        }
        inventory_.entryCounts[record.identifier] += 1;
    }
    setIdentifierList(inventory_.vendorProductIds);
    inventory_.keyboardsAndMice = scanKeyboardsAndMice();
}
