#include "dump_keeper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

bool isInside(const QString& folder, const QString& root) {
    if (root.isEmpty()) {
        return false;
    }
    return folder == root || folder.startsWith(root.endsWith('/') ? root : root + '/');
}

QString canonicalOr(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

// A name in `folder` that is not taken yet: "<base>.dmp", then "<base>-1.dmp", "<base>-2.dmp", ...
QString freeName(const QDir& folder, const QFileInfo& dump) {
    const QString base = dump.completeBaseName();
    const QString suffix = dump.suffix().isEmpty() ? QString() : "." + dump.suffix();
    QString candidate = dump.fileName();
    for (int n = 1; folder.exists(candidate) && n < 10000; ++n) {
        candidate = QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
    }
    return folder.exists(candidate) ? QString() : folder.filePath(candidate);
}

}  // namespace

bool isTemporaryFolder(const QString& folder) {
    const QString canonical = canonicalOr(folder);
    const QStringList roots = {canonicalOr(QDir::tempPath()), QStringLiteral("/tmp"),
                               QStringLiteral("/var/tmp"), QStringLiteral("/dev/shm")};
    for (const QString& root : roots) {
        if (isInside(canonical, root)) {
            return true;
        }
    }
    return false;
}

KeptDump keepDump(const QString& dumpPath, const QString& keepFolder) {
    KeptDump result;
    if (dumpPath.isEmpty()) {
        result.problem = QStringLiteral("no crash dump was given");
        return result;
    }
    const QFileInfo dump(dumpPath);
    // The crash handler writes plain files; anything else (a link, a folder, a device) is not ours.
    if (!dump.exists() || dump.isSymLink() || !dump.isFile()) {
        result.problem = QStringLiteral("crash dump not found: %1").arg(dumpPath);
        return result;
    }
    const QString original = dump.canonicalFilePath();
    result.kept = true;
    result.location = original;
    if (!isTemporaryFolder(dump.canonicalPath())) {
        return result;
    }

    QDir crashes(keepFolder);
    if (keepFolder.isEmpty() || !crashes.mkpath(QStringLiteral("crashes")) ||
        !crashes.cd(QStringLiteral("crashes"))) {
        result.problem = QStringLiteral("cannot create the crashes folder in %1").arg(keepFolder);
        return result;
    }
    if (canonicalOr(crashes.absolutePath()) == dump.canonicalPath()) {
        return result;  // already in the crashes folder
    }
    const QString target = freeName(crashes, dump);
    if (target.isEmpty() || !QFile::copy(original, target)) {
        result.problem = QStringLiteral("cannot copy the crash dump into %1").arg(crashes.absolutePath());
        return result;
    }
    result.location = target;
    return result;
}
