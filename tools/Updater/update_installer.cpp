#include "update_installer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace kf::updater {

namespace {

// Linux keeps an ended child as a zombie until its parent reaps it; it counts as ended.
bool processRunning(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        return close < 0 || close + 2 >= line.size() ||
               (line.at(close + 2) != 'Z' && line.at(close + 2) != 'X');
    }
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

bool waitForExit(qint64 pid, int timeoutMs) {
    if (pid <= 0) {
        return true;
    }
    QElapsedTimer timer;
    timer.start();
    while (processRunning(pid)) {
        if (timer.elapsed() >= timeoutMs) {
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

bool needsElevation(const QString& store) {
    const QString existing = QFileInfo::exists(store) ? store : QFileInfo(store).path();  // made when missing
    return ::access(QFile::encodeName(existing).constData(), W_OK) != 0;
}

bool emptyFolder(const QString& folder) {
    bool ok = true;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : entries) {
        if (info.isDir() && !info.isSymLink()) {
            ok = QDir(info.filePath()).removeRecursively() && ok;
        } else {
            ok = QFile::remove(info.filePath()) && ok;
        }
    }
    return ok;
}

}  // namespace kf::updater
