#include "crash/crash_signal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <mutex>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "crash/dump_writer.h"
#include "crash/input_grabs.h"

namespace kf::crash {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// What the signal handler reads. Two slots: publishConfig() fills the idle one and then
// publishes its index, so a crash during an update still sees a complete configuration.
struct Config {
    char dumpFolder[kPathCapacity];
    char reporter[kPathCapacity];
};

Config g_configs[2];
std::atomic<int> g_activeConfig{-1};
std::atomic<long> g_handlingThread{0};
struct sigaction g_previousActions[kSignalCount];
bool g_installed = false;
char g_dumpPath[kPathCapacity + kDumpNameLength + 2];
// Serialises the set-up calls. A plain std::mutex: constant-initialised, so usable from other
// files' static initialisers.
std::mutex g_setupMutex;

// Runs in the signal handler: no allocation, no locks, no Qt.
pid_t rawFork() {
    // A plain clone() instead of fork(): it runs no fork handlers (which may take locks that the
    // crashed thread holds).
    return static_cast<pid_t>(syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0));
}

// Runs in the signal handler (in the reporter's child): no allocation, no locks, no Qt.
void closeDescriptorsFrom(int first) {
#ifdef SYS_close_range
    if (syscall(SYS_close_range, static_cast<unsigned>(first), ~0u, 0u) == 0) {
        return;
    }
#endif
    rlimit limit{};
    rlim_t last = 65536;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < last) {
        last = limit.rlim_cur;
    }
    for (rlim_t fd = static_cast<rlim_t>(first); fd < last; ++fd) {
        ::close(static_cast<int>(fd));
    }
}

