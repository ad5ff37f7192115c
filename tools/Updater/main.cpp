// Updater --Upgrade --digest HEX [--pid PID] [--update-dir DIR] [--install-dir DIR] [--client NAME]
//                   [--log FILE] [-- CLIENT ARGUMENTS...]
//
// Installs a client update that the client unpacked into its update folder: waits for the
// client (PID) to exit, however long it takes, installs the update as a new release beside the
// installation and switches `current` to it (release_store.h), empties the update folder and
// starts the new client with CLIENT ARGUMENTS, or the old one when the install failed. HEX is
// the digest the client computed over the files it unpacked; the files are installed only when
// what was copied has that digest. When the user cannot write the store (a packaged
// installation), the install alone runs as root through pkexec, whose prompt shows the digest.
//
// Defaults: the update folder is the current folder (the client starts the Updater there), the
// installation is the Updater's own folder, the client is "kestrafon", the log is
// $XDG_STATE_HOME/kestrafon/updater.log (~/.local/state).
//
// --install-only: only the install, logging to standard output (the elevated half). As root it
// takes the update only from files and folders of the user named by PKEXEC_UID.
// Exit codes: 0 installed (or nothing to install), 1 failed, 2 bad command line.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>

#include "release_store.h"
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
    QString digest;
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
        } else if (a == QLatin1String("--digest")) {
            if (!value(&o->digest)) {
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

QString defaultLogPath() {
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

// The elevated half: the install alone, through pkexec, its lines taken into our log.
bool installElevated(const Options& o, Log& log) {
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty()) {
        log(QStringLiteral("the store %1 is not writable and pkexec is not available")
                .arg(kf::updater::systemStore()));
        return false;
    }
    log(QStringLiteral("installing into %1 as root through pkexec").arg(kf::updater::systemStore()));
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(pkexec, {QCoreApplication::applicationFilePath(), QStringLiteral("--Upgrade"),
                         QStringLiteral("--install-only"), QStringLiteral("--digest"), o.digest,
                         QStringLiteral("--update-dir"), o.updateDir, QStringLiteral("--install-dir"),
                         o.installDir, QStringLiteral("--client"), o.client});
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
        log(QStringLiteral("the elevated install failed (exit %1); 126 or 127 means elevation was refused")
                .arg(child.exitCode()));
        return false;
    }
    return true;
}

kf::updater::InstallRequest request(const Options& o, bool elevated) {
    kf::updater::InstallRequest r;
    r.updateFolder = o.updateDir;
    r.baseFolder = o.installDir;
    r.digest = o.digest;
    r.clientName = o.client;
    r.elevated = elevated;
    r.store = elevated ? kf::updater::systemStore() : kf::updater::storeFor(o.installDir);
    r.user = ::getuid();
    if (elevated) {
        bool ok = false;
        const uint user = qEnvironmentVariable("PKEXEC_UID").toUInt(&ok);
        if (ok) {
            r.user = uid_t(user);
        }
    }
    return r;
}

bool install(const Options& o, bool elevated, const kf::updater::LogSink& log) {
    kf::updater::Installed installed;
    QString error;
    if (!kf::updater::installRelease(request(o, elevated), log, &installed, &error)) {
        log(QStringLiteral("not installed: ") + error);
        return false;
    }
    log(QStringLiteral("installed release %1 at %2").arg(installed.version, installed.release));
    return true;
}

int installOnly(const Options& o) {
    QTextStream out(stdout);
    const kf::updater::LogSink sink = [&out](const QString& line) { out << line << '\n' << Qt::flush; };
    return install(o, ::geteuid() == 0, sink) ? 0 : 1;
}

// The canonical form of a folder that exists, so the elevated half can walk it without links.
QString canonicalFolder(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : canonical;
}

}  // namespace

int main(int argc, char** argv) {
    ::umask(022);  // releases are readable by every user; private folders are made 0700
    QCoreApplication app(argc, argv);
    Options o;
    QString error;
    if (!parse(QCoreApplication::arguments().mid(1), &o, &error)) {
        QTextStream(stderr) << "Updater: " << error << "\n"
                            << "usage: Updater --Upgrade --digest HEX [--pid PID] [--update-dir DIR]"
                               " [--install-dir DIR] [--client NAME] [--log FILE] [-- CLIENT ARGUMENTS...]\n";
        return 2;
    }
    if (o.updateDir.isEmpty()) {
        o.updateDir = QDir::currentPath();
    }
    if (o.installDir.isEmpty()) {
        o.installDir = QCoreApplication::applicationDirPath();
    }
    if (o.installOnly) {
        // As root nothing is resolved: every link on the way is refused instead.
        o.updateDir = QDir::cleanPath(QFileInfo(o.updateDir).absoluteFilePath());
        o.installDir = QDir::cleanPath(QFileInfo(o.installDir).absoluteFilePath());
        return installOnly(o);
    }
    o.updateDir = canonicalFolder(o.updateDir);
    o.installDir = canonicalFolder(o.installDir);

    Log log(o.log.isEmpty() ? defaultLogPath() : o.log);
    log(QStringLiteral("Updater: installing %1 over %2").arg(o.updateDir, o.installDir));
    if (o.pid > 0 && !kf::updater::waitForExit(o.pid, kClientExitTimeoutMs)) {
        // Never install under a running client, and never leave the user without one.
        log(QStringLiteral("the client (pid %1) is still running after %2 s; waiting while it runs")
                .arg(o.pid)
                .arg(kClientExitTimeoutMs / 1000));
        while (!kf::updater::waitForExit(o.pid, kClientExitTimeoutMs)) {
        }
    }

    QString store = kf::updater::storeFor(o.installDir);
    const bool elevated = kf::updater::needsElevation(store);
    const kf::updater::LogSink sink = [&log](const QString& line) { log(line); };
    const bool installed = elevated ? installElevated(o, log) : install(o, false, sink);
    if (elevated) {
        store = kf::updater::systemStore();
    }
    if (installed && !kf::updater::emptyFolder(o.updateDir)) {
        log(QStringLiteral("could not empty the update folder %1").arg(o.updateDir));
    } else if (!installed) {
        log(QStringLiteral("the installed client is unchanged; the update stays in %1").arg(o.updateDir));
    }

    // A client comes back in every case: the new release, or the one that ran before.
    const QString folder = installed ? store + QStringLiteral("/current") : o.installDir;
    const QString client = folder + QLatin1Char('/') + o.client;
    qint64 pid = 0;
    if (QProcess::startDetached(client, o.clientArgs, folder, &pid)) {
        log(QStringLiteral("started %1 (pid %2)").arg(client).arg(pid));
    } else {
        log(QStringLiteral("could not start %1").arg(client));
        return 1;
    }
    return installed ? 0 : 1;
}
