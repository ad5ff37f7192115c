#pragma once
// What the Updater does, apart from its command line: wait for the client to exit, list the
// unpacked update, copy it over the installation with each file replaced atomically (and every
// change undone when one fails), empty the update folder, and tell whether the installation
// needs elevated rights.
#include <QString>
#include <QStringList>
#include <functional>

namespace kf::updater {

using LogSink = std::function<void(const QString& line)>;

// Waits until process `pid` has ended (or is a zombie waiting to be reaped). False when it is
// still running after `timeoutMs`.
bool waitForExit(qint64 pid, int timeoutMs);

// The files below `updateFolder`, relative to it, sorted. False when something in it is neither
// a regular file nor a folder (a symbolic link, a device, a pipe) or cannot be read: such an
// update is not installed.
bool listUpdateFiles(const QString& updateFolder, QStringList* files, QString* error);

// True when the user cannot write the installation folder, or one of its existing folders that
// the files go into: the copy then needs elevated rights.
bool needsElevation(const QString& installFolder, const QStringList& files);

// Copies updateFolder/<file> over installFolder/<file> for every file. Each target is replaced
// in one step (a new file written and synced beside it, then renamed over it) and keeps the mode
// of the file it replaces; missing folders are created. If any file fails, everything replaced
// is put back, new files and folders are removed, and the reason is in *error. Every change is
// logged.
bool installFiles(const QString& updateFolder, const QStringList& files, const QString& installFolder,
                  const LogSink& log, QString* error);

// Removes everything inside `folder` (symbolic links are removed, not followed), keeping the
// folder itself.
bool emptyFolder(const QString& folder);

}  // namespace kf::updater
