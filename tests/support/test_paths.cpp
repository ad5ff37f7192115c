#include "support/test_paths.h"

#include <QtGlobal>

namespace kftest {
namespace {
QString fromEnv(const char* name, const char* fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromUtf8(fallback) : value;
}
}  // namespace

QString sourceDir() {
    return fromEnv("KF_SOURCE_DIR", KF_SOURCE_DIR_DEFAULT);
}
QString binaryDir() {
    return fromEnv("KF_BINARY_DIR", KF_BINARY_DIR_DEFAULT);
}
QString appDir() {
    return fromEnv("KF_APP_DIR", KF_APP_DIR_DEFAULT);
}

}  // namespace kftest
