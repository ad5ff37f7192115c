#pragma once
// The interception driver on Linux: keyboards and mice under /dev/input are bound to device
// numbers as they appear (keyboards 1–10, mice 11–20; devices that are both, touchpads and the
// client's own "kestrafonvd" devices are left alone). A device whose filter is not 0 is
// grabbed (EVIOCGRAB) and read; its strokes are converted to driver records, and strokes sent
// on are re-injected at once through a uinput pass-through device. A grab waits until no key or
// button of the device is held, so nothing is left pressed behind it; releasing a grab
// releases whatever the pass-through still holds for that device. Unplugged devices are
// dropped and new ones picked up (inotify on the folder) without ending the capture.
#include <QByteArray>
#include <QString>

#include <array>
#include <bitset>
#include <deque>
#include <memory>

#include "platform/input/interception_driver.h"
#include "platform/input/interception_records.h"
#include "platform/input/uinput_device.h"

namespace kf::platform {

class EvdevInterceptionDriver : public InterceptionDriver {
public:
    struct Options {
        QByteArray folder = QByteArrayLiteral("/dev/input");
        // When set, only devices whose name contains it are bound (tests use their own devices
        // and never touch the machine's keyboards and mice).
        QByteArray onlyNamesContaining;
    };

    explicit EvdevInterceptionDriver(Options options);
    EvdevInterceptionDriver() : EvdevInterceptionDriver(Options()) {}
    ~EvdevInterceptionDriver() override;

    bool openDevice(int device, int* error) override;
    void closeDevice(int device) override;
    bool setFilter(int device, quint16 mask) override;
    int wait() override;
    void wake() override;
    int read(int device, quint8* out, int capacity) override;
    int write(int device, const quint8* records, int size) override;
    int hardwareId(int device, quint8* out, int size) override;
    QString failure() const override;

    // The name of the device bound to `device`, or empty (for tests and the log).
    QByteArray boundName(int device) const;
    bool isGrabbed(int device) const;

private:
    static constexpr int kKeyCount = 0x300;
    struct Node {
        int fd = -1;
        QByteArray path;
        QByteArray name;
        QByteArray hardwareId;  // UTF-16
        bool keyboard = false;
        bool grabbed = false;
        bool grabRefused = false;
        std::bitset<kKeyCount> down;  // keys and buttons held, as this driver has seen them
        // The mouse frame being read: transitions in order, then motion and wheels.
        std::deque<MouseInputRecord> frameButtons;
        qint32 dx = 0, dy = 0, wheel = 0, hwheel = 0;
    };
    struct Slot {
        bool open = false;
        quint16 filter = 0;
        std::unique_ptr<Node> node;
        std::bitset<kKeyCount> injectedDown;  // what the pass-through holds for this device
    };

    bool start(int* error);
    void stop();
    void scanFolder();
    void examine(const QByteArray& path);
    void unbind(int device, const char* why);
    void tryGrab(int device);
    void releaseGrab(int device);
    void readNode(int device);
    void keyEvent(int device, int code, int value);
    void endMouseFrame(int device);
    void resync(int device);
    void queue(int device, const quint8* record, int size);
    void inject(int device, const quint8* record);
    bool bound(int device) const;

    Options options_;
    bool started_ = false;
    int inotifyFd_ = -1;
    const int wakeFd_;
    UinputDevice passThrough_;
    std::array<Slot, kInterceptionDeviceCount> slots_;
    quint16 kindFilter_[2] = {0, 0};  // filter a new keyboard / mouse gets
    std::deque<std::pair<int, QByteArray>> records_;
    QString failure_;
};

}  // namespace kf::platform
