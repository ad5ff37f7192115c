#include "release_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "cefclient/theme_archive.h"
#include "cefclient/update_digest.h"
#include "file_descriptor.h"
#include "safe_tree.h"

namespace kf::updater {

namespace {

const QString kReleases = QStringLiteral("releases");
constexpr int kMaxUpdateEntries = 100000;  // files and folders of one update
const QString kCurrent = QStringLiteral("current");
const QString kPrevious = QStringLiteral("previous");

// The release a link of the store names ("releases/<name>"), or empty.
QString linkedRelease(int storeFd, const QString& link) {
    char target[1024];
    const ssize_t size = ::readlinkat(storeFd, native(link).constData(), target, sizeof target - 1);
    if (size <= 0) {
        return QString();
    }
    const QString text = QFile::decodeName(QByteArray(target, int(size)));
    const QString prefix = kReleases + QLatin1Char('/');
    const QString name = text.mid(prefix.size());
    return text.startsWith(prefix) && !name.isEmpty() && !name.contains(QLatin1Char('/')) ? name : QString();
}

// Points `link` at `target` in one step: a new link under a hidden name renamed over it.
bool switchLink(int storeFd, const QString& link, const QString& target, QString* error) {
    const QByteArray temp = native(QLatin1Char('.') + link + QStringLiteral("-new"));
    ::unlinkat(storeFd, temp.constData(), 0);
    if (::symlinkat(native(target).constData(), storeFd, temp.constData()) != 0 ||
        ::renameat(storeFd, temp.constData(), storeFd, native(link).constData()) != 0 ||
        ::fsync(storeFd) != 0) {
        *error = QStringLiteral("cannot point %1 at %2: %3").arg(link, target, systemError());
        ::unlinkat(storeFd, temp.constData(), 0);
        return false;
    }
    return true;
}

// A folder of the elevated store: root's, and nobody else may write it.
bool trustedFolder(int fd, const QString& what, QString* error) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != 0 || (st.st_mode & 022) != 0) {
        *error = QStringLiteral("%1 must be root's and writable by root alone").arg(what);
        return false;
    }
    return true;
}

// Removes the half-built leftovers of an interrupted run, and every release but the ones
// `current` and `previous` name.
void tidy(int storeFd, int releasesFd, const LogSink& log) {
    for (const QString& link : {kCurrent, kPrevious}) {
        ::unlinkat(storeFd, native(QLatin1Char('.') + link + QStringLiteral("-new")).constData(), 0);
    }
    const QString current = linkedRelease(storeFd, kCurrent);
    const QString previous = linkedRelease(storeFd, kPrevious);
    QStringList names;
    listFolder(releasesFd, &names);
    for (const QString& name : qAsConst(names)) {
        if (name == current || name == previous) {
            continue;
        }
        const bool removed = removeTree(releasesFd, name);
        log(QStringLiteral("%1 %2%3").arg(name.startsWith(QLatin1Char('.'))
                                              ? QStringLiteral("removed the unfinished")
                                              : QStringLiteral("removed the old release"),
                                          name, removed ? QString() : QStringLiteral(" (FAILED)")));
    }
    ::fsync(releasesFd);
}

