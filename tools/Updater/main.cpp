// Updater --Upgrade [--pid PID] [--update-dir DIR] [--install-dir DIR] [--client NAME] [--log FILE]
//                   [-- CLIENT ARGUMENTS...]
//
// Installs a client update that the client unpacked into its update folder: waits for the
// client (PID) to exit, copies the update folder's files over the installation (each file
// replaced in one step; when one fails, everything is put back), empties the update folder and
// starts the client again with CLIENT ARGUMENTS. The copy runs through pkexec only when the user
// cannot write the installation. What it does goes to the log.
//
// Defaults: the update folder is the current folder (the client starts the Updater there), the
// installation is the Updater's own folder, the client is "kestrafon", the log is "updater.log"
// in the installation when writable, else in $XDG_STATE_HOME/kestrafon (~/.local/state).
//
// --install-only: only the copy, logging to standard output (the elevated half).
// Exit codes: 0 installed (or nothing to install), 1 failed, 2 bad command line.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <unistd.h>
#include <cstdio>

#include "update_installer.h"

namespace {

constexpr int kClientExitTimeoutMs = 60 * 1000;

struct Options {
    bool upgrade = false;
    bool installOnly = false;
    qint64 pid = 0;
    QString updateDir;
    QString installDir;
    QString client = QStringLiteral("kestrafon");
    QString log;
    QStringList clientArgs;
};

bool parse(const QStringList& args, Options* o, QString* error) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        auto value = [&](QString* out) {
            if (i + 1 >= args.size()) {
                *error = a + QStringLiteral(" needs a value");
                return false;
            }
            *out = args.at(++i);
            return true;
        };
        QString pid;
        if (a == QLatin1String("--Upgrade")) {
            o->upgrade = true;
        } else if (a == QLatin1String("--install-only")) {
            o->installOnly = true;
        } else if (a == QLatin1String("--pid")) {
            bool ok = false;
            if (!value(&pid) || (o->pid = pid.toLongLong(&ok), !ok) || o->pid <= 0) {
                *error = QStringLiteral("--pid needs a process id");
                return false;
            }
        } else if (a == QLatin1String("--update-dir")) {
            if (!value(&o->updateDir)) {
                return false;
            }
        } else if (a == QLatin1String("--install-dir")) {
            if (!value(&o->installDir)) {
                return false;
            }
        } else if (a == QLatin1String("--client")) {
            if (!value(&o->client) || o->client.contains(QLatin1Char('/')) || o->client.isEmpty()) {
                *error = QStringLiteral("--client needs a file name in the installation");
                return false;
            }
        } else if (a == QLatin1String("--log")) {
            if (!value(&o->log)) {
                return false;
            }
        } else if (a == QLatin1String("--")) {
            o->clientArgs = args.mid(i + 1);
            break;
        } else {
            *error = QStringLiteral("unknown argument ") + a;
            return false;
        }
    }
    if (!o->upgrade) {
        *error = QStringLiteral("--Upgrade is required");
        return false;
    }
    return true;
}

QString defaultLogPath(const QString& installDir) {
    if (::access(QFile::encodeName(installDir).constData(), W_OK) == 0) {
        return installDir + QStringLiteral("/updater.log");
    }
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) {
        state = QDir::homePath() + QStringLiteral("/.local/state");
    }
    QDir().mkpath(state + QStringLiteral("/kestrafon"));
    return state + QStringLiteral("/kestrafon/updater.log");
}

class Log {
public:
    explicit Log(const QString& path) : file_(path) {
        if (!path.isEmpty()) {
            file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
        }
    }
    void operator()(const QString& line) {
        const QByteArray text =
            (QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + line + '\n')
                .toUtf8();
        if (file_.isOpen()) {
            file_.write(text);
            file_.flush();
        }
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    }

private:
    QFile file_;
};

