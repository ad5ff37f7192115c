// The faults the file commands guard against: paths that leave their root, saves cut short,
// replacement texts that are not XML, and XPath expressions that do not compile.
#include <QDirIterator>

#include "cefclient/theme_archive.h"
#include "files_test_util.h"

namespace filestest {
namespace {

const QStringList kEscapingPaths{
    "../outside.xml",
    "a/../../outside.xml",
    "sub/../../outside.xml",
    "..\\outside.xml",
    "a\\..\\..\\outside.xml",
    "..",
    "/etc/passwd",
    "\\\\server\\share\\x.xml",
    "C:\\Windows\\win.ini",
    "c:/x.xml",
    "",
    "dir/",
    ".",
    "sub/.",
    QString("a.xml") + QChar(0) + "/../../x",
};

using PathsOutsideTheRoots = FileCacheTest;

TEST_F(PathsOutsideTheRoots, AreRefusedByTheQuery) {
    // A file right beside the temporary root, where "../outside.xml" would lead.
    const QString outside = QFileInfo(temp()).absolutePath() + "/outside.xml";
    const bool planted = !QFileInfo::exists(outside) && writeFile(outside, "<secret/>");
    for (const QString& path : kEscapingPaths) {
        EXPECT_EQ(commands().readFileToStr(readArgs(path, "/*")), readFailed()) << path.toStdString();
    }
    EXPECT_EQ(cache().cachedFileCount(), 0);
    if (planted) {
        QFile::remove(outside);
    }
}

TEST_F(PathsOutsideTheRoots, AreRefusedByTheReplacementWhichChangesNothing) {
    // The would-be targets: the parent of the application root and a sibling folder.
    QTemporaryDir sibling;
    ASSERT_TRUE(sibling.isValid());
    const QString siblingName = QFileInfo(sibling.path()).fileName();
    QStringList paths = kEscapingPaths;
    paths << "../" + siblingName + "/victim.xml" << sibling.path() + "/victim.xml";
    ASSERT_TRUE(writeFile(sibling.path() + "/victim.xml", "<keep/>"));

    for (const QString& path : paths) {
        EXPECT_EQ(commands().modifyFileFromStr(modifyArgs(path, "<evil/>")), modifyFailed())
            << path.toStdString();
    }
    EXPECT_EQ(cache().cachedFileCount(), 0);
    EXPECT_TRUE(cache().changedFiles().isEmpty());
    EXPECT_EQ(readFile(sibling.path() + "/victim.xml"), QByteArray("<keep/>"));
    EXPECT_EQ(QDir(app()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

TEST_F(PathsOutsideTheRoots, AFolderInsideTheRootIsNotAFile) {
    ASSERT_TRUE(QDir(app()).mkdir("profiles"));
    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("profiles", "<a/>")), modifyFailed());
    EXPECT_TRUE(cache().changedFiles().isEmpty());
}

TEST(SafeRelativePaths, NamesThatOnlyLookAlikeAreAccepted) {
    const QStringList safe{"a.xml",   "sub/a.xml", "./a.xml",    "a..b.xml",
                           "..a.xml", "a../b.xml", "sub//a.xml", QStringLiteral("配置/鼠标.xml")};
    for (const QString& path : safe) {
        EXPECT_TRUE(theme_archive::isSafeRelativePath(path)) << path.toStdString();
    }
    for (const QString& path : kEscapingPaths) {
        EXPECT_FALSE(theme_archive::isSafeRelativePath(path)) << path.toStdString();
    }
}

// Names of the files in `folder`, so a test can see that no temporary file was left behind.
QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

using InterruptedSaves = FileCacheTest;

TEST_F(InterruptedSaves, LeaveTheOldContentWhenCutAfterTheTemporaryFileIsWritten) {
    ASSERT_TRUE(writeFile(appFile("profile.xml"), "<old/>"));
    ASSERT_EQ(commands().modifyFileFromStr(modifyArgs("profile.xml", "<new/>")), modifyOk());

    QByteArray targetDuringSave;
    cache().setCommitGate([&](const QString& path) {
        targetDuringSave = readFile(path);
        return false;  // the process dies here, before the new file replaces the old one
    });
    EXPECT_EQ(commands().savexml(), CommandAnswer::failure("save xml failed"));

    // The new content went to a separate file while the old one stayed in place.
    EXPECT_EQ(targetDuringSave, QByteArray("<old/>"));
    EXPECT_EQ(readFile(appFile("profile.xml")), QByteArray("<old/>"));
    EXPECT_EQ(filesIn(app()), QStringList{"profile.xml"});
    EXPECT_EQ(cache().changedFiles(), QStringList{appFile("profile.xml")});

    cache().setCommitGate({});
    EXPECT_EQ(commands().savexml(), saveOk());
    EXPECT_EQ(readFile(appFile("profile.xml")), stored("<new />\n").toUtf8());
    EXPECT_EQ(filesIn(app()), QStringList{"profile.xml"});
}

TEST_F(InterruptedSaves, OfANewFileLeaveNoPartialFileAndAnswerFailure) {
    cache().setCommitGate([](const QString&) { return false; });
    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("fresh.xml", "<fresh/>")), modifyFailed());
    EXPECT_EQ(filesIn(app()), QStringList());
    EXPECT_TRUE(cache().changedFiles().isEmpty());
    cache().setCommitGate({});
    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("fresh.xml", "<fresh/>")), modifyOk());
    EXPECT_EQ(commands().savexml(), saveOk());
    EXPECT_EQ(readFile(appFile("fresh.xml")), stored("<fresh />\n").toUtf8());
}

