#include "app/crash_handler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include <elf.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);
constexpr size_t kPathCapacity = 4096;
// Dump ids have a fixed width: seconds, nanoseconds, pid (hex, 8 digits each) and a counter.
constexpr int kIdLength = 31;  // "ssssssss-nnnnnnnn-pppppppp-cccc"
constexpr char kDumpSuffix[] = ".dmp";
constexpr int kDumpSuffixLength = 4;
constexpr int kBacktraceDepth = 64;
constexpr size_t kAltStackSize = 256 * 1024;

// What the signal handler reads. Two slots: the setters fill the idle one and then publish its
// index, so a crash during an update still sees a complete configuration.
struct Config {
    char dumpFolder[kPathCapacity];
    char reporter[kPathCapacity];
    bool startReporter;
};

Config g_configs[2];
std::atomic<int> g_activeConfig{-1};
char g_programPath[kPathCapacity];
char g_buildId[2 * 64 + 1];
std::atomic<unsigned> g_dumpCounter{0};
std::atomic<long> g_handlingThread{0};
struct sigaction g_previousActions[kSignalCount];
char g_dumpPath[kPathCapacity + kIdLength + 8];
// A plain std::mutex: constant-initialised, so usable from other files' static initialisers.
std::mutex g_setupMutex;

// ---- async-signal-safe helpers ----------------------------------------------------------------

size_t textLength(const char* s) {
    size_t n = 0;
    while (s[n] != '\0') {
        ++n;
    }
    return n;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void writeText(int fd, const char* s) {
    writeAll(fd, s, textLength(s));
}

// Writes `value` as `width` lower-case hex digits (the low digits when it is wider).
void formatHex(char* out, unsigned long long value, int width) {
    static const char digits[] = "0123456789abcdef";
    for (int i = width - 1; i >= 0; --i) {
        out[i] = digits[value & 0xf];
        value >>= 4;
    }
}

// Buffered text output to a file descriptor, without allocation.
class FdWriter {
public:
    explicit FdWriter(int fd) : fd_(fd) {}
    ~FdWriter() { flush(); }

    FdWriter& text(const char* s) {
        while (*s != '\0') {
            character(*s++);
        }
        return *this;
    }
    FdWriter& character(char c) {
        if (used_ == sizeof(buffer_)) {
            flush();
        }
        buffer_[used_++] = c;
        return *this;
    }
    FdWriter& dec(unsigned long long value) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) {
            character(digits[--n]);
        }
        return *this;
    }
    FdWriter& dec2(unsigned value) {  // two digits, zero padded
        character(static_cast<char>('0' + (value / 10) % 10));
        return character(static_cast<char>('0' + value % 10));
    }
    FdWriter& hex(unsigned long long value, int width) {
        char digits[16];
        formatHex(digits, value, width);
        for (int i = 0; i < width; ++i) {
            character(digits[i]);
        }
        return *this;
    }
    bool flush() {
        const bool ok = writeAll(fd_, buffer_, used_);
        used_ = 0;
        ok_ = ok_ && ok;
        return ok_;
    }

private:
    int fd_;
    char buffer_[512];
    size_t used_ = 0;
    bool ok_ = true;
};

const char* signalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "unknown signal";
    }
}

// UTC calendar date of a Unix time, written as "YYYY-MM-DDTHH:MM:SSZ".
void writeUtcTime(FdWriter& out, long long seconds) {
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from a day count (proleptic Gregorian calendar, eras of 400 years).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const long long year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    out.dec(static_cast<unsigned long long>(year < 0 ? 0 : year)).character('-').dec2(month);
    out.character('-').dec2(day).character('T').dec2(static_cast<unsigned>(rest / 3600));
    out.character(':').dec2(static_cast<unsigned>(rest / 60 % 60)).character(':');
    out.dec2(static_cast<unsigned>(rest % 60)).character('Z');
}

void makeDumpId(char* out) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const unsigned counter = g_dumpCounter.fetch_add(1) & 0xffffu;
    formatHex(out, static_cast<unsigned long long>(now.tv_sec), 8);
    out[8] = '-';
    formatHex(out + 9, static_cast<unsigned long long>(now.tv_nsec), 8);
    out[17] = '-';
    formatHex(out + 18, static_cast<unsigned long long>(getpid()), 8);
    out[26] = '-';
    formatHex(out + 27, counter, 4);
    out[kIdLength] = '\0';
}

