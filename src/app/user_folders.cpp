#include "app/user_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include "app/private_folder.h"

namespace kf::paths {
namespace {

// An XDG base folder: the variable when it holds an absolute path, else home + fallback.
QString baseFolder(const QString& variable, const QString& home, const QString& fallback) {
    if (!variable.isEmpty() && QDir::isAbsolutePath(variable)) {
        return QDir::cleanPath(variable);
    }
    return QDir::cleanPath(home + fallback);
}

}  // namespace

Environment Environment::ofProcess() {
    Environment env;
    env.runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    env.dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    env.stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    env.home = QDir::homePath();
    env.tempDir = QDir::tempPath();
    env.uid = ::geteuid();
    return env;
}

QStringList runtimeRootCandidates(const Environment& env) {
    QStringList candidates;
    if (!env.runtimeDir.isEmpty() && QDir::isAbsolutePath(env.runtimeDir)) {
        candidates << QDir::cleanPath(env.runtimeDir + QStringLiteral("/kestrafon"));
    }
    candidates << QDir::cleanPath(env.tempDir + QStringLiteral("/kestrafon-%1").arg(env.uid));
    return candidates;
}

QString chooseRuntimeRoot(FolderSystem& fs, const Environment& env, QStringList* refusals) {
    for (const QString& candidate : runtimeRootCandidates(env)) {
        QString why;
        if (ensureOwnFolder(fs, candidate, env.uid, true, &why)) {
            return candidate;
        }
        refusals->append(why);
    }
    return QString();
}

QString dataFolder(const Environment& env) {
    return baseFolder(env.dataHome, env.home, QStringLiteral("/.local/share")) + QStringLiteral("/kestrafon");
}

QString stateFolder(const Environment& env) {
    return baseFolder(env.stateHome, env.home, QStringLiteral("/.local/state")) +
           QStringLiteral("/kestrafon");
}

QString writableOr(const QString& appDir, const QString& userFolder) {
    const QFileInfo app(appDir);
    if (!appDir.isEmpty() && app.isDir() &&
        ::access(QFile::encodeName(app.absoluteFilePath()).constData(), W_OK) == 0) {
        return QDir::cleanPath(app.absoluteFilePath());
    }
    return userFolder;
}

UserFolders UserFolders::prepare(const QString& appDir, const Environment& env, const QString& fallback) {
    UserFolders folders;
    folders.profileFolder = writableOr(appDir, dataFolder(env));
    folders.logFolder = writableOr(appDir, stateFolder(env));
    if (folders.logFolder == stateFolder(env) &&
        !ensureOwnFolder(systemFolders(), folders.logFolder, env.uid, false, &folders.problem, true)) {
        folders.logFolder = fallback;
    }
    return folders;
}

}  // namespace kf::paths
