// A child process (this executable, see crash_child_helpers.cpp) really crashes with the handler
// installed: it must leave one dump, start the reporter with "<reporter> <dump>" detached and
// cleanly, and still die with the original signal.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>

#include <gtest/gtest.h>

#include "support/test_paths.h"

extern char** environ;

// Readable QString values in failure messages (the same definition in every test file).
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

struct ChildEnd {
    bool signalled = false;
    int signal = 0;
    int exitCode = -1;
};

// Runs this executable in crash mode `mode` and waits for it to end (killing it after a minute).
ChildEnd runCrashChild(const QByteArray& mode, const QString& dumpDir, const QString& reporter,
                       const QString& stderrPath) {
    std::vector<QByteArray> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const QByteArray text(*entry);
        if (!text.startsWith("KF_CRASH_") && !text.startsWith("QT_QPA_PLATFORM=")) {
            env.push_back(text);
        }
    }
    env.push_back("QT_QPA_PLATFORM=offscreen");  // a real reporter shows no message box here
    env.push_back("KF_CRASH_CHILD=" + mode);
    env.push_back("KF_CRASH_DUMP_DIR=" + QFile::encodeName(dumpDir));
    if (!reporter.isEmpty()) {
        env.push_back("KF_CRASH_REPORTER=" + QFile::encodeName(reporter));
    }
    std::vector<char*> envp;
    for (QByteArray& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    QByteArray program = QFile::encodeName(QFile::symLinkTarget("/proc/self/exe"));
    QByteArray filter("--gtest_filter=NoTestRunsInACrashChild");
    char* argv[] = {program.data(), filter.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray errPath = QFile::encodeName(stderrPath);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ChildEnd end;
    if (spawned != 0) {
        return end;
    }
    int status = 0;
    const bool ended = QTest::qWaitFor([&]() { return waitpid(pid, &status, WNOHANG) == pid; }, 60000);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return end;
    }
    end.signalled = WIFSIGNALED(status);
    end.signal = end.signalled ? WTERMSIG(status) : 0;
    end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return end;
}

// A reporter that records how it was started into "reporter.out" beside itself.
QString writeFakeReporter(const QString& folder) {
    const QString path = folder + "/fake-reporter.sh";
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly)) {
        return QString();
    }
    script.write(
        "#!/bin/sh\n"
        // Read with built-ins only, first: the shell blocks signals itself while it runs commands.
        "while read -r key value; do [ \"$key\" = SigBlk: ] && blocked=$value; done < /proc/$$/status\n"
        "out=\"$(dirname \"$0\")/reporter.out\"\n"
        "{\n"
        "  printf 'arg0=%s\\n' \"$0\"\n"
        "  printf 'argc=%s\\n' \"$#\"\n"
        "  printf 'arg1=%s\\n' \"$1\"\n"
        "  if [ -e /proc/$$/fd/200 ]; then echo 'fd200=open'; else echo 'fd200=closed'; fi\n"
        "  printf 'SigBlk=%s\\n' \"$blocked\"\n"
        "  printf 'sid=%s\\n' \"$(cut -d' ' -f6 /proc/$$/stat)\"\n"
        "} > \"$out.tmp\"\n"
        "mv \"$out.tmp\" \"$out\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QStringList dumpsIn(const QString& folder) {
    return QDir(folder).entryList({"*.dmp"}, QDir::Files, QDir::Name);
}

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// "key=value" lines of the fake reporter's record.
QString recordValue(const QString& record, const QString& key) {
    for (const QString& line : record.split('\n')) {
        if (line.startsWith(key + "=")) {
            return line.mid(key.size() + 1);
        }
    }
    return QString();
}

class CrashChild : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        dumpDir_ = temp_.filePath("dumps");
        reporterDir_ = temp_.filePath("reporter");
        ASSERT_TRUE(QDir().mkpath(reporterDir_));
        reporter_ = writeFakeReporter(reporterDir_);
        ASSERT_FALSE(reporter_.isEmpty());
        stderrPath_ = temp_.filePath("child-stderr.txt");
    }

    // Waits for the detached reporter to finish its record.
    QString reporterRecord() {
        const QString out = reporterDir_ + "/reporter.out";
        if (!QTest::qWaitFor([&]() { return QFile::exists(out); }, 30000)) {
            return QString();
        }
        return readText(out);
    }

    QTemporaryDir temp_;
    QString dumpDir_;
    QString reporterDir_;
    QString reporter_;
    QString stderrPath_;
};

TEST_F(CrashChild, FaultWritesDumpStartsReporterAndDiesWithTheSignal) {
    const ChildEnd end = runCrashChild("segv", dumpDir_, reporter_, stderrPath_);
    ASSERT_TRUE(end.signalled) << "exit code " << end.exitCode << "\n" << qPrintable(readText(stderrPath_));
    EXPECT_EQ(end.signal, SIGSEGV);

    const QStringList dumps = dumpsIn(dumpDir_);
    ASSERT_EQ(dumps.size(), 1);
    const QString dumpPath = dumpDir_ + "/" + dumps.first();
    const QString dump = readText(dumpPath);
    EXPECT_TRUE(dump.contains("signal: 11 SIGSEGV\n")) << qPrintable(dump);
    EXPECT_TRUE(QRegularExpression("\naddress: 0x[0-9a-f]{16}\n").match(dump).hasMatch()) << qPrintable(dump);
    EXPECT_TRUE(dump.contains("program: " + QFile::symLinkTarget("/proc/self/exe") + "\n"));
    EXPECT_TRUE(QRegularExpression("\nbuild-id: [0-9a-f]{16,}\n").match(dump).hasMatch()) << qPrintable(dump);
    // The faulting instruction, raw return addresses, and the mappings to place them.
    EXPECT_TRUE(QRegularExpression("\npc: 0x[0-9a-f]{16}\n").match(dump).hasMatch()) << qPrintable(dump);
    EXPECT_TRUE(QRegularExpression("\nbacktrace:\n(0x[0-9a-f]{16}\n){3,}maps:\n").match(dump).hasMatch());

    const QString record = reporterRecord();
    ASSERT_FALSE(record.isEmpty());
    EXPECT_EQ(recordValue(record, "arg0"), reporter_);
    EXPECT_EQ(recordValue(record, "argc"), "1");
    EXPECT_EQ(recordValue(record, "arg1"), dumpPath);
    EXPECT_EQ(recordValue(record, "fd200"), "closed");
    EXPECT_NE(recordValue(record, "sid").toLongLong(), static_cast<long long>(getsid(0)));
    // No signal stays blocked in the reporter.
    bool ok = false;
    EXPECT_EQ(recordValue(record, "SigBlk").toULongLong(&ok, 16), 0u) << qPrintable(record);
    EXPECT_TRUE(ok);
}

