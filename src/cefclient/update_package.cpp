#include "cefclient/update_package.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cefclient/theme_archive.h"
#include "cefclient/update_digest.h"

namespace kf::update {

namespace {

UnpackResult failure(UnpackStatus status, bool deleted, const QString& error) {
    UnpackResult r;
    r.status = status;
    r.packageDeleted = deleted;
    r.error = error;
    return r;
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Writes the files below `folder` (which is new and empty), creating their folders.
bool writeAll(const QString& folder, const QVector<QPair<QString, QByteArray>>& files, QString* error) {
    for (const auto& file : files) {
        const QString target = folder + QLatin1Char('/') + file.first;
        if (!QDir().mkpath(QFileInfo(target).path())) {
            *error = QStringLiteral("cannot create the folder of %1").arg(file.first);
            return false;
        }
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *error = QStringLiteral("cannot write %1: %2").arg(file.first, out.errorString());
            return false;
        }
        if (out.write(file.second) != file.second.size() || !out.flush()) {
            *error = QStringLiteral("cannot write %1: %2").arg(file.first, out.errorString());
            return false;
        }
    }
    return true;
}

// Puts `staging` in the place of `folder` in one step; the old folder ends up at `staging`.
bool swapInto(const QString& staging, const QString& folder, QString* error) {
    const QByteArray from = QFile::encodeName(staging);
    const QByteArray to = QFile::encodeName(folder);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        *error = QStringLiteral("cannot move the unpacked files into %1: %2").arg(folder, systemError());
        return false;
    }
    // A file system without exchange: two renames, the old folder put back if the second fails.
    const QByteArray old = from + ".old";
    if (::rename(to.constData(), old.constData()) != 0) {
        *error = QStringLiteral("cannot move %1 aside: %2").arg(folder, systemError());
        return false;
    }
    if (::rename(from.constData(), to.constData()) != 0) {
        *error = QStringLiteral("cannot move the unpacked files into %1: %2").arg(folder, systemError());
        ::rename(old.constData(), to.constData());
        return false;
    }
    return ::rename(old.constData(), from.constData()) == 0 ||
           QDir(QFile::decodeName(old)).removeRecursively();
}

}  // namespace

QString updateFolder(const QString& appDir) {
    const QFileInfo app(appDir);
    if (app.isDir() && ::access(QFile::encodeName(app.absoluteFilePath()).constData(), W_OK) == 0) {
        return QDir::cleanPath(app.absoluteFilePath() + QStringLiteral("/update"));
    }
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) {
        data = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(data + QStringLiteral("/kestrafon/update"));
}

bool isOwnFolder(const QString& folder) {
    struct stat st {};
    return ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid();
}

bool ensureOwnFolder(const QString& folder, QString* error) {
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0) {
        if (errno != ENOENT || !QDir().mkpath(QFileInfo(folder).path()) ||
            ::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
            *error = QStringLiteral("cannot create %1: %2").arg(folder, systemError());
            return false;
        }
    }
    if (!isOwnFolder(folder)) {
        *error = QStringLiteral("%1 is not a folder of the user's own").arg(folder);
        return false;
    }
    return true;
}

bool isInsideFolder(const QString& path, const QString& folder) {
    const QString base = QFileInfo(folder).canonicalFilePath();
    const QFileInfo info(path);
    const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (base.isEmpty() || parent.isEmpty() || info.fileName().isEmpty() ||
        info.fileName() == QLatin1String("..") || info.fileName() == QLatin1String(".")) {
        return false;
    }
    return parent == base || parent.startsWith(base + QLatin1Char('/'));
}

QString entryTarget(const QString& entryPath) {
    QStringList parts = entryPath.split(QLatin1Char('/'));  // empty parts kept
    parts.removeFirst();
    const QString rest = parts.join(QLatin1Char('/'));
    return theme_archive::isSafeRelativePath(rest) ? rest : QString();
}

UnpackResult unpackClientUpdate(const QString& packagePath, const QString& updateFolder) {
    // 1-2. Read the whole file; a package without a single byte of LZMA stream is left alone.
    const QFileInfo info(packagePath);
    if (packagePath.isEmpty() || !info.isFile()) {
        return failure(UnpackStatus::Unreadable, false,
                       QStringLiteral("no package file at \"%1\"").arg(packagePath));
    }
    QFile file(packagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        return failure(UnpackStatus::Unreadable, false,
                       QStringLiteral("cannot read %1: %2").arg(packagePath, file.errorString()));
    }
    if (file.size() > qint64(theme_archive::kMaxPayloadSize)) {
        return failure(UnpackStatus::Unreadable, false, QStringLiteral("%1 is too large").arg(packagePath));
    }
    const QByteArray bytes = file.readAll();
    file.close();
    if (bytes.size() != info.size()) {
        return failure(UnpackStatus::Unreadable, false, QStringLiteral("cannot read %1").arg(packagePath));
    }
    if (bytes.size() - theme_archive::kStreamOffset < 1) {
        return failure(
            UnpackStatus::Unreadable, false,
            QStringLiteral("%1 is %2 bytes, too short for a package").arg(packagePath).arg(bytes.size()));
    }

    // 3. Consume the package, so a bad download is not tried again.
    bool deleted = false;
    if (isInsideFolder(packagePath, updateFolder)) {
        deleted = QFile::remove(packagePath);
    }

    // 4-7. Digest, decompression, payload; at least one entry.
    theme_archive::Contents contents;
    QString error;
    if (!theme_archive::decode(bytes, &contents, &error)) {
        return failure(UnpackStatus::Refused, deleted, error);
    }
    if (contents.files.isEmpty()) {
        return failure(UnpackStatus::Refused, deleted, QStringLiteral("the package holds no files"));
    }

    // 8. Every entry must land inside the update folder; one that would not refuses the package.
    QVector<QPair<QString, QByteArray>> files;
    QStringList targets;
    for (const theme_archive::File& entry : qAsConst(contents.files)) {
        const QString target = entryTarget(entry.path);
        if (target.isEmpty()) {
            return failure(
                UnpackStatus::Refused, deleted,
                QStringLiteral("refused the entry \"%1\": it names no file inside the update folder")
                    .arg(entry.path));
        }
        files.append({target, entry.data});
        if (!targets.contains(target)) {
            targets.append(target);
        }
    }

    // Write into a fresh folder beside the update folder, then swap it into place.
    if (!ensureOwnFolder(updateFolder, &error)) {
        return failure(UnpackStatus::Refused, deleted, error);
    }
    QByteArray stagingName = QFile::encodeName(QDir::cleanPath(updateFolder)) + ".staging-XXXXXX";
    if (!::mkdtemp(stagingName.data())) {
        return failure(
            UnpackStatus::Refused, deleted,
            QStringLiteral("cannot create a folder beside %1: %2").arg(updateFolder, systemError()));
    }
    const QString staging = QFile::decodeName(stagingName);
    if (!writeAll(staging, files, &error) || !swapInto(staging, updateFolder, &error)) {
        QDir(staging).removeRecursively();
        return failure(UnpackStatus::Refused, deleted, error);
    }
    QDir(staging).removeRecursively();  // now the old update folder

    UnpackResult result;
    result.status = UnpackStatus::Unpacked;
    result.packageDeleted = deleted;
    result.files = targets;
    result.digest = updateDigest(files);
    return result;
}

}  // namespace kf::update
