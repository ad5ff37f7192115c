// The Updater's install as root and as the user, against the attacks a user can try on the
// elevated half (files prepared and swapped by an unprivileged id through setpriv), and a kill
// after every step. Needs root; skipped otherwise.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cefclient/update_digest.h"
#include "release_store.h"
#include "support/qt_wait.h"
#include "support/test_paths.h"

namespace {

constexpr uid_t kUser = 65534;

using Files = QMap<QString, QByteArray>;

QString conf(const char* version) {
    return QStringLiteral("<root><client name=\"Kestrafon\" version=\"%1\"/></root>").arg(version);
}

bool run(const QStringList& command) {
    QProcess p;
    p.start(command.first(), command.mid(1));
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Runs a shell script as the unprivileged user.
bool asUser(const QString& script) {
    return run({"setpriv", QStringLiteral("--reuid=%1").arg(kUser), QStringLiteral("--regid=%1").arg(kUser),
                "--clear-groups", "/bin/sh", "-c", "set -e; " + script});
}

bool put(const QString& path, const QByteArray& bytes, int mode = 0644) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
           ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

// The entries of a store's releases folder, hidden ones included.
QStringList releases(const QString& store) {
    return QDir(store + "/releases").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Every file below `folder` (relative) with its content.
Files tree(const QString& folder) {
    Files out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        out.insert(QDir(folder).relativeFilePath(it.filePath()),
                   file.open(QIODevice::ReadOnly) ? file.readAll() : "");
    }
    return out;
}

class UpdaterInstall : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the elevated install is tried as root";
        }
        ASSERT_TRUE(dir.isValid());
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);  // the user reaches its own folder
        base = dir.path() + "/opt";
        store = dir.path() + "/var";
        update = dir.path() + "/home/update";
        oldFiles = {{"kestrafon", "old client"},
                    {"Updater", "old updater"},
                    {"theme.pak", "old pack"},
                    {"Resources/conf.xml", conf("1.0").toUtf8()}};
        for (auto it = oldFiles.cbegin(); it != oldFiles.cend(); ++it) {
            ASSERT_TRUE(put(base + "/" + it.key(), it.value(), it.key().contains('.') ? 0644 : 0755));
        }
        QDir().mkpath(dir.path() + "/home");
        ::chown(QFile::encodeName(dir.path() + "/home").constData(), kUser, kUser);
        qputenv("KESTRAFON_PACKAGED_DIR", QFile::encodeName(base));
        qputenv("KESTRAFON_RELEASE_STORE", QFile::encodeName(store));
    }

    // The user unpacks an update: `files` with their modes, in its own folder.
    void unpack(const Files& files, const QMap<QString, int>& modes = {}) {
        QString script = "rm -rf " + update + "; mkdir -p " + update + "; cd " + update + "; ";
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            script += QStringLiteral("mkdir -p \"$(dirname '%1')\"; printf '%s' '%2' > '%1'; chmod %3 '%1'; ")
                          .arg(it.key(), QString::fromUtf8(it.value()))
                          .arg(modes.value(it.key(), 0644), 0, 8);
        }
        ASSERT_TRUE(asUser(script)) << script.toStdString();
        QVector<QPair<QString, QByteArray>> list;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            list.append({it.key(), it.value()});
        }
        digest = kf::update::updateDigest(list);
    }

    kf::updater::InstallRequest request(bool elevated, const QString& from) const {
        kf::updater::InstallRequest r;
        r.updateFolder = update;
        r.baseFolder = from;
        r.store = store;
        r.digest = digest;
        r.elevated = elevated;
        r.user = kUser;
        return r;
    }

    static bool install(const kf::updater::InstallRequest& r, QString* error) {
        kf::updater::Installed installed;
        return kf::updater::installRelease(
            r, [](const QString&) {}, &installed, error);
    }

    // The files of the client `kestrafon` would start: current, else the packaged one.
    Files running() const {
        return QFileInfo::exists(store + "/current") ? tree(store + "/current") : tree(base);
    }

    QTemporaryDir dir;
    QString base, store, update, digest;
    Files oldFiles;
};

}  // namespace

