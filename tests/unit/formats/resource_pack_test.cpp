// Resource pack: round trips through the writer in both shift directions, header and entry
// table validation, key derivation from entry names.
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include "cefclient/resource_pack.h"
#include "cefclient/resource_pack_writer.h"
#include "unit/formats/formats_test_helpers.h"

namespace fmt = resource_pack_format;

namespace {

class ResourcePackTest : public ::testing::Test {
protected:
    QString packPath(const QString& name = QStringLiteral("theme.pak")) const {
        return dir_.path() + "/" + name;
    }

    // Builds a pack from the entries, writes it as theme.pak and returns its bytes.
    QByteArray writePack(const QVector<ResourcePackSource>& entries, quint8 shift = 7,
                         bool subtract = false) {
        QString error;
        const QByteArray bytes = buildResourcePack(entries, shift, subtract, &error);
        EXPECT_FALSE(bytes.isEmpty()) << error.toStdString();
        EXPECT_TRUE(kftest::writeFile(packPath(), bytes));
        return bytes;
    }

    // Loads bytes as theme.pak; the pack keeps what was loaded before when the call fails.
    bool loadBytes(ResourcePack* pack, const QByteArray& bytes) {
        EXPECT_TRUE(kftest::writeFile(packPath(), bytes));
        return pack->load(packPath());
    }

