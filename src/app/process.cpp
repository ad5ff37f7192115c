#include "app/process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QtDebug>
#include <atomic>

#include "app/application.h"
#include "cefclient/update_package.h"

namespace kf {
namespace {
std::atomic<bool> g_quitRequested{false};
std::atomic<bool> g_autostart{false};
std::atomic<bool> g_updatePending{false};
QString g_appDir;
Application* g_application = nullptr;
}  // namespace

void quitApplication() {
    bool expected = false;
    if (!g_quitRequested.compare_exchange_strong(expected, true)) {
        return;
    }
    if (g_application) {
        // Queued: QCoreApplication::quit() before exec() would be lost. The application lets a
        // running firmware update end first; asking again meanwhile is this same quit.
        QMetaObject::invokeMethod(g_application, "finishQuit", Qt::QueuedConnection);
    }
}

bool quitRequested() {
    return g_quitRequested.load();
}

QString appDirPath() {
    return g_appDir;
}
void setAppDirPath(const QString& dirWithSlash) {
    g_appDir = dirWithSlash;
}

bool startedWithAutostart() {
    return g_autostart.load();
}
void setStartedWithAutostart(bool on) {
    g_autostart.store(on);
}

bool updatePending() {
    return g_updatePending.load();
}
void setUpdatePending(bool on) {
    g_updatePending.store(on);
}

Application* currentApplication() {
    return g_application;
}
void setCurrentApplication(Application* app) {
    g_application = app;
}
Window* mainWindow() {
    return g_application ? g_application->mainWindow() : nullptr;
}
QObject* deviceFilter() {
    return g_application ? g_application->deviceFilter() : nullptr;
}

QString cacheFolder() {
    return QDir::toNativeSeparators(QDir::tempPath() + "/Kestrafon");
}

bool removeOwnFolderRecursively(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return true;
    }
    if (!kf::update::isOwnFolder(path)) {
        qWarning().noquote() << path << "is not a folder of the user's own; it is left in place";
        return false;
    }
    return removeFolderRecursively(path);
}

bool removeFolderRecursively(const QString& path) {
    QDir dir(path);
    if (!dir.exists()) {
        return true;
    }
    bool ok = true;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : entries) {
        if (info.isDir() && !info.isSymLink()) {
            ok = removeFolderRecursively(info.absoluteFilePath()) && ok;
        } else {
            ok = QFile::remove(info.absoluteFilePath()) && ok;
        }
    }
    return dir.rmdir(path) && ok;
}

}  // namespace kf
