#include "crash/crash_handler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include "crash/build_id.h"
#include "crash/crash_signal.h"

namespace {

// Runs before crashing: normal context.
QString applicationDir() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath();
    }
    return QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
}

}  // namespace

// Runs before crashing: normal context.
CrashHandler::~CrashHandler() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (installed_) {
        kf::crash::removeHandlers();
    }
}

// Runs before crashing: normal context.
bool CrashHandler::setDumpFolder(const QString& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path.isEmpty()) {
        qWarning("CrashHandler: empty dump folder ignored");
        return false;
    }
    const QString folder = QDir::cleanPath(QDir(path).absolutePath());
    const QByteArray encoded = QFile::encodeName(folder);
    if (static_cast<size_t>(encoded.size()) + 1 + kf::crash::kDumpNameLength + 1 > kf::crash::kPathCapacity ||
        encoded.contains('\0')) {
        qWarning("CrashHandler: dump folder path too long, ignored");
        return false;
    }
    if (!QDir().mkpath(folder)) {
        qWarning("CrashHandler: cannot create the dump folder %s", qPrintable(folder));
        return false;
    }
    if (!installed_ && !kf::crash::installHandlers(kf::crash::mainBuildId().constData())) {
        qWarning("CrashHandler: another crash handler is installed");
        return false;
    }
    installed_ = true;
    dumpFolder_ = folder;
    publishConfig();
    return true;
}

// Runs before crashing: normal context.
QString CrashHandler::dumpFolder() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dumpFolder_;
}

// Runs before crashing: normal context.
void CrashHandler::setReporter(const QString& name) {
    const QString result = resolveReporterPath(name, applicationDir());
    qDebug("BreakpadQt: setReporter: %s -> %s", qPrintable(name), qPrintable(result));
    std::lock_guard<std::mutex> lock(mutex_);
    reporter_ = result;
    publishConfig();
}

// Runs before crashing: normal context.
QString CrashHandler::reporter() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reporter_;
}

// Runs before crashing: normal context.
bool CrashHandler::isInstalled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return installed_;
}

// Runs before crashing: normal context.
QString CrashHandler::resolveReporterPath(const QString& name, const QString& appDir) {
    if (name.isEmpty()) {
        return QString();
    }
    if (QDir::isAbsolutePath(name)) {
        return name;
    }
    const QFileInfo existing(name);
    if (existing.exists()) {
        return existing.absoluteFilePath();
    }
    return QDir::cleanPath(appDir + "/" + name);
}

// Runs before crashing: normal context. Called with mutex_ held; publishes nothing until this
// handler is the installed one.
void CrashHandler::publishConfig() {
    if (!installed_) {
        return;
    }
    const QByteArray reporter = QFile::encodeName(reporter_);
    const int commandLength = reporter_.size() + 1 + dumpFolder_.size() + 1 + int(kf::crash::kDumpNameLength);
    const bool startReporter = !reporter.isEmpty() && !reporter.contains('\0') &&
                               commandLength <= kMaxCommandLine &&
                               static_cast<size_t>(reporter.size()) < kf::crash::kPathCapacity;
    if (!reporter.isEmpty() && !startReporter) {
        qWarning("CrashHandler: reporter command line longer than %d characters, no reporter will be started",
                 kMaxCommandLine);
    }
    kf::crash::publishConfig(QFile::encodeName(dumpFolder_).constData(),
                             startReporter ? reporter.constData() : nullptr);
}

// Runs before crashing: normal context.
bool CrashHandler::writeDumpForTest(int sig, QString* path) {
    char dumpPath[kf::crash::kPathCapacity + kf::crash::kDumpNameLength + 2];
    if (!kf::crash::writeDumpNow(sig, dumpPath, sizeof(dumpPath))) {
        return false;
    }
    if (path != nullptr) {
        *path = QFile::decodeName(dumpPath);
    }
    return true;
}