// The elevated half: the copy alone, through pkexec, its lines taken into our log.
bool installElevated(const Options& o, const QStringList& files, Log& log) {
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty()) {
        log(QStringLiteral("the installation %1 is not writable and pkexec is not available")
                .arg(o.installDir));
        return false;
    }
    log(QStringLiteral("the installation %1 is not writable: copying %2 files through pkexec")
            .arg(o.installDir)
            .arg(files.size()));
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(pkexec, {QCoreApplication::applicationFilePath(), QStringLiteral("--Upgrade"),
                         QStringLiteral("--install-only"), QStringLiteral("--update-dir"), o.updateDir,
                         QStringLiteral("--install-dir"), o.installDir});
    if (!child.waitForStarted()) {
        log(QStringLiteral("pkexec could not be started: %1").arg(child.errorString()));
        return false;
    }
    child.waitForFinished(-1);
    for (const QByteArray& line : child.readAll().split('\n')) {
        if (!line.trimmed().isEmpty()) {
            log(QStringLiteral("  elevated: ") + QString::fromUtf8(line.trimmed()));
        }
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        log(QStringLiteral("the elevated copy failed (exit %1); 126 or 127 means elevation was refused")
                .arg(child.exitCode()));
        return false;
    }
    return true;
}

int installOnly(const Options& o) {
    QTextStream out(stdout);
    const kf::updater::LogSink sink = [&out](const QString& line) { out << line << '\n' << Qt::flush; };
    QStringList files;
    QString error;
    if (!kf::updater::listUpdateFiles(o.updateDir, &files, &error) ||
        !kf::updater::installFiles(o.updateDir, files, o.installDir, sink, &error)) {
        sink(QStringLiteral("not installed: ") + error);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options o;
    QString error;
    if (!parse(QCoreApplication::arguments().mid(1), &o, &error)) {
        QTextStream(stderr) << "Updater: " << error << "\n"
                            << "usage: Updater --Upgrade [--pid PID] [--update-dir DIR] [--install-dir DIR]"
                               " [--client NAME] [--log FILE] [-- CLIENT ARGUMENTS...]\n";
        return 2;
    }
    if (o.updateDir.isEmpty()) {
        o.updateDir = QDir::currentPath();
    }
    if (o.installDir.isEmpty()) {
        o.installDir = QCoreApplication::applicationDirPath();
    }
    o.updateDir = QDir::cleanPath(QFileInfo(o.updateDir).absoluteFilePath());
    o.installDir = QDir::cleanPath(QFileInfo(o.installDir).absoluteFilePath());
    if (o.installOnly) {
        return installOnly(o);
    }

    Log log(o.log.isEmpty() ? defaultLogPath(o.installDir) : o.log);
    log(QStringLiteral("Updater: installing %1 into %2").arg(o.updateDir, o.installDir));
    if (o.pid > 0) {
        log(QStringLiteral("waiting for the client (pid %1) to exit").arg(o.pid));
        if (!kf::updater::waitForExit(o.pid, kClientExitTimeoutMs)) {
            log(QStringLiteral("the client is still running after %1 s: nothing installed")
                    .arg(kClientExitTimeoutMs / 1000));
            return 1;
        }
    }

    bool installed = false;
    QStringList files;
    if (!kf::updater::listUpdateFiles(o.updateDir, &files, &error)) {
        log(QStringLiteral("not installed: ") + error);
    } else if (files.isEmpty()) {
        log(QStringLiteral("the update folder is empty: nothing to install"));
        installed = true;
    } else if (kf::updater::needsElevation(o.installDir, files)) {
        installed = installElevated(o, files, log);
    } else {
        installed = kf::updater::installFiles(
            o.updateDir, files, o.installDir, [&log](const QString& line) { log(line); }, &error);
    }
    if (installed && !files.isEmpty()) {
        log(QStringLiteral("installed %1 files").arg(files.size()));
        if (!kf::updater::emptyFolder(o.updateDir)) {
            log(QStringLiteral("could not empty the update folder %1").arg(o.updateDir));
        }
    } else if (!installed) {
        log(QStringLiteral("the installation is unchanged; the update stays in %1").arg(o.updateDir));
    }

    // The client comes back in every case: with the new files, or with the old ones.
    const QString client = o.installDir + QLatin1Char('/') + o.client;
    qint64 pid = 0;
    if (QProcess::startDetached(client, o.clientArgs, o.installDir, &pid)) {
        log(QStringLiteral("started %1 (pid %2)").arg(client).arg(pid));
    } else {
        log(QStringLiteral("could not start %1").arg(client));
        return 1;
    }
    return installed ? 0 : 1;
}
