#pragma once
// One device made through /dev/uinput: it appears to the system as a real keyboard and mouse
// and takes input events. Used by the virtual input device and by the capture driver's
// pass-through device; both carry "kestrafonvd" in their names so the client never captures
// its own output.
#include <QByteArray>
#include <QVector>
#include <QtGlobal>

namespace kf::platform {

class UinputDevice {
public:
    struct Setup {
        QByteArray name;
        quint16 vendor = 0x001F;
        quint16 product = 0xBA1C;
        QVector<int> keys;  // EV_KEY codes, buttons included
        QVector<int> relativeAxes;
    };

    UinputDevice() = default;
    ~UinputDevice();
    UinputDevice(const UinputDevice&) = delete;
    UinputDevice& operator=(const UinputDevice&) = delete;

    // Creates the device; 0, or the system's error code (nothing stays open then).
    int create(const Setup& setup);
    void destroy();
    bool isOpen() const { return fd_ >= 0; }

    // Queues one event; send() writes the queued events followed by a report boundary.
    void add(int type, int code, int value);
    // 0, or the system's error code.
    int send();

    // The path of the uinput control node; KESTRAFON_UINPUT overrides it.
    static QByteArray controlPath();

private:
    int fd_ = -1;
    QByteArray pending_;  // raw input_event structures
};

}  // namespace kf::platform
