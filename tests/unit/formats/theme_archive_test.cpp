// Theme archive: round trips, the digest, the LZMA stream and payload checks, and the refusal
// of paths that would leave the target folder. A refused archive must write nothing.
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include "cefclient/theme_archive.h"
#include "cefclient/theme_archive_writer.h"
#include "support/test_paths.h"
#include "unit/formats/formats_test_helpers.h"

namespace ta = theme_archive;

namespace {

class ThemeArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        appDir_ = dir_.path() + "/app";
        target_ = dir_.path() + "/tmp";
        ASSERT_TRUE(QDir().mkpath(appDir_));
        ASSERT_TRUE(QDir().mkpath(target_));
    }

    void writeArchive(const QByteArray& bytes) {
        ASSERT_TRUE(kftest::writeFile(appDir_ + "/theme.dat", bytes));
    }

    bool unpack(QString* error = nullptr) { return ta::unpack(appDir_, "theme.dat", target_, error); }

    // Nothing at all below the temporary test folder except the archive itself.
    void expectNothingWritten() {
        EXPECT_EQ(kftest::filesBelow(target_), QStringList());
        EXPECT_EQ(kftest::filesBelow(dir_.path()), QStringList({"app/theme.dat"}));
    }

    QTemporaryDir dir_;
    QString appDir_;
    QString target_;
};

ta::Contents sampleContents() {
    ta::Contents contents;
    contents.name = "Kestrafon";
    contents.files = {
        {"kestrafon-theme/readme.txt", "read me\n"},
        {"kestrafon-theme/profile/mouse.xml",
         QString::fromUtf8("<configuration name=\"本地配置\"/>").toUtf8()},
        {"kestrafon-theme/bytes.bin", kftest::allByteValues(64)},
        {"empty.txt", QByteArray()},
    };
    return contents;
}

TEST_F(ThemeArchiveTest, RoundTripsFilesIntoNewFolders) {
    QString error;
    const QByteArray archive = buildThemeArchive(sampleContents(), {}, &error);
    ASSERT_FALSE(archive.isEmpty()) << error.toStdString();
    writeArchive(archive);
    ASSERT_TRUE(unpack(&error)) << error.toStdString();
    EXPECT_EQ(kftest::filesBelow(target_),
              QStringList({"empty.txt", "kestrafon-theme/bytes.bin", "kestrafon-theme/profile/mouse.xml",
                           "kestrafon-theme/readme.txt"}));
    for (const ta::File& file : sampleContents().files) {
        EXPECT_EQ(kftest::readFile(target_ + "/" + file.path), file.data) << file.path.toStdString();
    }
}

TEST_F(ThemeArchiveTest, ReplacesExistingFilesAndUsesTheAppFolderWithoutATarget) {
    ASSERT_TRUE(kftest::writeFile(target_ + "/empty.txt", "a much longer old content"));
    writeArchive(buildThemeArchive(sampleContents()));
    ASSERT_TRUE(unpack());
    EXPECT_EQ(QFileInfo(target_ + "/empty.txt").size(), 0);

    ASSERT_TRUE(ta::unpack(appDir_, "theme.dat", QString()));
    EXPECT_EQ(kftest::readFile(appDir_ + "/kestrafon-theme/readme.txt"), QByteArray("read me\n"));
}

TEST_F(ThemeArchiveTest, DecodesStreamsWithAndWithoutEndMarker) {
    for (bool endMarker : {true, false}) {
        SCOPED_TRACE(endMarker);
        ThemeArchiveOptions options;
        options.endMarker = endMarker;
        options.preset = 1;
        ta::Contents decoded;
        QString error;
        ASSERT_TRUE(ta::decode(buildThemeArchive(sampleContents(), options), &decoded, &error))
            << error.toStdString();
        EXPECT_EQ(decoded.name, QString("Kestrafon"));
        ASSERT_EQ(decoded.files.size(), 4);
        EXPECT_EQ(decoded.files.at(2).data, kftest::allByteValues(64));
    }
}

TEST_F(ThemeArchiveTest, OneChangedByteFromOffset148OnWritesNothing) {
    const QByteArray good = buildThemeArchive(sampleContents());
    for (int offset : {ta::kPropertiesOffset, ta::kPropertiesOffset + 2, ta::kPayloadSizeOffset,
                       ta::kStreamOffset, int(good.size()) / 2, int(good.size()) - 1}) {
        SCOPED_TRACE(offset);
        QByteArray bad = good;
        bad[offset] = char(bad.at(offset) ^ 0x01);
        writeArchive(bad);
        QString error;
        EXPECT_FALSE(unpack(&error));
        EXPECT_EQ(error, QString("digest mismatch"));
        expectNothingWritten();
    }
}

