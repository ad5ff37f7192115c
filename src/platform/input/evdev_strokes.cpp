// The evdev driver's strokes: input events of a grabbed device read into driver records
// (keyboards: one stroke per key event, repeats as presses; mice: one stroke per button
// transition, then one for the motion and one per wheel of each report), and records sent on
// written to the pass-through device as input events.
#include <QtDebug>

#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/input/evdev_interception_driver.h"
#include "platform/input/input_codes.h"

namespace kf::platform {

namespace {

constexpr int kWheelDelta = 120;

template <size_t N>
bool testBit(const unsigned char (&bits)[N], int bit) {
    return size_t(bit / 8) < N && (bits[bit / 8] >> (bit % 8)) & 1;
}

// Mouse buttons and their interception down flags (the up flag is twice the down flag).
struct ButtonFlag {
    int code;
    quint16 down;
};
constexpr ButtonFlag kButtons[] = {
    {BTN_LEFT, kLeftDown},       {BTN_RIGHT, kRightDown},   {BTN_MIDDLE, kMiddleDown},
    {BTN_SIDE, kButton4Down},    {BTN_EXTRA, kButton5Down}, {BTN_BACK, kButton4Down},
    {BTN_FORWARD, kButton5Down},
};

}  // namespace

void EvdevInterceptionDriver::readNode(int device) {
    Node& node = *slots_[device - 1].node;
    input_event events[64];
    for (;;) {
        const ssize_t n = ::read(node.fd, events, sizeof events);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (n <= 0) {
            unbind(device, "was removed");
            return;
        }
        for (size_t i = 0; i < size_t(n) / sizeof(input_event); ++i) {
            const input_event& e = events[i];
            if (e.type == EV_SYN && e.code == SYN_DROPPED) {
                resync(device);
            } else if (e.type == EV_KEY) {
                keyEvent(device, e.code, e.value);
            } else if (e.type == EV_REL && !node.keyboard) {
                if (e.code == REL_X) {
                    node.dx += e.value;
                } else if (e.code == REL_Y) {
                    node.dy += e.value;
                } else if (e.code == REL_WHEEL) {
                    node.wheel += e.value;
                } else if (e.code == REL_HWHEEL) {
                    node.hwheel += e.value;
                }
            } else if (e.type == EV_SYN && e.code == SYN_REPORT && !node.keyboard) {
                endMouseFrame(device);
            }
        }
    }
}

void EvdevInterceptionDriver::keyEvent(int device, int code, int value) {
    Node& node = *slots_[device - 1].node;
    if (code <= 0 || code >= kKeyCount) {
        return;
    }
    node.down.set(size_t(code), value != 0);
    if (node.keyboard) {
        KeyboardInputRecord record;
        ScanKey key;
        if (scanKeyForEvdev(code, &key)) {
            record.makeCode = key.code;
            record.flags = key.prefix;
        } else {
            record.extraInformation = kRawKeyTag | quint32(code);
        }
        // A repeat (value 2) is another press, as keyboards repeat their make codes.
        if (value == 0) {
            record.flags |= kKeyUp;
        }
        quint8 bytes[kKeyboardRecordSize];
        writeRecord(record, bytes);
        queue(device, bytes, kKeyboardRecordSize);
        return;
    }
    MouseInputRecord record;
    for (const ButtonFlag& button : kButtons) {
        if (button.code == code) {
            record.buttonFlags = value ? button.down : quint16(button.down << 1);
        }
    }
    if (record.buttonFlags == 0) {
        record.extraInformation = kRawKeyTag | (quint32(value != 0) << 16) | quint32(code);
    }
    node.frameButtons.push_back(record);
}

void EvdevInterceptionDriver::endMouseFrame(int device) {
    Node& node = *slots_[device - 1].node;
    quint8 bytes[kMouseRecordSize];
    // One stroke per button transition, then one for the motion and one per wheel, so a button
    // that is a trigger never takes motion with it.
    for (const MouseInputRecord& button : node.frameButtons) {
        writeRecord(button, bytes);
        queue(device, bytes, kMouseRecordSize);
    }
    node.frameButtons.clear();
    if (node.dx != 0 || node.dy != 0) {
        MouseInputRecord motion;
        motion.lastX = node.dx;
        motion.lastY = node.dy;
        writeRecord(motion, bytes);
        queue(device, bytes, kMouseRecordSize);
    }
    for (auto [steps, flag] :
         {std::pair<qint32, quint16>{node.wheel, kWheel}, {node.hwheel, kHorizontalWheel}}) {
        if (steps != 0) {
            MouseInputRecord wheel;
            wheel.buttonFlags = flag;
            wheel.buttonData = quint16(qint16(qBound(-32768, steps * kWheelDelta, 32767)));
            writeRecord(wheel, bytes);
            queue(device, bytes, kMouseRecordSize);
        }
    }
    node.dx = node.dy = node.wheel = node.hwheel = 0;
}

void EvdevInterceptionDriver::resync(int device) {
    // Events were lost: the kernel's key state is the truth. Whatever changed meanwhile is
    // reported as strokes, so no key stays pressed for the desktop.
    Node& node = *slots_[device - 1].node;
    unsigned char held[KEY_MAX / 8 + 1] = {};
    if (ioctl(node.fd, EVIOCGKEY(sizeof held), held) < 0) {
        return;
    }
    node.frameButtons.clear();
    node.dx = node.dy = node.wheel = node.hwheel = 0;
    for (int code = 1; code < kKeyCount; ++code) {
        const bool now = testBit(held, code);
        if (node.down.test(size_t(code)) != now) {
            keyEvent(device, code, now ? 1 : 0);
        }
    }
    if (!node.keyboard) {
        endMouseFrame(device);
    }
}

void EvdevInterceptionDriver::queue(int device, const quint8* record, int size) {
    records_.emplace_back(device, QByteArray(reinterpret_cast<const char*>(record), size));
}

int EvdevInterceptionDriver::read(int device, quint8* out, int capacity) {
    const int size = recordSizeFor(device);
    int moved = 0;
    while (size > 0 && !records_.empty() && records_.front().first == device && moved + size <= capacity) {
        std::memcpy(out + moved, records_.front().second.constData(), size_t(size));
        moved += size;
        records_.pop_front();
    }
    return moved;
}

int EvdevInterceptionDriver::write(int device, const quint8* records, int size) {
    const int recordSize = recordSizeFor(device);
    if (recordSize == 0 || !passThrough_.isOpen()) {
        return 0;
    }
    int accepted = 0;
    for (; accepted + recordSize <= size; accepted += recordSize) {
        inject(device, records + accepted);
    }
    return accepted;
}

void EvdevInterceptionDriver::inject(int device, const quint8* bytes) {
    Slot& slot = slots_[device - 1];
    auto key = [&](int code, bool down) {
        if (code > 0 && code < kKeyCount) {
            passThrough_.add(EV_KEY, code, down ? 1 : 0);
            slot.injectedDown.set(size_t(code), down);
        }
    };
    if (isKeyboardDevice(device)) {
        const KeyboardInputRecord r = readKeyboardRecord(bytes);
        const int code = (r.extraInformation & kRawKeyTag) ? int(r.extraInformation & 0xFFFF)
                                                           : evdevForScanKey(r.makeCode, r.flags);
        key(code, !(r.flags & kKeyUp));
    } else {
        const MouseInputRecord r = readMouseRecord(bytes);
        if (r.extraInformation & kRawKeyTag) {
            key(int(r.extraInformation & 0xFFFF), (r.extraInformation >> 16) & 1);
        }
        for (const ButtonFlag& button : kButtons) {
            if (button.code == BTN_BACK || button.code == BTN_FORWARD) {
                continue;  // sent on as the side and extra buttons
            }
            if (r.buttonFlags & button.down) {
                key(button.code, true);
            }
            if (r.buttonFlags & (button.down << 1)) {
                key(button.code, false);
            }
        }
        if (r.flags == 0 && (r.lastX != 0 || r.lastY != 0)) {
            passThrough_.add(EV_REL, REL_X, r.lastX);
            passThrough_.add(EV_REL, REL_Y, r.lastY);
        }
        const int steps = qint16(r.buttonData) / kWheelDelta;
        if ((r.buttonFlags & kWheel) && steps != 0) {
            passThrough_.add(EV_REL, REL_WHEEL, steps);
        } else if ((r.buttonFlags & kHorizontalWheel) && steps != 0) {
            passThrough_.add(EV_REL, REL_HWHEEL, steps);
        }
    }
    passThrough_.send();
}

}  // namespace kf::platform