// Creates a fresh "<folder>/<id>.dmp" and fills it. `path` receives the file path.
bool writeDump(const Config& config, int sig, const siginfo_t* info, char* path, size_t capacity) {
    const size_t folderLength = textLength(config.dumpFolder);
    if (folderLength == 0 || folderLength + 1 + kIdLength + kDumpSuffixLength + 1 > capacity) {
        return false;
    }
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        std::memcpy(path, config.dumpFolder, folderLength);
        path[folderLength] = '/';
        makeDumpId(path + folderLength + 1);
        std::memcpy(path + folderLength + 1 + kIdLength, kDumpSuffix, kDumpSuffixLength + 1);
        fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }

    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    bool ok = true;
    {
        FdWriter out(fd);
        out.text("Kestrafon crash dump\n");
        out.text("signal: ")
            .dec(static_cast<unsigned>(sig))
            .character(' ')
            .text(signalName(sig))
            .character('\n');
        if (info != nullptr) {
            // A code of 0 or below means the signal was sent by a process rather than raised by a fault.
            out.text("code: ");
            if (info->si_code < 0) {
                out.character('-');
            }
            out.dec(static_cast<unsigned>(info->si_code < 0 ? -info->si_code : info->si_code));
            out.text(info->si_code <= 0 ? " (sent)\n" : "\n");
            out.text("address: 0x")
                .hex(reinterpret_cast<unsigned long long>(info->si_addr), 16)
                .character('\n');
        } else {
            out.text("code: none\naddress: none\n");
        }
        out.text("pid: ").dec(static_cast<unsigned long long>(getpid())).character('\n');
        out.text("thread: ").dec(static_cast<unsigned long long>(syscall(SYS_gettid))).character('\n');
        out.text("time: ").dec(static_cast<unsigned long long>(now.tv_sec)).character(' ');
        writeUtcTime(out, now.tv_sec);
        out.character('\n');
        out.text("program: ").text(g_programPath).character('\n');
        out.text("build-id: ").text(g_buildId[0] != '\0' ? g_buildId : "unknown").character('\n');
        out.text("backtrace:\n");
        ok = out.flush();
    }
    void* frames[kBacktraceDepth];
    const int depth = backtrace(frames, kBacktraceDepth);
    if (depth > 0) {
        backtrace_symbols_fd(frames, depth, fd);
    }
    ok = (::close(fd) == 0) && ok;
    return ok;
}

pid_t rawFork() {
    // A plain clone() instead of fork(): it runs no fork handlers (which may take locks that the
    // crashed thread holds).
    return static_cast<pid_t>(syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0));
}

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

// Starts "<reporter> <dump path>" in its own session and does not wait for it. The intermediate
// child ends at once, so the reporter is nobody's zombie and outlives the crashed process.
void startReporter(const Config& config, const char* dumpPath) {
    if (!config.startReporter) {
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

void dieWithSignal(int sig) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    // The signal stays blocked until the handler returns, then the default action ends the process
    // (a fault would also recur when the faulting instruction runs again).
    raise(sig);
}

void onFatalSignal(int sig, siginfo_t* info, void* /*context*/) {
    const int savedErrno = errno;
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
        if (writeDump(config, sig, info, g_dumpPath, sizeof(g_dumpPath))) {
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

// ---- set-up (normal code) ---------------------------------------------------------------------

size_t alignUp(size_t value, size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// Reads the GNU build id note of the main program (the first object dl_iterate_phdr reports).
int readMainBuildId(dl_phdr_info* info, size_t /*size*/, void* data) {
    auto* out = static_cast<QByteArray*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_NOTE) {
            continue;
        }
        const size_t alignment = header.p_align == 8 ? 8 : 4;
        const char* note = reinterpret_cast<const char*>(info->dlpi_addr + header.p_vaddr);
        size_t left = header.p_memsz;
        while (left >= sizeof(ElfW(Nhdr))) {
            ElfW(Nhdr) nhdr;
            std::memcpy(&nhdr, note, sizeof(nhdr));
            const size_t nameSize = alignUp(nhdr.n_namesz, alignment);
            const size_t descSize = alignUp(nhdr.n_descsz, alignment);
            const size_t total = sizeof(nhdr) + nameSize + descSize;
            if (total > left) {
                break;
            }
            if (nhdr.n_type == NT_GNU_BUILD_ID && nhdr.n_namesz == 4 &&
                std::memcmp(note + sizeof(nhdr), "GNU", 4) == 0 && nhdr.n_descsz <= 64) {
                *out = QByteArray(note + sizeof(nhdr) + nameSize, static_cast<int>(nhdr.n_descsz)).toHex();
                return 1;
            }
            note += total;
            left -= total;
        }
    }
    return 1;
}

void copyText(char* target, size_t capacity, const QByteArray& text) {
    const size_t n = qMin(static_cast<size_t>(text.size()), capacity - 1);
    std::memcpy(target, text.constData(), n);
    target[n] = '\0';
}

void prepareProcessFacts() {
    copyText(g_programPath, sizeof(g_programPath), QFile::encodeName(QFile::symLinkTarget("/proc/self/exe")));
    QByteArray buildId;
    dl_iterate_phdr(readMainBuildId, &buildId);
    copyText(g_buildId, sizeof(g_buildId), buildId);
    // The first backtrace() loads the unwinder; do that now rather than inside the handler.
    void* frames[4];
    backtrace(frames, 4);
}

void installSignalHandlers() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) != 0 ||
        current.ss_size < kAltStackSize) {
        // Kept for the life of the process: the handler may run on it at any time.
        static void* const stackMemory = std::malloc(kAltStackSize);
        if (stackMemory != nullptr) {
            stack_t stack{};
            stack.ss_sp = stackMemory;
            stack.ss_size = kAltStackSize;
            if (sigaltstack(&stack, nullptr) != 0) {
                qWarning("CrashHandler: no alternate signal stack (errno %d)", errno);
            }
        }
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
            qWarning("CrashHandler: could not handle signal %d (errno %d)", kSignals[i], errno);
        }
    }
}