TEST_F(ThemeArchiveTest, TheFreeTextIsNotCheckedButTheDigestIs) {
    QByteArray archive = buildThemeArchive(sampleContents());
    archive[0] = 'X';
    archive[127] = 'Y';
    writeArchive(archive);
    EXPECT_TRUE(unpack());

    archive[ta::kDigestOffset + 19] = char(archive.at(ta::kDigestOffset + 19) ^ 0x80);
    writeArchive(archive);
    EXPECT_FALSE(unpack());
}

// Rewrites the stated payload size and fixes the digest, so only the size is wrong.
QByteArray withPayloadSize(QByteArray archive, quint32 size) {
    archive.replace(ta::kPayloadSizeOffset, 4, kftest::le32(size));
    const QByteArray digest =
        QCryptographicHash::hash(archive.mid(ta::kPropertiesOffset), QCryptographicHash::Sha1);
    archive.replace(ta::kDigestOffset, ta::kDigestSize, digest);
    return archive;
}

TEST_F(ThemeArchiveTest, RefusesStreamsThatDoNotMatchTheStatedSize) {
    const QByteArray good = buildThemeArchive(sampleContents());
    const quint32 size = qFromLittleEndian<quint32>(good.constData() + ta::kPayloadSizeOffset);
    for (quint32 wrong : {size - 1, size + 1, 0u, ta::kMaxPayloadSize + 1, 0xFFFFFFFFu}) {
        SCOPED_TRACE(wrong);
        writeArchive(withPayloadSize(good, wrong));
        EXPECT_FALSE(unpack());
        expectNothingWritten();
    }
}

TEST_F(ThemeArchiveTest, RefusesShortFilesAndMissingArchives) {
    const QByteArray good = buildThemeArchive(sampleContents());
    ta::Contents out;
    EXPECT_FALSE(ta::decode(good.left(ta::kStreamOffset), &out));  // no stream byte at all
    EXPECT_FALSE(ta::decode(QByteArray(), &out));
    // A cut stream with a digest that matches the cut file.
    QByteArray cut = good.left(good.size() - 10);
    cut.replace(ta::kDigestOffset, ta::kDigestSize,
                QCryptographicHash::hash(cut.mid(ta::kPropertiesOffset), QCryptographicHash::Sha1));
    EXPECT_FALSE(ta::decode(cut, &out));
    EXPECT_FALSE(ta::unpack(appDir_, "missing.dat", target_));
    EXPECT_EQ(kftest::filesBelow(target_), QStringList());
}

TEST_F(ThemeArchiveTest, SurvivesAnyDamagedByteBehindAMatchingDigest) {
    // A digest only proves the file is whole, not that it was made by us: damage every byte of
    // the properties, size and stream and fix the digest. Decoding must fail or give files whose
    // data matches their lengths, and never crash (the sanitizer build checks the reads).
    ta::Contents contents;
    contents.name = "n";
    contents.files = {{"a.txt", "hello hello hello"}, {"b/c.bin", kftest::allByteValues(1)}};
    const QByteArray good = buildThemeArchive(contents);
    for (int i = ta::kPropertiesOffset; i < good.size(); ++i) {
        QByteArray bad = good;
        bad[i] = char(bad.at(i) ^ 0x5A);
        bad.replace(ta::kDigestOffset, ta::kDigestSize,
                    QCryptographicHash::hash(bad.mid(ta::kPropertiesOffset), QCryptographicHash::Sha1));
        ta::Contents decoded;
        if (ta::decode(bad, &decoded)) {
            for (const ta::File& file : qAsConst(decoded.files)) {
                ASSERT_LE(file.data.size(), int(ta::kMaxPayloadSize)) << i;
            }
        }
    }
}

