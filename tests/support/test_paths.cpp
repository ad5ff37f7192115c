#include "support/test_paths.h"

#include <QDir>
#include <QtGlobal>

namespace kftest {
namespace {
QString fromEnv(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}
}  // namespace

QString sourceDir() { return fromEnv("KF_SOURCE_DIR", QDir::currentPath() + "/../.."); }
QString binaryDir() { return fromEnv("KF_BINARY_DIR", QDir::currentPath() + "/.."); }
QString appDir() { return fromEnv("KF_APP_DIR", binaryDir() + "/app"); }

}  // namespace kftest
