#include "app/private_folder.h"

#include <QDebug>
#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "cefclient/theme_archive.h"

namespace kf::paths {
namespace {

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

FolderStatus statusOf(const struct stat& st) {
    FolderStatus status;
    status.kind = S_ISDIR(st.st_mode)   ? FolderStatus::Folder
                  : S_ISLNK(st.st_mode) ? FolderStatus::Link
                                        : FolderStatus::Other;
    status.owner = st.st_uid;
    status.mode = st.st_mode & 07777;
    return status;
}

class SystemFolders : public FolderSystem {
public:
    int makeFolder(const QString& path, uint mode) override {
        return ::mkdir(encoded(path).constData(), mode) == 0 ? 0 : errno;
    }
    int openFolder(const QString& path, FolderStatus* status) override {
        const int fd = ::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return -errno;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            const int error = errno;
            ::close(fd);
            return -error;
        }
        *status = statusOf(st);
        return fd;
    }
    FolderStatus status(const QString& path) override {
        struct stat st {};
        if (::lstat(encoded(path).constData(), &st) != 0) {
            return FolderStatus();
        }
        return statusOf(st);
    }
    void closeFolder(int fd) override { ::close(fd); }
};

// Opens the part `name` of the folder `dirfd` as a folder, creating it (0700) when missing; -1
// when it cannot, or is a link or anything but a folder.
int openPartAt(int dirfd, const QByteArray& name) {
    if (::mkdirat(dirfd, name.constData(), 0700) != 0 && errno != EEXIST) {
        return -1;
    }
    return ::openat(dirfd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool writeAll(int fd, const QByteArray& data) {
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

constexpr int kMaxRemoveDepth = 256;

// Removes everything below the open folder `fd` (on the file system `device`); nothing is
// followed and no other file system is entered.
bool removeBelow(int fd, dev_t device, int depth, const QString& shown) {
    const int listFd = ::dup(fd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) {
            ::close(listFd);
        }
        return false;
    }
    std::vector<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);

    bool ok = true;
    for (const QByteArray& name : names) {
        struct stat st {};
        if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = ok && errno == ENOENT;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            ok = (::unlinkat(fd, name.constData(), 0) == 0 || errno == ENOENT) && ok;
            continue;
        }
        const QString child = shown + QLatin1Char('/') + QFile::decodeName(name);
        if (st.st_dev != device) {
            qWarning().noquote() << child << "is on another file system; it is left in place";
            ok = false;
            continue;
        }
        if (depth >= kMaxRemoveDepth) {
            ok = false;
            continue;
        }
        const int childFd = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat opened {};
        if (childFd < 0 || ::fstat(childFd, &opened) != 0 || opened.st_dev != st.st_dev ||
            opened.st_ino != st.st_ino) {
            if (childFd >= 0) {
                ::close(childFd);
            }
            ok = false;  // it changed while we looked: leave it
            continue;
        }
        ok = removeBelow(childFd, device, depth + 1, child) && ok;
        ::close(childFd);
        ok = ::unlinkat(fd, name.constData(), AT_REMOVEDIR) == 0 && ok;
    }
    return ok;
}

}  // namespace

FolderSystem& systemFolders() {
    static SystemFolders folders;
    return folders;
}

