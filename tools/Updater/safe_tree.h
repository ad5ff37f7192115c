#pragma once
// File-tree work that stays safe when another user changes the tree while we read it: every
// folder is opened relative to its parent's descriptor with O_NOFOLLOW, every check is made on
// the descriptor that is then read (fstat), so a folder swapped for a symbolic link between the
// listing and the copy is refused instead of followed.
#include <QString>
#include <QStringList>
#include <functional>

#include <sys/types.h>

namespace kf::updater {

// What a copy accepts from its source and how it writes.
struct CopyRules {
    bool checkOwner = false;  // every file and folder must belong to `owner`
    uid_t owner = 0;
    bool refuseHardLinks = true;  // a file with more than one name is refused
    bool copyLinks = false;       // symbolic links are copied as links (never followed); else refused
    QStringList skipTopLevel;     // names at the top that are not copied (and "*.log", "*.dmp")
    bool skipLogs = false;
    enum class Modes {
        Private,       // 0600 files, 0700 folders: a staging copy
        FromSource,    // 0755 for an executable source, else 0644, never more readable than the source
        FromReplaced,  // 0755 where the file it replaces was executable, else 0644
    } modes = Modes::Private;
    bool replace = false;  // files already in the target are replaced (an overlay)
    // Limits of the whole copy (0: none), so a user cannot fill the disk of the elevated half.
    qint64 maxBytes = 0;
    int maxEntries = 0;
    // Test hook: called after a folder's names were read, before any of them is opened.
    std::function<void(const QString& relativeFolder)> afterListing;
};

// Opens an absolute folder one component at a time, never following a symbolic link. -1 (and
// *error) when a component is missing, a link or not a folder.
int openFolder(const QString& absolutePath, QString* error);

// Opens (creating with `mode` when missing) the folder `name` inside `parentFd` without
// following a link. -1 and *error on failure.
int openOrMakeFolder(int parentFd, const QString& name, mode_t mode, QString* error);

// Copies the tree of `sourceFd` into `targetFd` by `rules`. Every file written is synced; on a
// refusal the target holds a part of the copy, which the caller removes.
bool copyTree(int sourceFd, int targetFd, const CopyRules& rules, QString* error);

// The update digest (update_digest.h) of the files below `folderFd`, which must be our own.
bool digestTree(int folderFd, QString* hex, QString* error);

// Removes `name` inside `parentFd` and all it holds, never following a link or leaving the
// parent's file system. True when it is gone (or was never there).
bool removeTree(int parentFd, const QString& name);

// The names inside a folder, sorted. False when it cannot be read.
bool listFolder(int folderFd, QStringList* names);

}  // namespace kf::updater
