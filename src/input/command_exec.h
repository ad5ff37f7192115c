#pragma once
// The macro executor: plays a trigger's action list on its own thread through the virtual input
// device, by play type (1 click, 2 press-and-release, 3 loop while held, 4 toggle loop). The
// capture thread hands it each new request under its mutex with a pending mark; a request that
// arrives while a list plays stops that list (every key and button released) and plays next.
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

    commandExec(const kf::input::TriggerEntry& entry, int keyState, std::shared_ptr<pvmulti_client> client,
                Services services, QObject* parent = nullptr);
    ~commandExec() override;

    // Hands over the next request (capture thread). A release of a click entry (play type 1)
    // whose first action is neither "mouse" nor "keyboard" has nothing to play and is ignored.
    void request(const kf::input::TriggerEntry& entry, int keyState, std::shared_ptr<pvmulti_client> client);
    // Sets the stop flag and releases every key and button, from the calling thread.
    void stopOutputNow();
    // Ends the thread body after the current action.
    void quit();
    bool enabled() const { return enabled_; }
    // A list is being played or a request waits to be.
    bool isPlaying() const { return !stop_ || pending_; }

    // t milliseconds moved by a small random amount, 0 … 3 either way, never below 0.
    static int jittered(int ms);

signals:
    void taskFinished(pvmulti_client* m_vmultia);

public slots:
    // The thread body: plays each request, then waits for the next, until quit().
    void start();
    // Plays the current list once.
    void executeCommand();
    void onStopOutput(bool stop);

private:
    struct Request {
        kf::input::TriggerEntry entry;
        int keyState = 0;
        std::shared_ptr<pvmulti_client> client;
    };

    // Plays the request by its play type; true when its release half is still to come (a click
    // entry pressed: the physical release finishes it).
    bool play();
    void repeat(int times);
    void perform(const kf::input::MacroAction& action);
    void chord(const QString& argument);
    void click(const QString& argument);
    bool stopRequested() const { return stop_ || pending_ || quit_; }
    // Ends a play early: everything is released, unless a newer request already did that.
    void haltOutput();
    // Sleeps, waking early when asked to stop.
    void pause(int ms);
    std::shared_ptr<pvmulti_client> client() const;

    Services services_;
    QMutex mutex_;
    QWaitCondition wake_;
    Request current_;  // the latest request, under mutex_
    Request playing_;  // the request being played (executor thread)
    mutable QMutex clientMutex_;
    std::shared_ptr<pvmulti_client> client_;
    std::atomic<bool> pending_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> quit_{false};
    std::atomic<bool> enabled_{true};
};
