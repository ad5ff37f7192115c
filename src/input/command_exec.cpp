#include "input/command_exec.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QThread>
#include <QTime>
#include <QtDebug>

#include <random>

#include "input/shortcut_programs.h"

using kf::input::MacroAction;
using kf::input::TriggerEntry;

namespace {

const quint8 kNoKeys[6] = {};

bool isInputAction(const TriggerEntry& entry) {
    if (entry.actions.isEmpty()) {
        return false;
    }
    const QString& name = entry.actions.first().name;
    return name == QLatin1String("mouse") || name == QLatin1String("keyboard");
}

uint hex(const QString& text) {
    return text.trimmed().toUInt(nullptr, 16);
}

// Modifier usages 0xE0 + i are the modifier bit 1 << i; anything else is no modifier.
quint8 modifierBit(uint usage) {
    return usage >= 0xE0 && usage <= 0xE7 ? quint8(1u << (usage - 0xE0)) : 0;
}

// "x,y": split at the first ",", both parts trimmed, decimal.
bool readPoint(const QString& text, int* x, int* y) {
    const int comma = text.indexOf(QLatin1Char(','));
    bool okX = false, okY = false;
    *x = text.left(comma).trimmed().toInt(&okX);
    *y = comma < 0 ? 0 : text.mid(comma + 1).trimmed().toInt(&okY);
    return okX && okY;
}

qint8 signedByte(int value) {
    return qint8(quint8(value & 0xFF));
}

// The longest relative move, in pointer units per axis.
constexpr int kLongestMove = 32767;

}  // namespace

commandExec::commandExec(const TriggerEntry& entry, int keyState, std::shared_ptr<pvmulti_client> client,
                         Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)), client_(client) {
    latest_ = {entry, keyState, std::move(client)};
}

commandExec::~commandExec() = default;

int commandExec::jittered(int ms) {
    thread_local std::mt19937 generator(uint(QTime::currentTime().msecsSinceStartOfDay()));
    const int amount = int(generator() % 4);
    const bool down = generator() & 1;
    return qMax(0, down ? ms - amount : ms + amount);
}

std::shared_ptr<pvmulti_client> commandExec::client() const {
    QMutexLocker lock(&mutex_);
    return client_;
}

void commandExec::request(const TriggerEntry& entry, int keyState, std::shared_ptr<pvmulti_client> client) {
    if (entry.playType == 1 && keyState == 1 && !isInputAction(entry)) {
        return;
    }
    QMutexLocker lock(&mutex_);
    client_ = client;
    latest_ = {entry, keyState, std::move(client)};
    ++requested_;
    wake_.wakeAll();
}

void commandExec::stopOutputNow() {
    std::shared_ptr<pvmulti_client> device;
    {
        QMutexLocker lock(&mutex_);
        stopped_ = requested_;
        device = client_;
        wake_.wakeAll();
    }
    releaseEverything(device.get());
    qInfo().noquote() << "stopOutputNow===========================";
}

void commandExec::releaseEverything(pvmulti_client* device) {
    if (device) {
        device->sendKeyboard(0, kNoKeys);
        device->sendMouse(0, 0, 0, 0);
    }
}

void commandExec::quit() {
    QMutexLocker lock(&mutex_);
    quit_ = true;
    wake_.wakeAll();
}

void commandExec::onStopOutput(bool stop) {
    if (!stop) {
        return;
    }
    QMutexLocker lock(&mutex_);
    stopped_ = requested_;
    wake_.wakeAll();
}

bool commandExec::isPlaying() const {
    QMutexLocker lock(&mutex_);
    return busy_ || taken_ != requested_;
}

bool commandExec::releaseKeysAfter(quint64 task) {
    // Under the lock, so no newer request is published between the check and the report.
    QMutexLocker lock(&mutex_);
    if (task != requested_ || busy_ || !client_) {
        return false;
    }
    return client_->sendKeyboard(0, kNoKeys);
}

bool commandExec::stopRequestedLocked() const {
    return quit_ || stopped_ >= taken_ || requested_ != taken_;
}

bool commandExec::stopRequested() const {
    QMutexLocker lock(&mutex_);
    return stopRequestedLocked();
}

