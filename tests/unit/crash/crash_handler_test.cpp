// The crash handler's set-up rules and the dump it writes, checked inside the test process
// (the real crash is in crash_child_test.cpp).
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <thread>

#include <sys/mman.h>

#include <ostream>

#include <gtest/gtest.h>

#include "crash/crash_handler.h"
#include "crash/crash_signal.h"

// Readable QString values in failure messages (the same definition in every test file).
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Collects debug output while it lives.
class MessageCapture {
public:
    MessageCapture() {
        messages().clear();
        previous_ = qInstallMessageHandler(&MessageCapture::handle);
    }
    ~MessageCapture() { qInstallMessageHandler(previous_); }
    static QStringList& messages() {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text) { messages().append(text); }
    QtMessageHandler previous_ = nullptr;
};

TEST(CrashReporterPath, ResolvesNamesAgainstTheApplicationFolder) {
    const QString appDir = "/opt/kestrafon";
    // A bare name that does not exist here lives beside the client (no ".exe" on this platform).
    EXPECT_EQ(CrashHandler::resolveReporterPath("CrashReporter", appDir), "/opt/kestrafon/CrashReporter");
    // The joined path is cleaned.
    EXPECT_EQ(CrashHandler::resolveReporterPath("kf-no-such-folder/../CrashReporter", appDir + "/"),
              "/opt/kestrafon/CrashReporter");
    EXPECT_EQ(CrashHandler::resolveReporterPath("./kf-no-such-folder/CrashReporter", appDir),
              "/opt/kestrafon/kf-no-such-folder/CrashReporter");
    // Absolute paths are kept as given.
    EXPECT_EQ(CrashHandler::resolveReporterPath("/usr/lib/kf/../reporter", appDir),
              "/usr/lib/kf/../reporter");
    // No name, no reporter.
    EXPECT_TRUE(CrashHandler::resolveReporterPath(QString(), appDir).isEmpty());
}

TEST(CrashReporterPath, ExistingRelativePathBecomesAbsolute) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    ASSERT_TRUE(QDir().mkpath(temp.filePath("tools")));
    QFile reporter(temp.filePath("tools/reporter"));
    ASSERT_TRUE(reporter.open(QIODevice::WriteOnly));
    reporter.close();
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    const QString resolved = CrashHandler::resolveReporterPath("tools/reporter", "/opt/kestrafon");
    QDir::setCurrent(before);
    // Kept relative it would depend on the working directory at the time of the crash.
    EXPECT_EQ(QFileInfo(resolved).canonicalFilePath(), QFileInfo(reporter).canonicalFilePath());
    EXPECT_TRUE(QDir::isAbsolutePath(resolved));
}

TEST(CrashReporterPath, SetReporterWritesTheDebugLineAndKeepsTheResult) {
    CrashHandler handler;
    MessageCapture capture;
    handler.setReporter("CrashReporter");
    const QString expected = QCoreApplication::applicationDirPath() + "/CrashReporter";
    ASSERT_EQ(MessageCapture::messages().size(), 1);
    EXPECT_EQ(MessageCapture::messages().first(), "BreakpadQt: setReporter: CrashReporter -> " + expected);
    EXPECT_EQ(handler.reporter(), expected);
}

class CrashDump : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        folder_ = temp_.filePath("dumps");
        ASSERT_TRUE(handler_.setDumpFolder(folder_));
    }
    CrashHandler handler_;
    QTemporaryDir temp_;
    QString folder_;
};

TEST_F(CrashDump, FolderIsCreatedAndHandlersInstalledOnce) {
    EXPECT_TRUE(QFileInfo(folder_).isDir());
    EXPECT_EQ(handler_.dumpFolder(), QFileInfo(folder_).absoluteFilePath());
    EXPECT_TRUE(handler_.isInstalled());
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        struct sigaction action {};
        ASSERT_EQ(sigaction(sig, nullptr, &action), 0);
        EXPECT_TRUE(action.sa_flags & SA_SIGINFO) << sig;
        EXPECT_TRUE(action.sa_flags & SA_ONSTACK) << sig;
    }
    struct sigaction first {};
    sigaction(SIGSEGV, nullptr, &first);
    // A second folder only moves the dumps.
    const QString other = temp_.filePath("other/nested");
    ASSERT_TRUE(handler_.setDumpFolder(other));
    struct sigaction second {};
    sigaction(SIGSEGV, nullptr, &second);
    EXPECT_EQ(first.sa_sigaction, second.sa_sigaction);
    QString path;
    ASSERT_TRUE(handler_.writeDumpForTest(SIGSEGV, &path));
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(other).absoluteFilePath());
    stack_t stack{};
    ASSERT_EQ(sigaltstack(nullptr, &stack), 0);
    EXPECT_FALSE(stack.ss_flags & SS_DISABLE);
}

