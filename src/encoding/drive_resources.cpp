#include "encoding/drive_resources.h"

#include <QFile>
#include <pugixml.hpp>

#include <mutex>

// Q_INIT_RESOURCE has to be expanded outside any namespace.
static void initDriveResourcesOnce() {
    Q_INIT_RESOURCE(drive);
}

void initDriveResources() {
    static std::once_flag once;
    std::call_once(once, initDriveResourcesOnce);
}

namespace kf::encoding {

bool readDriveResource(const QString& name, QByteArray* out) {
    if (out == nullptr) {
        return false;
    }
    out->clear();
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name == QLatin1String(".") || name == QLatin1String("..")) {
        return false;
    }
    initDriveResources();
    QFile file(drivePrefix() + name);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    *out = file.readAll();
    return true;
}

bool loadTableDocument(const QString& path, QByteArray* text, pugi::xml_document* doc) {
    // The tables are a few kilobytes; anything far larger is not one of them.
    constexpr qint64 kMaxTableBytes = 4 * 1024 * 1024;
    initDriveResources();
    QFile file(path);
    if (text == nullptr || doc == nullptr || !file.open(QIODevice::ReadOnly) ||
        file.size() > kMaxTableBytes) {
        return false;
    }
    *text = file.readAll();
    return static_cast<bool>(doc->load_buffer(text->constData(), static_cast<size_t>(text->size())));
}

}  // namespace kf::encoding