void commandExec::start() {
    qInfo().noquote() << "start PASS.....";
    bool first = true;
    for (;;) {
        quint64 task = 0;
        {
            QMutexLocker lock(&mutex_);
            while (!quit_ && taken_ == requested_) {
                wake_.wait(&mutex_);
            }
            if (quit_) {
                return;
            }
            task = taken_ = requested_;
            playing_ = latest_;
            busy_ = true;
        }
        if (!first) {
            qInfo().noquote() << "WAIT PASS.....";
        }
        first = false;
        const Outcome outcome = play();
        if (outcome == Outcome::Stopped) {
            // A stop or a newer request ended the play: nothing it pressed stays down.
            releaseEverything(client().get());
            qInfo().noquote() << "stopOutputNow===========================";
        }
        bool superseded = false;
        {
            QMutexLocker lock(&mutex_);
            busy_ = false;
            superseded = requested_ != task;
        }
        // A pressed click waits for its release half; releasing everything now would cut it.
        if (outcome != Outcome::ReleaseFollows && !superseded) {
            emit taskFinished(playing_.client.get(), task);
        }
    }
}

commandExec::Outcome commandExec::play() {
    const TriggerEntry& entry = playing_.entry;
    if (entry.actions.isEmpty()) {
        return Outcome::Done;
    }
    switch (entry.playType) {
        case 1:
            if (playing_.keyState == 1) {
                if (isInputAction(entry)) {
                    executeCommand();
                }
                return Outcome::Done;
            }
            if (!repeat(entry.playCount)) {
                return Outcome::Stopped;
            }
            return isInputAction(entry) ? Outcome::ReleaseFollows : Outcome::Done;
        case 2:
            return repeat(entry.playCount) ? Outcome::Done : Outcome::Stopped;
        case 3:
        case 4:
            while (!stopRequested()) {
                executeCommand();
                pause(entry.playDelay);
            }
            return Outcome::Stopped;
        default:
            return Outcome::Done;
    }
}

bool commandExec::repeat(int times) {
    for (int i = 0; i < times; ++i) {
        if (stopRequested()) {
            return false;
        }
        if (!runList()) {
            return false;
        }
        pause(playing_.entry.playDelay);
    }
    return true;
}

void commandExec::executeCommand() {
    runList();
}

bool commandExec::runList() {
    firstReport_ = true;
    bool complete = true;
    for (const MacroAction& action : qAsConst(playing_.entry.actions)) {
        if (stopRequested()) {
            complete = false;
            break;
        }
        perform(action, client().get());
    }
    firstReport_ = false;
    return complete;
}

template <typename Write>
void commandExec::output(Write write) {
    // New physical input is held back only while the first report of a run is written, so a
    // list that starts with a delay drops nothing.
    const bool holdBack = firstReport_ && services_.setCaptureEnabled;
    firstReport_ = false;
    if (holdBack) {
        services_.setCaptureEnabled(false);
    }
    write();
    if (holdBack) {
        services_.setCaptureEnabled(true);
    }
}

void commandExec::pause(int ms) {
    if (ms <= 0) {
        return;
    }
    QDeadlineTimer deadline(ms);
    QMutexLocker lock(&mutex_);
    while (!stopRequestedLocked()) {
        if (!wake_.wait(&mutex_, deadline)) {
            return;
        }
    }
}

void commandExec::relativeMove(const QString& argument, pvmulti_client* device) {
    int x = 0, y = 0;
    if (!device || !readPoint(argument, &x, &y)) {
        return;
    }
    // A report moves at most a signed byte per axis: a longer move goes in steps of 127, the
    // last one the rest. Beyond any screen the move is cut, so a typo cannot flood the device.
    int dx = -qBound(-kLongestMove, x, kLongestMove);
    int dy = -qBound(-kLongestMove, y, kLongestMove);
    do {
        const int stepX = qBound(-127, dx, 127);
        const int stepY = qBound(-127, dy, 127);
        output([&] { device->sendMouse(0, qint8(stepX), qint8(stepY), 0); });
        dx -= stepX;
        dy -= stepY;
    } while (dx != 0 || dy != 0);
}

