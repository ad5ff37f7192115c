#pragma once
// Counts this process's threads from /proc/self/task: all of them, or those whose name (as the
// thread set it, at most 15 characters) is a given one.
#include <QDir>
#include <QFile>
#include <QString>

namespace kftest {

inline int threadsNamed(const QString& name = QString()) {
    int count = 0;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        if (name.isEmpty()) {
            ++count;
            continue;
        }
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && QString::fromUtf8(comm.readAll()).trimmed() == name.left(15)) {
            ++count;
        }
    }
    return count;
}

}  // namespace kftest
