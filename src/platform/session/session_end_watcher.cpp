#include "platform/session/session_end_watcher.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace kf::platform {

namespace {

constexpr int kSessionSignals[] = {SIGTERM, SIGHUP};
constexpr int kSessionSignalCount = sizeof(kSessionSignals) / sizeof(kSessionSignals[0]);

std::atomic<int> g_writeFd{-1};
std::atomic<bool> g_owned{false};
struct sigaction g_previous[kSessionSignalCount];

void onSessionSignal(int /*sig*/) {
    const int savedErrno = errno;
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up, so a failed write loses nothing.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

SessionEndWatcher::SessionEndWatcher(QObject* parent) : QObject(parent) {
    if (!installSignalHandlers()) {
        qWarning("SessionEndWatcher: SIGTERM and SIGHUP are not watched");
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(
            app, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager& /*manager*/) { emit sessionEnding(); }, Qt::DirectConnection);
    }
}

SessionEndWatcher::~SessionEndWatcher() {
    removeSignalHandlers();
}

bool SessionEndWatcher::installSignalHandlers() {
    bool expected = false;
    if (!g_owned.compare_exchange_strong(expected, true)) {
        return false;
    }
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe_[0] = pipe_[1] = -1;
        g_owned.store(false);
        return false;
    }
    g_writeFd.store(pipe_[1]);
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SessionEndWatcher::onSignalPipeReadable);

    struct sigaction action {};
    action.sa_handler = onSessionSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSessionSignalCount; ++i) {
        // A hang-up that the starter chose to ignore (nohup) stays ignored.
        if (kSessionSignals[i] == SIGHUP && sigaction(SIGHUP, nullptr, &g_previous[i]) == 0 &&
            g_previous[i].sa_handler == SIG_IGN && (g_previous[i].sa_flags & SA_SIGINFO) == 0) {
            continue;
        }
        if (sigaction(kSessionSignals[i], &action, &g_previous[i]) != 0) {
            qWarning("SessionEndWatcher: cannot handle signal %d (errno %d)", kSessionSignals[i], errno);
        }
    }
    return true;
}

void SessionEndWatcher::removeSignalHandlers() {
    if (notifier_ == nullptr) {
        return;
    }
    for (int i = 0; i < kSessionSignalCount; ++i) {
        sigaction(kSessionSignals[i], &g_previous[i], nullptr);
    }
    g_writeFd.store(-1);
    delete notifier_;
    notifier_ = nullptr;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
    pipe_[0] = pipe_[1] = -1;
    g_owned.store(false);
}

void SessionEndWatcher::onSignalPipeReadable() {
    // Several signals before the event loop got here end the session once.
    char buffer[64];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(pipe_[0], buffer, sizeof(buffer));
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
    if (any) {
        emit sessionEnding();
    }
}

}  // namespace kf::platform
