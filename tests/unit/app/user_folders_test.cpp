// The per-user folders: which folder is the runtime root and when a folder is refused. The file
// system is an in-memory one, so folders of other users and wrong modes are seen as such even
// though the tests run as root (which passes every access check).
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <cerrno>

#include "app/private_folder.h"
#include "app/user_folders.h"

using kf::paths::FolderStatus;

namespace {

constexpr uint kMe = 1000;

class MemoryFolders : public kf::paths::FolderSystem {
public:
    QMap<QString, FolderStatus> entries{{"/", {FolderStatus::Folder, 0, 0755}},
                                        {"/tmp", {FolderStatus::Folder, 0, 01777}},
                                        {"/run/user/1000", {FolderStatus::Folder, kMe, 0700}}};
    int open = 0;

    int makeFolder(const QString& path, uint mode) override {
        if (entries.contains(path)) {
            return EEXIST;
        }
        if (status(QFileInfo(path).path()).kind != FolderStatus::Folder) {
            return ENOENT;
        }
        entries.insert(path, {FolderStatus::Folder, kMe, mode});
        return 0;
    }
    int openFolder(const QString& path, FolderStatus* out) override {
        const FolderStatus st = status(path);
        if (st.kind != FolderStatus::Folder) {
            return st.kind == FolderStatus::Missing ? -ENOENT
                   : st.kind == FolderStatus::Link  ? -ELOOP
                                                    : -ENOTDIR;
        }
        *out = st;
        return 3 + open++;
    }
    FolderStatus status(const QString& path) override { return entries.value(path); }
    void closeFolder(int) override { --open; }
};

kf::paths::Environment environment(const QString& runtimeDir) {
    kf::paths::Environment env;
    env.runtimeDir = runtimeDir;
    env.home = "/home/me";
    env.tempDir = "/tmp";
    env.uid = kMe;
    return env;
}

TEST(PrivateFolder, IsMadeOrAcceptedOnlyAsARealPrivateFolderOfTheUsersOwn) {
    struct Case {
        const char* name;
        FolderStatus existing;  // Missing: nothing there yet
        const char* refusal;    // empty: accepted
    };
    const Case cases[] = {
        {"fresh", {}, ""},
        {"own and private", {FolderStatus::Folder, kMe, 0700}, ""},
        {"another user's", {FolderStatus::Folder, 0, 0700}, "belongs to user 0, not to user 1000"},
        {"a link", {FolderStatus::Link, kMe, 0777}, "is a symbolic link"},
        {"open to others", {FolderStatus::Folder, kMe, 0755}, "has mode 0755"},
        {"open to the group", {FolderStatus::Folder, kMe, 0770}, "has mode 0770"},
        {"a file", {FolderStatus::Other, kMe, 0600}, "is not a folder"},
    };
    for (const Case& c : cases) {
        MemoryFolders fs;
        if (c.existing.kind != FolderStatus::Missing) {
            fs.entries.insert("/tmp/kestrafon-1000", c.existing);
        }
        QString why;
        const bool ok = kf::paths::ensureOwnFolder(fs, "/tmp/kestrafon-1000", kMe, true, &why);
        EXPECT_EQ(ok, QString(c.refusal).isEmpty()) << c.name;
        EXPECT_TRUE(why.contains(c.refusal)) << c.name << ": " << why.toStdString();
        EXPECT_EQ(fs.open, 0) << c.name << ": every descriptor is closed";
        if (ok) {
            EXPECT_EQ(fs.entries.value("/tmp/kestrafon-1000").mode,
                      c.existing.kind ? c.existing.mode : 0700u);
        }
    }
    // The data and state folders may be open to others (privateMode off), never another's.
    MemoryFolders fs;
    fs.entries.insert("/tmp/shared", {FolderStatus::Folder, kMe, 0755});
    QString why;
    EXPECT_TRUE(kf::paths::ensureOwnFolder(fs, "/tmp/shared", kMe, false, &why));
    EXPECT_FALSE(kf::paths::ensureOwnFolder(fs, "/no/parent", kMe, false, &why));
    EXPECT_TRUE(why.startsWith("cannot create /no/parent")) << why.toStdString();
    EXPECT_FALSE(kf::paths::ensureOwnFolder(fs, "relative", kMe, false, &why));
}

TEST(RuntimeRoot, IsTheRuntimeFolderElseThePerUserTemporaryFolder) {
    MemoryFolders fs;
    QStringList refusals;
    EXPECT_EQ(kf::paths::chooseRuntimeRoot(fs, environment("/run/user/1000"), &refusals),
              "/run/user/1000/kestrafon");
    EXPECT_EQ(kf::paths::chooseRuntimeRoot(fs, environment(""), &refusals), "/tmp/kestrafon-1000");
    EXPECT_EQ(kf::paths::chooseRuntimeRoot(fs, environment("run/user"), &refusals), "/tmp/kestrafon-1000");
    EXPECT_TRUE(refusals.isEmpty());

    // Another user made the runtime folder's entry first: refused, the next candidate is used;
    // with every candidate taken, there is none.
    MemoryFolders taken;
    taken.entries.insert("/run/user/1000/kestrafon", {FolderStatus::Folder, 0, 0700});
    EXPECT_EQ(kf::paths::chooseRuntimeRoot(taken, environment("/run/user/1000"), &refusals),
              "/tmp/kestrafon-1000");
    taken.entries.insert("/tmp/kestrafon-1000", {FolderStatus::Link, 1001, 0777});
    refusals.clear();
    EXPECT_EQ(kf::paths::chooseRuntimeRoot(taken, environment("/run/user/1000"), &refusals), "");
    EXPECT_EQ(refusals.size(), 2);
}

TEST(UserFolders, FollowTheBaseFolderVariablesAndAWritableInstallation) {
    kf::paths::Environment env = environment("");
    EXPECT_EQ(kf::paths::dataFolder(env), "/home/me/.local/share/kestrafon");
    EXPECT_EQ(kf::paths::stateFolder(env), "/home/me/.local/state/kestrafon");
    env.dataHome = "/d/";
    env.stateHome = "relative/ignored";
    EXPECT_EQ(kf::paths::dataFolder(env), "/d/kestrafon");
    EXPECT_EQ(kf::paths::stateFolder(env), "/home/me/.local/state/kestrafon");

    QTemporaryDir app;
    EXPECT_EQ(kf::paths::writableOr(app.path(), "/user"), app.path());
    EXPECT_EQ(kf::paths::writableOr("/proc/1/no-such-folder", "/user"), "/user");
}

TEST(RemoveTree, NeverFollowsALinkAtItsRootOrBelow) {
    QTemporaryDir dir;
    const QString outside = dir.filePath("outside");
    ASSERT_TRUE(QDir().mkpath(outside + "/keep"));
    const QString root = dir.filePath("cache");
    ASSERT_TRUE(QDir().mkpath(root + "/sub"));
    ASSERT_TRUE(QFile::link(outside, root + "/sub/link"));
    EXPECT_TRUE(kf::paths::removeTree(root, true));
    EXPECT_FALSE(QFileInfo::exists(root));
    EXPECT_TRUE(QDir(outside + "/keep").exists());

    // A link in the root's place is removed as a link (or left, for a shared place).
    ASSERT_TRUE(QFile::link(outside, root));
    EXPECT_FALSE(kf::paths::removeTree(root, true));
    EXPECT_TRUE(kf::paths::removeTree(root, false));
    EXPECT_FALSE(QFileInfo(root).isSymLink());
    EXPECT_TRUE(QDir(outside + "/keep").exists());
}

}  // namespace
