#include "platform/input/memory_hid_transport.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace kf::platform {

int MemoryHidTransport::openCollection(int usage) {
    QMutexLocker lock(&mutex_);
    const int error = (usage == 1 || usage == 2) ? openErrors_[usage] : 19;
    if (error == 0 && usage == 1) {
        open_ = true;
    }
    return error;
}

void MemoryHidTransport::close() {
    QMutexLocker lock(&mutex_);
    open_ = false;
}

int MemoryHidTransport::writeReport(const quint8* report, int size) {
    std::function<void()> onReport;
    {
        QMutexLocker lock(&mutex_);
        if (writeError_ != 0) {
            return writeError_;
        }
        reports_.append(QByteArray(reinterpret_cast<const char*>(report), size));
        written_.wakeAll();
        onReport = onReport_;
    }
    if (onReport) {
        onReport();
    }
    return 0;
}

bool MemoryHidTransport::typeText(const QString& text) {
    std::function<void()> onType;
    {
        QMutexLocker lock(&mutex_);
        onType = onType_;
    }
    if (onType) {
        onType();
    }
    QMutexLocker lock(&mutex_);
    typed_ += text;
    return true;
}

bool MemoryHidTransport::moveCursorTo(int x, int y) {
    QMutexLocker lock(&mutex_);
    moves_.append(QPoint(x, y));
    return true;
}

void MemoryHidTransport::setOpenError(int usage, int error) {
    QMutexLocker lock(&mutex_);
    if (usage == 1 || usage == 2) {
        openErrors_[usage] = error;
    }
}

void MemoryHidTransport::setWriteError(int error) {
    QMutexLocker lock(&mutex_);
    writeError_ = error;
}

void MemoryHidTransport::setOnReport(std::function<void()> onReport) {
    QMutexLocker lock(&mutex_);
    onReport_ = std::move(onReport);
}

void MemoryHidTransport::setOnType(std::function<void()> onType) {
    QMutexLocker lock(&mutex_);
    onType_ = std::move(onType);
}

QList<QByteArray> MemoryHidTransport::reports() const {
    QMutexLocker lock(&mutex_);
    return reports_;
}

int MemoryHidTransport::reportCount() const {
    QMutexLocker lock(&mutex_);
    return reports_.size();
}

void MemoryHidTransport::clear() {
    QMutexLocker lock(&mutex_);
    reports_.clear();
    typed_.clear();
    moves_.clear();
}

bool MemoryHidTransport::waitForReports(int count, int timeoutMs) {
    QMutexLocker lock(&mutex_);
    QDeadlineTimer deadline(timeoutMs);
    while (reports_.size() < count) {
        if (!written_.wait(&mutex_, deadline)) {
            return false;
        }
    }
    return true;
}

QString MemoryHidTransport::typed() const {
    QMutexLocker lock(&mutex_);
    return typed_;
}

QList<QPoint> MemoryHidTransport::cursorMoves() const {
    QMutexLocker lock(&mutex_);
    return moves_;
}

bool MemoryHidTransport::isOpen() const {
    QMutexLocker lock(&mutex_);
    return open_;
}

}  // namespace kf::platform
