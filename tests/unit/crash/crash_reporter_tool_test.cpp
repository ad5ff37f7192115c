// The CrashReporter program: a dump in a temporary folder is copied into "crashes" beside the
// program, a dump elsewhere stays, a missing dump is exit code 1. The program is copied into a
// temporary folder first so that its "crashes" folder does not land in the build tree.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

#include <gtest/gtest.h>

#include "support/test_paths.h"

// Readable QString values in failure messages (the same definition in every test file).
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class CrashReporterTool : public ::testing::Test {
protected:
    void SetUp() override {
        const QString built = kftest::appDir() + "/CrashReporter";
        if (!QFileInfo::exists(built)) {
            GTEST_SKIP() << "CrashReporter is not built in " << qPrintable(kftest::appDir());
        }
        ASSERT_TRUE(programDir_.isValid());
        ASSERT_TRUE(dumps_.isValid());
        program_ = programDir_.filePath("CrashReporter");
        ASSERT_TRUE(QFile::copy(built, program_));
    }

    ToolRun run(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");  // never a message box in tests
        process.setProcessEnvironment(env);
        process.start(program_, arguments);
        ToolRun result;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitCode();
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    }

    static QString writeDump(const QString& folder, const QString& name, const QByteArray& content) {
        QDir().mkpath(folder);
        QFile file(folder + "/" + name);
        if (!file.open(QIODevice::WriteOnly)) {
            return QString();
        }
        file.write(content);
        return file.fileName();
    }

    static QByteArray readAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir programDir_;
    QTemporaryDir dumps_;
    QString program_;
};

TEST_F(CrashReporterTool, MissingOrUnusableDumpIsExitCodeOne) {
    EXPECT_EQ(run({}).exitCode, 1);
    const ToolRun missing = run({dumps_.filePath("nothing.dmp")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("crash dump not found")) << qPrintable(missing.err);
    // A folder or a link is not a dump the handler wrote.
    ASSERT_TRUE(QDir().mkpath(dumps_.filePath("folder.dmp")));
    EXPECT_EQ(run({dumps_.filePath("folder.dmp")}).exitCode, 1);
    const QString target = writeDump(dumps_.path(), "secret", "x");
    ASSERT_TRUE(QFile::link(target, dumps_.filePath("link.dmp")));
    EXPECT_EQ(run({dumps_.filePath("link.dmp")}).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(programDir_.filePath("crashes/link.dmp")));
}

TEST_F(CrashReporterTool, TemporaryDumpIsCopiedBesideTheProgram) {
    const QString dump =
        writeDump(dumps_.path(), "0000aaaa-0000bbbb-0000cccc-0001.dmp", "signal: 11 SIGSEGV\n");
    const ToolRun first = run({dump});
    ASSERT_EQ(first.exitCode, 0) << qPrintable(first.err);
    const QString kept = programDir_.filePath("crashes/0000aaaa-0000bbbb-0000cccc-0001.dmp");
    EXPECT_EQ(readAll(kept), "signal: 11 SIGSEGV\n");
    EXPECT_TRUE(QFileInfo::exists(dump));
    EXPECT_EQ(first.out.trimmed(), "Crash dump kept at " + QFileInfo(kept).absoluteFilePath());

    // A second dump of the same name does not replace the first.
    QFile::remove(dump);
    writeDump(dumps_.path(), "0000aaaa-0000bbbb-0000cccc-0001.dmp", "signal: 6 SIGABRT\n");
    ASSERT_EQ(run({dump}).exitCode, 0);
    EXPECT_EQ(readAll(kept), "signal: 11 SIGSEGV\n");
    EXPECT_EQ(readAll(programDir_.filePath("crashes/0000aaaa-0000bbbb-0000cccc-0001-1.dmp")),
              "signal: 6 SIGABRT\n");
}

TEST_F(CrashReporterTool, DumpOutsideTemporaryFoldersStaysWhereItIs) {
    // The build tree is not a temporary folder (unless it was made in one).
    QTemporaryDir lasting(kftest::binaryDir() + "/crash-reporter-test-XXXXXX");
    ASSERT_TRUE(lasting.isValid());
    const QString canonical = QFileInfo(lasting.path()).canonicalFilePath();
    for (const QString& temp : {QFileInfo(QDir::tempPath()).canonicalFilePath(), QStringLiteral("/tmp"),
                                QStringLiteral("/var/tmp"), QStringLiteral("/dev/shm")}) {
        if (canonical.startsWith(temp + "/")) {
            GTEST_SKIP() << "the build tree lies in a temporary folder";
        }
    }
    const QString dump = writeDump(lasting.path(), "lasting.dmp", "signal: 7 SIGBUS\n");
    const ToolRun result = run({dump});
    ASSERT_EQ(result.exitCode, 0) << qPrintable(result.err);
    EXPECT_EQ(result.out.trimmed(), "Crash dump kept at " + QFileInfo(dump).canonicalFilePath());
    EXPECT_FALSE(QFileInfo::exists(programDir_.filePath("crashes")));
    EXPECT_TRUE(QFileInfo::exists(dump));
}

}  // namespace
