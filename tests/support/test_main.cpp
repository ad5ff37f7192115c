// Shared main for every GoogleTest executable: the environment Qt and the browser engine need
// here, then a QApplication for the whole run so widgets, timers, sockets and queued signals
// behave as they do in the client.
#include <gtest/gtest.h>
#include <unistd.h>
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

// Qt's platform plugins keep a few allocations until exit; leak reports would fail every
// sanitizer run at test discovery, so the sanitizer build checks memory errors, not leaks.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

namespace {
// Tests print what goes wrong, not the client's ordinary information lines; set
// KF_TEST_VERBOSE=1 to see everything.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    // The offscreen platform says so whenever a window is raised or sized: not our fault.
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    if (type == QtFatalMsg)
        abort();
}

void setDefault(const char* name, const QByteArray& value) {
    if (qEnvironmentVariableIsEmpty(name))
        qputenv(name, value);
}

void prepareEnvironment() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        setDefault("QT_QPA_PLATFORM", "offscreen");
    }
    setDefault("QT_QUICK_BACKEND", "software");
    // Programs the tests start (the client, the crash reporter) inherit this: in a sanitizer
    // build they check memory errors, not Qt's allocations kept until exit.
    setDefault("ASAN_OPTIONS", "detect_leaks=0");
    // Tests run as root in CI, where the engine refuses to start with its sandbox on.
    setDefault("QTWEBENGINE_DISABLE_SANDBOX", "1");
    setDefault("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = QDir::tempPath().toUtf8() + "/kf-test-runtime-" + QByteArray::number(getuid());
        QDir().mkpath(QString::fromUtf8(dir));
        QFile::setPermissions(QString::fromUtf8(dir), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir);
    }
    // Page storage and other per-user data of clients the tests start go to a folder of this
    // run, never to the user's own data folder.
    static QTemporaryDir dataDir(QDir::tempPath() + "/kf-test-data-XXXXXX");
    if (dataDir.isValid()) {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataDir.path()));
    }
    // The device emulator keeps its state in a folder of its own for this test run, never in
    // the user's data folder; clients the tests start inherit it.
    if (qEnvironmentVariableIsEmpty("KESTRAFON_SIM_DIR")) {
        static QTemporaryDir simDir(QDir::tempPath() + "/kf-test-sim-XXXXXX");
        qputenv("KESTRAFON_SIM_DIR", simDir.path().toUtf8());
    }
    // The software-input stand-ins, and the clients the tests start, never open this machine's
    // keyboards, mice or /dev/uinput: the tests that mean to make their own devices say so.
    setDefault("KESTRAFON_INPUT_FOLDER", "/nonexistent/kestrafon-test-input");
    setDefault("KESTRAFON_UINPUT", "/nonexistent/kestrafon-test-uinput");
}
}  // namespace

int main(int argc, char** argv) {
    prepareEnvironment();
    if (qEnvironmentVariableIsEmpty("KF_TEST_VERBOSE")) {
        qInstallMessageHandler(quietMessages);
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
