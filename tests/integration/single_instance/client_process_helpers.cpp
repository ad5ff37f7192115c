#include "client_process_helpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>

#include <sys/stat.h>

#include "support/test_paths.h"

namespace kftest {

// The box's runtime root exists from the start, private as the client wants it, so a test can
// listen on the channel before any client runs.
ClientSandbox::ClientSandbox() {
    ::mkdir(QFile::encodeName(dir_.path() + QStringLiteral("/kestrafon")).constData(), 0700);
}

ClientSandbox::~ClientSandbox() {
    for (auto& process : processes_) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }
}

QString ClientSandbox::serverPath() const {
    return dir_.path() + QStringLiteral("/kestrafon/Global\\{798ec1ad-0301-43e7-8ccf-42c0db11a520}");
}

QString ClientSandbox::logPath(const QString& name) const {
    return dir_.path() + "/" + name + ".log";
}

QString ClientSandbox::log(const QString& name) const {
    QFile file(logPath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QProcess* ClientSandbox::start(const QString& name, const QStringList& extraArgs) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", dir_.path());
    env.insert("XDG_RUNTIME_DIR", dir_.path());  // the instances of this box meet in its runtime root
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_QUICK_BACKEND", "software");
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    env.remove("DISPLAY");
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{"--log-file=" + logPath(name), "--url=about:blank"};
    args += extraArgs;
    process->start(appDir() + "/kestrafon", args);
    process->waitForStarted(10000);
    processes_.push_back(std::move(process));
    return processes_.back().get();
}

bool ClientSandbox::waitForLog(const QString& name, const QString& text, int timeoutMs) const {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (log(name).contains(text))
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return false;
}

}  // namespace kftest