void commandExec::perform(const MacroAction& action, pvmulti_client* device) {
    const QString& name = action.name;
    const QString& argument = action.argument;
    if (name == QLatin1String("SwitchCustom")) {
        enabled_ = !enabled_;
        return;
    }
    if (name == QLatin1String("StopCustom")) {
        stopOutputNow();
        return;
    }
    if (!enabled_) {
        return;
    }
    if (name == QLatin1String("KeybroadDown")) {
        quint8 keys[6] = {};
        quint8 modifiers = 0;
        static const QStringList kModifierArguments = {QStringLiteral("E0"), QStringLiteral("E1"),
                                                       QStringLiteral("E2"), QStringLiteral("E3")};
        if (kModifierArguments.contains(argument)) {
            modifiers = modifierBit(hex(argument));
        } else {
            keys[0] = quint8(hex(argument));
        }
        if (device) {
            output([&] { device->sendKeyboard(modifiers, keys); });
        }
    } else if (name == QLatin1String("KeybroadUp")) {
        if (device) {
            output([&] { device->sendKeyboard(0, kNoKeys); });
        }
    } else if (name == QLatin1String("MouseDown") || name == QLatin1String("MouseUp")) {
        const quint8 buttons = name == QLatin1String("MouseDown") ? quint8(hex(argument)) : 0;
        if (device) {
            output([&] { device->sendMouse(buttons, 0, 0, 0); });
        }
    } else if (name == QLatin1String("WheelUp") || name == QLatin1String("WheelDown")) {
        if (device) {
            output([&] { device->sendMouse(0, 0, 0, signedByte(int(hex(argument)))); });
        }
    } else if (name == QLatin1String("AbsoluteXY")) {
        int x = 0, y = 0;
        if (device && readPoint(argument, &x, &y)) {
            device->moveCursorTo(x, y);
        }
    } else if (name == QLatin1String("RelativeXY")) {
        relativeMove(argument, device);
    } else if (name == QLatin1String("DelayTime")) {
        pause(jittered(argument.toInt()));
    } else if (name == QLatin1String("keyboard")) {
        chord(argument, device);
    } else if (name == QLatin1String("mouse")) {
        click(argument, device);
    } else if (name == QLatin1String("Shortcut")) {
        if (services_.shortcuts) {
            services_.shortcuts->run(argument);
        }
    } else if (name == QLatin1String("text")) {
        if (device) {
            device->typeText(argument);
        }
    }
}

void commandExec::chord(const QString& argument, pvmulti_client* device) {
    const int type = playing_.entry.playType;
    if (!device || type == 3) {
        return;
    }
    const QStringList codes = argument.split(QLatin1Char(','));
    if (codes.size() == 1) {
        const quint8 keys[6] = {quint8(hex(codes.first()))};
        if (type == 1 && playing_.keyState == 0) {
            output([&] { device->sendKeyboard(0, keys); });
        } else if (type == 1) {
            device->sendKeyboard(0, kNoKeys);
        } else if (type == 2 || type == 4) {
            output([&] { device->sendKeyboard(0, keys); });
            QThread::msleep(ulong(jittered(50)));
            device->sendKeyboard(0, kNoKeys);
        }
        return;
    }
    // A chord of a click entry is played on the press; its release has nothing more to type.
    if (type == 1 && playing_.keyState == 1) {
        return;
    }
    const quint8 modifiers = modifierBit(hex(codes.at(0)));
    const quint8 keys[6] = {quint8(hex(codes.at(1)))};
    output([&] { device->sendKeyboard(modifiers, keys); });
    QThread::msleep(ulong(jittered(10)));
    device->sendKeyboard(modifiers, kNoKeys);
    QThread::msleep(ulong(jittered(10)));
    device->sendKeyboard(0, kNoKeys);
}

void commandExec::click(const QString& argument, pvmulti_client* device) {
    const int type = playing_.entry.playType;
    if (!device) {
        return;
    }
    const auto button = quint8(hex(argument));
    if (type == 1) {
        output([&] { device->sendMouse(playing_.keyState == 0 ? button : 0, 0, 0, 0); });
    } else if (type == 2 || type == 4) {
        output([&] { device->sendMouse(button, 0, 0, 0); });
        QThread::msleep(50);
        device->sendMouse(0, 0, 0, 0);
    }
}
