#pragma once
// Starts and stops software macros: the first trigger creates the executor (commandExec) with
// a thread of its own, every later one hands its request to it. The executor's end-of-task
// signal is passed on as taskFinished, with the number of the request that ended.
#include <QMutex>
#include <QObject>
#include <QThread>

#include <functional>
#include <memory>

#include "input/command_exec.h"
#include "input/trigger_entry.h"

namespace kf::input {

class MacroPlayer : public QObject, public TriggerTarget {
    Q_OBJECT
public:
    // `client` gives the virtual device handle at each trigger (null while there is none).
    using ClientProvider = std::function<std::shared_ptr<pvmulti_client>()>;

    MacroPlayer(ClientProvider client, commandExec::Services services, QObject* parent = nullptr);
    // Tells the executor to quit, waits for its thread and releases every key and button.
    ~MacroPlayer() override;

    // Capture thread.
    void trigger(const TriggerEntry& entry, int keyState) override;
    // Sets the executor's stop flag, when there is one (any thread).
    void stopPlayer() override;

    commandExec* executor() const;
    // Releases every key after task `task` ended, unless a newer request holds them (any thread).
    bool releaseKeysAfter(quint64 task);

signals:
    void taskFinished(pvmulti_client* m_vmultia, quint64 task);

private:
    ClientProvider client_;
    commandExec::Services services_;
    mutable QMutex mutex_;
    QThread* thread_ = nullptr;
    commandExec* executor_ = nullptr;
};

}  // namespace kf::input
