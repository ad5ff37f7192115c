// SIGTERM and SIGHUP end the session through sessionEnding() on the GUI thread.
#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

#include "platform/session/session_end_watcher.h"

namespace kf::platform {
namespace {

// Sets `sig` to `handler` for the duration of a test and puts the old action back.
class ScopedSignalAction {
public:
    ScopedSignalAction(int sig, void (*handler)(int)) : sig_(sig) {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        sigaction(sig_, &action, &previous_);
    }
    ~ScopedSignalAction() { sigaction(sig_, &previous_, nullptr); }

private:
    int sig_;
    struct sigaction previous_ {};
};

void customHandler(int) {}

void (*currentHandler(int sig))(int) {
    struct sigaction action {};
    sigaction(sig, nullptr, &action);
    return action.sa_handler;
}

TEST(SessionEnd, TermAndHangUpEmitOnTheGuiThread) {
    ScopedSignalAction hup(SIGHUP, SIG_DFL);
    SessionEndWatcher watcher;
    ASSERT_TRUE(watcher.handlesSignals());
    QThread* emittedOn = nullptr;
    QObject::connect(&watcher, &SessionEndWatcher::sessionEnding,
                     [&emittedOn]() { emittedOn = QThread::currentThread(); });
    for (int sig : {SIGTERM, SIGHUP}) {
        QSignalSpy spy(&watcher, &SessionEndWatcher::sessionEnding);
        emittedOn = nullptr;
        ASSERT_EQ(raise(sig), 0);
        ASSERT_TRUE(spy.wait(10000)) << sig;
        EXPECT_EQ(spy.count(), 1);
        EXPECT_EQ(emittedOn, QCoreApplication::instance()->thread());
    }
}

TEST(SessionEnd, SignalsBeforeTheLoopRunsEndTheSessionOnce) {
    SessionEndWatcher watcher;
    QSignalSpy spy(&watcher, &SessionEndWatcher::sessionEnding);
    raise(SIGTERM);
    raise(SIGTERM);
    raise(SIGTERM);
    ASSERT_TRUE(spy.wait(10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.count(), 1);
}

TEST(SessionEnd, OneWatcherOwnsTheSignalsAndRestoresThem) {
    ScopedSignalAction term(SIGTERM, customHandler);
    ScopedSignalAction hup(SIGHUP, customHandler);
    {
        SessionEndWatcher first;
        EXPECT_TRUE(first.handlesSignals());
        EXPECT_NE(currentHandler(SIGTERM), customHandler);
        {
            SessionEndWatcher second;
            EXPECT_FALSE(second.handlesSignals());
        }
        // The second watcher going away leaves the first in charge.
        QSignalSpy spy(&first, &SessionEndWatcher::sessionEnding);
        raise(SIGTERM);
        EXPECT_TRUE(spy.wait(10000));
    }
    EXPECT_EQ(currentHandler(SIGTERM), customHandler);
    EXPECT_EQ(currentHandler(SIGHUP), customHandler);
    // A new watcher can take over again.
    SessionEndWatcher again;
    EXPECT_TRUE(again.handlesSignals());
}

TEST(SessionEnd, IgnoredHangUpStaysIgnored) {
    ScopedSignalAction hup(SIGHUP, SIG_IGN);
    SessionEndWatcher watcher;
    EXPECT_TRUE(watcher.handlesSignals());
    EXPECT_EQ(currentHandler(SIGHUP), SIG_IGN);
    EXPECT_NE(currentHandler(SIGTERM), SIG_DFL);
}

}  // namespace
}  // namespace kf::platform
