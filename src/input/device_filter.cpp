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
// Opening the devices again after a switch back to this session is tried this often, this far apart.
constexpr int kReopenRetries = 20;
constexpr unsigned long kReopenRetryMs = 500;

// The button of a mouse transition as its down flag (press or release), or 0 for motion, wheels
// and strokes that carry several transitions.
quint16 buttonOf(quint16 flags, bool* press) {
    switch (flags) {
        case kLeftDown:
        case kRightDown:
        case kMiddleDown:
        case kButton4Down:
        case kButton5Down:
            *press = true;
            return flags;
        case kLeftUp:
        case kRightUp:
        case kMiddleUp:
        case kButton4Up:
        case kButton5Up:
            *press = false;
            return quint16(flags >> 1);
        default:
            return 0;
    }
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

const QString& closingReason() {
    static const QString text = QStringLiteral("the client is closing");
    return text;
}

const QString& inactiveReason() {
    static const QString text = QStringLiteral("the desktop session is not the active one");
    return text;
}

}  // namespace

DEVICE_FILTER::DEVICE_FILTER(std::unique_ptr<InterceptionDriver> driver, TriggerTarget* target,
                             QObject* parent)
    : QObject(parent), driver_(std::move(driver)), target_(target) {}

DEVICE_FILTER::~DEVICE_FILTER() = default;

bool DEVICE_FILTER::refreshVirtualMap(const QString& virtualStr) {
    TriggerMap map;
    const bool ok = parseVirtualKeyMap(virtualStr, &map);
    const int count = map.size();
    const bool empty = count == 0;
    {
        QMutexLocker lock(&mapMutex_);
        map_ = std::move(map);
        ++mapGeneration_;
    }
    // The devices are grabbed only while there is something to trigger. The loop looks at the
    // new map at once: active triggers it drops are ended now, not at the next stroke.
    wantedFilter_ = empty ? 0 : 0xFFFF;
    wake();
    qInfo().noquote() << QStringLiteral("input capture: the software key map has %1 trigger(s)").arg(count);
    return ok;
}

QString DEVICE_FILTER::captureProblem() const {
    QMutexLocker lock(&mapMutex_);
    return problem_;
}

void DEVICE_FILTER::setProblem(const QString& problem) {
    QMutexLocker lock(&mapMutex_);
    problem_ = problem;
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

void DEVICE_FILTER::setSessionActive(bool active) {
    {
        QMutexLocker lock(&sessionMutex_);
        sessionActive_ = active;
        sessionChanged_.wakeAll();
    }
    wake();
}

void DEVICE_FILTER::stopCapture() {
    {
        QMutexLocker lock(&sessionMutex_);
        stopRequested_ = true;
        sessionChanged_.wakeAll();
    }
    wake();
}

void DEVICE_FILTER::wake() {
    // Straight to the driver, which outlives the loop: a context may be closing on the capture
    // thread at this very moment. A wake-up with no wait running ends the next wait early.
    driver_->wake();
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
        endAll();
        qInfo().noquote() << "input capture: the software key map is empty, keyboards and mice are released";
    } else {
        qInfo().noquote() << "input capture: keyboards and mice are captured for the software key map";
    }
}

TriggerMap DEVICE_FILTER::snapshot() {
    TriggerMap map;
    quint64 generation = 0;
    {
        QMutexLocker lock(&mapMutex_);
        map = map_;
        generation = mapGeneration_;
    }
    if (generation != seenGeneration_) {
        seenGeneration_ = generation;
        reconcile(map);
    }
    return map;
}

void DEVICE_FILTER::reconcile(const TriggerMap& map) {
    for (auto it = active_.begin(); it != active_.end();) {
        const auto found = map.constFind(it.key());
        if (found != map.constEnd() && *found == *it) {
            ++it;
            continue;
        }
        endTrigger(*it);
        it = active_.erase(it);
    }
}

void DEVICE_FILTER::endTrigger(const TriggerEntry& entry) {
    // What the key's release would have done: a click gets its release half, a loop its stop; a
    // press-and-release whose key is gone plays nothing.
    if (entry.playType == 1) {
        target_->trigger(entry, 1);
    } else if (entry.playType == 3 || entry.playType == 4) {
        target_->stopPlayer();
    }
}

void DEVICE_FILTER::endAll() {
    for (const TriggerEntry& entry : qAsConst(active_)) {
        endTrigger(entry);
    }
    active_.clear();
    passedDown_.clear();
    swallowedDown_.clear();
}

bool DEVICE_FILTER::waitForActiveSession() {
    QMutexLocker lock(&sessionMutex_);
    while (!sessionActive_ && !stopRequested_) {
        sessionChanged_.wait(&sessionMutex_);
    }
    return !stopRequested_;
}

