#include "platform/input/memory_interception_driver.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

#include <cstring>

#include "crash/input_grabs.h"

namespace kf::platform {

bool MemoryInterceptionDriver::openDevice(int device, int* error) {
    QMutexLocker lock(&mutex_);
    if (!valid(device)) {
        *error = 2;
        return false;
    }
    Slot& slot = slots_[device - 1];
    if (slot.openError != 0) {
        *error = slot.openError;
        return false;
    }
    slot.open = true;
    return true;
}

void MemoryInterceptionDriver::closeDevice(int device) {
    QMutexLocker lock(&mutex_);
    if (valid(device)) {
        grabbedChanged(slots_[device - 1], 0);
        slots_[device - 1].open = false;
        slots_[device - 1].filter = 0;
    }
}

void MemoryInterceptionDriver::grabbedChanged(const Slot& slot, quint16 newFilter) {
    if (slot.grabHandle < 0 || !slot.open || (slot.filter != 0) == (newFilter != 0)) {
        return;
    }
    if (newFilter != 0) {
        kf::crash::publishGrab(slot.grabHandle);
    } else {
        kf::crash::withdrawGrab(slot.grabHandle);
    }
}

bool MemoryInterceptionDriver::setFilter(int device, quint16 mask) {
    QMutexLocker lock(&mutex_);
    if (!valid(device) || !slots_[device - 1].open) {
        return false;
    }
    grabbedChanged(slots_[device - 1], mask);
    slots_[device - 1].filter = mask;
    return true;
}

int MemoryInterceptionDriver::wait() {
    QMutexLocker lock(&mutex_);
    waiting_ = true;
    changed_.wakeAll();
    while (queue_.empty() && !woken_ && failure_.isEmpty()) {
        changed_.wait(&mutex_);
    }
    waiting_ = false;
    if (woken_) {
        woken_ = false;
        return 0;
    }
    return queue_.empty() ? 0 : queue_.front().first;
}

void MemoryInterceptionDriver::wake() {
    QMutexLocker lock(&mutex_);
    woken_ = true;
    changed_.wakeAll();
}

int MemoryInterceptionDriver::read(int device, quint8* out, int capacity) {
    QMutexLocker lock(&mutex_);
    const int size = recordSizeFor(device);
    int moved = 0;
    while (size > 0 && !queue_.empty() && queue_.front().first == device && moved + size <= capacity) {
        std::memcpy(out + moved, queue_.front().second.constData(), size_t(size));
        moved += size;
        queue_.pop_front();
    }
    if (queue_.empty()) {
        changed_.wakeAll();
    }
    return moved;
}

int MemoryInterceptionDriver::write(int device, const quint8* records, int size) {
    QMutexLocker lock(&mutex_);
    const int recordSize = recordSizeFor(device);
    if (recordSize == 0 || !slots_[device - 1].open) {
        return 0;
    }
    int accepted = 0;
    for (; accepted + recordSize <= size; accepted += recordSize) {
        ++desktopCount_;
        if (keepDesktopLog_) {
            desktop_.append(
                {device, QByteArray(reinterpret_cast<const char*>(records + accepted), recordSize), true});
        }
    }
    return accepted;
}

int MemoryInterceptionDriver::hardwareId(int device, quint8* out, int size) {
    QMutexLocker lock(&mutex_);
    if (!valid(device) || size <= 0) {
        return 0;
    }
    const QByteArray& id = slots_[device - 1].hardwareId;
    const int n = qMin(size, id.size());
    std::memcpy(out, id.constData(), size_t(n));
    return n;
}

QString MemoryInterceptionDriver::failure() const {
    QMutexLocker lock(&mutex_);
    return failure_;
}

void MemoryInterceptionDriver::setOpenError(int device, int error) {
    QMutexLocker lock(&mutex_);
    if (valid(device)) {
        slots_[device - 1].openError = error;
    }
}

void MemoryInterceptionDriver::setHardwareId(int device, const QString& id) {
    QMutexLocker lock(&mutex_);
    if (valid(device)) {
        slots_[device - 1].hardwareId = QByteArray(reinterpret_cast<const char*>(id.utf16()), id.size() * 2);
    }
}

void MemoryInterceptionDriver::setGrabHandle(int device, int fd) {
    QMutexLocker lock(&mutex_);
    if (valid(device)) {
        slots_[device - 1].grabHandle = fd;
    }
}

void MemoryInterceptionDriver::feed(int device, const KeyboardInputRecord& record) {
    QByteArray bytes(kKeyboardRecordSize, 0);
    writeRecord(record, reinterpret_cast<quint8*>(bytes.data()));
    feedRecord(device, bytes);
}

void MemoryInterceptionDriver::feed(int device, const MouseInputRecord& record) {
    QByteArray bytes(kMouseRecordSize, 0);
    writeRecord(record, reinterpret_cast<quint8*>(bytes.data()));
    feedRecord(device, bytes);
}

void MemoryInterceptionDriver::feedRecord(int device, const QByteArray& record) {
    QMutexLocker lock(&mutex_);
    if (!valid(device)) {
        return;
    }
    const Slot& slot = slots_[device - 1];
    if (slot.open && (slot.filter != 0 || captureEverything_)) {
        queue_.emplace_back(device, record);
        changed_.wakeAll();
        return;
    }
    ++desktopCount_;
    if (keepDesktopLog_) {
        desktop_.append({device, record, false});
    }
}

void MemoryInterceptionDriver::fail(const QString& reason) {
    QMutexLocker lock(&mutex_);
    failure_ = reason;
    changed_.wakeAll();
}

void MemoryInterceptionDriver::setCaptureEverything(bool on) {
    QMutexLocker lock(&mutex_);
    captureEverything_ = on;
}

void MemoryInterceptionDriver::setKeepDesktopLog(bool on) {
    QMutexLocker lock(&mutex_);
    keepDesktopLog_ = on;
}

bool MemoryInterceptionDriver::waitUntilIdle(int timeoutMs) {
    QMutexLocker lock(&mutex_);
    QDeadlineTimer deadline(timeoutMs);
    while (!(queue_.empty() && waiting_ && !woken_)) {
        if (!changed_.wait(&mutex_, deadline)) {
            return false;
        }
    }
    return true;
}

QList<MemoryInterceptionDriver::Delivered> MemoryInterceptionDriver::desktop() const {
    QMutexLocker lock(&mutex_);
    return desktop_;
}

qint64 MemoryInterceptionDriver::desktopCount() const {
    QMutexLocker lock(&mutex_);
    return desktopCount_;
}

quint16 MemoryInterceptionDriver::filter(int device) const {
    QMutexLocker lock(&mutex_);
    return valid(device) ? slots_[device - 1].filter : 0;
}

bool MemoryInterceptionDriver::isOpen(int device) const {
    QMutexLocker lock(&mutex_);
    return valid(device) && slots_[device - 1].open;
}

int MemoryInterceptionDriver::openDevices() const {
    QMutexLocker lock(&mutex_);
    int n = 0;
    for (const Slot& slot : slots_) {
        n += slot.open ? 1 : 0;
    }
    return n;
}

}  // namespace kf::platform
