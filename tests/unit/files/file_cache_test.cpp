// The profile file commands as the pages use them: queries through XPath, replacements held in
// memory until a save, and the two roots.
#include <QFileInfo>

#include <sys/stat.h>

#include "files_test_util.h"

namespace filestest {
namespace {

const QByteArray kProfile =
    "<configuration Ver=\"M2.0\" name=\"本地配置\">"
    "<key name=\"Dpi0\" index=\"43\" x=\"1200\" y=\"1200\"/>"
    "<key name=\"Dpi1\" index=\"44\"><sub/></key>"
    "<conf name=\"c\"/>"
    "</configuration>";

using ReadFileToStr = FileCacheTest;

TEST_F(ReadFileToStr, TwoMatchedElementsFollowEachOtherWithTabIndentation) {
    ASSERT_TRUE(writeFile(tempFile("p.xml"), kProfile));
    EXPECT_EQ(
        commands().readFileToStr(readArgs("p.xml", "//key")),
        CommandAnswer::success(QStringLiteral("<key name=\"Dpi0\" index=\"43\" x=\"1200\" y=\"1200\" />\n"
                                              "<key name=\"Dpi1\" index=\"44\">\n"
                                              "\t<sub />\n"
                                              "</key>\n")));
}

TEST_F(ReadFileToStr, AttributesAddNothingAndNoMatchIsAnEmptySuccess) {
    ASSERT_TRUE(writeFile(tempFile("p.xml"), kProfile));
    EXPECT_EQ(commands().readFileToStr(readArgs("p.xml", "//key/@index")), CommandAnswer::success(QString()));
    EXPECT_EQ(commands().readFileToStr(readArgs("p.xml", "//conf | //key[1]/@x")),
              CommandAnswer::success(QStringLiteral("<conf name=\"c\" />\n")));
    EXPECT_EQ(commands().readFileToStr(readArgs("p.xml", "//nothing")), CommandAnswer::success(QString()));
}

TEST_F(ReadFileToStr, NonAsciiTextAndByteOrderMarkSurvive) {
    ASSERT_TRUE(writeFile(tempFile("bom.xml"), "\xEF\xBB\xBF<a n=\"左键\">中</a>"));
    EXPECT_EQ(commands().readFileToStr(readArgs("bom.xml", "/a")),
              CommandAnswer::success(QStringLiteral("<a n=\"左键\">中</a>\n")));
}

TEST_F(ReadFileToStr, WithoutFilePathNothingIsAnswered) {
    QVariantMap args = readArgs("p.xml", "/a");
    args.remove(QStringLiteral("FilePath"));
    EXPECT_EQ(commands().readFileToStr(args), CommandAnswer::none());
    EXPECT_EQ(cache().cachedFileCount(), 0);
}

TEST_F(ReadFileToStr, MissingEmptyOrBrokenFilesFail) {
    ASSERT_TRUE(writeFile(tempFile("empty.xml"), ""));
    ASSERT_TRUE(writeFile(tempFile("broken.xml"), "<a><b></a>"));
    EXPECT_EQ(commands().readFileToStr(readArgs("missing.xml", "/a")), readFailed());
    EXPECT_EQ(commands().readFileToStr(readArgs("empty.xml", "/a")), readFailed());
    EXPECT_EQ(commands().readFileToStr(readArgs("broken.xml", "/a")), readFailed());
    EXPECT_FALSE(cache().isCached(tempFile("missing.xml")));
}

TEST_F(ReadFileToStr, FoldersAndPipesAreNotReadAndDoNotBlock) {
    ASSERT_TRUE(QDir(temp()).mkdir("folder.xml"));
    ASSERT_EQ(::mkfifo(tempFile("pipe.xml").toLocal8Bit().constData(), 0600), 0);
    EXPECT_EQ(commands().readFileToStr(readArgs("folder.xml", "/a")), readFailed());
    EXPECT_EQ(commands().readFileToStr(readArgs("pipe.xml", "/a")), readFailed());
    EXPECT_EQ(cache().cachedFileCount(), 0);
}

TEST_F(ReadFileToStr, AFileReadOnceIsNotReadFromDiskAgain) {
    ASSERT_TRUE(writeFile(tempFile("p.xml"), "<a>old</a>"));
    ASSERT_EQ(commands().readFileToStr(readArgs("p.xml", "/a")).text, QStringLiteral("<a>old</a>\n"));
    ASSERT_TRUE(writeFile(tempFile("p.xml"), "<a>new</a>"));
    EXPECT_EQ(commands().readFileToStr(readArgs("p.xml", "/a")).text, QStringLiteral("<a>old</a>\n"));
}

TEST_F(ReadFileToStr, SameAnswersWithAndWithoutKeptDocuments) {
    ASSERT_TRUE(writeFile(tempFile("p.xml"), kProfile));
    const QStringList queries{"//key",  "/configuration", "//key/@x",    "//conf",
                              "//none", "//key[",         "count(//key)"};
    FileCache reparsing(temp(), app());
    reparsing.setKeepParsedDocuments(false);
    for (int round = 0; round < 2; ++round) {
        for (const QString& query : queries) {
            EXPECT_EQ(commands().readFileToStr(readArgs("p.xml", query)),
                      FileCommands(reparsing).readFileToStr(readArgs("p.xml", query)))
                << query.toStdString();
        }
    }
}

TEST_F(ReadFileToStr, AKeptDocumentIsDroppedWhenItsFileIsReplaced) {
    // One folder for both roots, so a replacement changes the file that queries read.
    FileCache shared(app(), app());
    ASSERT_TRUE(writeFile(appFile("p.xml"), "<a><b>1</b></a>"));
    ASSERT_EQ(FileCommands(shared).readFileToStr(readArgs("p.xml", "//b")).text,
              QStringLiteral("<b>1</b>\n"));
    ASSERT_EQ(FileCommands(shared).modifyFileFromStr(modifyArgs("p.xml", "<a><b>2</b></a>")), modifyOk());
    EXPECT_EQ(FileCommands(shared).readFileToStr(readArgs("p.xml", "//b")).text,
              QStringLiteral("<b>2</b>\n"));
}

TEST_F(ReadFileToStr, OlderKeptDocumentsAreEvictedWithoutChangingAnswers) {
    for (int i = 0; i <= FileCache::kMaxParsedDocuments + 2; ++i) {
        ASSERT_TRUE(writeFile(tempFile(QStringLiteral("f%1.xml").arg(i)),
                              QStringLiteral("<a>%1</a>").arg(i).toUtf8()));
    }
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i <= FileCache::kMaxParsedDocuments + 2; ++i) {
            EXPECT_EQ(commands().readFileToStr(readArgs(QStringLiteral("f%1.xml").arg(i), "/a")).text,
                      QStringLiteral("<a>%1</a>\n").arg(i));
        }
    }
}

