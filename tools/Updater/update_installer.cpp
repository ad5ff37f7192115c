#include "update_installer.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QVector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace kf::updater {

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// The content and mode of a regular file, opened without following a symbolic link.
bool readRegularFile(const QString& path, QByteArray* bytes, mode_t* mode, QString* error) {
    const int fd = ::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("cannot read %1: %2")
                     .arg(path, fd < 0 ? systemError() : QStringLiteral("not a file"));
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    QFile file;
    const bool ok = file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    *bytes = ok ? file.readAll() : QByteArray();
    if (!ok || bytes->size() != st.st_size) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    *mode = st.st_mode & 07777;
    return true;
}

// A name beside `target` that does not exist yet: ".<name>.<tag>-XXXXXX", reserved by mkstemp.
// The file is left open and returned in *fd.
QString besideTarget(const QString& target, const char* tag, int* fd) {
    const QFileInfo info(target);
    QByteArray name = native(info.path() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') +
                             QLatin1String(tag) + QStringLiteral("-XXXXXX"));
    *fd = ::mkstemp(name.data());
    return *fd < 0 ? QString() : QFile::decodeName(name);
}

// One replaced or added file, to be undone on failure.
struct Change {
    QString target;
    QString backup;  // the old file under another name; empty when the target is new
};

class Installation {
public:
    Installation(const QString& installFolder, const LogSink& log) : root_(installFolder), log_(log) {}

    bool install(const QString& source, const QString& relative, QString* error) {
        const QString target = root_ + QLatin1Char('/') + relative;
        QByteArray bytes;
        mode_t mode = 0644;
        if (!readRegularFile(source, &bytes, &mode, error) || !makeFolders(relative, error)) {
            return false;
        }
        struct stat old {};
        const bool exists = ::lstat(native(target).constData(), &old) == 0;
        if (exists && S_ISDIR(old.st_mode)) {
            *error = QStringLiteral("%1 is a folder in the installation").arg(relative);
            return false;
        }
        if (exists && S_ISREG(old.st_mode)) {
            mode = old.st_mode & 07777;  // an installed program stays executable
        }
        int fd = -1;
        const QString temp = besideTarget(target, "kf-new", &fd);
        if (temp.isEmpty()) {
            *error = QStringLiteral("cannot write beside %1: %2").arg(relative, systemError());
            return false;
        }
        const bool written =
            writeAll(fd, bytes.constData(), bytes.size()) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            *error = QStringLiteral("cannot write %1: %2").arg(relative, systemError());
            ::unlink(native(temp).constData());
            return false;
        }
        Change change{target, QString()};
        if (exists && !keepOld(target, &change.backup, error)) {
            ::unlink(native(temp).constData());
            return false;
        }
        if (::rename(native(temp).constData(), native(target).constData()) != 0) {
            *error = QStringLiteral("cannot replace %1: %2").arg(relative, systemError());
            ::unlink(native(temp).constData());
            if (!change.backup.isEmpty()) {
                ::unlink(native(change.backup).constData());
            }
            return false;
        }
        changes_.append(change);
        log_(QStringLiteral("%1 %2 (%3 bytes)")
                 .arg(exists ? "replaced" : "added", relative)
                 .arg(bytes.size()));
        return true;
    }

    // Puts every replaced file back and removes what was added, newest first.
    void rollBack() {
        for (int i = changes_.size() - 1; i >= 0; --i) {
            const Change& c = changes_.at(i);
            const bool ok = c.backup.isEmpty()
                                ? ::unlink(native(c.target).constData()) == 0
                                : ::rename(native(c.backup).constData(), native(c.target).constData()) == 0;
            log_(QStringLiteral("%1 %2%3").arg(c.backup.isEmpty() ? "removed" : "restored", c.target,
                                               ok ? QString() : QStringLiteral(" FAILED: ") + systemError()));
        }
        for (int i = createdFolders_.size() - 1; i >= 0; --i) {
            ::rmdir(native(createdFolders_.at(i)).constData());
        }
        changes_.clear();
        createdFolders_.clear();
    }

    // Drops the old copies once every file is in place.
    void commit() {
        for (const Change& c : qAsConst(changes_)) {
            if (!c.backup.isEmpty()) {
                ::unlink(native(c.backup).constData());
            }
        }
        changes_.clear();
    }