TEST_F(UpdaterInstall, SetIdBitsAreDroppedAndModesFollowTheReplacedFile) {
    unpack({{"kestrafon", "new client"},
            {"Updater", "new updater"},
            {"theme.pak", "new pack"},
            {"a-b", "1"},
            {"a/b", "2"},
            {"Resources/conf.xml", conf("2.0").toUtf8()}},
           {{"kestrafon", 04755}, {"Updater", 02755}, {"theme.pak", 0777}, {"a-b", 0755}});
    QString error;
    ASSERT_TRUE(install(request(true, base), &error)) << error.toStdString();
    const QString release = store + "/releases/2.0";
    const struct {
        const char* file;
        mode_t mode;
    } expected[] = {{"kestrafon", 0755},
                    {"Updater", 0755},
                    {"theme.pak", 0644},
                    {"a-b", 0644},
                    {"Resources/conf.xml", 0644}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.file);
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(release + "/" + e.file).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, e.mode);
        EXPECT_EQ(st.st_uid, 0u);
    }
    EXPECT_EQ(QFileInfo(store + "/current").symLinkTarget(), release);
    // The packaged installation and its releases keep their releases in the store, never beside it.
    EXPECT_EQ(kf::updater::storeFor(base), store);
    EXPECT_EQ(kf::updater::storeFor(release), store);
    EXPECT_EQ(tree(base), oldFiles) << "the packaged installation is never written";

    // Two more updates, each built on the running release: only the one before stays.
    for (const char* version : {"3.0", "4.0"}) {
        unpack({{"theme.pak", version}, {"Resources/conf.xml", conf(version).toUtf8()}});
        ASSERT_TRUE(install(request(true, QFileInfo(store + "/current").symLinkTarget()), &error))
            << error.toStdString();
    }
    EXPECT_EQ(releases(store), (QStringList{"3.0", "4.0"}));
    EXPECT_EQ(QFileInfo(store + "/previous").symLinkTarget(), store + "/releases/3.0");
    EXPECT_EQ(running().value("kestrafon"), "new client");
}

TEST_F(UpdaterInstall, WhatAUserSlipsIntoTheUpdateInstallsNothing) {
    // A file only root may read, which an attack tries to get copied into a readable release.
    const QString secret = dir.path() + "/secret";
    ASSERT_TRUE(put(secret + "/key", "root only", 0600));
    ::chmod(QFile::encodeName(secret).constData(), 0700);
    const Files good{{"theme.pak", "new pack"}, {"sub/x", "x"}, {"Resources/conf.xml", conf("2.0").toUtf8()}};
    // Each attack is a shell script ({U}: the update folder, {S}: the secret folder, {V}: the store)
    // run by the user, or by root where the kernel would stop the user but the Updater must not
    // rely on that; "{S}" as the base stands for a command line naming another base.
    enum By { User, Root, UserDuringStaging };
    const struct {
        const char* name;
        bool elevated;
        By by;
        const char* script;
        const char* refusal;
        bool secretBase = false;
    } cases[] = {
        {"folder swapped for a link during staging", true, UserDuringStaging,
         "mv {U}/sub {U}/gone; ln -s {S} {U}/sub", "sub is a symbolic link"},
        {"hard link to a file the user cannot read", true, Root, "ln {S}/key {U}/sub/key", "sub/key "},
        {"hard link, installing as the user", false, Root, "ln {S}/key {U}/sub/key",
         "sub/key is a hard link"},
        {"a file of another user", true, Root, "echo x > {U}/sub/y", "sub/y belongs to user 0"},
        {"a symbolic link", true, User, "ln -s {S}/key {U}/sub/k", "sub/k is a symbolic link"},
        {"more than any package holds", true, User, "truncate -s 300M {U}/sub/big", "too large"},
        {"a pipe", true, User, "mkfifo {U}/sub/p", "sub/p is neither a file nor a folder"},
        {"digest mismatch", true, User, "printf changed > {U}/theme.pak", "digest"},
        {"a base that is no installation", true, User, "true", "neither the packaged installation", true},
        {"a store others may write", true, Root, "mkdir {V}; chmod 777 {V}", "writable by root alone"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unpack(good);
        QDir(store).removeRecursively();
        const QString script =
            QString(c.script).replace("{U}", update).replace("{S}", secret).replace("{V}", store);
        if (c.by != UserDuringStaging) {
            ASSERT_TRUE(c.by == User ? asUser(script) : run({"/bin/sh", "-c", script}));
        }
        kf::updater::InstallRequest r = request(c.elevated, c.secretBase ? secret : base);
        if (!c.elevated) {
            r.store = dir.path() + "/userstore";
            QDir().mkpath(r.store);
        }
        r.afterListing = [&](const QString& folder) {
            if (c.by == UserDuringStaging && folder.isEmpty()) {  // the top was listed, "sub" not yet opened
                ASSERT_TRUE(asUser(script));
            }
        };
        QString error;
        EXPECT_FALSE(install(r, &error));
        EXPECT_TRUE(error.contains(c.refusal)) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(r.store + "/current"));
        EXPECT_EQ(releases(r.store), QStringList()) << error.toStdString();
    }
}