TEST(CrashHandlerLife, OneAtATimeAndItsEndPutsThePreviousActionsBack) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    struct sigaction before {};
    sigaction(SIGSEGV, nullptr, &before);
    {
        CrashHandler handler;
        ASSERT_TRUE(handler.setDumpFolder(temp.path()));
        CrashHandler second;
        MessageCapture capture;
        EXPECT_FALSE(second.setDumpFolder(temp.path()));
        EXPECT_EQ(MessageCapture::messages(),
                  QStringList{"CrashHandler: another crash handler is installed"});
    }
    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(after.sa_sigaction, before.sa_sigaction);
    CrashHandler next;
    EXPECT_TRUE(next.setDumpFolder(temp.path()));
}

TEST(ThreadStack, OncePerThreadAndUnmappedWhenTheThreadEnds) {
    stack_t first{};
    stack_t again{};
    std::thread([&] {
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);  // start without one, even where a sanitizer gave the thread its own
        EXPECT_TRUE(kf::crash::installThreadStack());
        sigaltstack(nullptr, &first);
        EXPECT_TRUE(kf::crash::installThreadStack());
        sigaltstack(nullptr, &again);
    }).join();
    EXPECT_FALSE(first.ss_flags & SS_DISABLE);
    EXPECT_EQ(first.ss_size, kf::crash::kThreadStackSize);
    EXPECT_EQ(again.ss_sp, first.ss_sp);
    unsigned char resident = 0;
    EXPECT_EQ(mincore(first.ss_sp, 4096, &resident), -1);
    EXPECT_EQ(errno, ENOMEM);
}

TEST_F(CrashDump, UnusableFoldersAreRefusedAndThePreviousOneKept) {
    EXPECT_FALSE(handler_.setDumpFolder(QString()));
    // Longer than a path can be once "/<id>.dmp" is added.
    EXPECT_FALSE(handler_.setDumpFolder("/tmp/" + QString(4090, 'x')));
    // Below a regular file, no folder can be made.
    QFile file(temp_.filePath("plain"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(handler_.setDumpFolder(temp_.filePath("plain/dumps")));
    EXPECT_EQ(handler_.dumpFolder(), QFileInfo(folder_).absoluteFilePath());
}

TEST_F(CrashDump, DumpNamesTheSignalProgramAndTime) {
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QString path;
    ASSERT_TRUE(handler_.writeDumpForTest(SIGBUS, &path));
    const qint64 after = QDateTime::currentSecsSinceEpoch();

    const QFileInfo info(path);
    EXPECT_EQ(info.absolutePath(), QFileInfo(folder_).absoluteFilePath());
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{8}-[0-9a-f]{8}-[0-9a-f]{4}\\.dmp$")
                    .match(info.fileName())
                    .hasMatch())
        << qPrintable(info.fileName());
    // Only the owner may read a dump: it holds addresses of the process.
    EXPECT_EQ(info.permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);

    const QString dump = readText(path);
    EXPECT_TRUE(dump.startsWith("Kestrafon crash dump\n"));
    EXPECT_TRUE(dump.contains("\nsignal: 7 SIGBUS\n")) << qPrintable(dump);
    EXPECT_TRUE(dump.contains("\naddress: none\n"));
    EXPECT_TRUE(dump.contains(QStringLiteral("\npid: %1\n").arg(QCoreApplication::applicationPid())));
    const QString program = QFile::symLinkTarget("/proc/self/exe");
    EXPECT_TRUE(dump.contains("\nprogram: " + program + "\n"));
    EXPECT_TRUE(dump.contains("\npc: none\n"));
    // Raw return addresses, then the mappings that place them.
    EXPECT_TRUE(QRegularExpression("\nbacktrace:\n(0x[0-9a-f]{16}\n){3,}maps:\n").match(dump).hasMatch());
    EXPECT_TRUE(QRegularExpression("\nmaps:\n(.*\n)*[0-9a-f]+-[0-9a-f]+ r-xp .* " +
                                   QRegularExpression::escape(program) + "\n")
                    .match(dump)
                    .hasMatch());

    // "time: <unix seconds> <the same as UTC date and time>"
    const QRegularExpressionMatch time = QRegularExpression("\ntime: (\\d+) (\\S+)\n").match(dump);
    ASSERT_TRUE(time.hasMatch()) << qPrintable(dump);
    const qint64 seconds = time.captured(1).toLongLong();
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    EXPECT_EQ(time.captured(2),
              QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString("yyyy-MM-ddTHH:mm:ssZ"));
}

TEST_F(CrashDump, EveryDumpGetsAFreshName) {
    QStringList names;
    for (int i = 0; i < 20; ++i) {
        QString path;
        ASSERT_TRUE(handler_.writeDumpForTest(SIGABRT, &path));
        names.append(path);
    }
    names.removeDuplicates();
    EXPECT_EQ(names.size(), 20);
    EXPECT_EQ(QDir(folder_).entryList({"*.dmp"}, QDir::Files).size(), 20);
}

TEST_F(CrashDump, VanishedFolderFailsWithoutAFile) {
    ASSERT_TRUE(QDir(folder_).removeRecursively());
    QString path = "unchanged";
    EXPECT_FALSE(handler_.writeDumpForTest(SIGSEGV, &path));
    EXPECT_EQ(path, "unchanged");
}

}  // namespace
