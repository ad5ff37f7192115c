// The Updater's installation step: every file replaced in one step, a failure putting back
// everything, and an update folder holding anything but files and folders not installed. (The
// whole program, waiting for the client and restarting it, runs in the end-to-end test.)
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "update_installer.h"

namespace {

bool put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray get(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every entry below `dir`, hidden ones included, as "path" or "path/" for folders.
QStringList entries(const QString& dir) {
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << QDir(dir).relativeFilePath(it.filePath()) + (it.fileInfo().isDir() ? "/" : "");
    }
    out.sort();
    return out;
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        update = dir.path() + "/update";
        install = dir.path() + "/install";
        ASSERT_TRUE(put(install + "/kestrafon", "old client"));
        ASSERT_TRUE(QFile::setPermissions(install + "/kestrafon", QFile::ReadOwner | QFile::WriteOwner |
                                                                      QFile::ExeOwner | QFile::ReadOther));
        ASSERT_TRUE(put(install + "/theme.pak", "old pack"));
        ASSERT_TRUE(put(install + "/notes", "kept"));
    }

    bool run(QString* error) {
        QStringList files;
        if (!kf::updater::listUpdateFiles(update, &files, error)) {
            return false;
        }
        return kf::updater::installFiles(
            update, files, install, [this](const QString& l) { log << l; }, error);
    }

    QTemporaryDir dir;
    QString update;
    QString install;
    QStringList log;
};

}  // namespace

TEST_F(Installer, ReplacesAndAddsFilesKeepingModes) {
    ASSERT_TRUE(put(update + "/kestrafon", "new client"));
    ASSERT_TRUE(put(update + "/Resources/conf.xml", "<root/>"));
    QString error;
    ASSERT_TRUE(run(&error)) << error.toStdString();
    EXPECT_EQ(get(install + "/kestrafon"), "new client");
    EXPECT_TRUE(QFileInfo(install + "/kestrafon").isExecutable());
    EXPECT_EQ(get(install + "/Resources/conf.xml"), "<root/>");
    EXPECT_EQ(entries(install),
              (QStringList{"Resources/", "Resources/conf.xml", "kestrafon", "notes", "theme.pak"}));
    EXPECT_EQ(log, (QStringList{"created folder " + install + "/Resources",
                                "added Resources/conf.xml (7 bytes)", "replaced kestrafon (10 bytes)"}));
    EXPECT_TRUE(kf::updater::emptyFolder(update));
    EXPECT_EQ(entries(update), QStringList());
    EXPECT_FALSE(kf::updater::needsElevation(install, {"kestrafon", "new/x"}));
}

TEST_F(Installer, AFailureHalfwayPutsEverythingBack) {
    // Files go in sorted order: the first two are in place when the third finds a file where its
    // folder should be.
    ASSERT_TRUE(put(update + "/kestrafon", "new client"));
    ASSERT_TRUE(put(update + "/new/added.txt", "added"));
    ASSERT_TRUE(put(update + "/notes/inside.txt", "x"));
    const QStringList before = entries(install);
    QString error;
    EXPECT_FALSE(run(&error));
    EXPECT_TRUE(error.contains("notes")) << error.toStdString();
    EXPECT_EQ(entries(install), before);
    EXPECT_EQ(get(install + "/kestrafon"), "old client");
    EXPECT_TRUE(QFileInfo(install + "/kestrafon").isExecutable());
    EXPECT_TRUE(log.contains("restored " + install + "/kestrafon")) << log.join('\n').toStdString();
}

TEST_F(Installer, AnUpdateWithALinkOrPipeIsNotInstalled) {
    ASSERT_TRUE(put(update + "/kestrafon", "new client"));
    const struct {
        const char* name;
        std::function<bool()> make;
    } cases[] = {
        {"link", [&] { return QFile::link("/etc/hostname", update + "/theme.pak"); }},
        {"pipe", [&] { return ::mkfifo(QFile::encodeName(update + "/pipe").constData(), 0600) == 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.make());
        QString error;
        EXPECT_FALSE(run(&error));
        EXPECT_EQ(get(install + "/kestrafon"), "old client");
        EXPECT_TRUE(kf::updater::emptyFolder(update));
        ASSERT_TRUE(put(update + "/kestrafon", "new client"));
    }
}