    QTemporaryDir dir_;
};

const QVector<ResourcePackSource> kSample = {
    {"theme/black/client.html", "<html>client</html>"},
    {"theme/black/js/app.js", "console.log(1);"},
    {"theme/black/img/logo.png", kftest::allByteValues(3)},
};

TEST_F(ResourcePackTest, RoundTripsEveryByteValueInBothDirectionsAndAllShifts) {
    for (bool subtract : {false, true}) {
        for (int shift : {0, 1, 7, 128, 200, 255}) {
            SCOPED_TRACE(testing::Message() << "subtract " << subtract << " shift " << shift);
            writePack(kSample, quint8(shift), subtract);
            ResourcePack pack;
            ASSERT_TRUE(pack.load(packPath())) << pack.errorString().toStdString();
            EXPECT_TRUE(pack.isLoaded());
            EXPECT_EQ(pack.size(), 3);
            EXPECT_EQ(pack.lookup("black/client.html"), QByteArray("<html>client</html>"));
            EXPECT_EQ(pack.lookup("black/js/app.js"), QByteArray("console.log(1);"));
            EXPECT_EQ(pack.lookup("black/img/logo.png"), kftest::allByteValues(3));
        }
    }
}

TEST_F(ResourcePackTest, StoresShiftedBytesAndTheDirectionFlag) {
    // A reader that subtracts k means the writer added k: "<" (0x3c) + 7 = "C" (0x43).
    const QByteArray subtracting = writePack({{"theme/a.html", "<"}}, 7, true);
    EXPECT_EQ(subtracting.at(fmt::kDirectionOffset), 1);
    EXPECT_EQ(quint8(subtracting.at(fmt::kShiftOffset)), 7);
    EXPECT_EQ(subtracting.right(1), QByteArray("C"));
    const QByteArray adding = writePack({{"theme/a.html", "<"}}, 7, false);
    EXPECT_EQ(adding.at(fmt::kDirectionOffset), 0);
    EXPECT_EQ(adding.right(1), QByteArray("5"));
    EXPECT_EQ(adding.left(10), QByteArray("DBPAK\0"
                                          "1.0\0",
                                          10));
}

TEST_F(ResourcePackTest, RejectsBadHeaders) {
    const QByteArray good = buildResourcePack(kSample, 7, false);
    struct Case {
        const char* what;
        int offset;
        QByteArray bytes;
    };
    const QByteArray zeroCount = kftest::le32(0);
    const QByteArray negativeCount = kftest::le32(0xFFFFFFFFu);
    const QVector<Case> cases = {
        {"wrong magic", 0, "DBPAC"},
        {"magic without its zero byte", 5, "X"},
        {"version 1.1", 6, "1.1"},
        {"version without its zero byte", 9, "X"},
        {"count 0", fmt::kCountOffset, zeroCount},
        {"negative count", fmt::kCountOffset, negativeCount},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray bad = good;
        bad.replace(c.offset, c.bytes.size(), c.bytes);
        ResourcePack pack;
        EXPECT_FALSE(loadBytes(&pack, bad));
        EXPECT_FALSE(pack.isLoaded());
        EXPECT_EQ(pack.size(), 0);
        EXPECT_FALSE(pack.errorString().isEmpty());
    }
}

TEST_F(ResourcePackTest, RejectsTruncatedFilesAndEntries) {
    const QByteArray good = buildResourcePack(kSample, 7, true);
    const int tableEnd = fmt::kHeaderSize + 3 * fmt::kRecordSize;
    // Cut inside the header, inside the entry table, and one byte short of the last blob.
    for (int length : {0, 10, fmt::kHeaderSize, fmt::kHeaderSize + 100, tableEnd - 1, good.size() - 1}) {
        SCOPED_TRACE(length);
        ResourcePack pack;
        EXPECT_FALSE(loadBytes(&pack, good.left(length)));
        EXPECT_EQ(pack.size(), 0);
    }
}

TEST_F(ResourcePackTest, RejectsEntriesThatPointOutsideTheFile) {
    QByteArray bytes = buildResourcePack({{"theme/a.html", "abc"}}, 0, false);
    // An offset near 4 GiB must not wrap around when added to the size.
    bytes.replace(fmt::kHeaderSize + fmt::kDataOffsetOffset, 4, kftest::le32(0xFFFFFFFFu));
    ResourcePack pack;
    EXPECT_FALSE(loadBytes(&pack, bytes));

    bytes = buildResourcePack({{"theme/a.html", "abc"}}, 0, false);
    bytes.replace(fmt::kHeaderSize + fmt::kSizeOffset, 4, kftest::le32(0xFFFFFFF0u));
    EXPECT_FALSE(loadBytes(&pack, bytes));
}

TEST_F(ResourcePackTest, RejectsEntriesWhoseDataAddsUpToMoreThanTheFile) {
    // Entries pointing at the same blob would each get their own copy in memory: the data of the
    // entries that are read may add up to the file size at most. An entry without a key is not
    // read, so it may point anywhere inside the file.
    const QByteArray blob(64 * 1024, 'x');
    const QByteArray bytes =
        buildResourcePack({{"theme/a.js", blob}, {"theme/b.js", ""}, {"c.js", ""}}, 0, false);
    for (const auto& [record, loads] : {std::pair{1, false}, std::pair{2, true}}) {
        QByteArray pack = bytes;
        const int at = fmt::kHeaderSize + record * fmt::kRecordSize;
        pack.replace(at + fmt::kSizeOffset, 4, kftest::le32(quint32(blob.size())));
        pack.replace(at + fmt::kDataOffsetOffset, 4, bytes.mid(fmt::kHeaderSize + fmt::kDataOffsetOffset, 4));
        ResourcePack loaded;
        EXPECT_EQ(loadBytes(&loaded, pack), loads) << record;
        EXPECT_EQ(loaded.size(), loads ? 2 : 0);
    }
}

TEST_F(ResourcePackTest, RejectsANameWithoutItsZeroByte) {
    QByteArray bytes = buildResourcePack({{"theme/a.html", "abc"}}, 0, false);
    bytes.replace(fmt::kHeaderSize + fmt::kNameOffset, fmt::kNameCapacity,
                  QByteArray(fmt::kNameCapacity, 'x'));
    ResourcePack pack;
    EXPECT_FALSE(loadBytes(&pack, bytes));
}

TEST_F(ResourcePackTest, AFailedLoadEmptiesAPackThatWasLoaded) {
    writePack(kSample);
    ResourcePack pack;
    ASSERT_TRUE(pack.load(packPath()));
    EXPECT_FALSE(pack.load(packPath("missing.pak")));
    EXPECT_FALSE(pack.isLoaded());
    EXPECT_EQ(pack.size(), 0);
    EXPECT_TRUE(pack.entries().isEmpty());
    EXPECT_TRUE(pack.lookup("black/client.html").isEmpty());
}

TEST_F(ResourcePackTest, ALoadReplacesTheEarlierContent) {
    writePack(kSample);
    ResourcePack pack;
    ASSERT_TRUE(pack.load(packPath()));
    writePack({{"theme/other.css", "b{}"}});
    ASSERT_TRUE(pack.load(packPath()));
    EXPECT_EQ(pack.size(), 1);
    EXPECT_TRUE(pack.lookup("black/client.html").isEmpty());
    EXPECT_EQ(pack.lookup("other.css"), QByteArray("b{}"));
}

TEST_F(ResourcePackTest, DerivesKeysFromTheFirstOccurrenceOfTheBaseName) {
    writePack({
        {"theme/black/client.html", "1"},
        {"skins/theme/red/a.css", "2"},         // base name later in the name
        {"theme/black/theme/b.js", "3"},        // base name twice: the first one counts
        {"other/c.png", "4"},                   // no base name: no key
        {"theme/black/client.html", "latest"},  // same key again: the later entry wins
    });
    ResourcePack pack;
    ASSERT_TRUE(pack.load(packPath()));
    EXPECT_EQ(pack.entries().size(), 5);
    EXPECT_EQ(pack.size(), 3);
    EXPECT_EQ(pack.lookup("black/client.html"), QByteArray("latest"));
    EXPECT_EQ(pack.lookup("red/a.css"), QByteArray("2"));
    EXPECT_EQ(pack.lookup("black/theme/b.js"), QByteArray("3"));
    EXPECT_FALSE(pack.contains("c.png"));
    EXPECT_TRUE(pack.entries().at(3).key.isEmpty());
}

TEST_F(ResourcePackTest, TakesTheBaseNameFromTheFileName) {
    EXPECT_EQ(fmt::baseNameForPath("/opt/app/theme.pak"), QString("theme"));
    EXPECT_EQ(fmt::baseNameForPath("skin.dat"), QString("skin"));
    EXPECT_EQ(fmt::baseNameForPath("/a.b/x"), QString(""));

    // The keys follow the pack's own file name.
    ASSERT_TRUE(kftest::writeFile(packPath("skin.pak"), buildResourcePack({{"skin/a.html", "x"}}, 3, false)));
    ResourcePack pack;
    ASSERT_TRUE(pack.load(packPath("skin.pak")));
    EXPECT_EQ(pack.baseName(), QString("skin"));
    EXPECT_EQ(pack.lookup("a.html"), QByteArray("x"));
}

TEST_F(ResourcePackTest, KeepsEmptyEntriesAndUtf8Names) {
    writePack({{"theme/empty.css", QByteArray()}, {QString::fromUtf8("theme/图片/标志.png"), "png"}});
    ResourcePack pack;
    ASSERT_TRUE(pack.load(packPath()));
    EXPECT_TRUE(pack.contains("empty.css"));
    EXPECT_TRUE(pack.lookup("empty.css").isEmpty());
    EXPECT_EQ(pack.lookup(QString::fromUtf8("图片/标志.png")), QByteArray("png"));
}

TEST_F(ResourcePackTest, SurvivesAnyDamagedByte) {
    // Every byte of a small pack set to 0x00 and to 0xFF in turn: the load either fails cleanly
    // or returns entries that lie inside the file (the sanitizer build checks the reads).
    const QByteArray good = buildResourcePack({{"theme/a.html", "abc"}, {"theme/b.png", "defg"}}, 5, true);
    for (int i = 0; i < good.size(); ++i) {
        for (char value : {'\x00', '\xFF'}) {
            QByteArray bad = good;
            bad[i] = value;
            ResourcePack pack;
            if (loadBytes(&pack, bad)) {
                for (const ResourcePackEntry& entry : pack.entries()) {
                    ASSERT_LE(qint64(entry.offset) + entry.size, bad.size()) << i;
                }
            } else {
                ASSERT_EQ(pack.size(), 0) << i;
            }
        }
    }
}

TEST(ResourcePackWriter, LimitsNamesTo149Bytes) {
    const QString longest = "theme/" + QString(149 - 6, 'a');
    QString error;
    EXPECT_FALSE(buildResourcePack({{longest, "x"}}, 0, false, &error).isEmpty()) << error.toStdString();
    EXPECT_TRUE(buildResourcePack({{longest + "a", "x"}}, 0, false, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    // Multi-byte characters count by their UTF-8 bytes: 50 three-byte characters are 150 bytes.
    EXPECT_TRUE(buildResourcePack({{QString(50, QChar(0x56FE)), "x"}}, 0, false).isEmpty());
    EXPECT_TRUE(buildResourcePack({{QString(), "x"}}, 0, false).isEmpty());
    EXPECT_TRUE(buildResourcePack({}, 0, false).isEmpty());
}

TEST(ResourcePackWriter, PacksAFolderUnderTheOutputsBaseName) {
    QTemporaryDir dir;
    ASSERT_TRUE(kftest::writeFile(dir.path() + "/pages/black/client.html", "page"));
    ASSERT_TRUE(kftest::writeFile(dir.path() + "/pages/black/img/a b.png", "img"));
    ASSERT_TRUE(kftest::writeFile(dir.path() + "/pages/.client.html.swp", "editor file"));  // hidden: skipped
    ASSERT_TRUE(kftest::writeFile(dir.path() + "/pages/.git/config", "hidden folder"));
    QString error;
    ASSERT_TRUE(writeResourcePack(dir.path() + "/pages", dir.path() + "/app/theme.pak", 7, true, &error))
        << error.toStdString();
    ResourcePack pack;
    ASSERT_TRUE(pack.load(dir.path() + "/app/theme.pak"));
    ASSERT_EQ(pack.entries().size(), 2);
    EXPECT_EQ(pack.entries().at(0).name, QString("theme/black/client.html"));
    EXPECT_EQ(pack.lookup("black/img/a b.png"), QByteArray("img"));

    EXPECT_FALSE(writeResourcePack(dir.path() + "/missing", dir.path() + "/x.pak", 0, false, &error));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/empty"));
    EXPECT_FALSE(writeResourcePack(dir.path() + "/empty", dir.path() + "/x.pak", 0, false, &error));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/x.pak"));
}

TEST(ResourcePackFormat, UnshiftWrapsAroundAtEveryLength) {
    // Lengths around the 64-byte blocks of the vector loop, in place and into another buffer.
    for (int length : {0, 1, 15, 16, 63, 64, 65, 127, 128, 1000}) {
        SCOPED_TRACE(length);
        const QByteArray source = kftest::allByteValues(4).left(length);
        QByteArray copy(length, '\0');
        fmt::unshift(source.constData(), copy.data(), length, 250);
        QByteArray inPlace = source;
        fmt::unshift(inPlace.constData(), inPlace.data(), length, 250);
        for (int i = 0; i < length; ++i) {
            ASSERT_EQ(quint8(copy.at(i)), quint8(quint8(source.at(i)) + 250)) << i;
        }
        EXPECT_EQ(inPlace, copy);
    }
    EXPECT_EQ(fmt::unshiftDelta(true, 7), 249);
    EXPECT_EQ(fmt::unshiftDelta(false, 7), 7);
    EXPECT_EQ(fmt::unshiftDelta(true, 0), 0);
}

}  // namespace