// Opens the store, making it when missing (its parent must exist).
int openStore(const InstallRequest& request, QString* error) {
    const QFileInfo info(request.store);
    Fd parent(openFolder(info.path(), error));
    if (parent.get() < 0) {
        return -1;
    }
    const int fd = openOrMakeFolder(parent.get(), info.fileName(), 0755, error);
    if (fd >= 0 && request.elevated && !trustedFolder(fd, request.store, error)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The elevated half builds only on the packaged installation or a release of its own store.
bool baseAllowed(const InstallRequest& request, QString* error) {
    const QString base = QDir::cleanPath(request.baseFolder);
    const QString releases = QDir::cleanPath(request.store) + QLatin1Char('/') + kReleases + QLatin1Char('/');
    const QString name = base.mid(releases.size());
    if (base == QDir::cleanPath(packagedFolder()) ||
        (base.startsWith(releases) && !name.isEmpty() && !name.contains(QLatin1Char('/')))) {
        return true;
    }
    *error = QStringLiteral("%1 is neither the packaged installation %2 nor a release of %3")
                 .arg(base, packagedFolder(), request.store);
    return false;
}

class Install {
public:
    Install(const InstallRequest& request, const LogSink& log) : r_(request), log_(log) {}

    bool run(Installed* installed, QString* error) {
        if (r_.elevated && !baseAllowed(r_, error)) {
            return false;
        }
        Fd store(openStore(r_, error));
        if (store.get() < 0) {
            return false;
        }
        Fd lock(::openat(store.get(), ".lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (lock.get() < 0 || ::flock(lock.get(), LOCK_EX) != 0) {
            *error = QStringLiteral("cannot lock %1: %2").arg(r_.store, systemError());
            return false;
        }
        Fd releases(openOrMakeFolder(store.get(), kReleases, 0755, error));
        if (releases.get() < 0 || (r_.elevated && !trustedFolder(releases.get(), kReleases, error))) {
            return false;
        }
        tidy(store.get(), releases.get(), log_);  // what an interrupted run left

        const QString staging = QStringLiteral(".staging-%1").arg(::getpid());
        const bool ok = build(store.get(), releases.get(), staging, installed, error);
        removeTree(releases.get(), staging);
        if (ok) {
            tidy(store.get(), releases.get(), log_);
            step(kCleaned);
        }
        return ok;
    }

private:
    void step(int n) {
        if (r_.afterStep) {
            r_.afterStep(n);
        }
    }

    bool stage(int releasesFd, const QString& staging, QString* version, QString* error) {
        Fd update(openFolder(r_.updateFolder, error));
        Fd target(openOrMakeFolder(releasesFd, staging, 0700, error));
        if (update.get() < 0 || target.get() < 0) {
            return false;
        }
        CopyRules rules;
        rules.checkOwner = r_.elevated;
        rules.owner = r_.user;
        rules.afterListing = r_.afterListing;
        rules.maxBytes = theme_archive::kMaxPayloadSize;  // no package unpacks to more
        rules.maxEntries = kMaxUpdateEntries;
        QString digest;
        if (!copyTree(update.get(), target.get(), rules, error) ||
            !digestTree(target.get(), &digest, error)) {
            return false;
        }
        if (digest != r_.digest) {
            *error = QStringLiteral("the update's digest %1 is not the package's %2").arg(digest, r_.digest);
            return false;
        }
        *version = clientVersion(target.get());
        if (version->isEmpty()) {
            *error = QStringLiteral("the update names no version (Resources/conf.xml)");
            return false;
        }
        log_(QStringLiteral("staged the update of version %1 (digest %2)").arg(*version, digest));
        return true;
    }

    bool build(int storeFd, int releasesFd, const QString& staging, Installed* installed, QString* error) {
        QString version;
        if (!stage(releasesFd, staging, &version, error)) {
            return false;
        }
        step(kStaged);
        const QString current = linkedRelease(storeFd, kCurrent);
        installed->version = version;
        installed->release = r_.store + QLatin1Char('/') + kReleases + QLatin1Char('/') + version;
        if (current == version) {
            log_(QStringLiteral("version %1 is already the current release").arg(version));
            return true;
        }
        if (!removeTree(releasesFd, version)) {
            *error = QStringLiteral("cannot remove an earlier release %1").arg(version);
            return false;
        }

        // 2. The running installation's files, then the update's over them.
        const QString partial = QStringLiteral(".partial-") + version;
        Fd base(openFolder(r_.baseFolder, error));
        Fd stagedFd(::openat(releasesFd, native(staging).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
        Fd target(openOrMakeFolder(releasesFd, partial, 0700, error));
        if (base.get() < 0 || stagedFd.get() < 0 || target.get() < 0) {
            return false;
        }
        CopyRules fromBase;
        fromBase.checkOwner = r_.elevated;  // root's files only
        fromBase.owner = 0;
        fromBase.refuseHardLinks = false;
        fromBase.copyLinks = true;
        fromBase.skipTopLevel =
            QStringList{kReleases, kCurrent, kPrevious, QStringLiteral("update"), QStringLiteral(".lock")};
        fromBase.skipLogs = true;
        fromBase.modes = CopyRules::Modes::FromSource;
        CopyRules overlay;
        overlay.modes = CopyRules::Modes::FromReplaced;
        overlay.replace = true;
        if (!copyTree(base.get(), target.get(), fromBase, error) ||
            !copyTree(stagedFd.get(), target.get(), overlay, error)) {
            return false;
        }
        struct stat client {};
        if (::fstatat(target.get(), native(r_.clientName).constData(), &client, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(client.st_mode) || !(client.st_mode & S_IXUSR)) {
            *error = QStringLiteral("the new release has no %1 to start").arg(r_.clientName);
            return false;
        }
        if (::fchmod(target.get(), 0755) != 0 || ::fsync(target.get()) != 0) {
            *error = QStringLiteral("cannot finish %1: %2").arg(partial, systemError());
            return false;
        }
        step(kBuilt);

        // 3-5. Into place, then the links.
        if (::renameat(releasesFd, native(partial).constData(), releasesFd, native(version).constData()) !=
                0 ||
            ::fsync(releasesFd) != 0) {
            *error = QStringLiteral("cannot rename %1: %2").arg(partial, systemError());
            return false;
        }
        step(kPlaced);
        if (current.isEmpty()) {
            ::unlinkat(storeFd, native(kPrevious).constData(), 0);
        } else if (!switchLink(storeFd, kPrevious, kReleases + QLatin1Char('/') + current, error)) {
            return false;
        }
        step(kPreviousKept);
        if (!switchLink(storeFd, kCurrent, kReleases + QLatin1Char('/') + version, error)) {
            return false;
        }
        log_(QStringLiteral("current is now release %1%2")
                 .arg(version,
                      current.isEmpty() ? QString() : QStringLiteral(" (previous: %1)").arg(current)));
        step(kSwitched);
        return true;
    }

    const InstallRequest& r_;
    const LogSink& log_;
};

}  // namespace

bool installRelease(const InstallRequest& request, const LogSink& log, Installed* installed, QString* error) {
    if (!kf::update::isUpdateDigest(request.digest)) {
        *error = QStringLiteral("no valid package digest was given");
        return false;
    }
    return Install(request, log).run(installed, error);
}

QString storeFor(const QString& installFolder) {
    const QFileInfo info(QDir::cleanPath(installFolder));
    const QFileInfo parent(info.path());
    if (info.filePath() == packagedFolder()) {
        return systemStore();
    }
    return parent.fileName() == kReleases ? parent.path() : info.filePath();
}

QString systemStore() {
    const QString path = qEnvironmentVariable("KESTRAFON_RELEASE_STORE");
    return QDir::isAbsolutePath(path) ? QDir::cleanPath(path) : QStringLiteral("/var/lib/kestrafon");
}

QString packagedFolder() {
    const QString path = qEnvironmentVariable("KESTRAFON_PACKAGED_DIR");
    return QDir::isAbsolutePath(path) ? QDir::cleanPath(path) : QStringLiteral("/opt/kestrafon");
}

QString clientVersion(int folderFd) {
    Fd fd(::openat(folderFd, "Resources/conf.xml", O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    QFile file;
    if (fd.get() < 0 || !file.open(fd.get(), QIODevice::ReadOnly)) {
        return QString();
    }
    QXmlStreamReader xml(file.read(1 << 20));
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("client")) {
            const QString version = xml.attributes().value(QLatin1String("version")).toString();
            static const QRegularExpression plain(QStringLiteral("^[0-9A-Za-z][0-9A-Za-z._+~-]{0,63}$"));
            return plain.match(version).hasMatch() ? version : QString();
        }
    }
    return QString();
}

}  // namespace kf::updater
