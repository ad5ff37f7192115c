#pragma once
// Runs real client processes for the single-instance tests. Each test gets its own temporary
// folder (the local socket, the browser cache and the log live there), so tests never meet
// each other or a client the developer is running.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace kftest {

class ClientSandbox {
public:
    ClientSandbox();
    ~ClientSandbox();

    bool isValid() const { return dir_.isValid(); }
    QString tempPath() const { return dir_.path(); }
    // Absolute path of the single-instance socket inside this sandbox.
    QString serverPath() const;

    // Starts kestrafon with a log file of its own ("<name>.log") and extra arguments.
    QProcess* start(const QString& name, const QStringList& extraArgs = {});
    QString logPath(const QString& name) const;
    QString log(const QString& name) const;

    // Polls the log until it contains text.
    bool waitForLog(const QString& name, const QString& text, int timeoutMs = 30000) const;

private:
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

}  // namespace kftest
