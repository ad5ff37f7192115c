// Profile files beside a read-only installation: read from the user's folder first and from the
// unpacked installation files second, always written to the user's folder, and a write that
// cannot happen is answered as a failure.
#include "files_test_util.h"

namespace filestest {
namespace {

using ProfileFolder = FileCacheTest;  // temp(): the runtime root; app(): the user's folder

TEST_F(ProfileFolder, IsReadFirstAndTheInstallationFilesSecond) {
    ASSERT_TRUE(writeFile(tempFile("profile/mouse.xml"), "<p>installed</p>"));
    ASSERT_TRUE(writeFile(tempFile("profile/keyboard.xml"), "<p>installed</p>"));
    EXPECT_EQ(commands().modifyFileFromStr(modifyArgs("profile/mouse.xml", "<p>mine</p>")), modifyOk());
    EXPECT_EQ(readFile(appFile("profile/mouse.xml")), stored("<p>mine</p>\n").toUtf8());
    EXPECT_EQ(commands().readFileToStr(readArgs("profile/mouse.xml", "/p")),
              CommandAnswer::success("<p>mine</p>\n"));
    EXPECT_EQ(commands().readFileToStr(readArgs("profile/keyboard.xml", "/p")),
              CommandAnswer::success("<p>installed</p>\n"));
    // A fresh cache (the next start) finds the saved edit.
    EXPECT_EQ(commands().savexml(), saveOk());
    FileCache restarted(temp(), app());
    EXPECT_EQ(FileCommands(restarted).readFileToStr(readArgs("profile/mouse.xml", "/p")),
              CommandAnswer::success("<p>mine</p>\n"));
}

TEST(ProfileFolderFaults, AFolderThatCannotBeMadeAnswersFailureAndKeepsNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("not-a-folder"), "x"));
    FileCache cache(dir.path(), dir.filePath("not-a-folder"));
    EXPECT_EQ(FileCommands(cache).modifyFileFromStr(modifyArgs("p.xml", "<p/>")), modifyFailed());
    EXPECT_TRUE(cache.changedFiles().isEmpty());
    EXPECT_EQ(FileCommands(cache).savexml(), CommandAnswer::none());
}

}  // namespace
}  // namespace filestest