int openOwnFolder(FolderSystem& fs, const QString& path, uint uid, bool privateMode, QString* why,
                  bool makeParents) {
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) {
        *why = QStringLiteral("\"%1\" is not an absolute path").arg(path);
        return -1;
    }
    if (makeParents) {
        const QString parent = QDir::cleanPath(path + QStringLiteral("/.."));
        if (fs.status(parent).kind == FolderStatus::Missing && !QDir().mkpath(parent)) {
            *why = QStringLiteral("cannot create %1").arg(parent);
            return -1;
        }
    }
    const int made = fs.makeFolder(path, 0700);
    if (made != 0 && made != EEXIST) {
        *why = QStringLiteral("cannot create %1: %2").arg(path, errorText(made));
        return -1;
    }
    FolderStatus status;
    const int fd = fs.openFolder(path, &status);
    if (fd < 0) {
        const FolderStatus seen = fs.status(path);
        if (seen.kind == FolderStatus::Link) {
            *why = QStringLiteral("%1 is a symbolic link, not a folder").arg(path);
        } else if (seen.kind == FolderStatus::Other) {
            *why = QStringLiteral("%1 is not a folder").arg(path);
        } else {
            *why = QStringLiteral("cannot open %1: %2").arg(path, errorText(-fd));
        }
        return -1;
    }
    QString refusal;
    if (status.kind != FolderStatus::Folder) {
        refusal = QStringLiteral("%1 is not a folder").arg(path);
    } else if (status.owner != uid) {
        refusal =
            QStringLiteral("%1 belongs to user %2, not to user %3").arg(path).arg(status.owner).arg(uid);
    } else if (privateMode && (status.mode & 077) != 0) {
        refusal = QStringLiteral("%1 has mode %2; only its owner may use it (0700)")
                      .arg(path, QString::number(status.mode, 8).rightJustified(4, QLatin1Char('0')));
    }
    if (!refusal.isEmpty()) {
        fs.closeFolder(fd);
        *why = refusal;
        return -1;
    }
    return fd;
}

bool ensureOwnFolder(FolderSystem& fs, const QString& path, uint uid, bool privateMode, QString* why,
                     bool makeParents) {
    const int fd = openOwnFolder(fs, path, uid, privateMode, why, makeParents);
    if (fd < 0) {
        return false;
    }
    fs.closeFolder(fd);
    return true;
}

bool writeFilesAt(int dirfd, const theme_archive::Contents& contents, QString* error) {
    for (const theme_archive::File& file : contents.files) {
        if (!theme_archive::isSafeRelativePath(file.path)) {
            *error = QStringLiteral("refused unsafe path \"%1\"").arg(file.path);
            return false;
        }
    }
    for (const theme_archive::File& file : contents.files) {
        const QStringList parts = file.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        int fd = ::dup(dirfd);
        for (int i = 0; fd >= 0 && i + 1 < parts.size(); ++i) {
            if (parts.at(i) == QLatin1String(".")) {
                continue;
            }
            const int next = openPartAt(fd, encoded(parts.at(i)));
            ::close(fd);
            fd = next;
        }
        if (fd < 0) {
            *error = QStringLiteral("cannot create the folders of \"%1\" (or one is a link)").arg(file.path);
            return false;
        }
        const int out = ::openat(fd, encoded(parts.last()).constData(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
        const int openError = errno;
        ::close(fd);
        if (out < 0) {
            *error = QStringLiteral("cannot write \"%1\": %2").arg(file.path, errorText(openError));
            return false;
        }
        const bool written = writeAll(out, file.data);
        ::close(out);
        if (!written) {
            *error = QStringLiteral("cannot write \"%1\"").arg(file.path);
            return false;
        }
    }
    return true;
}

bool unpackThemeInto(const QString& appDir, const QString& name, const QString& folder) {
    QString why;
    const int fd = openOwnFolder(systemFolders(), folder, ::geteuid(), true, &why);
    if (fd < 0) {
        qWarning().noquote() << QStringLiteral("%1 is not unpacked: %2").arg(name, why);
        return false;
    }
    theme_archive::Contents contents;
    const bool ok = theme_archive::readFile(appDir + QLatin1Char('/') + name, &contents, &why) &&
                    writeFilesAt(fd, contents, &why);
    ::close(fd);
    if (!ok) {
        qWarning().noquote() << QStringLiteral("%1 is not unpacked into %2: %3").arg(name, folder, why);
    }
    return ok;
}

bool removeTree(const QString& path, bool ownOnly) {
    const QByteArray name = encoded(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        return errno == ENOENT;
    }
    const bool own = S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (ownOnly && !own) {
        qWarning().noquote() << path << "is not a folder of the user's own; it is left in place";
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ::unlink(name.constData()) == 0;  // a link goes as a link
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat opened {};
    if (fd < 0 || ::fstat(fd, &opened) != 0 || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    bool ok = removeBelow(fd, st.st_dev, 0, path);
    ::close(fd);
    return ::rmdir(name.constData()) == 0 && ok;
}

}  // namespace kf::paths
