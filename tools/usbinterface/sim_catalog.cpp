#include "sim_catalog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "device/sim_location.h"
#include "device/usb_interface_api.h"

namespace kf::usbsim {

namespace {

constexpr int kMaxPathUnits = kf::usb::kWideTextUnits - 1;  // room for the terminating NUL

QString hex4(quint32 value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

// Reads "vid"/"pid": a number, or hexadecimal text with or without "0x".
bool readId(const QJsonValue& value, quint32 fallback, quint32* out) {
    if (value.isUndefined() || value.isNull()) {
        *out = fallback;
        return true;
    }
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (d < 0 || d > 0xFFFFFFFFu || d != double(quint32(d))) {
            return false;
        }
        *out = quint32(d);
        return true;
    }
    if (!value.isString()) {
        return false;
    }
    QString text = value.toString();
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        text = text.mid(2);
    }
    bool ok = false;
    const uint parsed = text.toUInt(&ok, 16);
    if (!ok || text.isEmpty() || text.size() > 8) {
        return false;
    }
    *out = parsed;
    return true;
}

bool readField(const QJsonObject& o, const char* key, int maxBytes, const QByteArray& fallback,
               QByteArray* out, QString* error) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined()) {
        *out = fallback;
        return true;
    }
    if (!v.isString()) {
        *error = QStringLiteral("\"%1\" must be text").arg(QLatin1String(key));
        return false;
    }
    *out = v.toString().toUtf8();
    if (out->size() > maxBytes) {
        *error = QStringLiteral("\"%1\" is longer than %2 bytes").arg(QLatin1String(key)).arg(maxBytes);
        return false;
    }
    return true;
}

bool readUsage(const QJsonValue& v, quint16* out) {
    if (v.isUndefined()) {
        *out = 0;
        return true;
    }
    if (!v.isDouble()) {
        return false;
    }
    const double d = v.toDouble();
    if (d < 0 || d > 0xFFFF || d != double(quint16(d))) {
        return false;
    }
    *out = quint16(d);
    return true;
}

bool parseDevice(const QJsonObject& o, SimDevice* device, QString* error) {
    device->id = o.value(QLatin1String("id")).toString();
    if (!kf::usb::isValidSimDeviceId(device->id)) {
        *error = QStringLiteral("device id \"%1\" is missing or not a valid file name").arg(device->id);
        return false;
    }
    const QString where = QStringLiteral("device \"%1\": ").arg(device->id);
    const QString kind = o.value(QLatin1String("kind")).toString(QStringLiteral("mouse"));
    if (!readId(o.value(QLatin1String("vid")), 0x258a, &device->vendorId) ||
        !readId(o.value(QLatin1String("pid")), 0x001a, &device->productId)) {
        *error = where + QStringLiteral("\"vid\" and \"pid\" must be hexadecimal texts or numbers");
        return false;
    }
    const QByteArray defaultIdentifier =
        (hex4(device->vendorId) + hex4(device->productId)).toUpper().toUtf8() + "-" + device->id.toUtf8();
    QString fieldError;
    if (!readField(o, "identifier", kf::usb::kIdentifierBytes,
                   defaultIdentifier.left(kf::usb::kIdentifierBytes), &device->identifier, &fieldError) ||
        !readField(o, "firmware", kf::usb::kVersionBytes, QByteArray(), &device->firmware, &fieldError) ||
        !readField(o, "serial", kf::usb::kSerialBytes, QByteArray(), &device->serial, &fieldError) ||
        !readField(o, "extra", kf::usb::kTwoCharsBytes, QByteArray(), &device->extra, &fieldError)) {
        *error = where + fieldError;
        return false;
    }
    device->name = o.value(QLatin1String("name")).toString(device->id);
    if (device->name.size() > kMaxPathUnits) {
        *error = where + QStringLiteral("\"name\" is too long");
        return false;
    }
    device->attached = o.value(QLatin1String("attached")).toBool(true);

    const QJsonValue collections = o.value(QLatin1String("collections"));
    if (collections.isUndefined()) {
        device->collections = defaultCollections(device->id, device->vendorId, device->productId,
                                                 kind == QLatin1String("keyboard"));
    } else if (!collections.isArray()) {
        *error = where + QStringLiteral("\"collections\" must be an array");
        return false;
    } else {
        for (const QJsonValue& c : collections.toArray()) {
            const QJsonObject co = c.toObject();
            SimCollection collection;
            collection.path = co.value(QLatin1String("path")).toString();
            if (collection.path.isEmpty() || collection.path.size() > kMaxPathUnits) {
                *error = where + QStringLiteral("a collection path is empty or longer than %1 characters")
                                     .arg(kMaxPathUnits);
                return false;
            }
            if (!readUsage(co.value(QLatin1String("usage")), &collection.usage) ||
                !readUsage(co.value(QLatin1String("usagePage")), &collection.usagePage)) {
                *error = where + QStringLiteral("\"usage\" and \"usagePage\" must be numbers 0 to 65535");
                return false;
            }
            device->collections.append(collection);
        }
    }

    const QJsonValue fail = o.value(QLatin1String("failWrites"));
    if (fail.isString() && fail.toString() == QLatin1String("all")) {
        device->failAllWrites = true;
    } else if (fail.isArray()) {
        for (const QJsonValue& index : fail.toArray()) {
            device->failIndices.insert(index.toInt(-1));
        }
    } else if (!fail.isUndefined()) {
        *error = where + QStringLiteral("\"failWrites\" must be \"all\" or an array of indices");
        return false;
    }
    device->failReset = o.value(QLatin1String("failReset")).toBool(false);
    return true;
}

}  // namespace