QString applicationDir() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath();
    }
    return QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
}

}  // namespace

CrashHandler* CrashHandler::instance() {
    static CrashHandler handler;
    return &handler;
}

CrashHandler::~CrashHandler() {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    if (installed_) {
        for (int i = 0; i < kSignalCount; ++i) {
            sigaction(kSignals[i], &g_previousActions[i], nullptr);
        }
    }
    g_activeConfig.store(-1);
}

bool CrashHandler::setDumpFolder(const QString& path) {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    if (path.isEmpty()) {
        qWarning("CrashHandler: empty dump folder ignored");
        return false;
    }
    const QString folder = QDir::cleanPath(QDir(path).absolutePath());
    const QByteArray encoded = QFile::encodeName(folder);
    if (static_cast<size_t>(encoded.size()) + 1 + kIdLength + kDumpSuffixLength + 1 > kPathCapacity ||
        encoded.contains('\0')) {
        qWarning("CrashHandler: dump folder path too long, ignored");
        return false;
    }
    if (!QDir().mkpath(folder)) {
        qWarning("CrashHandler: cannot create the dump folder %s", qPrintable(folder));
        return false;
    }
    dumpFolder_ = folder;
    publishConfig();
    if (!installed_) {
        prepareProcessFacts();
        installSignalHandlers();
        installed_ = true;
    }
    return true;
}

QString CrashHandler::dumpFolder() const {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    return dumpFolder_;
}

void CrashHandler::setReporter(const QString& name) {
    const QString result = resolveReporterPath(name, applicationDir());
    qDebug("BreakpadQt: setReporter: %s -> %s", qPrintable(name), qPrintable(result));
    std::lock_guard<std::mutex> lock(g_setupMutex);
    reporter_ = result;
    publishConfig();
}

QString CrashHandler::reporter() const {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    return reporter_;
}

bool CrashHandler::isInstalled() const {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    return installed_;
}

QString CrashHandler::resolveReporterPath(const QString& name, const QString& appDir) {
    if (name.isEmpty()) {
        return QString();
    }
    if (QDir::isAbsolutePath(name)) {
        return name;
    }
    const QFileInfo existing(name);
    if (existing.exists()) {
        return existing.absoluteFilePath();
    }
    return QDir::cleanPath(appDir + "/" + name);
}

// Called with g_setupMutex held.
void CrashHandler::publishConfig() {
    const int next = g_activeConfig.load() == 0 ? 1 : 0;
    Config& config = g_configs[next];
    copyText(config.dumpFolder, sizeof(config.dumpFolder), QFile::encodeName(dumpFolder_));
    const QByteArray reporter = QFile::encodeName(reporter_);
    const int commandLength = reporter_.size() + 1 + dumpFolder_.size() + 1 + kIdLength + kDumpSuffixLength;
    config.startReporter = !reporter.isEmpty() && static_cast<size_t>(reporter.size()) < kPathCapacity &&
                           !reporter.contains('\0') && commandLength <= kMaxCommandLine;
    copyText(config.reporter, sizeof(config.reporter), config.startReporter ? reporter : QByteArray());
    if (!reporter.isEmpty() && !dumpFolder_.isEmpty() && !config.startReporter) {
        qWarning("CrashHandler: reporter command line longer than %d characters, no reporter will be started",
                 kMaxCommandLine);
    }
    g_activeConfig.store(next);
}

bool CrashHandler::writeDumpForTest(int sig, QString* path) {
    std::lock_guard<std::mutex> lock(g_setupMutex);
    const int active = g_activeConfig.load();
    if (active < 0 || g_configs[active].dumpFolder[0] == '\0') {
        return false;
    }
    char dumpPath[kPathCapacity + kIdLength + 8];
    if (!writeDump(g_configs[active], sig, nullptr, dumpPath, sizeof(dumpPath))) {
        return false;
    }
    if (path != nullptr) {
        *path = QFile::decodeName(dumpPath);
    }
    return true;
}