void DEVICE_FILTER::start() {
    // Every stroke of the machine passes this thread: it runs ahead of ordinary work when the
    // user may raise it, else at the process's own priority.
    (void)setpriority(PRIO_PROCESS, id_t(gettid()), kCaptureNiceness);
    QString reason = closingReason();
    bool reopening = false;
    int retries = 0;
    while (waitForActiveSession()) {
        int error = 0;
        InterceptionContext* context = createContext(*driver_, &error);
        // Back from another session, the access to the devices may come back a moment after the
        // session is active: look again for a while before giving up.
        if (!context && reopening && retries++ < kReopenRetries) {
            QMutexLocker lock(&sessionMutex_);
            if (!stopRequested_) {
                sessionChanged_.wait(&sessionMutex_, kReopenRetryMs);
            }
            continue;
        }
        if (!context) {
            reason = QStringLiteral("the input devices cannot be opened (%1)").arg(errorText(error));
            qWarning().noquote() << QStringLiteral(
                                        "input capture: %1; software key maps will not work. See the README, "
                                        "\"Software key maps without root\".")
                                        .arg(reason);
            setProblem(reason);
            emit captureEnded(reason);
            return;
        }
        setProblem(QString());
        retries = 0;
        if (reopening) {
            qInfo().noquote()
                << "input capture: the desktop session is active again; keyboards and mice are open";
        }
        if (!capture(context, &reason)) {
            break;
        }
        reopening = true;
        qInfo().noquote() << QStringLiteral("input capture: %1; keyboards and mice are closed until it is")
                                 .arg(inactiveReason());
    }
    qInfo().noquote()
        << QStringLiteral("input capture stopped: %1; keyboards and mice are released").arg(reason);
    setProblem(QStringLiteral("input capture stopped: %1").arg(reason));
    emit captureEnded(reason);
}

bool DEVICE_FILTER::capture(InterceptionContext* context, QString* reason) {
    appliedFilter_ = 0;  // a fresh context captures nothing until the map is applied
    reason->clear();
    while (pump(context, reason)) {
    }
    setFilter(context, isKeyboard, 0);
    setFilter(context, isMouse, 0);
    // Held triggers are ended before the devices close, so once they are closed nothing is
    // left for the player to release.
    endAll();
    destroyContext(context);
    if (reason->isEmpty()) {
        *reason = closingReason();
    }
    return *reason == inactiveReason() && !stopRequested_;
}

bool DEVICE_FILTER::pump(InterceptionContext* context, QString* endReason) {
    if (stopRequested_) {
        *endReason = closingReason();
        return false;
    }
    if (!sessionActive_) {
        *endReason = inactiveReason();
        return false;
    }
    applyFilters(context);
    snapshot();
    const int device = wait(context);
    if (stopRequested_) {
        *endReason = closingReason();
        return false;
    }
    if (!sessionActive_) {
        *endReason = inactiveReason();
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
    const TriggerMap map = snapshot();
    // While a list starts, new input is held back. Releases still go on, or a key let go
    // meanwhile would stay pressed; trigger keys still count, or a loop could not be stopped by
    // its own key.
    const bool passes = captureEnabled_ || isRelease(device, stroke);
    TriggerKey key = 0;
    bool press = false;
    if (isKeyboard(device)) {
        key = triggerKey(stroke.key.code, (stroke.key.state & kKeyE0) ? 1 : 0);
        press = !(stroke.key.state & kKeyUp);
    } else {
        const quint16 button = buttonOf(stroke.mouse.state, &press);
        if (button == 0) {
            return passes;  // motion and wheels
        }
        key = triggerKey(button, kMouseTriggerFlag);
    }
    // The left button is never a trigger: left clicks always reach the desktop.
    const auto found = key == triggerKey(kLeftDown, kMouseTriggerFlag) ? map.constEnd() : map.constFind(key);
    const bool trigger = found != map.constEnd();
    if (press) {
        // A key whose press went on keeps going on (auto-repeat) until it is released.
        if (!trigger || passedDown_.contains(key)) {
            if (passes) {
                passedDown_.insert(key);
            }
            return passes;
        }
        swallowedDown_.insert(key);
        handlePress(key, *found);
        return false;
    }
    if (passedDown_.remove(key)) {
        return true;
    }
    if (swallowedDown_.remove(key) || trigger) {
        handleRelease(key);
        return false;
    }
    return passes;
}

void DEVICE_FILTER::handlePress(TriggerKey key, const TriggerEntry& entry) {
    const bool active = active_.contains(key);
    const int type = entry.playType;
    if (type == 4 && active) {
        target_->stopPlayer();
        active_.remove(key);
        return;
    }
    if (!active) {
        if (type == 1 || type == 3 || type == 4) {
            target_->trigger(entry, 0);
        }
        active_.insert(key, entry);
    }
}

void DEVICE_FILTER::handleRelease(TriggerKey key) {
    const auto found = active_.constFind(key);
    if (found == active_.constEnd()) {
        return;
    }
    // The entry the press played, whatever the map says now.
    const TriggerEntry entry = *found;
    if (entry.playType == 1 || entry.playType == 2) {
        active_.remove(key);
        target_->trigger(entry, 1);
    } else if (entry.playType == 3) {
        active_.remove(key);
        target_->stopPlayer();
    }
}
