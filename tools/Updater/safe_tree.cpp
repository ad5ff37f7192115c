#include "safe_tree.h"

#include <QByteArray>
#include <QFile>
#include <QVector>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "cefclient/update_digest.h"
#include "file_descriptor.h"

namespace kf::updater {

namespace {

bool writeAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Copies `size` bytes from `in` to `out` (none when `out` is -1), feeding them to `digest` when
// given. False when the file ends early; bytes the file gained since it was measured are left.
bool copyContent(int in, int out, kf::update::UpdateDigest* digest, qint64 size) {
    static thread_local QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 copied = 0;
    while (copied < size) {
        const ssize_t n = ::read(in, buffer.data(), size_t(qMin<qint64>(buffer.size(), size - copied)));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        if (digest) {
            digest->addData(buffer.constData(), n);
        }
        if (out >= 0 && !writeAll(out, buffer.constData(), n)) {
            return false;
        }
        copied += n;
    }
    return true;
}

// What a copy has taken so far, against the rules' limits.
struct Totals {
    qint64 bytes = 0;
    int entries = 0;

    bool take(const CopyRules& rules, qint64 size, const QString& relative, QString* error) {
        bytes += size;
        entries += 1;
        if ((rules.maxBytes > 0 && bytes > rules.maxBytes) ||
            (rules.maxEntries > 0 && entries > rules.maxEntries)) {
            *error = QStringLiteral("the update is too large at %1").arg(relative);
            return false;
        }
        return true;
    }
};

bool skipped(const CopyRules& rules, const QString& relativeFolder, const QString& name) {
    if (!relativeFolder.isEmpty()) {
        return false;
    }
    return rules.skipTopLevel.contains(name) ||
           (rules.skipLogs && (name.endsWith(QLatin1String(".log")) || name.endsWith(QLatin1String(".dmp"))));
}

// Refuses what the rules do not accept from the opened entry.
bool acceptable(const struct stat& st, const CopyRules& rules, const QString& relative, QString* error) {
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        *error = QStringLiteral("%1 is neither a file nor a folder").arg(relative);
        return false;
    }
    if (rules.checkOwner && st.st_uid != rules.owner) {
        *error =
            QStringLiteral("%1 belongs to user %2, not to %3").arg(relative).arg(st.st_uid).arg(rules.owner);
        return false;
    }
    if (S_ISREG(st.st_mode) && rules.refuseHardLinks && st.st_nlink != 1) {
        *error = QStringLiteral("%1 is a hard link (%2 names)").arg(relative).arg(st.st_nlink);
        return false;
    }
    return true;
}

mode_t fileMode(const CopyRules& rules, const struct stat& source, bool replacedExecutable) {
    switch (rules.modes) {
        case CopyRules::Modes::Private:
            return 0600;
        case CopyRules::Modes::FromSource:
            // The owner's write bit is root's own business; read and execute are never widened.
            return ((source.st_mode & 0111) ? 0755 : 0644) & (source.st_mode | 0200);
        case CopyRules::Modes::FromReplaced:
            return replacedExecutable ? 0755 : 0644;
    }
    return 0600;
}

bool copyFile(int sourceFd, int targetFd, const QString& name, const QString& relative, Totals* totals,
              const CopyRules& rules, QString* error) {
    // A handle that opens nothing is checked first, and only a regular file is then opened for
    // reading through it: a pipe or device put here is never opened.
    const QByteArray n = native(name);
    Fd handle(::openat(sourceFd, n.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (handle.get() < 0 || ::fstat(handle.get(), &st) != 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(relative, systemError());
        return false;
    }
    if (!acceptable(st, rules, relative, error)) {
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("%1 changed into a folder while being copied").arg(relative);
        return false;
    }
    Fd in(::open(QByteArray("/proc/self/fd/" + QByteArray::number(handle.get())).constData(),
                 O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat opened {};
    if (in.get() < 0 || ::fstat(in.get(), &opened) != 0 || opened.st_ino != st.st_ino ||
        opened.st_dev != st.st_dev) {
        *error = QStringLiteral("cannot read %1: %2").arg(relative, systemError());
        return false;
    }
    if (!totals->take(rules, st.st_size, relative, error)) {
        return false;
    }
    bool replacedExecutable = false;
    struct stat old {};
    if (::fstatat(targetFd, n.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!rules.replace || S_ISDIR(old.st_mode)) {
            *error = QStringLiteral("%1 is in the way of the file %2").arg(name, relative);
            return false;
        }
        replacedExecutable = (old.st_mode & S_IXUSR) != 0;
        if (::unlinkat(targetFd, n.constData(), 0) != 0) {
            *error = QStringLiteral("cannot replace %1: %2").arg(relative, systemError());
            return false;
        }
    }
    Fd out(::openat(targetFd, n.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0 || !copyContent(in.get(), out.get(), nullptr, st.st_size) ||
        ::fchmod(out.get(), fileMode(rules, st, replacedExecutable)) != 0 || ::fsync(out.get()) != 0) {
        *error = QStringLiteral("cannot copy %1: %2").arg(relative, systemError());
        return false;
    }
    return true;
}

bool copyLink(int sourceFd, int targetFd, const QString& name, const QString& relative,
              const CopyRules& rules, QString* error) {
    const QByteArray n = native(name);
    char target[4096];
    const ssize_t size = ::readlinkat(sourceFd, n.constData(), target, sizeof target - 1);
    if (size < 0) {
        *error = QStringLiteral("cannot read the link %1: %2").arg(relative, systemError());
        return false;
    }
    target[size] = '\0';
    if (rules.replace) {
        ::unlinkat(targetFd, n.constData(), 0);
    }
    if (::symlinkat(target, targetFd, n.constData()) != 0) {
        *error = QStringLiteral("cannot copy the link %1: %2").arg(relative, systemError());
        return false;
    }
    return true;
}

bool copyFolder(int sourceFd, int targetFd, const QString& relativeFolder, Totals* totals,
                const CopyRules& rules, QString* error) {
    QStringList names;
    if (!listFolder(sourceFd, &names)) {
        *error = QStringLiteral("cannot list %1: %2")
                     .arg(relativeFolder.isEmpty() ? QStringLiteral(".") : relativeFolder, systemError());
        return false;
    }
    if (rules.afterListing) {
        rules.afterListing(relativeFolder);
    }
    const mode_t folderMode = rules.modes == CopyRules::Modes::Private ? 0700 : 0755;
    for (const QString& name : qAsConst(names)) {
        if (skipped(rules, relativeFolder, name)) {
            continue;
        }
        const QString relative = relativeFolder.isEmpty() ? name : relativeFolder + QLatin1Char('/') + name;
        const QByteArray n = native(name);
        struct stat st {};
        if (::fstatat(sourceFd, n.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            *error = QStringLiteral("cannot look at %1: %2").arg(relative, systemError());
            return false;
        }
        if (S_ISLNK(st.st_mode) && !rules.copyLinks) {
            *error = QStringLiteral("%1 is a symbolic link").arg(relative);
            return false;
        }
        if (S_ISLNK(st.st_mode)) {
            if (!copyLink(sourceFd, targetFd, name, relative, rules, error)) {
                return false;
            }
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            // The open decides: a link or anything else put here since the look is refused there.
            if (!copyFile(sourceFd, targetFd, name, relative, totals, rules, error)) {
                return false;
            }
            continue;
        }
        Fd in(::openat(sourceFd, n.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat opened {};
        if (in.get() < 0 || ::fstat(in.get(), &opened) != 0) {
            *error = QStringLiteral("cannot open the folder %1: %2").arg(relative, systemError());
            return false;
        }
        if (!acceptable(opened, rules, relative, error)) {
            return false;
        }
        Fd out(openOrMakeFolder(targetFd, name, folderMode, error));
        if (out.get() < 0 || !totals->take(rules, 0, relative, error) ||
            !copyFolder(in.get(), out.get(), relative, totals, rules, error)) {
            return false;
        }
        ::fsync(out.get());
    }
    return true;
}

void collectFiles(int folderFd, const QString& relativeFolder, QStringList* files) {
    QStringList names;
    listFolder(folderFd, &names);
    for (const QString& name : qAsConst(names)) {
        const QString relative = relativeFolder.isEmpty() ? name : relativeFolder + QLatin1Char('/') + name;
        struct stat st {};
        if (::fstatat(folderFd, native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            Fd child(::openat(folderFd, native(name).constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (child.get() >= 0) {
                collectFiles(child.get(), relative, files);
            }
        } else {
            files->append(relative);
        }
    }
}

}  // namespace

bool listFolder(int folderFd, QStringList* names) {
    names->clear();
    const int copy = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!dir) {
        if (copy >= 0) {
            ::close(copy);
        }
        return false;
    }
    while (const struct dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != QLatin1String(".") && name != QLatin1String("..")) {
            names->append(name);
        }
    }
    ::closedir(dir);
    names->sort();
    return true;
}

int openFolder(const QString& absolutePath, QString* error) {
    if (!absolutePath.startsWith(QLatin1Char('/'))) {
        *error = QStringLiteral("%1 is not an absolute path").arg(absolutePath);
        return -1;
    }
    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const QString& part : absolutePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (fd < 0) {
            break;
        }
        const int next =
            ::openat(fd, native(part).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            *error = QStringLiteral("cannot open %1 (at \"%2\"): %3").arg(absolutePath, part, systemError());
        }
        ::close(fd);
        fd = next;
    }
    return fd;
}

int openOrMakeFolder(int parentFd, const QString& name, mode_t mode, QString* error) {
    const QByteArray n = native(name);
    if (::mkdirat(parentFd, n.constData(), mode) != 0 && errno != EEXIST) {
        *error = QStringLiteral("cannot create the folder %1: %2").arg(name, systemError());
        return -1;
    }
    const int fd = ::openat(parentFd, n.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot open the folder %1: %2").arg(name, systemError());
    }
    return fd;
}

bool copyTree(int sourceFd, int targetFd, const CopyRules& rules, QString* error) {
    struct stat st {};
    if (::fstat(sourceFd, &st) != 0 || !acceptable(st, rules, QStringLiteral("the folder"), error)) {
        if (error->isEmpty()) {
            *error = systemError();
        }
        return false;
    }
    Totals totals;
    return copyFolder(sourceFd, targetFd, QString(), &totals, rules, error) && ::fsync(targetFd) == 0;
}

bool digestTree(int folderFd, QString* hex, QString* error) {
    QStringList files;
    collectFiles(folderFd, QString(), &files);
    QVector<QPair<QByteArray, QString>> sorted;  // UTF-8 byte order, as the client sorts
    for (const QString& file : qAsConst(files)) {
        sorted.append({file.toUtf8(), file});
    }
    std::sort(sorted.begin(), sorted.end());
    kf::update::UpdateDigest digest;
    for (const auto& file : qAsConst(sorted)) {
        Fd in(::openat(folderFd, native(file.second).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            *error = QStringLiteral("cannot read %1 back: %2").arg(file.second, systemError());
            return false;
        }
        digest.beginFile(file.second, quint64(st.st_size));
        if (!copyContent(in.get(), -1, &digest, st.st_size)) {
            *error = QStringLiteral("cannot read %1 back").arg(file.second);
            return false;
        }
    }
    *hex = digest.hex();
    return true;
}

bool removeTree(int parentFd, const QString& name) {
    const QByteArray n = native(name);
    struct stat parent {};
    struct stat st {};
    if (::fstatat(parentFd, n.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ::unlinkat(parentFd, n.constData(), 0) == 0;
    }
    Fd fd(::openat(parentFd, n.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(parentFd, &parent) != 0 || ::fstat(fd.get(), &st) != 0 ||
        st.st_dev != parent.st_dev) {
        return false;
    }
    QStringList names;
    bool ok = listFolder(fd.get(), &names);
    for (const QString& child : qAsConst(names)) {
        ok = removeTree(fd.get(), child) && ok;
    }
    return ok && ::unlinkat(parentFd, n.constData(), AT_REMOVEDIR) == 0;
}

}  // namespace kf::updater
