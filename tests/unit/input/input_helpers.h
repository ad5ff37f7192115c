#pragma once
// The software-input subsystem on in-memory devices: an InputLayer whose capture loop reads a
// MemoryInterceptionDriver (keyboards 1 and 2, mouse 11; device 2 is the client's own
// "kestrafonvd" device) and whose virtual device writes into a MemoryHidTransport.
#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

#include "input/input_layer.h"
#include "platform/input/memory_hid_transport.h"
#include "platform/input/memory_interception_driver.h"
#include "platform/session/memory_session_activity.h"

namespace kftest {

QByteArray kb(quint8 modifiers, quint8 key = 0);
QByteArray ms(quint8 buttons, qint8 dx = 0, qint8 dy = 0, qint8 wheel = 0);

// <map> with one <key> per entry: `keys` is the text of the <key> elements.
QString keyMap(const QString& keys);
// One <key> element: trigger (scancode, flag), type, play type, count, delay and command.
QString keyEntry(int scancode, int flag, const QString& type, int playType, const QString& command,
                 int playCount = 1, int playDelay = 0);

class InputHarness {
public:
    // `startCapture` false leaves the capture loop to the caller (the Window tests).
    explicit InputHarness(bool startCapture = true);
    ~InputHarness();

    kf::input::InputBackends backends();
    void start();

    // Replaces the key map and waits until the devices' filters follow it.
    bool refresh(const QString& map);
    // Feeds one keyboard stroke and waits only until the capture loop has taken it.
    void feed(quint16 code, bool up, int device = 1);
    // Feeds one stroke and waits until the capture loop and the player are idle again.
    void key(quint16 code, bool up, quint16 prefix = 0, int device = 1);
    void mouse(quint16 flags, int device = 11);
    // Waits until nothing is being played.
    bool idle(int timeoutMs = 5000);
    QList<QByteArray> reports() const;
    // Strokes that reached the desktop (sent on or passed untouched).
    int passed() const;

    std::unique_ptr<kf::input::InputLayer> layer;
    kf::platform::MemoryInterceptionDriver* driver = nullptr;
    kf::platform::MemoryHidTransport* transport = nullptr;
    kf::platform::MemorySessionActivity* session = nullptr;
};

}  // namespace kftest