using ModifyFileFromStr = FileCacheTest;

TEST_F(ModifyFileFromStr, ANewFileIsWrittenAtOnceALaterChangeOnlyAtSave) {
    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("user.xml", "<a><b/></a>")), modifyOk());
    EXPECT_EQ(readFile(appFile("user.xml")), stored("<a>\n\t<b />\n</a>\n").toUtf8());

    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("user.xml", "<a><c/></a>")), modifyOk());
    EXPECT_EQ(readFile(appFile("user.xml")), stored("<a>\n\t<b />\n</a>\n").toUtf8());
    EXPECT_EQ(cache().cachedText(appFile("user.xml")), stored("<a>\n\t<c />\n</a>\n"));
    EXPECT_EQ(cache().changedFiles(), QStringList{appFile("user.xml")});

    EXPECT_EQ(commands().savexml(), saveOk());
    EXPECT_EQ(readFile(appFile("user.xml")), stored("<a>\n\t<c />\n</a>\n").toUtf8());
    EXPECT_TRUE(cache().changedFiles().isEmpty());
}

TEST_F(ModifyFileFromStr, TheStoredTextIsTheSerialisationWithOneDeclaration) {
    const QString content =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a x='1'>  <b>中</b></a>");
    ASSERT_EQ(commands().modifyFileFromStr(modifyArgs("d.xml", content)), modifyOk());
    EXPECT_EQ(cache().cachedText(appFile("d.xml")), stored("<a x=\"1\">\n\t<b>中</b>\n</a>\n"));
    EXPECT_EQ(readFile(appFile("d.xml")), stored("<a x=\"1\">\n\t<b>中</b>\n</a>\n").toUtf8());
}

