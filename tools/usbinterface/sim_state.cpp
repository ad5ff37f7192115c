#include "sim_state.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <fcntl.h>
#include <unistd.h>

#include "device/sim_location.h"
#include "device/usb_interface_api.h"

namespace kf::usbsim {

namespace {

QJsonObject bytesMap(const QMap<int, QByteArray>& map) {
    QJsonObject o;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        o.insert(QString::number(it.key()), QString::fromLatin1(it.value().toHex()));
    }
    return o;
}

QMap<int, QByteArray> bytesMapFrom(const QJsonObject& o) {
    QMap<int, QByteArray> map;
    for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
        bool ok = false;
        const int index = it.key().toInt(&ok);
        if (ok && index >= 0 && index <= 0xFF) {
            map.insert(index, QByteArray::fromHex(it.value().toString().toLatin1()));
        }
    }
    return map;
}

// Writes everything or fails; retries on interruption.
bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

}  // namespace

QJsonObject DeviceState::toJson() const {
    QJsonObject o{{"firmware", QString::fromUtf8(firmware)},
                  {"serial", QString::fromUtf8(serial)},
                  {"bootLoader", bootLoader},
                  {"restarts", restarts},
                  {"firmwareUpdates", firmwareUpdates},
                  {"slots", bytesMap(parameterSlots)},
                  {"properties", bytesMap(properties)},
                  {"colourFrame", QString::fromLatin1(colourFrame.toHex())},
                  {"romErased", romErased},
                  {"romCheck", romCheck},
                  {"romFinished", romFinished}};
    return o;
}