private:
    bool makeFolders(const QString& relative, QString* error) {
        QString current = root_;
        const QStringList parts = relative.split(QLatin1Char('/'));
        for (int i = 0; i + 1 < parts.size(); ++i) {
            current += QLatin1Char('/') + parts.at(i);
            struct stat st {};
            if (::lstat(native(current).constData(), &st) == 0) {
                if (!S_ISDIR(st.st_mode)) {
                    *error = QStringLiteral("%1 is in the way of %2").arg(current, relative);
                    return false;
                }
                continue;
            }
            if (::mkdir(native(current).constData(), 0755) != 0) {
                *error = QStringLiteral("cannot create %1: %2").arg(current, systemError());
                return false;
            }
            createdFolders_.append(current);
            log_(QStringLiteral("created folder %1").arg(current));
        }
        return true;
    }

    // Keeps the current target under a second name (a hard link, else a copy), so it can be put
    // back while the target itself stays in place until the rename.
    bool keepOld(const QString& target, QString* backup, QString* error) {
        int fd = -1;
        *backup = besideTarget(target, "kf-old", &fd);
        if (backup->isEmpty()) {
            *error = QStringLiteral("cannot keep a copy of %1: %2").arg(target, systemError());
            return false;
        }
        ::close(fd);
        ::unlink(native(*backup).constData());
        if (::link(native(target).constData(), native(*backup).constData()) == 0) {
            return true;
        }
        if (QFile::copy(target, *backup)) {
            return true;
        }
        *error = QStringLiteral("cannot keep a copy of %1").arg(target);
        backup->clear();
        return false;
    }

    QString root_;
    const LogSink& log_;
    QVector<Change> changes_;
    QStringList createdFolders_;
};

// Linux keeps an ended child as a zombie until its parent reaps it; it counts as ended.
bool processRunning(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        return close < 0 || close + 2 >= line.size() ||
               (line.at(close + 2) != 'Z' && line.at(close + 2) != 'X');
    }
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

bool waitForExit(qint64 pid, int timeoutMs) {
    if (pid <= 0) {
        return true;
    }
    QElapsedTimer timer;
    timer.start();
    while (processRunning(pid)) {
        if (timer.elapsed() >= timeoutMs) {
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

bool listUpdateFiles(const QString& updateFolder, QStringList* files, QString* error) {
    files->clear();
    QDir root(updateFolder);
    if (!QFileInfo(updateFolder).isDir()) {
        *error = QStringLiteral("%1 is not a folder").arg(updateFolder);
        return false;
    }
    QDirIterator it(updateFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink() || (!info.isDir() && !info.isFile())) {
            *error = QStringLiteral("%1 is neither a file nor a folder").arg(info.filePath());
            return false;
        }
        if (info.isFile()) {
            files->append(root.relativeFilePath(info.filePath()));
        }
    }
    files->sort();
    return true;
}

bool needsElevation(const QString& installFolder, const QStringList& files) {
    // The folder each file is written into, or the nearest one that exists (the new ones are
    // made in it).
    QStringList folders{installFolder};
    for (const QString& file : files) {
        QString folder = QFileInfo(installFolder + QLatin1Char('/') + file).path();
        while (folder.size() > installFolder.size() && !QFileInfo(folder).isDir()) {
            folder = QFileInfo(folder).path();
        }
        if (!folders.contains(folder)) {
            folders.append(folder);
        }
    }
    for (const QString& folder : folders) {
        if (::access(native(folder).constData(), W_OK) != 0) {
            return true;
        }
    }
    return false;
}

bool installFiles(const QString& updateFolder, const QStringList& files, const QString& installFolder,
                  const LogSink& log, QString* error) {
    Installation installation(QDir::cleanPath(installFolder), log);
    for (const QString& file : files) {
        if (!installation.install(updateFolder + QLatin1Char('/') + file, file, error)) {
            log(QStringLiteral("installing %1 failed: %2; putting back what was replaced").arg(file, *error));
            installation.rollBack();
            return false;
        }
    }
    installation.commit();
    return true;
}

bool emptyFolder(const QString& folder) {
    bool ok = true;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : entries) {
        if (info.isDir() && !info.isSymLink()) {
            ok = QDir(info.filePath()).removeRecursively() && ok;
        } else {
            ok = QFile::remove(info.filePath()) && ok;
        }
    }
    return ok;
}

}  // namespace kf::updater