TEST_F(ModifyFileFromStr, TheNameAndSizeAreLoggedAtInformationLevelAndTheTextAtDebugLevel) {
    static QStringList infos;
    static QStringList debugs;
    infos.clear();
    debugs.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            (type == QtInfoMsg ? infos : debugs).append(text);
        });
    commands().modifyFileFromStr(modifyArgs("log.xml", "<a/>"));
    // A long text is cut to its first 4 KB with its length.
    const QString big = "<a>" + QString("<b>x</b>").repeated(100000) + "</a>";
    commands().modifyFileFromStr(modifyArgs("big.xml", big));
    qInstallMessageHandler(previous);
    const QString text = cache().cachedText(appFile("big.xml"));
    EXPECT_EQ(infos, (QStringList{QStringLiteral("ModifyFileFromStr: %1 (%2 bytes)")
                                      .arg(appFile("log.xml"))
                                      .arg(stored("<a />\n").toUtf8().size()),
                                  QStringLiteral("ModifyFileFromStr: %1 (%2 bytes)")
                                      .arg(appFile("big.xml"))
                                      .arg(text.toUtf8().size())}));
    ASSERT_EQ(debugs.size(), 2);
    EXPECT_EQ(debugs.first(), stored("<a />\n"));
    EXPECT_TRUE(debugs.last().startsWith(text.left(4096))) << debugs.last().left(100).toStdString();
    EXPECT_LT(debugs.last().size(), 4200);
    EXPECT_TRUE(debugs.last().contains(QString::number(text.size())));
}

TEST_F(ModifyFileFromStr, EachPathIsListedOnceInFirstChangeOrder) {
    ASSERT_TRUE(writeFile(appFile("b.xml"), "<b/>"));
    commands().modifyFileFromStr(modifyArgs("b.xml", "<b>1</b>"));
    commands().modifyFileFromStr(modifyArgs("a.xml", "<a>1</a>"));
    commands().modifyFileFromStr(modifyArgs("b.xml", "<b>2</b>"));
    EXPECT_EQ(cache().changedFiles(), (QStringList{appFile("b.xml"), appFile("a.xml")}));
}

TEST_F(ModifyFileFromStr, WritesTheUsersCopyWhichIsReadBeforeTheInstallations) {
    ASSERT_TRUE(writeFile(tempFile("same.xml"), "<t>temp</t>"));
    ASSERT_EQ(commands().modifyFileFromStr(modifyArgs("same.xml", "<t>app</t>")), modifyOk());
    EXPECT_EQ(commands().readFileToStr(readArgs("same.xml", "/t")), CommandAnswer::success("<t>app</t>\n"));
    EXPECT_EQ(readFile(tempFile("same.xml")), QByteArray("<t>temp</t>"));
    EXPECT_EQ(readFile(appFile("same.xml")), stored("<t>app</t>\n").toUtf8());
    EXPECT_EQ(cache().cachedFileCount(), 1);
}

TEST_F(ModifyFileFromStr, RootsWithATrailingSlashAreNotDoubled) {
    FileCache slashed(temp() + "/", app() + "/");
    FileCommands(slashed).modifyFileFromStr(modifyArgs("s.xml", "<s/>"));
    EXPECT_EQ(slashed.changedFiles(), QStringList{appFile("s.xml")});
}

using Savexml = FileCacheTest;

TEST_F(Savexml, RightAfterStartNothingIsAnswered) {
    EXPECT_EQ(commands().savexml(), CommandAnswer::none());
    EXPECT_EQ(cache().saveChangedFiles(), FileCache::SaveOutcome::NothingCached);
    // A failed read caches nothing either.
    commands().readFileToStr(readArgs("missing.xml", "/a"));
    EXPECT_EQ(commands().savexml(), CommandAnswer::none());
}

