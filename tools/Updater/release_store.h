#pragma once
// The release store: every installed update is a whole client in `releases/<version>` below the
// store, and the symbolic link `current` names the one to run (`previous` the one before it).
// A new release is built under a hidden name, renamed into place, and `current` is switched by
// renaming a new link over it, so a kill or power loss at any moment leaves `current` naming one
// whole release (or nothing, before the first update); the next run removes whatever half-built
// remains. The packaged installation is never written: its store is /var/lib/kestrafon.
//
// The steps of an install, after each of which a test may stop it:
//   1 the update copied into a private staging folder and its digest checked
//   2 the new release built (the running installation's files with the update's over them)
//   3 the release renamed into releases/<version>
//   4 `previous` switched to the release `current` names
//   5 `current` switched to the new release
//   6 the staging folder and releases older than `previous` removed
#include <QString>
#include <functional>

#include <sys/types.h>

namespace kf::updater {

using LogSink = std::function<void(const QString& line)>;

enum InstallStep { kStaged = 1, kBuilt, kPlaced, kPreviousKept, kSwitched, kCleaned };

struct InstallRequest {
    QString updateFolder;  // absolute: the unpacked update
    QString baseFolder;    // absolute: the installation the client ran from
    QString store;         // absolute: holds releases/, current and previous
    QString digest;        // what the client computed over the files it unpacked
    QString clientName = QStringLiteral("kestrafon");
    // The elevated half: the update folder and all it holds must belong to `user` (the one who
    // asked for the install), the store must be root's and not writable by others, and the base
    // must be the packaged installation or a release of the store.
    bool elevated = false;
    uid_t user = 0;
    // Test hooks: called after each step, and after each folder of the update was listed.
    std::function<void(int step)> afterStep;
    std::function<void(const QString& relativeFolder)> afterListing;
};

struct Installed {
    QString version;
    QString release;  // the new release's folder
};

// Installs the update as a new release and switches `current` to it. False (and *error) when
// anything is refused or fails: `current` then names what it named before.
bool installRelease(const InstallRequest& request, const LogSink& log, Installed* installed, QString* error);

// Where a client installed in `installFolder` keeps its releases: the system store for the
// packaged installation (never written itself); the store that holds it when it is a release
// (<store>/releases/<version>); else the installation itself, a folder of the user's.
QString storeFor(const QString& installFolder);

// The store of the packaged installation (KESTRAFON_RELEASE_STORE, else /var/lib/kestrafon)
// and the packaged installation (KESTRAFON_PACKAGED_DIR, else /opt/kestrafon). pkexec clears the
// environment, so a user cannot move either for the elevated half.
QString systemStore();
QString packagedFolder();

// The version of the client in `folderFd`: the "version" of <root><client> in
// Resources/conf.xml, if it is a plain name (letters, digits, ".", "_", "+", "~", "-").
QString clientVersion(int folderFd);

}  // namespace kf::updater
