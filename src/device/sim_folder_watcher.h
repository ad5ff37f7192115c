#pragma once
// Watches the device emulator's "attached/" folder (sim_location.h) and reports each device
// file that appears or goes away: a device plugged or unplugged with kestrafon-sim. The set
// present when watching starts is taken as known, so only changes are reported. A folder that
// does not exist yet is picked up when it appears (the emulator makes it on first use).
#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QString>

namespace kf::device {

class SimFolderWatcher : public QObject {
    Q_OBJECT
public:
    explicit SimFolderWatcher(const QString& stateFolder, QObject* parent = nullptr);

    // Makes the state folder if needed and starts watching. False when it cannot be watched.
    bool start();

    QSet<QString> attached() const { return known_; }

    // Compares the folder with the known set now and reports the differences (also called on
    // every change notification).
    void rescan();

signals:
    void deviceArrived(const QString& id);
    void deviceRemoved(const QString& id);

private:
    void watchAttachedFolder();

    QString stateFolder_;
    QString attachedFolder_;
    QFileSystemWatcher watcher_;
    QSet<QString> known_;
};

}  // namespace kf::device
