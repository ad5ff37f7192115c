#include "device/device_functions.h"

#include <QMutex>
#include <QMutexLocker>
#include <QVector>
#include <QtDebug>
#include <algorithm>

#include "device/usb_interface_api.h"

namespace {

// The device map is one process-wide object: the list build of the dispatcher's thread fills it
// and the device worker's requests read it. The lock keeps a build and a lookup from meeting.
QMutex g_mapLock;
kf::device::DeviceMap g_deviceMap;

// A decimal byte index ("0" to "255"); false for anything else.
bool byteIndex(const QString& text, int* index) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < 0 || value > 0xFF) {
        return false;
    }
    *index = value;
    return true;
}

const char16_t* wide(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}

}  // namespace

DeviceFunctions::DeviceFunctions(QObject* parent) : devices_handler(parent) {}

kf::device::DeviceMap DeviceFunctions::buildDeviceList() {
    // Enumerate before taking the lock: the library call is the slow part.
    const QByteArray table = enumerate();
    const kf::device::DeviceMap fresh = kf::device::deviceMapFromTable(kf::device::parseDeviceTable(table));
    QMutexLocker lock(&g_mapLock);
    g_deviceMap = fresh;
    return g_deviceMap;
}

kf::device::DeviceMap DeviceFunctions::deviceMap() {
    QMutexLocker lock(&g_mapLock);
    return g_deviceMap;
}

QJsonObject DeviceFunctions::deviceFor(const QString& version) {
    QMutexLocker lock(&g_mapLock);
    return g_deviceMap.value(version);
}

void DeviceFunctions::clearDeviceMap() {
    QMutexLocker lock(&g_mapLock);
    g_deviceMap.clear();
}

QString DeviceFunctions::devicePath(const QString& version) {
    const QJsonObject device = deviceFor(version);
    if (device.isEmpty()) {
        return QString();
    }
    return device.value(QStringLiteral("DevicePath")).toString();
}

QByteArray DeviceFunctions::codeStringBytes(const QString& code) {
    const QVector<QStringRef> tokens = code.splitRef(QLatin1Char(','));  // empty parts kept
    QByteArray bytes(tokens.size(), '\0');
    for (int i = 0; i < tokens.size(); ++i) {
        QStringRef token = tokens.at(i).trimmed();
        if (token.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
            token = token.mid(2);
        }
        bool ok = false;
        const qulonglong value = token.toULongLong(&ok, 16);
        bytes[i] = ok ? static_cast<char>(value & 0xFF) : '\0';
    }
    return bytes;
}

bool DeviceFunctions::writeParameter(const QString& version, const QString& index, const QString& code,
                                     const QString& size) {
    const QString path = devicePath(version);
    if (path.isEmpty()) {
        return false;
    }
    int parameter = 0;
    if (!byteIndex(index, &parameter)) {
        qWarning().noquote() << "writeParameter: parameter index" << index.left(20) << "is not a byte";
        return false;
    }
    bool sizeOk = false;
    const int count = size.trimmed().toInt(&sizeOk, 10);
    const QByteArray bytes = codeStringBytes(code);
    if (!sizeOk || count != bytes.size() || count > kf::usb::kDataBufferBytes) {
        return false;
    }
    if (!functions().dcWriteProperty) {
        return false;
    }
    unsigned char data[kf::usb::kDataBufferBytes] = {};
    std::copy(bytes.constBegin(), bytes.constEnd(), data);
    QMutexLocker lock(&libraryCallLock());
    return functions().dcWriteProperty(wide(path), data, parameter, count) != 0;
}

bool DeviceFunctions::writeDeviceProperty(const QString& version, const QString& index,
                                          const QString& payload) {
    const QString path = devicePath(version);
    if (path.isEmpty()) {
        return false;
    }
    int property = 0;
    if (!byteIndex(index, &property)) {
        qWarning().noquote() << "writeDeviceProperty: property index" << index.left(20) << "is not a byte";
        return false;
    }
    // The byte count, which equals the character count for the ASCII texts the page sends; for
    // anything else the character count would cut the bytes short.
    const QByteArray bytes = payload.toUtf8();
    if (bytes.size() > kf::usb::kDataBufferBytes || !functions().dcWriteDeviceProperty) {
        return false;
    }
    unsigned char data[kf::usb::kDataBufferBytes] = {};
    std::copy(bytes.constBegin(), bytes.constEnd(), data);
    QMutexLocker lock(&libraryCallLock());
    return functions().dcWriteDeviceProperty(wide(path), data, property, bytes.size(),
                                             kf::usb::kDevicePropertyTag) != 0;
}

bool DeviceFunctions::sendColourFrame(const QString& version, const QByteArray& frame) {
    const QString path = devicePath(version);
    if (path.isEmpty() || frame.size() != kf::usb::kColourFrameBytes || !functions().dcNotifyRGBDevice) {
        return false;
    }
    unsigned char data[kf::usb::kColourFrameBytes];
    std::copy(frame.constBegin(), frame.constEnd(), data);
    QMutexLocker lock(&libraryCallLock());
    return functions().dcNotifyRGBDevice(wide(path), data, kf::usb::kColourFrameBytes) != 0;
}

bool DeviceFunctions::restartDevice(const QString& version) {
    const QString path = devicePath(version);
    if (path.isEmpty() || !functions().Reset) {
        return false;
    }
    QMutexLocker lock(&libraryCallLock());
    return functions().Reset(wide(path), kf::usb::kResetRestart, 0) != 0;
}
