#include "input/device_filter.h"

#include <QMutexLocker>
#include <QRegularExpression>
#include <QThread>
#include <QtDebug>

#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "input/virtual_key_map.h"

using namespace kf::input;
using namespace kf::platform;

namespace {

constexpr int kHardwareIdBytes = 1000;
// The capture thread runs at this niceness when the user may raise it; otherwise at the
// process's own.
constexpr int kCaptureNiceness = -10;

bool isMouseDown(quint16 flags) {
    return flags == kRightDown || flags == kMiddleDown || flags == kButton4Down || flags == kButton5Down;
}
bool isMouseUp(quint16 flags) {
    return flags == kRightUp || flags == kMiddleUp || flags == kButton4Up || flags == kButton5Up;
}
bool isRelease(int device, const InterceptionStroke& stroke) {
    if (isKeyboard(device)) {
        return stroke.key.state & kKeyUp;
    }
    return stroke.mouse.state & (kLeftUp | kRightUp | kMiddleUp | kButton4Up | kButton5Up);
}

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

DEVICE_FILTER::DEVICE_FILTER(std::unique_ptr<InterceptionDriver> driver, TriggerTarget* target,
                             QObject* parent)
    : QObject(parent), driver_(std::move(driver)), target_(target) {}

DEVICE_FILTER::~DEVICE_FILTER() = default;

bool DEVICE_FILTER::refreshVirtualMap(const QString& virtualStr) {
    TriggerMap map;
    const bool ok = parseVirtualKeyMap(virtualStr, &map);
    const bool empty = map.isEmpty();
    {
        QMutexLocker lock(&mapMutex_);
        map_ = std::move(map);
    }
    // The devices are grabbed only while there is something to trigger.
    const quint16 filter = empty ? 0 : 0xFFFF;
    if (wantedFilter_.exchange(filter) != filter) {
        if (InterceptionContext* context = context_.load()) {
            wakeWait(context);
        }
    }
    return ok;
}

TriggerMap DEVICE_FILTER::triggerMap() const {
    QMutexLocker lock(&mapMutex_);
    return map_;
}

void DEVICE_FILTER::setCaptureEnabled(bool enabled) {
    captureEnabled_ = enabled;
}

bool DEVICE_FILTER::captureEnabled() const {
    return captureEnabled_;
}

void DEVICE_FILTER::stopCapture() {
    stopRequested_ = true;
    if (InterceptionContext* context = context_.load()) {
        wakeWait(context);
    }
}

void DEVICE_FILTER::applyFilters(InterceptionContext* context) {
    const quint16 wanted = wantedFilter_.load();
    if (wanted == appliedFilter_) {
        return;
    }
    setFilter(context, isKeyboard, wanted);
    setFilter(context, isMouse, wanted);
    appliedFilter_ = wanted;
    if (wanted == 0) {
        active_.clear();
        qInfo().noquote() << "input capture: the software key map is empty, keyboards and mice are released";
    } else {
        qInfo().noquote() << "input capture: keyboards and mice are captured for the software key map";
    }
}

void DEVICE_FILTER::start() {
    // Every stroke of the machine passes this thread: it runs ahead of ordinary work when the
    // user may raise it, else at the process's own priority.
    (void)setpriority(PRIO_PROCESS, id_t(gettid()), kCaptureNiceness);
    int error = 0;
    InterceptionContext* context = createContext(*driver_, &error);
    if (!context) {
        const QString reason =
            QStringLiteral("the input devices cannot be opened (%1)").arg(errorText(error));
        qWarning().noquote() << QStringLiteral(
                                    "input capture: %1; software key maps will not work. See the README, "
                                    "\"Software key maps without root\".")
                                    .arg(reason);
        emit captureEnded(reason);
        return;
    }
    context_ = context;
    QString reason;
    while (pump(context, &reason)) {
    }
    if (reason.isEmpty()) {
        reason = QStringLiteral("the client is closing");
    }
    context_ = nullptr;
    setFilter(context, isKeyboard, 0);
    setFilter(context, isMouse, 0);
    destroyContext(context);
    active_.clear();
    qInfo().noquote()
        << QStringLiteral("input capture stopped: %1; keyboards and mice are released").arg(reason);
    emit captureEnded(reason);
}

bool DEVICE_FILTER::pump(InterceptionContext* context, QString* endReason) {
    if (stopRequested_) {
        *endReason = QStringLiteral("the client is closing");
        return false;
    }
    applyFilters(context);
    const int device = wait(context);
    if (stopRequested_) {
        *endReason = QStringLiteral("the client is closing");
        return false;
    }
    if (device == 0) {
        *endReason = driver_->failure();
        return endReason->isEmpty();  // else woken for a new key map
    }
    InterceptionStroke stroke;
    if (receive(context, device, &stroke, 1) == 0) {
        *endReason = QStringLiteral("the driver delivered nothing");
        return false;
    }
    alignas(char16_t) quint8 id[kHardwareIdBytes];
    const int idBytes = hardwareId(context, device, id, kHardwareIdBytes);
    const QString hardware = QString::fromRawData(reinterpret_cast<const QChar*>(id), idBytes / 2);
    if (decide(device, stroke, hardware)) {
        send(context, device, &stroke, 1);
    }
    return true;
}

bool DEVICE_FILTER::decide(int device, const InterceptionStroke& stroke, const QString& hardwareId) {
    static const QRegularExpression ownDevice(QStringLiteral("kestrafonvd"));
    if (!isKeyboard(device) && !isMouse(device)) {
        return true;
    }
    if (ownDevice.match(hardwareId).hasMatch()) {
        return true;
    }
    TriggerMap map;
    {
        QMutexLocker lock(&mapMutex_);
        map = map_;
    }
    // While a list starts, new input is held back. Releases still go on, or a key let go
    // meanwhile would stay pressed; trigger keys still count, or a loop whose list starts with
    // a delay could never be stopped by its own key.
    const bool passes = captureEnabled_ || isRelease(device, stroke);
    if (isKeyboard(device)) {
        const TriggerKey key = triggerKey(stroke.key.code, (stroke.key.state & kKeyE0) ? 1 : 0);
        const auto found = map.constFind(key);
        if (found == map.constEnd()) {
            return passes;
        }
        handleTrigger(key, *found, !(stroke.key.state & kKeyUp));
        return false;
    }
    const quint16 flags = stroke.mouse.state;
    TriggerKey key = triggerKey(flags, kMouseTriggerFlag);
    auto found = map.constFind(key);
    if (found == map.constEnd()) {
        key = triggerKey(quint16(flags >> 1), kMouseTriggerFlag);
        found = map.constFind(key);
    }
    // The left button is never a trigger: left clicks always reach the desktop.
    if (found == map.constEnd() || triggerCode(key) == kLeftDown ||
        !(isMouseDown(flags) || isMouseUp(flags))) {
        return passes;
    }
    handleTrigger(key, *found, isMouseDown(flags));
    return false;
}

void DEVICE_FILTER::handleTrigger(TriggerKey key, const TriggerEntry& entry, bool press) {
    const bool active = active_.contains(key);
    const int type = entry.playType;
    if (press) {
        if (type == 4 && active) {
            target_->stopPlayer();
            active_.remove(key);
            return;
        }
        if (!active && (type == 1 || type == 3 || type == 4)) {
            target_->trigger(entry, 0);
        }
        active_.insert(key);
        return;
    }
    if ((type == 1 || type == 2) && active) {
        target_->trigger(entry, 1);
        active_.remove(key);
    } else if (type == 3 && active) {
        target_->stopPlayer();
        active_.remove(key);
    }
}
