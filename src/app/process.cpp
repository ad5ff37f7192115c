#include "app/process.h"

#include <QCoreApplication>
#include <QDir>
#include <QMetaObject>
#include <QtDebug>
#include <atomic>

#include "app/application.h"
#include "app/private_folder.h"

namespace kf {
namespace {
std::atomic<bool> g_quitRequested{false};
std::atomic<bool> g_autostart{false};
std::atomic<bool> g_updatePending{false};
QString g_appDir;
QString g_runtimeRoot;
paths::UserFolders g_userFolders;
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

QString runtimeRoot() {
    return g_runtimeRoot;
}
void setRuntimeRoot(const QString& folder) {
    g_runtimeRoot = folder;
}

const paths::UserFolders& userFolders() {
    return g_userFolders;
}
void setUserFolders(const paths::UserFolders& folders) {
    g_userFolders = folders;
}

QString cacheFolder() {
    if (!g_runtimeRoot.isEmpty()) {
        return g_runtimeRoot + QStringLiteral("/cache");
    }
    return QDir::toNativeSeparators(QDir::tempPath() + "/Kestrafon");
}

bool removeOwnFolderRecursively(const QString& path) {
    return paths::removeTree(path, true);
}

bool removeFolderRecursively(const QString& path) {
    return paths::removeTree(path, false);
}

}  // namespace kf
