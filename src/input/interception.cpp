#include "input/interception.h"

#include <array>

namespace kf::input {

using namespace kf::platform;

struct InterceptionContext {
    InterceptionDriver* driver = nullptr;
    std::array<bool, kInterceptionDeviceCount> open{};
};

bool isKeyboard(int device) {
    return isKeyboardDevice(device);
}

bool isMouse(int device) {
    return isMouseDevice(device);
}

InterceptionContext* createContext(InterceptionDriver& driver, int* error) {
    auto* context = new InterceptionContext;
    context->driver = &driver;
    for (int device = 1; device <= kInterceptionDeviceCount; ++device) {
        int code = 0;
        if (!driver.openDevice(device, &code)) {
            if (error) {
                *error = code;
            }
            destroyContext(context);
            return nullptr;
        }
        context->open[device - 1] = true;
    }
    return context;
}

void destroyContext(InterceptionContext* context) {
    if (!context) {
        return;
    }
    for (int device = 1; device <= kInterceptionDeviceCount; ++device) {
        if (context->open[device - 1]) {
            context->driver->closeDevice(device);
        }
    }
    delete context;
}

void setFilter(InterceptionContext* context, InterceptionPredicate predicate, quint16 mask) {
    for (int device = 1; device <= kInterceptionDeviceCount; ++device) {
        if (predicate(device)) {
            context->driver->setFilter(device, mask);
        }
    }
}

int wait(InterceptionContext* context) {
    return context->driver->wait();
}

void wakeWait(InterceptionContext* context) {
    context->driver->wake();
}

KeyboardInputRecord toRecord(const InterceptionKeyStroke& stroke) {
    KeyboardInputRecord record;
    record.makeCode = stroke.code;
    record.flags = stroke.state;
    record.extraInformation = stroke.information;
    return record;
}

MouseInputRecord toRecord(const InterceptionMouseStroke& stroke) {
    MouseInputRecord record;
    record.flags = stroke.flags;
    record.buttonFlags = stroke.state;
    record.buttonData = quint16(stroke.rolling);
    record.lastX = stroke.x;
    record.lastY = stroke.y;
    record.extraInformation = stroke.information;
    return record;
}

InterceptionKeyStroke toKeyStroke(const KeyboardInputRecord& record) {
    return {record.makeCode, record.flags, record.extraInformation};
}

InterceptionMouseStroke toMouseStroke(const MouseInputRecord& record) {
    InterceptionMouseStroke stroke;
    stroke.state = record.buttonFlags;
    stroke.flags = record.flags;
    stroke.rolling = qint16(record.buttonData);
    stroke.x = record.lastX;
    stroke.y = record.lastY;
    stroke.information = record.extraInformation;
    return stroke;
}

int receive(InterceptionContext* context, int device, InterceptionStroke* strokes, int n) {
    const int size = recordSizeFor(device);
    if (!context || size == 0 || n <= 0) {
        return 0;
    }
    int received = 0;
    quint8 record[kMouseRecordSize];
    while (received < n && context->driver->read(device, record, size) == size) {
        if (isKeyboardDevice(device)) {
            strokes[received].key = toKeyStroke(readKeyboardRecord(record));
        } else {
            strokes[received].mouse = toMouseStroke(readMouseRecord(record));
        }
        ++received;
    }
    return received;
}

int send(InterceptionContext* context, int device, const InterceptionStroke* strokes, int n) {
    const int size = recordSizeFor(device);
    if (!context || size == 0 || n <= 0) {
        return 0;
    }
    int sent = 0;
    quint8 record[kMouseRecordSize];
    for (; sent < n; ++sent) {
        if (isKeyboardDevice(device)) {
            writeRecord(toRecord(strokes[sent].key), record);
        } else {
            writeRecord(toRecord(strokes[sent].mouse), record);
        }
        if (context->driver->write(device, record, size) != size) {
            break;
        }
    }
    return sent;
}

int hardwareId(InterceptionContext* context, int device, void* buffer, int size) {
    if (!context || device < 1 || device > kInterceptionDeviceCount) {
        return 0;
    }
    return context->driver->hardwareId(device, static_cast<quint8*>(buffer), size);
}

}  // namespace kf::input
