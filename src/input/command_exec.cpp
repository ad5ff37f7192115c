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

}  // namespace

commandExec::commandExec(const TriggerEntry& entry, int keyState, std::shared_ptr<pvmulti_client> client,
                         Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)), client_(client) {
    current_ = {entry, keyState, std::move(client)};
}

commandExec::~commandExec() = default;

int commandExec::jittered(int ms) {
    thread_local std::mt19937 generator(uint(QTime::currentTime().msecsSinceStartOfDay()));
    const int amount = int(generator() % 4);
    const bool down = generator() & 1;
    return qMax(0, down ? ms - amount : ms + amount);
}

std::shared_ptr<pvmulti_client> commandExec::client() const {
    QMutexLocker lock(&clientMutex_);
    return client_;
}

void commandExec::request(const TriggerEntry& entry, int keyState, std::shared_ptr<pvmulti_client> client) {
    if (entry.playType == 1 && keyState == 1 && !isInputAction(entry)) {
        return;
    }
    QMutexLocker lock(&mutex_);
    {
        QMutexLocker clientLock(&clientMutex_);
        client_ = client;
    }
    current_ = {entry, keyState, std::move(client)};
    pending_ = true;
    if (!stop_) {
        stopOutputNow();  // a list is playing: let go of everything; the pending mark ends it
    }
    stop_ = false;
    wake_.wakeAll();
}

void commandExec::stopOutputNow() {
    stop_ = true;
    if (const std::shared_ptr<pvmulti_client> device = client()) {
        device->sendKeyboard(0, kNoKeys);
        device->sendMouse(0, 0, 0, 0);
    }
    qInfo().noquote() << "stopOutputNow===========================";
}

void commandExec::haltOutput() {
    // A newer request has already let go of everything when it stopped this play.
    if (!pending_) {
        stopOutputNow();
    }
}

void commandExec::quit() {
    quit_ = true;
    QMutexLocker lock(&mutex_);
    wake_.wakeAll();
}

void commandExec::onStopOutput(bool stop) {
    stop_ = stop;
    QMutexLocker lock(&mutex_);
    wake_.wakeAll();
}

void commandExec::start() {
    qInfo().noquote() << "start PASS.....";
    {
        QMutexLocker lock(&mutex_);
        playing_ = current_;
    }
    while (!quit_) {
        const bool releaseFollows = play();
        bool next = false;
        {
            QMutexLocker lock(&mutex_);
            if (pending_ && !quit_) {
                // A newer request stopped this play: it is played at once.
                pending_ = false;
                stop_ = false;
                playing_ = current_;
                next = true;
            } else {
                stop_ = true;
            }
        }
        if (next) {
            continue;
        }
        // A pressed click waits for its release half; releasing everything now would cut it.
        if (!releaseFollows) {
            emit taskFinished(playing_.client.get());
        }
        {
            QMutexLocker lock(&mutex_);
            while (!pending_ && !quit_) {
                wake_.wait(&mutex_);
            }
            pending_ = false;
            playing_ = current_;
        }
        if (!quit_) {
            qInfo().noquote() << "WAIT PASS.....";
        }
    }
}

bool commandExec::play() {
    const TriggerEntry& entry = playing_.entry;
    if (entry.actions.isEmpty()) {
        return false;
    }
    switch (entry.playType) {
        case 1:
            if (playing_.keyState == 1) {
                if (isInputAction(entry)) {
                    executeCommand();
                }
                return false;
            }
            repeat(entry.playCount);
            return isInputAction(entry) && !stopRequested();
        case 2:
            repeat(entry.playCount);
            return false;
        case 3:
        case 4:
            while (!stopRequested()) {
                executeCommand();
                pause(entry.playDelay);
            }
            return false;
        default:
            return false;
    }
}

void commandExec::repeat(int times) {
    for (int i = 0; i < times; ++i) {
        if (stopRequested()) {
            haltOutput();
            return;
        }
        executeCommand();
        pause(playing_.entry.playDelay);
    }
}

void commandExec::executeCommand() {
    auto capture = [this](bool on) {
        if (services_.setCaptureEnabled) {
            services_.setCaptureEnabled(on);
        }
    };
    capture(false);
    for (const MacroAction& action : qAsConst(playing_.entry.actions)) {
        if (stopRequested()) {
            haltOutput();
            break;
        }
        perform(action);
        capture(true);
    }
    // However the run ends, physical input is taken again.
    capture(true);
}

void commandExec::pause(int ms) {
    if (ms <= 0) {
        return;
    }
    QDeadlineTimer deadline(ms);
    QMutexLocker lock(&mutex_);
    while (!stopRequested()) {
        if (!wake_.wait(&mutex_, deadline)) {
            return;
        }
    }
}

void commandExec::perform(const MacroAction& action) {
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
    const std::shared_ptr<pvmulti_client> device = client();
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
            device->sendKeyboard(modifiers, keys);
        }
    } else if (name == QLatin1String("KeybroadUp")) {
        if (device) {
            device->sendKeyboard(0, kNoKeys);
        }
    } else if (name == QLatin1String("MouseDown") || name == QLatin1String("MouseUp")) {
        if (device) {
            device->sendMouse(name == QLatin1String("MouseDown") ? quint8(hex(argument)) : 0, 0, 0, 0);
        }
    } else if (name == QLatin1String("WheelUp") || name == QLatin1String("WheelDown")) {
        if (device) {
            device->sendMouse(0, 0, 0, signedByte(int(hex(argument))));
        }
    } else if (name == QLatin1String("AbsoluteXY")) {
        int x = 0, y = 0;
        if (device && readPoint(argument, &x, &y)) {
            device->moveCursorTo(x, y);
        }
    } else if (name == QLatin1String("RelativeXY")) {
        int x = 0, y = 0;
        if (device && readPoint(argument, &x, &y)) {
            device->sendMouse(0, signedByte(-x), signedByte(-y), 0);
        }
    } else if (name == QLatin1String("DelayTime")) {
        pause(jittered(argument.toInt()));
    } else if (name == QLatin1String("keyboard")) {
        chord(argument);
    } else if (name == QLatin1String("mouse")) {
        click(argument);
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

void commandExec::chord(const QString& argument) {
    const std::shared_ptr<pvmulti_client> device = client();
    const int type = playing_.entry.playType;
    if (!device || type == 3) {
        return;
    }
    const QStringList codes = argument.split(QLatin1Char(','));
    if (codes.size() == 1) {
        const quint8 keys[6] = {quint8(hex(codes.first()))};
        if (type == 1 && playing_.keyState == 0) {
            device->sendKeyboard(0, keys);
        } else if (type == 1) {
            device->sendKeyboard(0, kNoKeys);
        } else if (type == 2 || type == 4) {
            device->sendKeyboard(0, keys);
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
    device->sendKeyboard(modifiers, keys);
    QThread::msleep(ulong(jittered(10)));
    device->sendKeyboard(modifiers, kNoKeys);
    QThread::msleep(ulong(jittered(10)));
    device->sendKeyboard(0, kNoKeys);
}

void commandExec::click(const QString& argument) {
    const std::shared_ptr<pvmulti_client> device = client();
    const int type = playing_.entry.playType;
    if (!device) {
        return;
    }
    const auto button = quint8(hex(argument));
    if (type == 1) {
        device->sendMouse(playing_.keyState == 0 ? button : 0, 0, 0, 0);
    } else if (type == 2 || type == 4) {
        device->sendMouse(button, 0, 0, 0);
        QThread::msleep(50);
        device->sendMouse(0, 0, 0, 0);
    }
}