DeviceState DeviceState::fromJson(const QJsonObject& o, const SimDevice& device) {
    DeviceState s;
    s.firmware = o.value(QLatin1String("firmware")).toString(QString::fromUtf8(device.firmware)).toUtf8();
    s.firmware.truncate(kf::usb::kVersionBytes);
    s.serial = o.value(QLatin1String("serial")).toString(QString::fromUtf8(device.serial)).toUtf8();
    s.serial.truncate(kf::usb::kSerialBytes);
    s.bootLoader = o.value(QLatin1String("bootLoader")).toBool(false);
    s.restarts = o.value(QLatin1String("restarts")).toInt(0);
    s.firmwareUpdates = o.value(QLatin1String("firmwareUpdates")).toInt(0);
    s.parameterSlots = bytesMapFrom(o.value(QLatin1String("slots")).toObject());
    s.properties = bytesMapFrom(o.value(QLatin1String("properties")).toObject());
    s.colourFrame = QByteArray::fromHex(o.value(QLatin1String("colourFrame")).toString().toLatin1());
    s.romErased = o.value(QLatin1String("romErased")).toBool(false);
    s.romCheck = o.value(QLatin1String("romCheck")).toInt(-1);
    s.romFinished = o.value(QLatin1String("romFinished")).toBool(false);
    return s;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes) {
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    const bool written = writeAll(fd, bytes.constData(), bytes.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

SimState::SimState(const QString& folder) : folder_(folder) {}

QString SimState::statePath(const QString& id, const char* suffix) const {
    return folder_ + QStringLiteral("/state/") + id + QLatin1String(suffix);
}

bool SimState::ensureInitialized(const SimCatalog& catalog) {
    QDir dir;
    if (!dir.mkpath(folder_) || !dir.mkpath(folder_ + QStringLiteral("/state"))) {
        return false;
    }
    const QString attached = kf::usb::simAttachedFolder(folder_);
    if (QFileInfo(attached).isDir()) {
        return true;
    }
    // Fill a fresh folder first and rename it into place, so a watcher sees the devices arrive
    // together and never a half-made folder.
    const QString fresh = folder_ + QStringLiteral("/attached.new");
    QDir(fresh).removeRecursively();
    if (!dir.mkpath(fresh)) {
        return false;
    }
    for (const SimDevice& d : catalog.devices) {
        if (d.attached) {
            QFile f(fresh + QLatin1Char('/') + d.id);
            f.open(QIODevice::WriteOnly);
        }
    }
    if (!dir.rename(fresh, attached)) {
        QDir(fresh).removeRecursively();
        return QFileInfo(attached).isDir();  // another process made it meanwhile
    }
    return true;
}

void SimState::recordCatalog(const SimCatalog& catalog) {
    const QString path = folder_ + QStringLiteral("/catalog.json");
    const QByteArray json = catalogJson(catalog);
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == json) {
        return;
    }
    writeFileAtomically(path, json);
}

bool SimState::isAttached(const QString& id) const {
    return kf::usb::isValidSimDeviceId(id) &&
           QFileInfo::exists(kf::usb::simAttachedFolder(folder_) + '/' + id);
}

bool SimState::setAttached(const QString& id, bool attached) {
    if (!kf::usb::isValidSimDeviceId(id)) {
        return false;
    }
    const QString folder = kf::usb::simAttachedFolder(folder_);
    if (!QDir().mkpath(folder)) {
        return false;
    }
    const QString path = folder + QLatin1Char('/') + id;
    if (attached) {
        QFile f(path);
        return f.exists() || f.open(QIODevice::WriteOnly);
    }
    return !QFile::exists(path) || QFile::remove(path);
}

QStringList SimState::attachedIds() const {
    return QDir(kf::usb::simAttachedFolder(folder_)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

DeviceState SimState::load(const SimDevice& device) const {
    QFile file(statePath(device.id, ".json"));
    QJsonObject o;
    if (file.open(QIODevice::ReadOnly)) {
        o = QJsonDocument::fromJson(file.readAll()).object();
    }
    return DeviceState::fromJson(o, device);
}

bool SimState::save(const QString& id, const DeviceState& state) {
    if (!kf::usb::isValidSimDeviceId(id) || !QDir().mkpath(folder_ + QStringLiteral("/state"))) {
        return false;
    }
    return writeFileAtomically(statePath(id, ".json"),
                               QJsonDocument(state.toJson()).toJson(QJsonDocument::Compact));
}

QByteArray SimState::rom(const QString& id) const {
    QFile file(statePath(id, ".rom"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool SimState::saveRom(const QString& id, const QByteArray& image) {
    if (!kf::usb::isValidSimDeviceId(id) || !QDir().mkpath(folder_ + QStringLiteral("/state"))) {
        return false;
    }
    return writeFileAtomically(statePath(id, ".rom"), image);
}

bool SimState::appendJournal(QJsonObject entry) {
    entry.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    if (!QDir().mkpath(folder_)) {
        return false;
    }
    // One write with O_APPEND, so lines from two processes never interleave.
    const int fd =
        ::open(QFile::encodeName(journalPath()).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = writeAll(fd, line.constData(), line.size());
    ::close(fd);
    return ok;
}

bool SimState::reset(const SimCatalog& catalog) {
    bool ok = QDir(folder_ + QStringLiteral("/state")).removeRecursively();
    if (QFile::exists(journalPath())) {
        ok = QFile::remove(journalPath()) && ok;
    }
    if (!QDir().mkpath(folder_ + QStringLiteral("/state"))) {
        return false;
    }
    if (!QFileInfo(kf::usb::simAttachedFolder(folder_)).isDir()) {
        return ensureInitialized(catalog) && ok;
    }
    // Change the plugged set in place, device by device, so a running client sees exactly the
    // arrivals and removals that the reset makes.
    for (const QString& id : attachedIds()) {
        const SimDevice* d = catalog.find(id);
        if (!d || !d->attached) {
            ok = setAttached(id, false) && ok;
        }
    }
    for (const SimDevice& d : catalog.devices) {
        if (d.attached) {
            ok = setAttached(d.id, true) && ok;
        }
    }
    return ok;
}

}  // namespace kf::usbsim
