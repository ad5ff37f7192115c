#pragma once
// The macro executor: plays a trigger's action list on its own thread through the virtual input
// device, by play type (1 click, 2 press-and-release, 3 loop while held, 4 toggle loop).
//
// Requests and stops are numbered under one lock: each request gets the next number, a stop
// covers every request up to the newest, and the executor plays the newest request unless a stop
// covers it. So a stop is never lost behind a request that is picked up later, and a newer
// request ends the play before it. The capture thread only publishes a request or a stop and
// returns; everything the device receives, the releases that end a play included, is written
// on the executor's thread.
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

#include "input/pvmulti_client.h"
#include "input/trigger_entry.h"

namespace kf::input {
class ShortcutPrograms;
}  // namespace kf::input

class commandExec : public QObject {
    Q_OBJECT
public:
    struct Services {
        // The capture object's capture flag.
        std::function<void(bool)> setCaptureEnabled;
        // Runs "Shortcut" actions; may be null.
        kf::input::ShortcutPrograms* shortcuts = nullptr;
    };

    // The first request, numbered 1.
    commandExec(const kf::input::TriggerEntry& entry, int keyState, std::shared_ptr<pvmulti_client> client,
                Services services, QObject* parent = nullptr);
    ~commandExec() override;

    // Publishes the next request (capture thread) and returns at once. A release of a click entry
    // (play type 1) whose first action is neither "mouse" nor "keyboard" has nothing to play and
    // is ignored.
    void request(const kf::input::TriggerEntry& entry, int keyState, std::shared_ptr<pvmulti_client> client);
    // Stops every request made so far and releases every key and button, from the calling thread.
    void stopOutputNow();
    // Ends the thread body after the current action.
    void quit();
    bool enabled() const { return enabled_; }
    // A list is being played or a request waits to be.
    bool isPlaying() const;
    // The keyboard report with every key released, unless a newer request than `task` has been
    // made or `task` still plays (its keys are then the newer play's). False when nothing was sent.
    bool releaseKeysAfter(quint64 task);

    // t milliseconds moved by a small random amount, 0 … 3 either way, never below 0.
    static int jittered(int ms);

signals:
    // The play of request `task` has ended (not sent for a click whose release half follows).
    void taskFinished(pvmulti_client* m_vmultia, quint64 task);

public slots:
    // The thread body: plays each request, then waits for the next, until quit().
    void start();
    // Plays the current list once.
    void executeCommand();
    // true stops every request made so far; false changes nothing.
    void onStopOutput(bool stop);

private:
    struct Request {
        kf::input::TriggerEntry entry;
        int keyState = 0;
        std::shared_ptr<pvmulti_client> client;
    };
    enum class Outcome { Done, Stopped, ReleaseFollows };

    Outcome play();
    bool repeat(int times);
    // Runs the list once; false when a stop cut it short.
    bool runList();
    void perform(const kf::input::MacroAction& action, pvmulti_client* device);
    void chord(const QString& argument, pvmulti_client* device);
    void click(const QString& argument, pvmulti_client* device);
    void relativeMove(const QString& argument, pvmulti_client* device);
    // Writes one report; the first of a list run is written with new physical input held back.
    template <typename Write>
    void output(Write write);
    bool stopRequested() const;
    bool stopRequestedLocked() const;
    // Every key and button released.
    void releaseEverything(pvmulti_client* device);
    // Sleeps, waking early when asked to stop.
    void pause(int ms);
    std::shared_ptr<pvmulti_client> client() const;

    Services services_;
    mutable QMutex mutex_;
    QWaitCondition wake_;
    // Under mutex_.
    Request latest_;
    quint64 requested_ = 1;  // number of the newest request
    quint64 taken_ = 0;      // number of the request being played or played last
    quint64 stopped_ = 0;    // every request up to this number is stopped
    bool busy_ = false;      // the executor is playing request taken_
    bool quit_ = false;
    std::shared_ptr<pvmulti_client> client_;
    // Executor thread.
    Request playing_;
    bool firstReport_ = false;
    std::atomic<bool> enabled_{true};
};
