#pragma once
// What the Updater does around the install itself (release_store.h): wait for the client to
// exit, tell whether the user can write the store, and empty the update folder afterwards.
#include <QString>

namespace kf::updater {

// Waits until process `pid` has ended (or is a zombie waiting to be reaped). False when it is
// still running after `timeoutMs`.
bool waitForExit(qint64 pid, int timeoutMs);

// True when the user cannot write `store` (or, while it does not exist, the folder it is made
// in): the install then needs elevated rights.
bool needsElevation(const QString& store);

// Removes everything inside `folder` (symbolic links are removed, not followed), keeping the
// folder itself.
bool emptyFolder(const QString& folder);

}  // namespace kf::updater
