// Client update packages: which packages are consumed, which entries are refused, and that a
// refused package leaves the update folder exactly as it was.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cefclient/theme_archive_writer.h"
#include "cefclient/update_package.h"
#include "unit/formats/formats_test_helpers.h"

using kf::update::UnpackStatus;
using kftest::PayloadFile;

namespace {

class UpdatePackage : public ::testing::Test {
protected:
    void SetUp() override {
        update_ = dir_.path() + "/app/update";
        package_ = update_ + "/client.pkg";
        ASSERT_TRUE(kftest::writeFile(update_ + "/stale.txt", "left from before"));
    }

    static QByteArray package(const QVector<PayloadFile>& files) {
        return buildThemeArchiveFromPayload(kftest::archivePayload("Kestrafon", files));
    }

    kf::update::UnpackResult unpack(const QByteArray& bytes) {
        EXPECT_TRUE(kftest::writeFile(package_, bytes));
        return kf::update::unpackClientUpdate(package_, update_);
    }

    QTemporaryDir dir_;
    QString update_;
    QString package_;
};

}  // namespace

TEST_F(UpdatePackage, EntriesLandBelowTheUpdateFolderOrRefuseThePackage) {
    const struct {
        const char* name;
        QVector<PayloadFile> files;
        QStringList after;  // files below the test folder afterwards
    } cases[] = {
        {"root dropped",
         {{"root/a/b.txt", "b"}, {"root/top.bin", kftest::allByteValues()}},
         {"app/update/a/b.txt", "app/update/top.bin"}},
        {"no slash", {{"kestrafon", "x"}}, {"app/update/stale.txt"}},
        {"nothing after the root", {{"root/", "x"}}, {"app/update/stale.txt"}},
        {"absolute after the root", {{"root//tmp/x", "x"}}, {"app/update/stale.txt"}},
        {"climbs out", {{"root/ok.txt", "x"}, {"root/../../escape.txt", "x"}}, {"app/update/stale.txt"}},
        {"no entries", {}, {"app/update/stale.txt"}},
        {"length differs", {{"root/a.txt", "abc", 4}}, {"app/update/stale.txt"}},
        {"file in the way of a folder", {{"root/a", "x"}, {"root/a/b", "y"}}, {"app/update/stale.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(kftest::writeFile(update_ + "/stale.txt", "left from before"));
        const auto result = unpack(package(c.files));
        const bool good = c.after.first() != "app/update/stale.txt";
        EXPECT_EQ(result.status, good ? UnpackStatus::Unpacked : UnpackStatus::Refused)
            << result.error.toStdString();
        EXPECT_TRUE(result.packageDeleted);
        EXPECT_EQ(kftest::filesBelow(dir_.path()), c.after);
        if (good) {
            EXPECT_EQ(kftest::readFile(update_ + "/top.bin"), kftest::allByteValues());
            QDir(update_).removeRecursively();
        }
    }
}

TEST_F(UpdatePackage, SizeAndDigestDecideWhetherThePackageIsConsumedAndAccepted) {
    const QByteArray good = package({{"root/a.txt", "a"}});
    const struct {
        const char* name;
        QByteArray bytes;
        UnpackStatus status;
        bool deleted;
    } cases[] = {
        {"157 bytes", good.left(157), UnpackStatus::Unreadable, false},
        {"158 bytes", good.left(158), UnpackStatus::Refused, true},
        {"digest changed", QByteArray(good).replace(128, 1, "\x01"), UnpackStatus::Refused, true},
        {"properties changed", QByteArray(good).replace(148, 1, "\x01"), UnpackStatus::Refused, true},
        {"size changed", QByteArray(good).replace(153, 1, "\x07"), UnpackStatus::Refused, true},
        {"last byte changed", QByteArray(good).replace(good.size() - 1, 1, "\x55"), UnpackStatus::Refused,
         true},
        {"free text changed", QByteArray(good).replace(0, 1, "#").replace(127, 1, "#"),
         UnpackStatus::Unpacked, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = unpack(c.bytes);
        EXPECT_EQ(result.status, c.status) << result.error.toStdString();
        EXPECT_EQ(QFile::exists(package_), !c.deleted);
        EXPECT_EQ(QFile::exists(update_ + "/a.txt"), c.status == UnpackStatus::Unpacked);
    }
}

TEST_F(UpdatePackage, OnlyPackagesInTheUpdateFolderAreDeletedAndTheFolderMustBeTheUsersOwn) {
    const QByteArray good = package({{"root/a.txt", "a"}});
    // A package kept elsewhere is the user's: read, not deleted.
    const QString elsewhere = dir_.path() + "/kept.pkg";
    ASSERT_TRUE(kftest::writeFile(elsewhere, good));
    EXPECT_EQ(kf::update::unpackClientUpdate(elsewhere, update_).status, UnpackStatus::Unpacked);
    EXPECT_TRUE(QFile::exists(elsewhere));

    // A missing update folder is created, private to the user.
    const QString fresh = dir_.path() + "/data/kestrafon/update";
    EXPECT_EQ(kf::update::unpackClientUpdate(elsewhere, fresh).status, UnpackStatus::Unpacked);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_TRUE(QFile::exists(fresh + "/a.txt"));

    // An update folder that is a symbolic link is not written through.
    const QString link = dir_.path() + "/linked";
    ASSERT_TRUE(QFile::link(dir_.path() + "/data", link));
    EXPECT_EQ(kf::update::unpackClientUpdate(elsewhere, link).status, UnpackStatus::Refused);
    EXPECT_EQ(kftest::filesBelow(dir_.path() + "/data"), QStringList{"kestrafon/update/a.txt"});
}
