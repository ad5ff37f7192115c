#include "display_helpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcessEnvironment>
#include <QThread>

#include "support/test_paths.h"

namespace kftest {

QString xdotool(const QStringList& args) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), args);
    if (!tool.waitForFinished(10000)) {
        tool.kill();
        tool.waitForFinished(1000);
        return QString();
    }
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

QRect xGeometry(const QString& windowId) {
    const QString out = xdotool({"getwindowgeometry", "--shell", windowId});
    QMap<QString, int> values;
    for (const QString& line : out.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1).toInt());
    }
    if (!values.contains("WIDTH"))
        return QRect();
    return QRect(values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT"));
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

void settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QString screenshotDir() {
    const QString dir = binaryDir() + "/tests/screenshots";
    QDir().mkpath(dir);
    return dir;
}

ClientProcess::ClientProcess() = default;

ClientProcess::~ClientProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(15000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

bool ClientProcess::start(const QStringList& extraArgs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", dir_.path());
    env.insert("XDG_RUNTIME_DIR", dir_.path());
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    env.remove("QT_QPA_PLATFORM");
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(appDir() + "/kestrafon",
                   QStringList{"--log-file=" + dir_.path() + "/kestrafon.log"} + extraArgs);
    return process_.waitForStarted(10000);
}

QString ClientProcess::log() const {
    QFile file(dir_.path() + "/kestrafon.log");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool ClientProcess::waitForLog(const QString& text, int timeoutMs) const {
    return waitFor([&] { return log().contains(text); }, timeoutMs);
}

}  // namespace kftest
