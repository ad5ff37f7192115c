// kestrafon-pak and kestrafon-archive: round trips through the tools in both shift directions,
// listing, digest verification and command-line errors.
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "cefclient/resource_pack.h"
#include "cefclient/theme_archive.h"
#include "unit/formats/formats_test_helpers.h"

namespace {

class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(kftest::toolPath("kestrafon-pak").isEmpty()) << "build the kestrafon-pak target first";
        ASSERT_FALSE(kftest::toolPath("kestrafon-archive").isEmpty())
            << "build the kestrafon-archive target first";
        source_ = dir_.path() + "/pages";
        ASSERT_TRUE(kftest::writeFile(source_ + "/black/client.html", "<html>start</html>"));
        ASSERT_TRUE(kftest::writeFile(source_ + "/black/img/logo.png", kftest::allByteValues(2)));
        ASSERT_TRUE(kftest::writeFile(source_ + "/black/js/app.js", "var a = 1;"));
    }

    QTemporaryDir dir_;
    QString source_;
};

TEST_F(ToolsTest, PakBuildsPacksTheClientReadsInBothShiftDirections) {
    const QList<QStringList> options = {
        {}, {"--shift", "7"}, {"--shift", "7", "--subtract"}, {"--subtract", "--shift", "255"}};
    for (const QStringList& extra : options) {
        SCOPED_TRACE(extra.join(' ').toStdString());
        const QString out = dir_.path() + "/app/theme.pak";
        const kftest::ToolResult built =
            kftest::runTool("kestrafon-pak", QStringList({"build", source_, out}) + extra);
        ASSERT_EQ(built.exitCode, 0) << built.err.toStdString();
        ResourcePack pack;
        ASSERT_TRUE(pack.load(out)) << pack.errorString().toStdString();
        EXPECT_EQ(pack.size(), 3);
        EXPECT_EQ(pack.lookup("black/client.html"), QByteArray("<html>start</html>"));
        EXPECT_EQ(pack.lookup("black/img/logo.png"), kftest::allByteValues(2));
        EXPECT_EQ(pack.header().at(resource_pack_format::kDirectionOffset) != 0,
                  extra.contains("--subtract"));
    }
}

TEST_F(ToolsTest, PakListsEntriesAndRejectsBrokenPacks) {
    const QString out = dir_.path() + "/theme.pak";
    ASSERT_EQ(kftest::runTool("kestrafon-pak", {"build", source_, out, "--shift", "7"}).exitCode, 0);
    const kftest::ToolResult listed = kftest::runTool("kestrafon-pak", {"list", out});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.contains("entries: 3")) << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains("shift: 7 add"));
    EXPECT_TRUE(listed.out.contains("512  theme/black/img/logo.png"));

    QByteArray broken = kftest::readFile(out);
    broken[0] = 'X';
    ASSERT_TRUE(kftest::writeFile(out, broken));
    const kftest::ToolResult refused = kftest::runTool("kestrafon-pak", {"list", out});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("not a DBPAK file")) << refused.err.toStdString();
}

TEST_F(ToolsTest, PakRejectsBadCommandLines) {
    const QString out = dir_.path() + "/x.pak";
    const QList<QStringList> bad = {{},
                                    {"pack", source_, out},
                                    {"build", source_},
                                    {"build", source_, out, "--shift"},
                                    {"build", source_, out, "--shift", "256"},
                                    {"build", source_, out, "--shift", "-1"},
                                    {"build", source_, out, "--shift", "seven"},
                                    {"build", source_, out, "--add"},
                                    {"list"}};
    for (const QStringList& args : bad) {
        EXPECT_EQ(kftest::runTool("kestrafon-pak", args).exitCode, 2) << args.join(' ').toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_EQ(kftest::runTool("kestrafon-pak", {"build", dir_.path() + "/missing", out}).exitCode, 1);
}

TEST_F(ToolsTest, ArchiveBuildsListsAndUnpacks) {
    const QString out = dir_.path() + "/app/theme.dat";
    const kftest::ToolResult built =
        kftest::runTool("kestrafon-archive", {"build", source_, out, "--name", "Kestrafon"});
    ASSERT_EQ(built.exitCode, 0) << built.err.toStdString();

    const kftest::ToolResult listed = kftest::runTool("kestrafon-archive", {"list", out});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.contains("digest: ok"));
    EXPECT_TRUE(listed.out.contains("name: Kestrafon"));
    EXPECT_TRUE(listed.out.contains("files: 3"));
    EXPECT_TRUE(listed.out.contains("512  black/img/logo.png")) << listed.out.toStdString();

    const QString target = dir_.path() + "/tmp";
    ASSERT_TRUE(theme_archive::unpack(dir_.path() + "/app", "theme.dat", target));
    EXPECT_EQ(kftest::filesBelow(target), kftest::filesBelow(source_));
    EXPECT_EQ(kftest::readFile(target + "/black/js/app.js"), QByteArray("var a = 1;"));
}

TEST_F(ToolsTest, ArchiveWritesTheUpdateManifestBesideThePackage) {
    const QString out = dir_.path() + "/site/kestrafon 2.1.kfa";
    const kftest::ToolResult built = kftest::runTool(
        "kestrafon-archive", {"build", source_, out, "--manifest", "https://updates.example/k/", "--version",
                              "2.1.0", "--notes", "Faster start"});
    ASSERT_EQ(built.exitCode, 0) << built.err.toStdString();
    const QJsonObject m =
        QJsonDocument::fromJson(kftest::readFile(dir_.path() + "/site/manifest.json")).object();
    EXPECT_EQ(m.value("version").toString(), "2.1.0");
    EXPECT_EQ(m.value("package").toString(), "https://updates.example/k/kestrafon%202.1.kfa");
    EXPECT_EQ(qint64(m.value("size").toDouble()), QFileInfo(out).size());
    EXPECT_EQ(m.value("notes").toString(), "Faster start");
    // [options] that are refused before anything is written
    const QList<QStringList> refused = {{"--manifest", "file:///srv", "--version", "2"},
                                        {"--manifest", "https://h"},
                                        {"--manifest", "https://h", "--version", "../2"},
                                        {"--manifest", "https://h", "--version"}};
    for (const QStringList& options : refused) {
        const QString other = dir_.path() + "/other/p.kfa";
        EXPECT_EQ(
            kftest::runTool("kestrafon-archive", QStringList({"build", source_, other}) + options).exitCode,
            2)
            << options.join(' ').toStdString();
        EXPECT_FALSE(QFileInfo::exists(other));
    }
}

TEST_F(ToolsTest, ArchiveListVerifiesTheDigest) {
    const QString out = dir_.path() + "/theme.dat";
    ASSERT_EQ(kftest::runTool("kestrafon-archive", {"build", source_, out}).exitCode, 0);
    QByteArray archive = kftest::readFile(out);
    archive[archive.size() - 1] = char(archive.at(archive.size() - 1) ^ 0x10);
    ASSERT_TRUE(kftest::writeFile(out, archive));
    const kftest::ToolResult listed = kftest::runTool("kestrafon-archive", {"list", out});
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_TRUE(listed.err.contains("digest mismatch")) << listed.err.toStdString();

    EXPECT_EQ(kftest::runTool("kestrafon-archive", {"build", source_}).exitCode, 2);
    EXPECT_EQ(kftest::runTool("kestrafon-archive", {"build", source_, out, "--name"}).exitCode, 2);
    EXPECT_EQ(kftest::runTool("kestrafon-archive", {"list"}).exitCode, 2);
}

}  // namespace
