#pragma once
// What one request costs the process: its wall time and how far it raised the peak resident
// memory. Before the call the kernel's peak is reset to the current size ("5" written to
// /proc/self/clear_refs), after it the peak is read again (VmHWM in /proc/self/status). The
// fuzz tests record the worst request of a run.
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <cstdio>

namespace kftest {

// Whether the build runs under AddressSanitizer, whose quarantine keeps freed memory resident,
// so peak memory says little about a single request there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

// A line "Name:   1234 kB" of /proc/self/status in bytes; -1 when it cannot be read.
inline qint64 procStatusBytes(const char* name) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray prefix = QByteArray(name) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix)) {
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    return -1;
}

struct RequestCost {
    qint64 ms = 0;
    qint64 peakRise = -1;  // bytes above the resident size before the call; -1 when unknown
};

template <typename Call>
RequestCost measureRequest(Call&& call) {
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    const bool peakReset = reset.open(QIODevice::WriteOnly) && reset.write("5") == 1;
    reset.close();
    const qint64 before = procStatusBytes("VmRSS");
    QElapsedTimer timer;
    timer.start();
    call();
    RequestCost cost;
    cost.ms = timer.elapsed();
    const qint64 peak = procStatusBytes("VmHWM");
    if (peakReset && before >= 0 && peak >= 0) {
        cost.peakRise = qMax<qint64>(0, peak - before);
    }
    return cost;
}

// The slowest request and the one that raised the peak most, with what they were.
struct WorstRequests {
    RequestCost slowest;
    QString slowestWhat;
    RequestCost hungriest;
    QString hungriestWhat;

    void add(const RequestCost& cost, const QString& what) {
        if (cost.ms >= slowest.ms) {
            slowest = cost;
            slowestWhat = what.left(120);
        }
        if (cost.peakRise > hungriest.peakRise) {
            hungriest = cost;
            hungriestWhat = what.left(120);
        }
    }

    void print(const char* run) const {
        std::printf("%s: slowest request %lld ms (%s); largest peak rise %.1f MiB (%s)\n", run,
                    static_cast<long long>(slowest.ms), qPrintable(slowestWhat),
                    static_cast<double>(hungriest.peakRise) / (1024.0 * 1024.0), qPrintable(hungriestWhat));
    }
};

}  // namespace kftest
