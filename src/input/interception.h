#pragma once
// The interception client API the capture loop uses: a context over the twenty device objects
// of an interception driver, per-device filters, waiting for the next stroke, receiving and
// sending strokes, and a device's hardware identifier. Strokes are the client's form of the
// driver records (platform/input/interception_records.h); the conversions keep every field.
#include <QtGlobal>

#include "platform/input/interception_driver.h"
#include "platform/input/interception_records.h"

namespace kf::input {

struct InterceptionKeyStroke {
    quint16 code = 0;   // scan code
    quint16 state = 0;  // kKeyUp, kKeyE0, kKeyE1
    quint32 information = 0;
};

struct InterceptionMouseStroke {
    quint16 state = 0;   // button transition flags, kWheel, kHorizontalWheel
    quint16 flags = 0;   // 0 relative motion, 1 absolute
    qint16 rolling = 0;  // wheel delta
    qint32 x = 0;
    qint32 y = 0;
    quint32 information = 0;
};

union InterceptionStroke {
    InterceptionKeyStroke key;
    InterceptionMouseStroke mouse;
    InterceptionStroke() : mouse() {}
};

// The twenty device objects of one driver; made by createContext.
struct InterceptionContext;

using InterceptionPredicate = bool (*)(int device);
bool isKeyboard(int device);
bool isMouse(int device);

// Opens every device object. Null when any of them cannot be opened; everything opened so far
// is closed again and `error` (when given) gets the system's error code.
InterceptionContext* createContext(platform::InterceptionDriver& driver, int* error = nullptr);
void destroyContext(InterceptionContext* context);
// Sets `mask` on every device for which `predicate` holds.
void setFilter(InterceptionContext* context, InterceptionPredicate predicate, quint16 mask);
// The number of the device whose stroke waits (1–20), or 0 when woken or the driver failed.
int wait(InterceptionContext* context);
// Makes a waiting wait() return 0; any thread.
void wakeWait(InterceptionContext* context);
// Up to `n` strokes of `device`; the number received (0 for a bad device number or n = 0).
int receive(InterceptionContext* context, int device, InterceptionStroke* strokes, int n);
// The number of strokes sent on.
int send(InterceptionContext* context, int device, const InterceptionStroke* strokes, int n);
// The device's hardware identifier (UTF-16) in `buffer`; the bytes returned.
int hardwareId(InterceptionContext* context, int device, void* buffer, int size);

platform::KeyboardInputRecord toRecord(const InterceptionKeyStroke& stroke);
platform::MouseInputRecord toRecord(const InterceptionMouseStroke& stroke);
InterceptionKeyStroke toKeyStroke(const platform::KeyboardInputRecord& record);
InterceptionMouseStroke toMouseStroke(const platform::MouseInputRecord& record);

}  // namespace kf::input
