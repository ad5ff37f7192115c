#pragma once
// The client's crash handler set-up: on a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT) a small text dump "<dump folder>/<id>.dmp" is written, the reporter program is
// started detached with "<reporter> <dump file>", and the process dies with the original signal
// (crash/crash_signal.h, which runs without Qt).
//
// The application owns the one CrashHandler of the process; only one may be installed at a time.
// Everything the signal handler needs is published when the folder and the reporter are set.
#include <QString>

#include <mutex>

class CrashHandler {
public:
    CrashHandler() = default;
    // Puts the previous signal actions back.
    ~CrashHandler();
    CrashHandler(const CrashHandler&) = delete;
    CrashHandler& operator=(const CrashHandler&) = delete;

    // Sets where dumps are written (the folder is created when missing) and, on the first successful
    // call, installs the signal handlers. Later calls only change the folder. Returns false (and
    // keeps the previous folder) when the path is empty, too long or cannot be created, or when
    // another CrashHandler is installed.
    bool setDumpFolder(const QString& path);
    QString dumpFolder() const;

    // Sets the program started after a dump was written; see resolveReporterPath(). An empty name
    // clears it, so no reporter is started.
    void setReporter(const QString& name);
    QString reporter() const;

    // True once the signal handlers are in place.
    bool isInstalled() const;

    // The reporter rule: a name that is neither an absolute path nor an existing relative path
    // becomes the cleaned path appDir + "/" + name; an existing relative path is made absolute so
    // that it does not depend on the working directory at the time of the crash.
    static QString resolveReporterPath(const QString& name, const QString& appDir);

    // Longest reporter command line, "<reporter> <dump folder>/<id>.dmp", that is still started.
    static constexpr int kMaxCommandLine = 2600;

    // Writes a dump for `sig` the way the signal handler does, without a signal and without
    // starting the reporter. Stores the file path in *path when given. Returns false when no dump
    // folder is set or the file cannot be written.
    bool writeDumpForTest(int sig, QString* path);

private:
    void publishConfig();

    mutable std::mutex mutex_;
    QString dumpFolder_;
    QString reporter_;
    bool installed_ = false;
};