TEST_F(ThemeArchiveTest, RefusesDamagedPayloads) {
    struct Case {
        const char* what;
        QByteArray payload;
    };
    QByteArray hugeCount;
    {
        QDataStream out(&hugeCount, QIODevice::WriteOnly);
        out << QString("n") << quint32(0xFFFFFFFF) << QString("a.txt") << quint32(1) << QByteArray("x");
    }
    const Case cases[] = {
        {"length larger than the data", kftest::archivePayload("n", {{"ok.txt", "ok"}, {"a.txt", "abc", 4}})},
        {"length smaller than the data",
         kftest::archivePayload("n", {{"ok.txt", "ok"}, {"a.txt", "abc", 2}})},
        {"count larger than the files", hugeCount},
        {"cut inside a file", kftest::archivePayload("n", {{"a.txt", "abcdef"}}).chopped(3)},
        {"nothing after the name", kftest::archivePayload("n", {}).chopped(4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeArchive(buildThemeArchiveFromPayload(c.payload));
        EXPECT_FALSE(unpack());
        expectNothingWritten();
    }
    writeArchive(buildThemeArchiveFromPayload(kftest::archivePayload("n", {})));
    EXPECT_TRUE(unpack());  // an archive without files is fine
}

TEST_F(ThemeArchiveTest, RefusesPathsThatLeaveTheTargetFolderAndWritesNothing) {
    const char* unsafe[] = {"../escape.txt",
                            "a/../../escape.txt",
                            "/tmp/absolute.txt",
                            "\\windows.txt",
                            "..\\escape.txt",
                            "C:/drive.txt",
                            "",
                            "folder/",
                            "a/..",
                            "."};
    for (const char* path : unsafe) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(ta::isSafeRelativePath(path));
        // A good file first: it must not be written either.
        writeArchive(
            buildThemeArchiveFromPayload(kftest::archivePayload("n", {{"first.txt", "1"}, {path, "x"}})));
        QString error;
        EXPECT_FALSE(unpack(&error));
        EXPECT_TRUE(error.startsWith("refused")) << error.toStdString();
        expectNothingWritten();
    }
    EXPECT_FALSE(ta::isSafeRelativePath(QString("a") + QChar(0) + "b"));
    for (const char* path : {"a.txt", "a/b/c.txt", "..a/b", "a../b", "a/.hidden", "./a.txt", "a//b.txt"}) {
        EXPECT_TRUE(ta::isSafeRelativePath(path)) << path;
    }
    // The writer refuses to build such archives in the first place.
    ta::Contents contents;
    contents.files = {{"../escape.txt", "x"}};
    EXPECT_TRUE(buildThemeArchive(contents).isEmpty());
}

TEST_F(ThemeArchiveTest, RefusesToWriteThroughASymbolicLink) {
    const QString outside = dir_.path() + "/outside";
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QFile::link(outside, target_ + "/linked"));
    writeArchive(
        buildThemeArchiveFromPayload(kftest::archivePayload("n", {{"a.txt", "1"}, {"linked/b.txt", "2"}})));
    EXPECT_FALSE(unpack());
    EXPECT_EQ(kftest::filesBelow(outside), QStringList());
    EXPECT_FALSE(QFileInfo::exists(target_ + "/a.txt"));

    // A link in place of the file itself.
    ASSERT_TRUE(QFile::link(outside + "/victim.txt", target_ + "/c.txt"));
    writeArchive(buildThemeArchiveFromPayload(kftest::archivePayload("n", {{"c.txt", "3"}})));
    EXPECT_FALSE(unpack());
    EXPECT_FALSE(QFileInfo::exists(outside + "/victim.txt"));
}

TEST(ThemeArchiveWriter, PacksAFolderAndWritesAReadableHeader) {
    QTemporaryDir dir;
    ASSERT_TRUE(kftest::writeFile(dir.path() + "/data/b/2.txt", "two"));
    ASSERT_TRUE(kftest::writeFile(dir.path() + "/data/a.txt", "one"));
    ASSERT_TRUE(kftest::writeFile(dir.path() + "/data/.gitkeep", ""));  // hidden: skipped
    QString error;
    ASSERT_TRUE(writeThemeArchive(dir.path() + "/data", dir.path() + "/out/theme.dat", "Kestrafon", &error))
        << error.toStdString();
    const QByteArray archive = kftest::readFile(dir.path() + "/out/theme.dat");
    EXPECT_TRUE(archive.startsWith("Kestrafon theme archive\nname: Kestrafon\n"));
    ta::Contents contents;
    ASSERT_TRUE(ta::decode(archive, &contents, &error)) << error.toStdString();
    EXPECT_EQ(contents.name, QString("Kestrafon"));
    ASSERT_EQ(contents.files.size(), 2);
    EXPECT_EQ(contents.files.at(0).path, QString("a.txt"));
    EXPECT_EQ(contents.files.at(1).path, QString("b/2.txt"));
    EXPECT_EQ(contents.files.at(1).data, QByteArray("two"));
    EXPECT_FALSE(writeThemeArchive(dir.path() + "/missing", dir.path() + "/x.dat", "n", &error));
}

TEST(ThemeArchiveWriter, TheThemeDataOfTheSourceTreeUnpacks) {
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(writeThemeArchive(kftest::sourceDir() + "/resources/themedata", dir.path() + "/theme.dat",
                                  "Kestrafon", &error))
        << error.toStdString();
    ASSERT_TRUE(ta::unpack(dir.path(), "theme.dat", dir.path() + "/tmp", &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/tmp/kestrafon-theme/readme.txt"));
}

}  // namespace
