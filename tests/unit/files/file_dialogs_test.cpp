// The three file dialogs: what each shows and how a choice or a cancel is answered.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <QWidget>

#include "files_test_util.h"
#include "window/file_dialogs.h"

namespace filestest {
namespace {

const QString kDocuments = QDir::homePath() + "/Documents";

TEST(FileDialogCommands, ShowTheirCaptionsStartFoldersAndFilters) {
    ScriptedFileDialogs dialogs;
    QWidget parent;
    file_dialogs::saveFileDialog(dialogs, &parent);
    file_dialogs::openFileDialog(dialogs, &parent);
    file_dialogs::openFileDialogEx(dialogs, &parent);
    ASSERT_EQ(dialogs.shown().size(), 3);
    EXPECT_EQ(dialogs.shown()[0], (FileDialogRequest{FileDialogRequest::Save, QStringLiteral("保存为"),
                                                     kDocuments, QStringLiteral("pfd文件(*.pfd)")}));
    EXPECT_EQ(dialogs.shown()[1], (FileDialogRequest{FileDialogRequest::Open, "Open", kDocuments, "*"}));
    EXPECT_EQ(dialogs.shown()[2],
              (FileDialogRequest{FileDialogRequest::Open, QStringLiteral("打开"), "", ""}));
    EXPECT_EQ(dialogs.parents(), (QVector<QWidget*>{&parent, &parent, &parent}));
}

TEST(FileDialogCommands, AnswerTheChosenPath) {
    ScriptedFileDialogs dialogs;
    dialogs.addAnswer("/home/u/Documents/mine.pfd");
    dialogs.addAnswer("/home/u/Documents/a b.txt");
    dialogs.addAnswer(QStringLiteral("/tmp/配置.xml"));
    EXPECT_EQ(file_dialogs::saveFileDialog(dialogs, nullptr),
              CommandAnswer::success("/home/u/Documents/mine.pfd"));
    EXPECT_EQ(file_dialogs::openFileDialog(dialogs, nullptr),
              CommandAnswer::success("/home/u/Documents/a b.txt"));
    EXPECT_EQ(file_dialogs::openFileDialogEx(dialogs, nullptr),
              CommandAnswer::success(QStringLiteral("/tmp/配置.xml")));
}

TEST(FileDialogCommands, ACancelFailsTwoOfThemAndLeavesTheThirdPending) {
    ScriptedFileDialogs dialogs;
    dialogs.addCancel();
    dialogs.addCancel();
    dialogs.addCancel();
    const CommandAnswer notSelected = CommandAnswer::failure("doesn't select file");
    EXPECT_EQ(file_dialogs::saveFileDialog(dialogs, nullptr), notSelected);
    EXPECT_EQ(file_dialogs::openFileDialog(dialogs, nullptr), notSelected);
    EXPECT_EQ(file_dialogs::openFileDialogEx(dialogs, nullptr), CommandAnswer::none());
}

// The real dialog, shown modally: a timer inside its event loop reads what it shows and
// cancels it (Qt's own dialog, so the test needs no desktop's dialog service).
TEST(QtFileDialogs, ShowTheRequestedDialogModally) {
    QtFileDialogs dialogs(QFileDialog::DontUseNativeDialog);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    FileDialogRequest seen;
    bool found = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        found = true;
        seen.kind = dialog->acceptMode() == QFileDialog::AcceptSave ? FileDialogRequest::Save
                                                                    : FileDialogRequest::Open;
        seen.caption = dialog->windowTitle();
        seen.folder = dialog->directory().absolutePath();
        seen.filter = dialog->nameFilters().join(";;");
        dialog->reject();
    });
    poll.start(5);
    const QString chosen =
        dialogs.choose(nullptr, FileDialogRequest{FileDialogRequest::Save, QStringLiteral("保存为"),
                                                  folder.path(), QStringLiteral("pfd文件(*.pfd)")});
    poll.stop();
    ASSERT_TRUE(found);
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_EQ(seen, (FileDialogRequest{FileDialogRequest::Save, QStringLiteral("保存为"), folder.path(),
                                       QStringLiteral("pfd文件(*.pfd)")}));
}

}  // namespace
}  // namespace filestest