// Runs in the signal handler: no allocation, no locks, no Qt.
// Starts "<reporter> <dump path>" in its own session and does not wait for it. The intermediate
// child ends at once, so the reporter is nobody's zombie and outlives the crashed process.
void startReporter(const Config& config, const char* dumpPath) {
    if (config.reporter[0] == '\0') {
        writeText(STDERR_FILENO, "CrashHandler: no crash reporter started\n");
        return;
    }
    char* const argv[] = {const_cast<char*>(config.reporter), const_cast<char*>(dumpPath), nullptr};
    const pid_t child = rawFork();
    if (child == 0) {
        setsid();
        const pid_t grandchild = rawFork();
        if (grandchild == 0) {
            // The handler runs with the fatal signals blocked; exec would pass that mask on.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            sigemptyset(&fallback.sa_mask);
            for (int sig : {SIGPIPE, SIGTERM, SIGHUP, SIGINT, SIGCHLD}) {
                sigaction(sig, &fallback, nullptr);
            }
            const int devNull = ::open("/dev/null", O_RDONLY);
            if (devNull >= 0) {
                dup2(devNull, STDIN_FILENO);
            }
            // No sockets, locks or files of the crashed process may stay open in the reporter.
            closeDescriptorsFrom(3);
            execv(argv[0], argv);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    if (child < 0) {
        writeText(STDERR_FILENO, "CrashHandler: could not start the crash reporter\n");
        return;
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// Runs in the signal handler: no allocation, no locks, no Qt.
void dieWithSignal(int sig) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    // The signal stays blocked until the handler returns, then the default action ends the process
    // (a fault would also recur when the faulting instruction runs again).
    raise(sig);
}

// Runs in the signal handler: no allocation, no locks, no Qt.
void onFatalSignal(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    // First of all the person gets their keyboard and mouse back: writing the dump and starting
    // the reporter take a while, and a child of this process would share the grab.
    if (releaseGrabs() > 0) {
        writeText(STDERR_FILENO, "CrashHandler: grabbed input devices released\n");
    }
    const long self = syscall(SYS_gettid);
    long expected = 0;
    if (!g_handlingThread.compare_exchange_strong(expected, self)) {
        if (expected != self) {
            // Another thread is writing a dump; it ends the process when it is done.
            const timespec pauseTime{0, 50 * 1000 * 1000};
            for (;;) {
                nanosleep(&pauseTime, nullptr);
            }
        }
        dieWithSignal(sig);
        errno = savedErrno;
        return;
    }

    const int active = g_activeConfig.load();
    if (active >= 0) {
        const Config& config = g_configs[active];
        if (writeDump(config.dumpFolder, sig, info, context, g_dumpPath, sizeof(g_dumpPath))) {
            writeText(STDERR_FILENO, "CrashHandler: fatal signal, dump written to ");
            writeText(STDERR_FILENO, g_dumpPath);
            writeText(STDERR_FILENO, "\n");
            startReporter(config, g_dumpPath);
        } else {
            writeText(STDERR_FILENO, "CrashHandler: fatal signal, the crash dump could not be written\n");
        }
    }
    dieWithSignal(sig);
    errno = savedErrno;
}

// Runs before crashing: normal context.
// The alternate signal stack this thread installed, unmapped when the thread ends.
class ThreadStack {
public:
    ~ThreadStack() {
        if (memory_ == nullptr) {
            return;
        }
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == stackBase()) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
        munmap(memory_, guard_ + kThreadStackSize);
    }

    bool install() {
        stack_t current{};
        if (memory_ != nullptr || (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
                                   current.ss_size >= kThreadStackSize)) {
            return true;
        }
        guard_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* memory = mmap(nullptr, guard_ + kThreadStackSize, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (memory == MAP_FAILED) {
            return false;
        }
        // A guard page below: a handler that overruns the stack faults instead of writing over
        // whatever lies there.
        memory_ = memory;
        stack_t stack{};
        stack.ss_sp = stackBase();
        stack.ss_size = kThreadStackSize;
        if (mprotect(memory, guard_, PROT_NONE) != 0 || sigaltstack(&stack, nullptr) != 0) {
            munmap(memory, guard_ + kThreadStackSize);
            memory_ = nullptr;
            return false;
        }
        return true;
    }

private:
    void* stackBase() const { return static_cast<char*>(memory_) + guard_; }

    void* memory_ = nullptr;
    size_t guard_ = 0;
};

thread_local ThreadStack t_threadStack;

// Runs before crashing: normal context.
bool copyPath(char* target, const char* text) {
    const size_t n = text == nullptr ? 0 : strnlen(text, kPathCapacity);
    if (n == kPathCapacity) {
        target[0] = '\0';
        return false;
    }
    if (n > 0) {
        std::memcpy(target, text, n);
    }
    target[n] = '\0';
    return true;
}

}  // namespace

// Runs before crashing: normal context.
bool installThreadStack() {
    return t_threadStack.install();
}

// Runs before crashing: normal context.
bool installHandlers(const char* buildId) {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    if (g_installed) {
        return false;
    }
    char program[kPathCapacity] = {};
    const ssize_t length = readlink("/proc/self/exe", program, sizeof(program) - 1);
    program[length > 0 ? length : 0] = '\0';
    setProcessFacts(program, buildId);
    if (!installThreadStack()) {
        writeText(STDERR_FILENO, "CrashHandler: no alternate signal stack for this thread\n");
    }
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals) {
        sigaddset(&action.sa_mask, sig);
    }
    for (int i = 0; i < kSignalCount; ++i) {
        if (sigaction(kSignals[i], &action, &g_previousActions[i]) != 0) {
            writeText(STDERR_FILENO, "CrashHandler: a fatal signal could not be handled\n");
        }
    }
    g_installed = true;
    return true;
}

// Runs before crashing: normal context.
void removeHandlers() {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    if (g_installed) {
        for (int i = 0; i < kSignalCount; ++i) {
            sigaction(kSignals[i], &g_previousActions[i], nullptr);
        }
        g_installed = false;
    }
    g_activeConfig.store(-1);
}

// Runs before crashing: normal context.
void publishConfig(const char* dumpFolder, const char* reporter) {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    const int next = g_activeConfig.load() == 0 ? 1 : 0;
    Config& config = g_configs[next];
    copyPath(config.dumpFolder, dumpFolder);
    copyPath(config.reporter, reporter);
    g_activeConfig.store(next);
}

// Runs before crashing: normal context.
bool writeDumpNow(int sig, char* path, size_t capacity) {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    const int active = g_activeConfig.load();
    return active >= 0 && writeDump(g_configs[active].dumpFolder, sig, nullptr, nullptr, path, capacity);
}

}  // namespace kf::crash
