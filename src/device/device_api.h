#pragma once
// What the device layer offers the command dispatcher: the device map and the two services that
// answer the device commands. The dispatcher holds these interfaces only, so tests can hand the
// device rows to stand-ins.
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

namespace kf::device {

// The device map: device key ("Version" text) to device object.
using DeviceMap = QMap<QString, QJsonObject>;

// Device discovery (DeviceFunctions): rebuilds the list of configurable attached devices.
class DeviceListSource {
public:
    virtual ~DeviceListSource() = default;
    virtual DeviceMap buildDeviceList() = 0;
    // Whether the vendor device library was found and loaded: without it the list is empty
    // whatever is plugged in, and the pages say so instead of "no device connected".
    virtual bool libraryLoaded() const { return true; }
};

// Direct device requests of the device worker (device_data_handler), called on the GUI thread.
// Each names the device by its key in the last device list; an unknown or empty key fails.
class DeviceRequests {
public:
    virtual ~DeviceRequests() = default;
    virtual bool restartDevice(const QString& key) = 0;
    // Argument order as the device layer takes it: the code before its length.
    virtual bool writeDeviceCode(const QString& key, const QString& index, const QString& code,
                                 const QString& length) = 0;
    virtual bool writeDeviceProperty(const QString& key, const QString& index, const QString& payload) = 0;
    virtual bool writeKeyColours(const QString& key, const QStringList& items) = 0;
};

}  // namespace kf::device
