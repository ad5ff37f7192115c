#include "encoding/key_code_map.h"

#include "encoding/drive_resources.h"

#include <QFile>
#include <QHash>
#include <QReadWriteLock>

#include <pugixml.hpp>

namespace kf::encoding {
namespace {

// The tables are a few kilobytes; anything far larger is not one of them.
constexpr qint64 kMaxTableBytes = 4 * 1024 * 1024;

QReadWriteLock& mapLock() {
    static QReadWriteLock lock;
    return lock;
}

QHash<QString, QString>& keyCodes() {
    static QHash<QString, QString> map;
    return map;
}

}  // namespace

bool loadKeyCodeMap() {
    return loadKeyCodeMapFrom(drivePrefix() + QStringLiteral("Define"));
}

bool loadKeyCodeMapFrom(const QString& path) {
    initDriveResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxTableBytes) {
        return false;
    }
    const QByteArray text = file.readAll();
    pugi::xml_document doc;
    if (!doc.load_buffer(text.constData(), static_cast<size_t>(text.size()))) {
        return false;
    }
    QHash<QString, QString> loaded;
    for (const pugi::xml_node key : doc.child("keyboard").children("key")) {
        loaded.insert(QString::fromUtf8(key.attribute("task").value()).toUpper(),
                      QString::fromUtf8(key.attribute("hidCode").value()));
    }
    QWriteLocker locker(&mapLock());
    keyCodes().swap(loaded);
    return true;
}

QString hidCodeForTask(const QString& task) {
    QReadLocker locker(&mapLock());
    return keyCodes().value(task);
}

int keyCodeMapSize() {
    QReadLocker locker(&mapLock());
    return keyCodes().size();
}

}  // namespace kf::encoding