TEST_F(InterruptedSaves, StopAtTheFileThatFailedAndRetryEverythingLater) {
    ASSERT_TRUE(writeFile(appFile("a.xml"), "<a/>"));
    ASSERT_TRUE(writeFile(appFile("b.xml"), "<b/>"));
    commands().modifyFileFromStr(modifyArgs("a.xml", "<a>1</a>"));
    commands().modifyFileFromStr(modifyArgs("b.xml", "<b>1</b>"));
    QStringList attempted;
    cache().setCommitGate([&](const QString& path) {
        attempted << QFileInfo(path).fileName();
        return attempted.size() < 2;
    });
    EXPECT_EQ(cache().saveChangedFiles(), FileCache::SaveOutcome::Failed);
    EXPECT_EQ(attempted, (QStringList{"a.xml", "b.xml"}));
    EXPECT_EQ(readFile(appFile("a.xml")), stored("<a>1</a>\n").toUtf8());
    EXPECT_EQ(readFile(appFile("b.xml")), QByteArray("<b/>"));
    cache().setCommitGate({});
    EXPECT_EQ(cache().saveChangedFiles(), FileCache::SaveOutcome::Saved);
    EXPECT_EQ(readFile(appFile("b.xml")), stored("<b>1</b>\n").toUtf8());
}

TEST(AtomicWrites, FailWithoutTouchingAnythingWhenTheFolderIsMissing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(FileCache::writeFileAtomically(dir.path() + "/no/such/folder/x.xml", "<x/>"));
    EXPECT_TRUE(FileCache::writeFileAtomically(dir.path() + "/x.xml", "<x/>"));
    EXPECT_EQ(readFile(dir.path() + "/x.xml"), QByteArray("<x/>"));
}

using MalformedContent = FileCacheTest;

TEST_F(MalformedContent, IsRefusedAndTheCacheAndTheFileKeepTheOldText) {
    ASSERT_TRUE(writeFile(appFile("p.xml"), "<good/>"));
    ASSERT_EQ(commands().modifyFileFromStr(modifyArgs("p.xml", "<good>cached</good>")), modifyOk());
    const QString before = cache().cachedText(appFile("p.xml"));
    const QStringList bad{"<a><b></a>",
                          "<a>",
                          "",
                          "just text",
                          "<a/><b/>",
                          "junk<a/>",
                          "<a/>junk",
                          "<a x=1/>",
                          "<a></b>",
                          "<![CDATA[x]]><a/>",
                          QStringLiteral("<a>x") + QChar(0) + "</a>"};
    for (const QString& content : bad) {
        EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("p.xml", content)), modifyFailed())
            << content.toStdString();
    }
    EXPECT_EQ(cache().cachedText(appFile("p.xml")), before);
    EXPECT_EQ(readFile(appFile("p.xml")), QByteArray("<good/>"));
    EXPECT_EQ(commands().savexml(), saveOk());
    EXPECT_EQ(readFile(appFile("p.xml")), before.toUtf8());
}

TEST_F(MalformedContent, CreatesNoNewFileAndMarksNothingChanged) {
    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("new.xml", "<a><b></a>")), modifyFailed());
    EXPECT_FALSE(QFileInfo::exists(appFile("new.xml")));
    EXPECT_TRUE(cache().changedFiles().isEmpty());
    EXPECT_EQ(commands().savexml(), CommandAnswer::none());
}

