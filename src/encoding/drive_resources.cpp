#include "encoding/drive_resources.h"

#include <QFile>

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

}  // namespace kf::encoding
