#pragma once
// An interception driver that tests and benchmarks drive: strokes are fed by hand, everything
// that reaches the desktop (strokes sent on by the client, and strokes of devices whose filter
// is 0, which pass by untouched) is recorded, and opening can be made to fail.
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <array>
#include <deque>

#include "platform/input/interception_driver.h"
#include "platform/input/interception_records.h"

namespace kf::platform {

class MemoryInterceptionDriver : public InterceptionDriver {
public:
    struct Delivered {
        int device = 0;
        QByteArray record;
        bool sentByClient = false;  // false: passed by the client untouched (filter 0)
    };

    bool openDevice(int device, int* error) override;
    void closeDevice(int device) override;
    bool setFilter(int device, quint16 mask) override;
    int wait() override;
    void wake() override;
    int read(int device, quint8* out, int capacity) override;
    int write(int device, const quint8* records, int size) override;
    int hardwareId(int device, quint8* out, int size) override;
    QString failure() const override;

    // Test side.
    void setOpenError(int device, int error);
    void setHardwareId(int device, const QString& id);
    // A descriptor that stands for the device's node: published to the crash handler as a grab
    // while the device's filter is not 0, as the evdev driver does with its nodes.
    void setGrabHandle(int device, int fd);
    void feed(int device, const KeyboardInputRecord& record);
    void feed(int device, const MouseInputRecord& record);
    // Ends every wait: the driver has failed.
    void fail(const QString& reason);
    // Strokes are captured whatever the filter (benchmarks measure the loop with an empty map).
    void setCaptureEverything(bool on);
    // Whether strokes reaching the desktop are kept in desktop() (they are always counted).
    void setKeepDesktopLog(bool on);
    // Waits until every fed stroke and wake-up has been taken and the capture loop waits again.
    bool waitUntilIdle(int timeoutMs = 5000);

    QList<Delivered> desktop() const;
    qint64 desktopCount() const;
    quint16 filter(int device) const;
    bool isOpen(int device) const;
    int openDevices() const;

private:
    void feedRecord(int device, const QByteArray& record);
    static bool valid(int device) { return device >= 1 && device <= kInterceptionDeviceCount; }

    mutable QMutex mutex_;
    QWaitCondition changed_;
    struct Slot {
        bool open = false;
        quint16 filter = 0;
        int openError = 0;
        QByteArray hardwareId;  // UTF-16
        int grabHandle = -1;
    };
    void grabbedChanged(const Slot& slot, quint16 newFilter);
    std::array<Slot, kInterceptionDeviceCount> slots_{};
    std::deque<std::pair<int, QByteArray>> queue_;
    QList<Delivered> desktop_;
    qint64 desktopCount_ = 0;
    bool keepDesktopLog_ = true;
    bool captureEverything_ = false;
    bool woken_ = false;
    bool waiting_ = false;
    QString failure_;
};

}  // namespace kf::platform
