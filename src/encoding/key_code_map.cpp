#include "encoding/key_code_map.h"

#include "encoding/drive_resources.h"

#include <QHash>
#include <QReadWriteLock>

#include <pugixml.hpp>

namespace kf::encoding {
namespace {

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
    QByteArray text;
    pugi::xml_document doc;
    if (!loadTableDocument(path, &text, &doc)) {
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