TEST_F(UpdaterInstall, AKillAfterAnyStepLeavesOneWholeClientAndTheNextRunFinishes) {
    Files newFiles = oldFiles;
    newFiles["theme.pak"] = "new pack";
    newFiles["Resources/conf.xml"] = conf("2.0").toUtf8();
    newFiles["added/file"] = "added";
    for (int step = kf::updater::kStaged; step <= kf::updater::kCleaned; ++step) {
        SCOPED_TRACE(step);
        ASSERT_TRUE(QDir(store).removeRecursively() || !QFileInfo::exists(store));
        unpack({{"theme.pak", "new pack"},
                {"added/file", "added"},
                {"Resources/conf.xml", conf("2.0").toUtf8()}});
        kf::updater::InstallRequest r = request(true, base);
        r.afterStep = [step](int n) {
            if (n == step) {
                ::raise(SIGKILL);
            }
        };
        const pid_t child = ::fork();
        if (child == 0) {
            QString error;
            ::_exit(install(r, &error) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        const Files now = running();
        EXPECT_TRUE(now == oldFiles || now == newFiles) << "a mixture after step " << step;
        EXPECT_EQ(now == newFiles, step >= kf::updater::kSwitched);

        r.afterStep = nullptr;
        QString error;
        ASSERT_TRUE(install(r, &error)) << error.toStdString();
        EXPECT_EQ(running(), newFiles);
        EXPECT_EQ(releases(store), QStringList{"2.0"});
        EXPECT_FALSE(QFileInfo(store + "/.current-new").isSymLink());
    }
}

TEST_F(UpdaterInstall, TheProgramStartsTheNewClientOrTheOldOneAfterAFailure) {
    const QString started = dir.path() + "/started";
    ASSERT_TRUE(put(
        base + "/kestrafon",
        // Written aside and renamed, so the test never reads a file the shell has created but not yet filled.
        QStringLiteral("#!/bin/sh\necho \"$0 $*\" > %1.part && mv %1.part %1\n").arg(started).toUtf8(),
        0755));
    const struct {
        const char* name;
        bool rightDigest;
        int exitCode;
        QString client;
    } cases[] = {
        {"digest mismatch", false, 1, base + "/kestrafon"},
        {"installed", true, 0, store + "/current/kestrafon"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(started);
        unpack({{"theme.pak", "new pack"}, {"Resources/conf.xml", conf("2.0").toUtf8()}});
        QProcess updater;
        updater.start(kftest::appDir() + "/Updater",
                      {"--Upgrade", "--digest", c.rightDigest ? digest : QString(64, '0'), "--update-dir",
                       update, "--install-dir", base, "--log", dir.path() + "/updater.log", "--", "-x"});
        ASSERT_TRUE(updater.waitForFinished(20000));
        EXPECT_EQ(updater.exitCode(), c.exitCode);
        EXPECT_TRUE(kftest::waitFor([&] { return QFileInfo::exists(started); }, 5000));
        QFile file(started);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), (c.client + " -x\n").toUtf8());
        EXPECT_EQ(QDir(update).isEmpty(), c.rightDigest) << "the update folder is emptied once installed";
    }
}
