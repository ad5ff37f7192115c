// A long mixed run of replacements, queries and saves (some of them cut short, some with
// broken content) over 50 files, checked step by step against a simple model: every answer is
// the expected one, and after every complete save each file on disk holds the last content sent.
#include <QHash>

#include <random>

#include "files_test_util.h"

namespace filestest {
namespace {

constexpr int kFiles = 50;
constexpr int kRequests = 10000;
constexpr unsigned kSeed = 0x5eed2024u;

QString fileName(int file) {
    // A few files live in a sub-folder to mix path shapes.
    return file % 10 == 7 ? QStringLiteral("sub/f%1.xml").arg(file) : QStringLiteral("f%1.xml").arg(file);
}

// The compact text a page sends, and the form it is stored and saved in.
QString sent(int file, int version, int value) {
    return QStringLiteral(
               "<profile file=\"%1\" version=\"%2\"><key name=\"Dpi\" value=\"%3\"/><note>中文 "
               "%2</note></profile>")
        .arg(file)
        .arg(version)
        .arg(value);
}

QString canonical(int file, int version, int value) {
    return QStringLiteral(
               "<?xml version=\"1.0\"?>\n<profile file=\"%1\" version=\"%2\">\n\t<key name=\"Dpi\" "
               "value=\"%3\" />\n"
               "\t<note>中文 %2</note>\n</profile>\n")
        .arg(file)
        .arg(version)
        .arg(value);
}

void dropInfoLines(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtInfoMsg) {
        fprintf(stderr, "%s\n", qPrintable(text));
    }
}

TEST(FileCacheSoak, TenThousandMixedRequestsEndWithTheLastContentSent) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkdir("sub"));
    // One folder for both roots, so queries read what replacements changed.
    FileCache cache(root.path(), root.path());
    const QtMessageHandler previous = qInstallMessageHandler(dropInfoLines);

    struct Model {
        QString text;  // the content the file should end with; empty: the file does not exist
        int value = 0;
    };
    QHash<int, Model> model;
    // Half the files exist before the run.
    for (int file = 0; file < kFiles; file += 2) {
        model[file] = Model{canonical(file, 0, file), file};
        ASSERT_TRUE(writeFile(root.path() + "/" + fileName(file), model[file].text.toUtf8()));
    }

    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> pickFile(0, kFiles - 1);
    std::uniform_int_distribution<int> pickOperation(0, 99);
    std::uniform_int_distribution<int> pickValue(0, 100000);
    bool cacheEmpty = true;
    int versions = 0;
    int saves = 0;
    int interrupted = 0;

    for (int request = 0; request < kRequests; ++request) {
        const int file = pickFile(random);
        const QString name = fileName(file);
        const int operation = pickOperation(random);
        SCOPED_TRACE(QStringLiteral("request %1, operation %2, %3")
                         .arg(request)
                         .arg(operation)
                         .arg(name)
                         .toStdString());

        if (operation < 50) {
            const int value = pickValue(random);
            ++versions;
            ASSERT_EQ(FileCommands(cache).modifyFileFromStr(modifyArgs(name, sent(file, versions, value))),
                      modifyOk());
            model[file] = Model{canonical(file, versions, value), value};
            cacheEmpty = false;
        } else if (operation < 55) {
            ASSERT_EQ(FileCommands(cache).modifyFileFromStr(modifyArgs(name, sent(file, -1, 0).left(40))),
                      modifyFailed());
        } else if (operation < 88) {
            const CommandAnswer answer = FileCommands(cache).readFileToStr(readArgs(name, "/profile/key"));
            if (model.value(file).text.isEmpty()) {
                ASSERT_EQ(answer, readFailed());
            } else {
                ASSERT_EQ(answer,
                          CommandAnswer::success(
                              QStringLiteral("<key name=\"Dpi\" value=\"%1\" />\n").arg(model[file].value)));
                cacheEmpty = false;
            }
        } else {
            // One save in four is cut short at one of its files.
            const bool cut = operation >= 97;
            int commits = 0;
            const int failAt = pickFile(random) % 4;
            cache.setCommitGate([&](const QString&) { return !cut || commits++ < failAt; });
            const int pending = cache.changedFiles().size();
            const CommandAnswer answer = FileCommands(cache).savexml();
            cache.setCommitGate({});
            if (cacheEmpty || (cut && failAt < pending)) {
                ASSERT_EQ(answer,
                          cacheEmpty ? CommandAnswer::none() : CommandAnswer::failure("save xml failed"));
                ASSERT_EQ(cache.changedFiles().size(), pending);
                interrupted += cacheEmpty ? 0 : 1;
                continue;
            }
            ASSERT_EQ(answer, saveOk());
            ++saves;
            for (auto it = model.constBegin(); it != model.constEnd(); ++it) {
                ASSERT_EQ(readFile(root.path() + "/" + fileName(it.key())), it.value().text.toUtf8())
                    << fileName(it.key()).toStdString();
            }
        }
    }

    ASSERT_EQ(FileCommands(cache).savexml(), saveOk());
    qInstallMessageHandler(previous);
    for (int file = 0; file < kFiles; ++file) {
        const QByteArray expected =
            model.contains(file) ? model[file].text.toUtf8() : QByteArray("<missing>");
        EXPECT_EQ(readFile(root.path() + "/" + fileName(file)), expected) << fileName(file).toStdString();
    }
    // Only the 50 files: no temporary file was left behind by the interrupted saves.
    int entries = 0;
    for (const QString& folder : {root.path(), root.path() + "/sub"}) {
        entries += QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size();
    }
    EXPECT_EQ(entries, kFiles);
    // The run really mixed its cases.
    EXPECT_GT(saves, 100);
    EXPECT_GT(interrupted, 20);
}

}  // namespace
}  // namespace filestest
