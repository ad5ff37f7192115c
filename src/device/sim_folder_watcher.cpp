#include "device/sim_folder_watcher.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>

#include "device/sim_location.h"

namespace kf::device {

namespace {

QSet<QString> deviceFiles(const QString& folder) {
    QSet<QString> ids;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        if (kf::usb::isValidSimDeviceId(name)) {
            ids.insert(name);
        }
    }
    return ids;
}

}  // namespace

SimFolderWatcher::SimFolderWatcher(const QString& stateFolder, QObject* parent)
    : QObject(parent), stateFolder_(stateFolder), attachedFolder_(kf::usb::simAttachedFolder(stateFolder)) {
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { rescan(); });
}

bool SimFolderWatcher::start() {
    if (!QDir().mkpath(stateFolder_) || !watcher_.addPath(stateFolder_)) {
        return false;
    }
    watchAttachedFolder();
    known_ = deviceFiles(attachedFolder_);
    return true;
}

void SimFolderWatcher::watchAttachedFolder() {
    if (QFileInfo(attachedFolder_).isDir() && !watcher_.directories().contains(attachedFolder_)) {
        watcher_.addPath(attachedFolder_);
    }
}

void SimFolderWatcher::rescan() {
    // The folder may have been made, replaced or removed since the last look.
    watchAttachedFolder();
    const QSet<QString> now = deviceFiles(attachedFolder_);
    QStringList removed = (known_ - now).values();
    QStringList arrived = (now - known_).values();
    std::sort(removed.begin(), removed.end());
    std::sort(arrived.begin(), arrived.end());
    known_ = now;
    for (const QString& id : qAsConst(removed)) {
        emit deviceRemoved(id);
    }
    for (const QString& id : qAsConst(arrived)) {
        emit deviceArrived(id);
    }
}

}  // namespace kf::device