TEST_F(Savexml, AfterOnlyReadsTheAnswerIsSuccess) {
    ASSERT_TRUE(writeFile(tempFile("p.xml"), "<a/>"));
    commands().readFileToStr(readArgs("p.xml", "/a"));
    EXPECT_EQ(commands().savexml(), saveOk());
    EXPECT_EQ(readFile(tempFile("p.xml")), QByteArray("<a/>"));
}

TEST_F(Savexml, TheSecondSaveWritesNothingAndStillSucceeds) {
    ASSERT_TRUE(writeFile(appFile("p.xml"), "<a/>"));
    commands().modifyFileFromStr(modifyArgs("p.xml", "<a>mine</a>"));
    EXPECT_EQ(commands().savexml(), saveOk());
    ASSERT_TRUE(writeFile(appFile("p.xml"), "<a>someone else</a>"));
    EXPECT_EQ(commands().savexml(), saveOk());
    EXPECT_EQ(readFile(appFile("p.xml")), QByteArray("<a>someone else</a>"));
}

TEST_F(Savexml, AFileThatCannotBeWrittenStopsTheSaveAndKeepsTheList) {
    ASSERT_TRUE(writeFile(appFile("first.xml"), "<f/>"));
    ASSERT_TRUE(writeFile(appFile("third.xml"), "<t/>"));
    commands().modifyFileFromStr(modifyArgs("first.xml", "<f>1</f>"));
    ASSERT_EQ(commands().modifyFileFromStr(modifyArgs("gone/second.xml", "<s>1</s>")), modifyOk());
    commands().modifyFileFromStr(modifyArgs("third.xml", "<t>1</t>"));
    const QStringList all{appFile("first.xml"), appFile("gone/second.xml"), appFile("third.xml")};
    // Its folder is replaced by a file: it cannot be written at save.
    ASSERT_TRUE(QDir(app() + "/gone").removeRecursively() && writeFile(app() + "/gone", "x"));

    EXPECT_EQ(commands().savexml(), CommandAnswer::failure("save xml failed"));
    EXPECT_EQ(readFile(appFile("first.xml")), stored("<f>1</f>\n").toUtf8());
    EXPECT_EQ(readFile(appFile("third.xml")), QByteArray("<t/>"));
    EXPECT_EQ(cache().changedFiles(), all);

    // Once the folder is back, the next save writes them all.
    ASSERT_TRUE(QFile::remove(app() + "/gone") && QDir(app()).mkdir("gone"));
    EXPECT_EQ(commands().savexml(), saveOk());
    EXPECT_EQ(readFile(appFile("gone/second.xml")), stored("<s>1</s>\n").toUtf8());
    EXPECT_EQ(readFile(appFile("third.xml")), stored("<t>1</t>\n").toUtf8());
    EXPECT_TRUE(cache().changedFiles().isEmpty());
}

TEST_F(Savexml, SavedFilesKeepTheirPermissions) {
    ASSERT_TRUE(writeFile(appFile("p.xml"), "<a/>"));
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(appFile("p.xml"), mode));
    commands().modifyFileFromStr(modifyArgs("p.xml", "<a>1</a>"));
    ASSERT_EQ(commands().savexml(), saveOk());
    const QFile::Permissions ownerGroupOther(0x7077);
    EXPECT_EQ(QFileInfo(appFile("p.xml")).permissions() & ownerGroupOther, mode);
}

TEST(OtherFileCommands, AreRecognisedButNeverAnswered) {
    EXPECT_EQ(FileCommands::downloadFile({{"downloadUrl", "http://x"}, {"relativePath", "a"}}),
              CommandAnswer::none());
    EXPECT_EQ(FileCommands::downloadFile({}), CommandAnswer::none());
    EXPECT_EQ(FileCommands::getWindowsKeyboreadConfig(), CommandAnswer::none());
}

}  // namespace
}  // namespace filestest
