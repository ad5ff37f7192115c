#pragma once
// Folders that only the user running the client may use: the runtime root (theme files, browser
// cache, single-instance socket) and the user's data and state folders. A folder is used only
// after it was opened without following a link and checked through that descriptor: a real
// folder, owned by the user and, for the runtime root, closed to everyone else (0700). What is
// written into it afterwards is written relative to that descriptor, so nobody can swap the
// folder between the check and the write.
//
// The file system is behind a small seam (FolderSystem) so the tests can present folders of
// other users, links and wrong modes even when they run as root, which passes every access check.
#include <QString>
#include <QStringList>

namespace theme_archive {
struct Contents;
}

namespace kf::paths {

// What one path is, as lstat or fstat tell it.
struct FolderStatus {
    enum Kind { Missing, Folder, Link, Other };
    Kind kind = Missing;
    uint owner = 0;
    uint mode = 0;  // the permission bits (07777)
};

class FolderSystem {
public:
    virtual ~FolderSystem() = default;
    // mkdir(path, mode): 0, or the errno.
    virtual int makeFolder(const QString& path, uint mode) = 0;
    // Opens `path` as a folder without following a link in its last part and tells what the
    // descriptor is (fstat): the descriptor (>= 0), or minus the errno.
    virtual int openFolder(const QString& path, FolderStatus* status) = 0;
    // What `path` itself is, a link not followed (lstat).
    virtual FolderStatus status(const QString& path) = 0;
    virtual void closeFolder(int fd) = 0;
};

// The machine's file system.
FolderSystem& systemFolders();

// Creates `path` with mode 0700 when it is missing (its parent must exist, unless `makeParents`)
// and checks it: a real folder, not a link, owned by `uid` and, when `privateMode`, with no
// permission for the group or others. Returns its open descriptor, or -1 with the reason in
// *why (a sentence naming the path).
int openOwnFolder(FolderSystem& fs, const QString& path, uint uid, bool privateMode, QString* why,
                  bool makeParents = false);

// The same, closing the descriptor: true when the folder may be used.
bool ensureOwnFolder(FolderSystem& fs, const QString& path, uint uid, bool privateMode, QString* why,
                     bool makeParents = false);

// Writes every file of an archive below the folder `dirfd`, each path part opened relative to
// its parent without following links (a link on the way is refused). All paths are checked
// first, so a refused archive writes nothing.
bool writeFilesAt(int dirfd, const theme_archive::Contents& contents, QString* error);

// Reads appDir + "/" + name and unpacks it into `folder`, which must pass openOwnFolder for the
// current user (private mode). False, with the reason logged, otherwise.
bool unpackThemeInto(const QString& appDir, const QString& name, const QString& folder);

// Removes `path` and everything below it. The root is looked at with lstat first: a link is
// removed as a link, never followed. Below it nothing is followed either, and a folder on
// another file system (a mount point) is left with its contents. A path that does not exist
// counts as done. When `ownOnly`, a root that is not a real folder of the current user's own is
// left in place (false, logged). Returns false when anything stayed.
bool removeTree(const QString& path, bool ownOnly);

}  // namespace kf::paths
