// The Updater's install as root and as the user, against the attacks a user can try on the
// elevated half (files prepared and swapped by an unprivileged id through setpriv), and a kill
// after every step. Needs root; skipped otherwise.
#include <QDir>
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

// Every file below `folder` with its content ("-> target" for links).
Files tree(const QString& folder) {
    Files out;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : entries) {
        if (info.isSymLink()) {
            out.insert(info.fileName(), "-> " + QFile::encodeName(info.symLinkTarget()));
        } else if (info.isDir()) {
            const Files inner = tree(info.filePath());
            for (auto it = inner.cbegin(); it != inner.cend(); ++it) {
                out.insert(info.fileName() + "/" + it.key(), it.value());
            }
        } else {
            QFile file(info.filePath());
            out.insert(info.fileName(), file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>");
        }
    }
    return out;
}

struct stat statOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
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
            ASSERT_TRUE(put(base + "/" + it.key(), it.value(), it.key().startsWith("Res") ? 0644 : 0755));
        }
        ASSERT_TRUE(put(base + "/theme.pak", "old pack", 0644));
        QDir().mkpath(dir.path() + "/home");
        ::chown(QFile::encodeName(dir.path() + "/home").constData(), kUser, kUser);
        qputenv("KESTRAFON_PACKAGED_DIR", QFile::encodeName(base));
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

    bool install(const kf::updater::InstallRequest& r, QString* error = nullptr) {
        kf::updater::Installed installed;
        QString e;
        const bool ok = kf::updater::installRelease(
            r, [this](const QString& l) { log << l; }, &installed, &e);
        if (error) {
            *error = e;
        }
        return ok;
    }

    // The files of the client `kestrafon` would start: current, else the packaged one.
    Files running() const {
        return QFileInfo::exists(store + "/current") ? tree(store + "/current") : tree(base);
    }

    QTemporaryDir dir;
    QString base, store, update, digest;
    Files oldFiles;
    QStringList log;
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
        const struct stat st = statOf(release + "/" + e.file);
        EXPECT_EQ(st.st_mode & 07777, e.mode);
        EXPECT_EQ(st.st_uid, 0u);
    }
    EXPECT_EQ(QFileInfo(store + "/current").symLinkTarget(), release);
    EXPECT_EQ(tree(base), oldFiles) << "the packaged installation is never written";

    // Two more updates, each built on the running release: only the one before stays.
    for (const char* version : {"3.0", "4.0"}) {
        unpack({{"theme.pak", version}, {"Resources/conf.xml", conf(version).toUtf8()}});
        ASSERT_TRUE(install(request(true, QFileInfo(store + "/current").symLinkTarget()), &error))
            << error.toStdString();
    }
    EXPECT_EQ(QDir(store + "/releases").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"3.0", "4.0"}));
    EXPECT_EQ(QFileInfo(store + "/previous").symLinkTarget(), store + "/releases/3.0");
    EXPECT_EQ(running().value("kestrafon"), "new client");
}

TEST_F(UpdaterInstall, WhatAUserSlipsIntoTheUpdateInstallsNothing) {
    // A file only root may read, which an attack tries to get copied into a readable release.
    const QString secret = dir.path() + "/secret";
    ASSERT_TRUE(put(secret + "/key", "root only", 0600));
    ::chmod(QFile::encodeName(secret).constData(), 0700);
    const Files good{{"theme.pak", "new pack"}, {"sub/x", "x"}, {"Resources/conf.xml", conf("2.0").toUtf8()}};
    const struct {
        const char* name;
        bool elevated;
        const char* refusal;
        std::function<void()> attack;
        std::function<void(const QString&)> afterListing;
    } cases[] = {
        {"folder swapped for a link during staging", true, "sub is a symbolic link", [] {},
         [&](const QString& folder) {
             if (folder.isEmpty()) {  // the top was listed: now the user swaps "sub"
                 ASSERT_TRUE(asUser("mv " + update + "/sub " + update + "/gone && ln -s " + secret + " " +
                                    update + "/sub"));
             }
         }},
        // protected_hardlinks stops the user making this link; the Updater must not rely on it.
        {"hard link to a file the user cannot read", true, "sub/key ",
         [&] {
             ASSERT_TRUE(run({"ln", secret + "/key", update + "/sub/key"}));
         },
         nullptr},
        {"hard link, installing as the user", false, "sub/key is a hard link",
         [&] {
             ASSERT_TRUE(run({"ln", secret + "/key", update + "/sub/key"}));
         },
         nullptr},
        {"a file of another user", true, "sub/y belongs to user 0",
         [&] { ASSERT_TRUE(put(update + "/sub/y", "root's")); }, nullptr},
        {"a symbolic link", true, "sub/k is a symbolic link",
         [&] { ASSERT_TRUE(asUser("ln -s " + secret + "/key " + update + "/sub/k")); }, nullptr},
        {"more than any package holds", true, "too large",
         [&] { ASSERT_TRUE(asUser("truncate -s 300M " + update + "/sub/big")); }, nullptr},
        {"a pipe", true, "sub/p is neither a file nor a folder",
         [&] { ASSERT_TRUE(asUser("mkfifo " + update + "/sub/p")); }, nullptr},
        {"digest mismatch", true, "digest",
         [&] { ASSERT_TRUE(asUser("printf changed > " + update + "/theme.pak")); }, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unpack(good);
        c.attack();
        kf::updater::InstallRequest r = request(c.elevated, base);
        if (!c.elevated) {
            r.store = dir.path() + "/userstore";
            QDir().mkpath(r.store);
        }
        r.afterListing = c.afterListing;
        QString error;
        EXPECT_FALSE(install(r, &error));
        EXPECT_TRUE(error.contains(c.refusal)) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(r.store + "/current"));
        EXPECT_EQ(
            QDir(r.store + "/releases").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList())
            << error.toStdString();
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
            kf::updater::Installed installed;
            QString error;
            ::_exit(kf::updater::installRelease(
                        r, [](const QString&) {}, &installed, &error)
                        ? 0
                        : 1);
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
        EXPECT_EQ(QDir(store + "/releases").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{"2.0"});
        EXPECT_FALSE(QFileInfo(store + "/.current-new").isSymLink());
    }
}