TEST_F(CrashChild, AbortAndWorkerThreadFaultAreCaught) {
    const ChildEnd abortEnd = runCrashChild("abort", dumpDir_, QString(), stderrPath_);
    ASSERT_TRUE(abortEnd.signalled);
    EXPECT_EQ(abortEnd.signal, SIGABRT);
    QStringList dumps = dumpsIn(dumpDir_);
    ASSERT_EQ(dumps.size(), 1);
    EXPECT_TRUE(readText(dumpDir_ + "/" + dumps.first()).contains("signal: 6 SIGABRT\n"));

    const ChildEnd threadEnd = runCrashChild("segv-thread", dumpDir_, QString(), stderrPath_);
    ASSERT_TRUE(threadEnd.signalled);
    EXPECT_EQ(threadEnd.signal, SIGSEGV);
    dumps = dumpsIn(dumpDir_);
    EXPECT_EQ(dumps.size(), 2);
    // Without a reporter the handler says so and still dies with the signal.
    EXPECT_TRUE(readText(stderrPath_).contains("no crash reporter started"));
}

TEST_F(CrashChild, GrabbedInputDeviceIsReleasedBeforeTheDump) {
    const ChildEnd end = runCrashChild("grab-segv", dumpDir_, QString(), stderrPath_);
    ASSERT_TRUE(end.signalled);
    EXPECT_EQ(dumpsIn(dumpDir_).size(), 1);
    const QString errors = readText(stderrPath_);
    const int released =
        errors.indexOf("test: grab 201 released\nCrashHandler: grabbed input devices released\n");
    EXPECT_GE(released, 0) << qPrintable(errors);
    EXPECT_LT(released, errors.indexOf("dump written")) << qPrintable(errors);
}

TEST_F(CrashChild, StackOverflowOnAWorkerThreadReachesTheReporterWhichNamesTheFrames) {
    // The real reporter, copied so that the "crashes" folder it keeps dumps in is ours.
    const QString built = kftest::appDir() + "/CrashReporter";
    if (!QFileInfo::exists(built)) {
        GTEST_SKIP() << "CrashReporter is not built in " << qPrintable(kftest::appDir());
    }
    const QString reporter = reporterDir_ + "/CrashReporter";
    ASSERT_TRUE(QFile::copy(built, reporter));
    const ChildEnd end = runCrashChild("overflow-thread", dumpDir_, reporter, stderrPath_);
    ASSERT_TRUE(end.signalled) << "exit code " << end.exitCode << "\n" << qPrintable(readText(stderrPath_));
    EXPECT_EQ(end.signal, SIGSEGV);
    const QStringList dumps = dumpsIn(dumpDir_);
    ASSERT_EQ(dumps.size(), 1);
    // A dump in a temporary folder is kept beside the reporter, which adds the named frames.
    const QString kept = reporterDir_ + "/crashes/" + dumps.first();
    QString named;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (named = readText(kept)).contains("\nsymbols:\n"); }, 30000));
    EXPECT_TRUE(
        QRegularExpression(
            "\n#\\d+ 0x[0-9a-f]{16} \\(anonymous namespace\\)::overflowStack\\(int\\)[^+\n]*\\+0x[0-9a-f]+ "
            "\\(" +
            QRegularExpression::escape(QFile::symLinkTarget("/proc/self/exe")) + "\\+0x")
            .match(named)
            .hasMatch())
        << qPrintable(named.section("\nsymbols:\n", 1));
}

TEST_F(CrashChild, OverlongReporterCommandLineIsNotStarted) {
    // "<reporter> <folder>/<id>.dmp" over 2600 characters: the dump is still written, the
    // reporter is not started with a cut command line.
    const QString longReporter = reporterDir_ + "/" + QString(2600, 'r');
    const ChildEnd end = runCrashChild("segv", dumpDir_, longReporter, stderrPath_);
    ASSERT_TRUE(end.signalled);
    EXPECT_EQ(end.signal, SIGSEGV);
    EXPECT_EQ(dumpsIn(dumpDir_).size(), 1);
    const QString errors = readText(stderrPath_);
    EXPECT_TRUE(errors.contains("longer than 2600 characters")) << qPrintable(errors);
    EXPECT_TRUE(errors.contains("no crash reporter started")) << qPrintable(errors);
}

TEST_F(CrashChild, UnknownModeExitsNormallyWithoutADump) {
    // Guards the helper itself: only a real crash produces a dump.
    const ChildEnd end = runCrashChild("none", dumpDir_, reporter_, stderrPath_);
    EXPECT_FALSE(end.signalled);
    EXPECT_EQ(end.exitCode, 3);
    EXPECT_TRUE(dumpsIn(dumpDir_).isEmpty());
}

}  // namespace
