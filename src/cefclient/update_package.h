#pragma once
// Client update packages: the theme archive format (theme_archive.h) holding the files of a new
// client below one root folder ("Kestrafon/kestrafon", "Kestrafon/theme.pak", ...). Unpacking
// drops the root folder and puts the files into the update folder, from where the Updater
// program copies them over the installation once the client has quit.
//
// A package is consumed: once it has been read (at least 158 bytes) it is deleted, whether or
// not it turns out to be valid, so a bad download is not tried again.
#include <QString>
#include <QStringList>

namespace kf::update {

// The folder updates are downloaded and unpacked into: appDir + "/update" while the
// installation folder is writable by the user (a build folder, as before), else the user's own
// "kestrafon/update" in $XDG_DATA_HOME (else ~/.local/share), never a shared place.
QString updateFolder(const QString& appDir);

// True when `folder` is a real folder, not a symbolic link, owned by the user running the client:
// one the client may fill, empty or remove.
bool isOwnFolder(const QString& folder);

// Makes `folder` (mode 0700, with missing parents) when it does not exist. True when it then is
// one of the user's own (isOwnFolder).
bool ensureOwnFolder(const QString& folder, QString* error);

// True when `path` names something below `folder` (after resolving symbolic links of the
// folders on the way; the last part itself is not resolved).
bool isInsideFolder(const QString& path, const QString& folder);

// Where an entry goes below the update folder: its path split at "/", the first part (the
// package's root folder) dropped, the rest joined with "/". Empty when that rest names no file
// inside the folder: nothing left ("root", "root/"), absolute ("root//etc/x"), or with a ".."
// part.
QString entryTarget(const QString& entryPath);

enum class UnpackStatus {
    Unpacked,
    Unreadable,  // missing, not a regular file, unreadable or too short: the file is kept
    Refused,     // damaged, empty or unsafe package, or the files could not be written
};

struct UnpackResult {
    UnpackStatus status = UnpackStatus::Unreadable;
    bool packageDeleted = false;
    QString error;      // why it failed, for the log
    QStringList files;  // on success: the files now in the update folder, relative to it
    QString digest;     // on success: their digest (update_digest.h), for the Updater's command line
};

// Reads the package, deletes it (only when it lies in the update folder: a file kept elsewhere
// is the user's), verifies its digest, decompresses it and checks every entry; then writes the
// files into a fresh folder beside the update folder and swaps that into place in one step. The
// update folder then holds exactly the package's files; a package that fails anywhere leaves
// it as it was. The update folder is created when missing and must be the user's own.
UnpackResult unpackClientUpdate(const QString& packagePath, const QString& updateFolder);

}  // namespace kf::update
