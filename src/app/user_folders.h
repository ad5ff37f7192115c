#pragma once
// Where the client keeps what belongs to the user running it. The installation may be a folder
// nobody but root can write (the package's /opt/kestrafon) and several users may run the client
// at once, so every per-user thing has a place of that user's own:
//   runtime root   $XDG_RUNTIME_DIR/kestrafon, else <temp>/kestrafon-<uid> (0700): the unpacked
//                  theme files, the browser cache, the single-instance socket
//   data folder    $XDG_DATA_HOME/kestrafon, else ~/.local/share/kestrafon: profile files
//   state folder   $XDG_STATE_HOME/kestrafon, else ~/.local/state/kestrafon: the log, the
//                  Updater's log, crash dumps
// An installation folder the user may write (the build's app folder, an unpacked copy) keeps
// its profiles, log and dumps beside the executable.
#include <QString>
#include <QStringList>

namespace kf::paths {

class FolderSystem;

// The part of the process environment the places depend on.
struct Environment {
    QString runtimeDir;  // XDG_RUNTIME_DIR
    QString dataHome;    // XDG_DATA_HOME
    QString stateHome;   // XDG_STATE_HOME
    QString home;        // the home folder
    QString tempDir;     // the temporary folder (TMPDIR, else /tmp)
    uint uid = 0;        // the effective user id

    static Environment ofProcess();
};

// The runtime root's candidates, best first: $XDG_RUNTIME_DIR/kestrafon when that variable is
// an absolute path, then <temp>/kestrafon-<uid>.
QStringList runtimeRootCandidates(const Environment& env);
// The first candidate that is (or is made) a private folder of env.uid's own (openOwnFolder);
// empty when none is, with one refusal per candidate in *refusals.
QString chooseRuntimeRoot(FolderSystem& fs, const Environment& env, QStringList* refusals);
QString dataFolder(const Environment& env);
QString stateFolder(const Environment& env);

// The folder to write profiles, the log or dumps into: `appDir` when the user may write it,
// else `userFolder`.
QString writableOr(const QString& appDir, const QString& userFolder);

// Where this run writes: profiles, and the log, the Updater's log and crash dumps.
struct UserFolders {
    QString profileFolder;  // the application folder when writable, else the data folder
    QString logFolder;      // the application folder when writable, else the state folder
    QString problem;        // why the state folder could not be used (then the runtime root is)

    // The state folder is made (with its parents) and checked to be the user's own; when it
    // cannot be, the log and dumps go to `fallback` (the runtime root).
    static UserFolders prepare(const QString& appDir, const Environment& env, const QString& fallback);
};

}  // namespace kf::paths
