#include "platform/input/uinput_device.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kf::platform {

UinputDevice::~UinputDevice() {
    destroy();
}

QByteArray UinputDevice::controlPath() {
    const QByteArray path = qgetenv("KESTRAFON_UINPUT");
    return path.isEmpty() ? QByteArrayLiteral("/dev/uinput") : path;
}

int UinputDevice::create(const Setup& setup) {
    destroy();
    const int fd = ::open(controlPath().constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    bool ok = true;
    if (!setup.keys.isEmpty()) {
        ok = ok && ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0;
        for (int key : setup.keys) {
            ok = ok && ioctl(fd, UI_SET_KEYBIT, key) == 0;
        }
    }
    if (!setup.relativeAxes.isEmpty()) {
        ok = ok && ioctl(fd, UI_SET_EVBIT, EV_REL) == 0;
        for (int axis : setup.relativeAxes) {
            ok = ok && ioctl(fd, UI_SET_RELBIT, axis) == 0;
        }
    }
    uinput_setup device;
    std::memset(&device, 0, sizeof device);
    device.id.bustype = BUS_VIRTUAL;
    device.id.vendor = setup.vendor;
    device.id.product = setup.product;
    device.id.version = 1;
    std::strncpy(device.name, setup.name.constData(), UINPUT_MAX_NAME_SIZE - 1);
    ok = ok && ioctl(fd, UI_DEV_SETUP, &device) == 0 && ioctl(fd, UI_DEV_CREATE) == 0;
    if (!ok) {
        const int error = errno ? errno : EIO;
        ::close(fd);
        return error;
    }
    fd_ = fd;
    return 0;
}

void UinputDevice::destroy() {
    if (fd_ >= 0) {
        ioctl(fd_, UI_DEV_DESTROY);
        ::close(fd_);
        fd_ = -1;
    }
    pending_.clear();
}

void UinputDevice::add(int type, int code, int value) {
    input_event event;
    std::memset(&event, 0, sizeof event);
    event.type = quint16(type);
    event.code = quint16(code);
    event.value = value;
    pending_.append(reinterpret_cast<const char*>(&event), int(sizeof event));
}

int UinputDevice::send() {
    if (fd_ < 0) {
        pending_.clear();
        return EBADF;
    }
    if (pending_.isEmpty()) {
        return 0;
    }
    add(EV_SYN, SYN_REPORT, 0);
    const ssize_t size = ssize_t(pending_.size());
    ssize_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd_, pending_.constData() + written, size_t(size - written));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            pending_.clear();
            return error;
        }
        written += n;
    }
    pending_.clear();
    return 0;
}

}  // namespace kf::platform
