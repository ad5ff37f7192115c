#pragma once
// What one request costs the process: its wall time and how far it raised the peak resident
// memory. The kernel's peak is reset to the current size when the meter starts ("5" written to
// /proc/self/clear_refs) and read when it stops (VmHWM in /proc/self/status).
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QtGlobal>
#include <cstdio>

namespace kftest {

// AddressSanitizer's quarantine keeps freed memory resident: peaks say little there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

// A "Name:   1234 kB" line of /proc/self/status in bytes; -1 when it cannot be read.
inline qint64 procStatusBytes(const char* name) {
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray prefix = QByteArray(name) + ':';
    for (const QByteArray& line :
         status.open(QIODevice::ReadOnly) ? status.readAll().split('\n') : QList<QByteArray>()) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

class RequestMeter {
public:
    RequestMeter() {
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        peakReset_ = reset.open(QIODevice::WriteOnly) && reset.write("5") == 1;
        reset.close();
        before_ = procStatusBytes("VmRSS");
        timer_.start();
    }
    qint64 ms() const { return timer_.elapsed(); }
    // Bytes the peak rose above the resident size at the start; -1 when unknown.
    qint64 peakRise() const {
        const qint64 peak = procStatusBytes("VmHWM");
        return peakReset_ && before_ >= 0 && peak >= 0 ? qMax<qint64>(0, peak - before_) : -1;
    }

private:
    bool peakReset_ = false;
    qint64 before_ = -1;
    QElapsedTimer timer_;
};

// Drops the messages logged while it exists and keeps the length of the longest one at
// information level or above (debug lines are not written to the client's log by default).
class QuietLog {
public:
    QuietLog() : previous_(qInstallMessageHandler(&QuietLog::record)) { longest() = 0; }
    ~QuietLog() { qInstallMessageHandler(previous_); }
    static int& longest() {
        static int value = 0;
        return value;
    }

private:
    static void record(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg)
            longest() = qMax(longest(), text.size());
    }
    QtMessageHandler previous_;
};

// The slowest request of a run and the one that raised the peak most.
struct WorstRequests {
    qint64 ms = -1, peakRise = -1;
    QString slowest, hungriest;

    void add(qint64 requestMs, qint64 requestPeakRise, const QString& what) {
        if (requestMs > ms)
            ms = requestMs, slowest = what.left(100);
        if (requestPeakRise > peakRise)
            peakRise = requestPeakRise, hungriest = what.left(100);
    }
    void print(const char* run) const {
        std::printf("%s: slowest request %lld ms (%s); largest peak rise %.1f MiB (%s)\n", run,
                    static_cast<long long>(ms), qPrintable(slowest), double(peakRise) / (1 << 20),
                    qPrintable(hungriest));
    }
};

}  // namespace kftest