TEST_F(MalformedContent, CommentsAndProcessingInstructionsAroundTheRootAreFine) {
    EXPECT_EQ(commands().modifyFileFromStr(
                  modifyArgs("ok.xml", "<?xml version=\"1.0\"?>\n<!-- c --><a/>\n<?pi x?>\n")),
              modifyOk());
}

// `depth` nested elements around `body`.
QString nested(int depth, const QString& body = QString()) {
    return QString("<a>").repeated(depth) + body + QString("</a>").repeated(depth);
}

TEST_F(MalformedContent, TooDeepOrTooLargeWhenWrittenIsRefusedAndChangesNothing) {
    // Written back with one tab per level, deep nesting grows with the square of the depth; a
    // wide tree at the deepest allowed level grows by the tabs in front of every element.
    const int deepest = FileCache::kMaxNestingDepth;
    const int wide = int(FileCache::kMaxWrittenBytes / deepest);
    const struct {
        QString content;
        bool accepted;
    } cases[] = {
        {nested(deepest + 1), false},
        {nested(10000), false},
        {nested(deepest - 1, QString("<b/>").repeated(wide)), false},
        {nested(deepest), true},
    };
    ASSERT_TRUE(writeFile(appFile("p.xml"), "<old/>"));
    ASSERT_EQ(commands().modifyFileFromStr(modifyArgs("p.xml", "<cached/>")), modifyOk());
    const QString cached = cache().cachedText(appFile("p.xml"));
    int n = 0;
    for (const auto& c : cases) {
        const QString fresh = QString("new%1.xml").arg(++n);
        EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("p.xml", c.content)),
                  c.accepted ? modifyOk() : modifyFailed())
            << n;
        EXPECT_EQ(commands().modifyFileFromStr(modifyArgs(fresh, c.content)),
                  c.accepted ? modifyOk() : modifyFailed());
        if (!c.accepted) {
            EXPECT_EQ(cache().cachedText(appFile("p.xml")), cached);
            EXPECT_FALSE(QFileInfo::exists(appFile(fresh)));
            EXPECT_EQ(cache().changedFiles(), QStringList{appFile("p.xml")});
        }
    }
    EXPECT_EQ(readFile(appFile("p.xml")), QByteArray("<old/>"));
}

using InvalidXpath = FileCacheTest;

TEST_F(InvalidXpath, AnswersTheFailureAndLaterQueriesStillWork) {
    ASSERT_TRUE(writeFile(tempFile("p.xml"), "<a><b>1</b></a>"));
    const QStringList bad{"",
                          "//b[",
                          "count(//b)",
                          "$undefined",
                          "1 + 1",
                          "string(//b)",
                          "//b]]]",
                          "///",
                          "//b[@",
                          "concat(",
                          QStringLiteral("//b") + QChar(0),
                          QString(2000, '(') + "//b" + QString(2000, ')')};
    for (const QString& xpath : bad) {
        EXPECT_EQ(commands().readFileToStr(readArgs("p.xml", xpath)), readFailed())
            << xpath.left(40).toStdString();
    }
    EXPECT_EQ(commands().readFileToStr(readArgs("p.xml", "//b")), CommandAnswer::success("<b>1</b>\n"));
}

TEST_F(PathsOutsideTheRoots, AFileChosenInADialogIsReadAndWrittenByItsPath) {
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const QString chosen = elsewhere.path() + "/profile.pfd";
    const QString other = elsewhere.path() + "/other.pfd";
    ASSERT_TRUE(writeFile(chosen, "<configuration/>"));
    EXPECT_EQ(commands().readFileToStr(readArgs(chosen, "/*")), readFailed());  // not chosen yet

    cache().allowChosenPath(elsewhere.path() + "/./profile.pfd");
    EXPECT_EQ(commands().readFileToStr(readArgs(chosen, "/*")),
              CommandAnswer::success("<configuration />\n"));
    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs(chosen, "<configuration><key/></configuration>")),
              modifyOk());
    EXPECT_EQ(cache().changedFiles(), QStringList{chosen});
    // Only that file: its neighbour and relative spellings stay refused.
    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs(other, "<x/>")), modifyFailed());
    cache().allowChosenPath("relative.pfd");
    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("../relative.pfd", "<x/>")), modifyFailed());
}

}  // namespace
}  // namespace filestest
