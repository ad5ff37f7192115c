#include "platform/input/evdev_interception_driver.h"

#include <QDir>
#include <QtDebug>

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "crash/input_grabs.h"
#include "platform/input/input_codes.h"

namespace kf::platform {

namespace {

// While a grab waits for held keys to be let go, the wait looks again this often.
constexpr int kGrabRetryMs = 25;

template <size_t N>
bool testBit(const unsigned char (&bits)[N], int bit) {
    return size_t(bit / 8) < N && (bits[bit / 8] >> (bit % 8)) & 1;
}

// The pass-through device: ordinary keys, the mouse buttons and the relative axes; no joystick
// or tablet codes, so the desktop takes it for a keyboard and mouse.
UinputDevice::Setup passThroughSetup() {
    UinputDevice::Setup setup;
    setup.name = QByteArrayLiteral("Kestrafon kestrafonvd pass-through");
    for (int key = 1; key < BTN_MISC; ++key) {
        setup.keys.append(key);
    }
    for (int button = BTN_LEFT; button <= BTN_TASK; ++button) {
        setup.keys.append(button);
    }
    for (int key = KEY_OK; key < BTN_TRIGGER_HAPPY; ++key) {
        setup.keys.append(key);
    }
    setup.relativeAxes = {REL_X, REL_Y, REL_WHEEL, REL_HWHEEL};
    return setup;
}

QByteArray utf16(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

}  // namespace

// The wake-up descriptor lives as long as the driver: wake() may come from any thread at any
// time, and must never write into a descriptor that was closed and reused meanwhile.
EvdevInterceptionDriver::EvdevInterceptionDriver(Options options)
    : options_(std::move(options)), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

EvdevInterceptionDriver::~EvdevInterceptionDriver() {
    stop();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

bool EvdevInterceptionDriver::start(int* error) {
    if (started_) {
        return true;
    }
    if (::access(options_.folder.constData(), R_OK | X_OK) != 0) {
        *error = errno;
        return false;
    }
    // Strokes of grabbed devices have nowhere to go without the pass-through device: no
    // capture at all then.
    const int uinputError = passThrough_.create(passThroughSetup());
    if (uinputError != 0) {
        *error = uinputError;
        return false;
    }
    inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0 || wakeFd_ < 0 ||
        inotify_add_watch(inotifyFd_, options_.folder.constData(), IN_CREATE | IN_ATTRIB | IN_MOVED_TO) < 0) {
        *error = errno;
        stop();
        return false;
    }
    started_ = true;
    return true;
}

void EvdevInterceptionDriver::stop() {
    for (int device = 1; device <= kInterceptionDeviceCount; ++device) {
        unbind(device, nullptr);
        slots_[device - 1].open = false;
    }
    records_.clear();
    passThrough_.destroy();
    if (inotifyFd_ >= 0) {
        ::close(inotifyFd_);
        inotifyFd_ = -1;
    }
    started_ = false;
}

bool EvdevInterceptionDriver::openDevice(int device, int* error) {
    if (device < 1 || device > kInterceptionDeviceCount) {
        *error = ENODEV;
        return false;
    }
    if (!start(error)) {
        return false;
    }
    slots_[device - 1].open = true;
    if (device == kInterceptionDeviceCount) {
        scanFolder();  // every device object is open: bind what is plugged in
    }
    return true;
}

void EvdevInterceptionDriver::closeDevice(int device) {
    if (device < 1 || device > kInterceptionDeviceCount) {
        return;
    }
    unbind(device, nullptr);
    slots_[device - 1].open = false;
    for (const Slot& slot : slots_) {
        if (slot.open) {
            return;
        }
    }
    stop();
}

bool EvdevInterceptionDriver::bound(int device) const {
    return device >= 1 && device <= kInterceptionDeviceCount && slots_[device - 1].node;
}

void EvdevInterceptionDriver::scanFolder() {
    const QStringList names =
        QDir(QString::fromLocal8Bit(options_.folder)).entryList({QStringLiteral("event*")}, QDir::System);
    for (const QString& name : names) {
        examine(options_.folder + '/' + name.toLocal8Bit());
    }
}

void EvdevInterceptionDriver::examine(const QByteArray& path) {
    for (const Slot& slot : slots_) {
        if (slot.node && slot.node->path == path) {
            return;
        }
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;  // not (yet) ours to read; a permission change brings it back here
    }
    char name[256] = {};
    unsigned char keys[KEY_MAX / 8 + 1] = {};
    unsigned char rel[REL_MAX / 8 + 1] = {};
    input_id id{};
    ioctl(fd, EVIOCGNAME(sizeof name - 1), name);
    ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys);
    ioctl(fd, EVIOCGBIT(EV_REL, sizeof rel), rel);
    ioctl(fd, EVIOCGID, &id);
    const QByteArray deviceName(name);
    const bool mouse = testBit(rel, REL_X) && testBit(rel, REL_Y) && testBit(keys, BTN_LEFT);
    const bool keyboard = testBit(keys, KEY_A) && testBit(keys, KEY_Z) && testBit(keys, KEY_SPACE);
    const bool excluded =
        deviceName.contains("kestrafonvd") ||
        (!options_.onlyNamesContaining.isEmpty() && !deviceName.contains(options_.onlyNamesContaining));
    int free = 0;
    if (!excluded && mouse != keyboard) {
        const int first = keyboard ? 1 : kInterceptionKeyboards + 1;
        for (int device = first; device < first + kInterceptionKeyboards; ++device) {
            if (slots_[device - 1].open && !slots_[device - 1].node) {
                free = device;
                break;
            }
        }
    }
    if (free == 0) {
        ::close(fd);
        return;
    }
    auto node = std::make_unique<Node>();
    node->fd = fd;
    node->path = path;
    node->name = deviceName;
    node->keyboard = keyboard;
    node->hardwareId = utf16(QStringLiteral("HID\\VID_%1&PID_%2&REV_%3\\%4")
                                 .arg(id.vendor, 4, 16, QLatin1Char('0'))
                                 .arg(id.product, 4, 16, QLatin1Char('0'))
                                 .arg(id.version, 4, 16, QLatin1Char('0'))
                                 .arg(QString::fromUtf8(deviceName))
                                 .toUpper());
    Slot& slot = slots_[free - 1];
    slot.node = std::move(node);
    slot.filter = kindFilter_[keyboard ? 0 : 1];
    qInfo().noquote() << QStringLiteral("input capture: %1 \"%2\" is device %3")
                             .arg(keyboard ? QStringLiteral("keyboard") : QStringLiteral("mouse"),
                                  QString::fromUtf8(deviceName))
                             .arg(free);
    if (slot.filter != 0) {
        tryGrab(free);
    }
}

void EvdevInterceptionDriver::unbind(int device, const char* why) {
    Slot& slot = slots_[device - 1];
    if (!slot.node) {
        return;
    }
    if (why) {
        qInfo().noquote() << QStringLiteral("input capture: \"%1\" (device %2) %3")
                                 .arg(QString::fromUtf8(slot.node->name))
                                 .arg(device)
                                 .arg(QLatin1String(why));
    }
    releaseGrab(device);
    ::close(slot.node->fd);
    slot.node.reset();
}

bool EvdevInterceptionDriver::setFilter(int device, quint16 mask) {
    if (device < 1 || device > kInterceptionDeviceCount || !slots_[device - 1].open) {
        return false;
    }
    kindFilter_[isKeyboardDevice(device) ? 0 : 1] = mask;
    Slot& slot = slots_[device - 1];
    slot.filter = mask;
    if (!slot.node) {
        return true;
    }
    if (mask == 0) {
        releaseGrab(device);
    } else {
        slot.node->grabRefused = false;
        tryGrab(device);
    }
    return true;
}

void EvdevInterceptionDriver::tryGrab(int device) {
    Node& node = *slots_[device - 1].node;
    if (node.grabbed || node.grabRefused) {
        return;
    }
    unsigned char held[KEY_MAX / 8 + 1] = {};
    if (ioctl(node.fd, EVIOCGKEY(sizeof held), held) < 0) {
        if (errno == ENODEV) {
            unbind(device, "was removed");
        }
        return;
    }
    for (unsigned char byte : held) {
        if (byte != 0) {
            return;  // something is held: grabbing now would leave it pressed for the desktop
        }
    }
    // What the device said before the grab has already reached the desktop.
    input_event stale[64];
    while (::read(node.fd, stale, sizeof stale) > 0) {
    }
    if (ioctl(node.fd, EVIOCGRAB, 1) != 0) {
        node.grabRefused = true;
        qWarning().noquote()
            << QStringLiteral("input capture: \"%1\" cannot be grabbed (%2); its strokes are not captured")
                   .arg(QString::fromUtf8(node.name), QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    node.grabbed = true;
    node.down.reset();
    // A crash lets go of it before anything else.
    kf::crash::publishGrab(node.fd);
}

void EvdevInterceptionDriver::releaseGrab(int device) {
    Slot& slot = slots_[device - 1];
    // Strokes already read still go to the desktop, then whatever the pass-through holds for
    // this device is let go.
    for (auto it = records_.begin(); it != records_.end();) {
        if (it->first == device) {
            inject(device, reinterpret_cast<const quint8*>(it->second.constData()));
            it = records_.erase(it);
        } else {
            ++it;
        }
    }
    for (int code = 0; code < kKeyCount; ++code) {
        if (slot.injectedDown.test(size_t(code))) {
            passThrough_.add(EV_KEY, code, 0);
        }
    }
    slot.injectedDown.reset();
    passThrough_.send();
    if (slot.node && slot.node->grabbed) {
        kf::crash::withdrawGrab(slot.node->fd);
        ioctl(slot.node->fd, EVIOCGRAB, 0);
        slot.node->grabbed = false;
    }
}

int EvdevInterceptionDriver::wait() {
    if (!started_) {
        if (failure_.isEmpty()) {
            failure_ = QStringLiteral("the input devices are not open");
        }
        return 0;
    }
    for (;;) {
        if (!records_.empty()) {
            return records_.front().first;
        }
        pollfd fds[2 + kInterceptionDeviceCount];
        int devices[kInterceptionDeviceCount];
        int count = 0;
        fds[count++] = {wakeFd_, POLLIN, 0};
        fds[count++] = {inotifyFd_, POLLIN, 0};
        bool grabPending = false;
        for (int device = 1; device <= kInterceptionDeviceCount; ++device) {
            const Slot& slot = slots_[device - 1];
            if (!slot.node) {
                continue;
            }
            // Devices that are not grabbed are not read; their removal still shows as an error.
            devices[count - 2] = device;
            fds[count++] = {slot.node->fd, short(slot.node->grabbed ? POLLIN : 0), 0};
            grabPending = grabPending || (slot.filter != 0 && !slot.node->grabbed && !slot.node->grabRefused);
        }
        const int ready = ::poll(fds, nfds_t(count), grabPending ? kGrabRetryMs : -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            failure_ =
                QStringLiteral("waiting for input failed (%1)").arg(QString::fromLocal8Bit(strerror(errno)));
            return 0;
        }
        if (fds[0].revents) {
            quint64 value = 0;
            while (::read(wakeFd_, &value, sizeof value) > 0) {
            }
            return 0;
        }
        if (fds[1].revents) {
            alignas(inotify_event) char buffer[4096];
            ssize_t n;
            while ((n = ::read(inotifyFd_, buffer, sizeof buffer)) > 0) {
                for (ssize_t at = 0; at < n;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    if (event->len > 0 && std::strncmp(event->name, "event", 5) == 0) {
                        examine(options_.folder + '/' + QByteArray(event->name));
                    }
                    at += ssize_t(sizeof(inotify_event) + event->len);
                }
            }
        }
        for (int i = 2; i < count; ++i) {
            const int device = devices[i - 2];
            if (fds[i].revents == 0 || !bound(device)) {
                continue;
            }
            if (slots_[device - 1].node->grabbed) {
                readNode(device);
            } else {
                unbind(device, "was removed");
            }
        }
        for (int device = 1; device <= kInterceptionDeviceCount; ++device) {
            if (slots_[device - 1].node && slots_[device - 1].filter != 0) {
                tryGrab(device);
            }
        }
    }
}

void EvdevInterceptionDriver::wake() {
    const quint64 one = 1;
    if (wakeFd_ >= 0) {
        (void)!::write(wakeFd_, &one, sizeof one);
    }
}

int EvdevInterceptionDriver::hardwareId(int device, quint8* out, int size) {
    if (!bound(device) || size <= 0) {
        return 0;
    }
    const QByteArray& id = slots_[device - 1].node->hardwareId;
    const int n = qMin(size, id.size());
    std::memcpy(out, id.constData(), size_t(n));
    return n;
}

QString EvdevInterceptionDriver::failure() const {
    return failure_;
}

QByteArray EvdevInterceptionDriver::boundName(int device) const {
    return bound(device) ? slots_[device - 1].node->name : QByteArray();
}

bool EvdevInterceptionDriver::isGrabbed(int device) const {
    return bound(device) && slots_[device - 1].node->grabbed;
}

std::unique_ptr<InterceptionDriver> createInterceptionDriver() {
    EvdevInterceptionDriver::Options options;
    const QByteArray folder = qgetenv("KESTRAFON_INPUT_FOLDER");
    if (!folder.isEmpty()) {
        options.folder = folder;
    }
    return std::make_unique<EvdevInterceptionDriver>(options);
}

}  // namespace kf::platform
