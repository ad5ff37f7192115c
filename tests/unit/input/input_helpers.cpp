#include "input_helpers.h"

#include <QThread>

#include "encoding/key_code_map.h"
#include "support/qt_wait.h"

namespace kftest {

using namespace kf::platform;

QByteArray kb(quint8 modifiers, quint8 key) {
    const quint8 keys[6] = {key};
    return pvmulti_client::keyboardReport(modifiers, keys);
}

QByteArray ms(quint8 buttons, qint8 dx, qint8 dy, qint8 wheel) {
    return pvmulti_client::mouseReport(buttons, dx, dy, wheel);
}

QString keyMap(const QString& keys) {
    return QStringLiteral("<map>%1</map>").arg(keys);
}

QString keyEntry(int scancode, int flag, const QString& type, int playType, const QString& command,
                 int playCount, int playDelay) {
    return QStringLiteral(
               R"(<key scancode="%1" flag="%2" type="%3" playtype="%4" playcount="%5" playdelay="%6">)"
               R"(<command value="%7"/></key>)")
        .arg(scancode)
        .arg(flag)
        .arg(type)
        .arg(playType)
        .arg(playCount)
        .arg(playDelay)
        .arg(command.toHtmlEscaped());
}

InputHarness::InputHarness(bool startCapture) {
    kf::encoding::loadKeyCodeMap();
    layer = std::make_unique<kf::input::InputLayer>(backends());
    if (startCapture) {
        layer->open();
        start();
    }
}

InputHarness::~InputHarness() {
    layer.reset();
}

kf::input::InputBackends InputHarness::backends() {
    kf::input::InputBackends b;
    b.driver = [this] {
        auto memory = std::make_unique<MemoryInterceptionDriver>();
        memory->setHardwareId(1, QStringLiteral("HID\\VID_258A&PID_001A&REV_0100\\KEYBOARD"));
        memory->setHardwareId(2, QStringLiteral("HID\\VID_001F&PID_BA1C&REV_0001\\Kestrafon kestrafonvd"));
        memory->setHardwareId(11, QStringLiteral("HID\\VID_258A&PID_1007&REV_0100\\MOUSE"));
        driver = memory.get();
        return std::unique_ptr<InterceptionDriver>(std::move(memory));
    };
    b.transports = [this] {
        pvmulti_client::TransportList list;
        auto memory = std::make_unique<MemoryHidTransport>();
        transport = memory.get();
        list.push_back(std::move(memory));
        return list;
    };
    b.pointerHook = std::make_unique<MemoryPointerButtonHook>();
    auto memorySession = std::make_unique<MemorySessionActivity>();
    session = memorySession.get();
    b.session = std::move(memorySession);
    return b;
}

void InputHarness::start() {
    layer->startCapture(&layer->player());
    // The loop has opened the devices once it waits.
    waitFor([this] { return driver->openDevices() == kInterceptionDeviceCount; });
    driver->waitUntilIdle();
}

bool InputHarness::refresh(const QString& map) {
    const bool ok = layer->capture()->refreshVirtualMap(map);
    const quint16 wanted = layer->capture()->triggerMap().isEmpty() ? 0 : 0xFFFF;
    waitFor([&] { return driver->filter(1) == wanted && driver->filter(11) == wanted; });
    driver->waitUntilIdle();
    return ok;
}

bool InputHarness::idle(int timeoutMs) {
    // With every device closed the capture loop waits elsewhere: only the player counts.
    if (driver->openDevices() > 0 && !driver->waitUntilIdle(timeoutMs)) {
        return false;
    }
    return waitFor(
        [this] {
            const commandExec* executor = layer->player().executor();
            return !executor || !executor->isPlaying();
        },
        timeoutMs);
}

void InputHarness::feed(quint16 code, bool up, int device) {
    driver->feed(device, KeyboardInputRecord{0, code, quint16(up ? kKeyUp : 0), 0, 0});
    if (driver->openDevices() > 0) {
        driver->waitUntilIdle();
    }
}

void InputHarness::key(quint16 code, bool up, quint16 prefix, int device) {
    KeyboardInputRecord record;
    record.makeCode = code;
    record.flags = quint16(prefix | (up ? kKeyUp : 0));
    driver->feed(device, record);
    idle();
}

void InputHarness::mouse(quint16 flags, int device) {
    MouseInputRecord record;
    record.buttonFlags = flags;
    driver->feed(device, record);
    idle();
}

QList<QByteArray> InputHarness::reports() const {
    return transport ? transport->reports() : QList<QByteArray>();
}

int InputHarness::passed() const {
    return driver->desktop().size();
}

}  // namespace kftest