const SimDevice* SimCatalog::find(const QString& id) const {
    for (const SimDevice& d : devices) {
        if (d.id == id) {
            return &d;
        }
    }
    return nullptr;
}

const SimDevice* SimCatalog::findByPath(const QString& path) const {
    if (path.isEmpty()) {
        return nullptr;
    }
    for (const SimDevice& d : devices) {
        for (const SimCollection& c : d.collections) {
            if (c.path == path) {
                return &d;
            }
        }
    }
    return nullptr;
}

QVector<SimCollection> defaultCollections(const QString& id, quint32 vendorId, quint32 productId,
                                          bool keyboard) {
    const QString base =
        QStringLiteral("kestrafon-sim:%1/vid_%2&pid_%3&mi_01&col0").arg(id, hex4(vendorId), hex4(productId));
    return {
        {base + QLatin1Char('1'), quint16(keyboard ? 6 : 2), 1},
        {base + QLatin1Char('2'), kf::usb::kVendorUsage, kf::usb::kVendorUsagePageA},
        {base + QLatin1Char('3'), kf::usb::kVendorUsage, kf::usb::kVendorUsagePageB},
    };
}

SimCatalog demoCatalog() {
    SimCatalog catalog;
    SimDevice mouse;
    mouse.id = QStringLiteral("mouse");
    mouse.name = QStringLiteral("Kestrafon demo mouse");
    mouse.productId = 0x001a;
    mouse.identifier = "258A001A-mouse";
    mouse.firmware = "QZK-ZMC-V1.1.0_01";
    mouse.serial = "KFM0000000001";
    mouse.extra = "M1";
    mouse.collections = defaultCollections(mouse.id, mouse.vendorId, mouse.productId, false);
    catalog.devices.append(mouse);

    SimDevice keyboard;
    keyboard.id = QStringLiteral("keyboard");
    keyboard.name = QStringLiteral("Kestrafon demo keyboard");
    keyboard.productId = 0x001a;
    keyboard.identifier = "258A001A-keyboard";
    keyboard.firmware = "QZK-ZKC-V1.1.0_01";
    keyboard.serial = "KFK0000000001";
    keyboard.extra = "K1";
    keyboard.collections = defaultCollections(keyboard.id, keyboard.vendorId, keyboard.productId, true);
    catalog.devices.append(keyboard);
    return catalog;
}

bool parseCatalog(const QByteArray& json, SimCatalog* catalog, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("not a JSON object: %1").arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    const QJsonValue devices = root.value(QLatin1String("devices"));
    if (!devices.isArray()) {
        *error = QStringLiteral("\"devices\" must be an array");
        return false;
    }
    SimCatalog result;
    for (const QJsonValue& value : devices.toArray()) {
        SimDevice device;
        if (!value.isObject() || !parseDevice(value.toObject(), &device, error)) {
            if (!value.isObject()) {
                *error = QStringLiteral("every device must be an object");
            }
            return false;
        }
        if (result.find(device.id)) {
            *error = QStringLiteral("device id \"%1\" appears twice").arg(device.id);
            return false;
        }
        result.devices.append(device);
    }
    const QJsonValue count = root.value(QLatin1String("tableCount"));
    if (!count.isUndefined()) {
        const int n = count.toInt(-2);
        if (n < 0 || n > 0xFFFF) {
            *error = QStringLiteral("\"tableCount\" must be a number 0 to 65535");
            return false;
        }
        result.tableCount = n;
    }
    *catalog = result;
    return true;
}

QByteArray catalogJson(const SimCatalog& catalog) {
    QJsonArray devices;
    for (const SimDevice& d : catalog.devices) {
        QJsonArray collections;
        for (const SimCollection& c : d.collections) {
            collections.append(QJsonObject{{"path", c.path}, {"usage", c.usage}, {"usagePage", c.usagePage}});
        }
        QJsonObject o{{"id", d.id},
                      {"name", d.name},
                      {"vid", hex4(d.vendorId)},
                      {"pid", hex4(d.productId)},
                      {"identifier", QString::fromUtf8(d.identifier)},
                      {"firmware", QString::fromUtf8(d.firmware)},
                      {"serial", QString::fromUtf8(d.serial)},
                      {"extra", QString::fromUtf8(d.extra)},
                      {"attached", d.attached},
                      {"collections", collections}};
        if (d.failAllWrites) {
            o.insert("failWrites", QStringLiteral("all"));
        } else if (!d.failIndices.isEmpty()) {
            QList<int> indices = d.failIndices.values();
            std::sort(indices.begin(), indices.end());
            QJsonArray list;
            for (int i : indices) {
                list.append(i);
            }
            o.insert("failWrites", list);
        }
        if (d.failReset) {
            o.insert("failReset", true);
        }
        devices.append(o);
    }
    QJsonObject root{{"devices", devices}};
    if (catalog.tableCount >= 0) {
        root.insert("tableCount", catalog.tableCount);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

SimCatalog loadCatalog(const QString& stateFolder, bool useStateCopy, QString* error) {
    QString path = qEnvironmentVariable("KESTRAFON_DEVICES");
    if (path.isEmpty() && useStateCopy && QFile::exists(stateFolder + QStringLiteral("/catalog.json"))) {
        path = stateFolder + QStringLiteral("/catalog.json");
    }
    if (path.isEmpty()) {
        return demoCatalog();
    }
    QFile file(path);
    SimCatalog catalog;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the device file %1").arg(path);
        return SimCatalog();
    }
    QString reason;
    if (!parseCatalog(file.readAll(), &catalog, &reason)) {
        *error = QStringLiteral("device file %1: %2").arg(path, reason);
        return SimCatalog();
    }
    return catalog;
}

}  // namespace kf::usbsim
