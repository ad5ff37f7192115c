#include "input/macro_player.h"

#include <QMutexLocker>

#include "crash/crash_signal.h"

namespace kf::input {

MacroPlayer::MacroPlayer(ClientProvider client, commandExec::Services services, QObject* parent)
    : QObject(parent), client_(std::move(client)), services_(std::move(services)) {}

MacroPlayer::~MacroPlayer() {
    QMutexLocker lock(&mutex_);
    if (!executor_) {
        return;
    }
    executor_->quit();
    thread_->quit();
    thread_->wait();
    // Whatever the last play or a release half still waiting would have let go.
    executor_->stopOutputNow();
    delete executor_;
    delete thread_;
    executor_ = nullptr;
    thread_ = nullptr;
}

void MacroPlayer::trigger(const TriggerEntry& entry, int keyState) {
    std::shared_ptr<pvmulti_client> client = client_ ? client_() : nullptr;
    QMutexLocker lock(&mutex_);
    if (executor_) {
        executor_->request(entry, keyState, std::move(client));
        return;
    }
    // Made on the capture thread; the thread object itself belongs with this player.
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("macro player"));
    thread_->moveToThread(thread());
    executor_ = new commandExec(entry, keyState, std::move(client), services_);
    executor_->moveToThread(thread_);
    // First thing on the new thread: a stack for the crash handler, so an overflow is reported too.
    connect(thread_, &QThread::started, thread_, &kf::crash::installThreadStack, Qt::DirectConnection);
    connect(thread_, &QThread::started, executor_, &commandExec::start);
    connect(executor_, &commandExec::taskFinished, this, &MacroPlayer::taskFinished, Qt::DirectConnection);
    thread_->start(QThread::InheritPriority);
}

void MacroPlayer::stopPlayer() {
    QMutexLocker lock(&mutex_);
    if (executor_) {
        executor_->onStopOutput(true);
    }
}

bool MacroPlayer::releaseKeysAfter(quint64 task) {
    QMutexLocker lock(&mutex_);
    return executor_ && executor_->releaseKeysAfter(task);
}

commandExec* MacroPlayer::executor() const {
    QMutexLocker lock(&mutex_);
    return executor_;
}

}  // namespace kf::input
