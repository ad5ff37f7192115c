#pragma once
// Helpers for the window tests on a real X server (each test program runs in its own virtual
// X server): xdotool for what a person does, the client started from the application folder.
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace kftest {

// Runs xdotool and returns its trimmed output.
QString xdotool(const QStringList& args);
// Geometry of an X window as xdotool reports it; empty when the window is gone.
QRect xGeometry(const QString& windowId);

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 30000);
void settle(int ms);

// Where screenshots for people to look at go: <build>/tests/screenshots.
QString screenshotDir();

// The real client from the application folder, with a private temporary folder (so it is the
// only instance there) and its own log file.
class ClientProcess {
public:
    ClientProcess();
    ~ClientProcess();
    bool start(const QStringList& extraArgs = {});
    QString log() const;
    bool waitForLog(const QString& text, int timeoutMs = 30000) const;
    QProcess& process() { return process_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
};

}  // namespace kftest
