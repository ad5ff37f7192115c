#include "crash/dump_writer.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <execinfo.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include "crash/crash_signal.h"

namespace kf::crash {
namespace {

// Dump ids have a fixed width: seconds, nanoseconds, pid (hex, 8 digits each) and a counter.
constexpr int kIdLength = 31;  // "ssssssss-nnnnnnnn-pppppppp-cccc"
constexpr char kDumpSuffix[] = ".dmp";
constexpr int kDumpSuffixLength = 4;
constexpr int kBacktraceDepth = 64;
static_assert(kIdLength + kDumpSuffixLength == kDumpNameLength, "dump names changed length");

char g_programPath[kPathCapacity];
char g_buildId[2 * 64 + 1];
std::atomic<unsigned> g_dumpCounter{0};

// Runs in the signal handler: no allocation, no locks, no Qt.
size_t textLength(const char* s) {
    size_t n = 0;
    while (s[n] != '\0') {
        ++n;
    }
    return n;
}

// Runs in the signal handler: no allocation, no locks, no Qt.
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

// Runs in the signal handler: no allocation, no locks, no Qt.
// Writes `value` as `width` lower-case hex digits (the low digits when it is wider).
void formatHex(char* out, unsigned long long value, int width) {
    static const char digits[] = "0123456789abcdef";
    for (int i = width - 1; i >= 0; --i) {
        out[i] = digits[value & 0xf];
        value >>= 4;
    }
}

// Runs in the signal handler: no allocation, no locks, no Qt.
// Buffered text output to a file descriptor.
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
    FdWriter& address(unsigned long long value) { return text("0x").hex(value, 16); }
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

// Runs in the signal handler: no allocation, no locks, no Qt.
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

// Runs in the signal handler: no allocation, no locks, no Qt.
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

// Runs in the signal handler: no allocation, no locks, no Qt.
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

// Runs in the signal handler: no allocation, no locks, no Qt.
// The address of the instruction that faulted, from the handler's signal context (0: unknown).
unsigned long long faultingInstruction(const void* context) {
    if (context == nullptr) {
        return 0;
    }
    const mcontext_t& machine = static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
    return static_cast<unsigned long long>(machine.gregs[REG_RIP]);
#elif defined(__i386__)
    return static_cast<unsigned long long>(machine.gregs[REG_EIP]);
#elif defined(__aarch64__)
    return machine.pc;
#else
    (void)machine;
    return 0;
#endif
}

// Runs in the signal handler: no allocation, no locks, no Qt.
// Appends the process's mappings, so that the reporter can tell module and offset of each frame.
bool copyMaps(int fd) {
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0) {
        return false;
    }
    char buffer[1024];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(maps, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!writeAll(fd, buffer, static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    ::close(maps);
    return ok;
}

}  // namespace

// Runs before crashing: normal context.
void setProcessFacts(const char* programPath, const char* buildId) {
    const auto copy = [](char* target, size_t capacity, const char* text) {
        const size_t n = text == nullptr ? 0 : strnlen(text, capacity - 1);
        if (n > 0) {
            std::memcpy(target, text, n);
        }
        target[n] = '\0';
    };
    copy(g_programPath, sizeof(g_programPath), programPath);
    copy(g_buildId, sizeof(g_buildId), buildId);
    // The first backtrace() loads the unwinder; do that now rather than inside the handler.
    void* frames[4];
    backtrace(frames, 4);
}

// Runs in the signal handler: no allocation, no locks, no Qt.
void writeText(int fd, const char* text) {
    writeAll(fd, text, textLength(text));
}

// Runs in the signal handler: no allocation, no locks, no Qt.
bool writeDump(const char* folder, int sig, const siginfo_t* info, const void* context, char* path,
               size_t capacity) {
    const size_t folderLength = textLength(folder);
    if (folderLength == 0 || folderLength + 1 + kIdLength + kDumpSuffixLength + 1 > capacity) {
        return false;
    }
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        std::memcpy(path, folder, folderLength);
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
            out.text("address: ")
                .address(reinterpret_cast<unsigned long long>(info->si_addr))
                .character('\n');
        } else {
            out.text("code: none\naddress: none\n");
        }
        const unsigned long long pc = faultingInstruction(context);
        out.text("pc: ");
        (pc != 0 ? out.address(pc) : out.text("none")).character('\n');
        out.text("pid: ").dec(static_cast<unsigned long long>(getpid())).character('\n');
        out.text("thread: ").dec(static_cast<unsigned long long>(syscall(SYS_gettid))).character('\n');
        out.text("time: ").dec(static_cast<unsigned long long>(now.tv_sec)).character(' ');
        writeUtcTime(out, now.tv_sec);
        out.character('\n');
        out.text("program: ").text(g_programPath).character('\n');
        out.text("build-id: ").text(g_buildId[0] != '\0' ? g_buildId : "unknown").character('\n');
        // Raw return addresses, newest first; the reporter names them from the maps below. The
        // unwinder behind backtrace() was loaded at set-up and reads the unwind tables in place
        // (with glibc before 2.35 it takes the loader's lock to find them).
        out.text("backtrace:\n");
        void* frames[kBacktraceDepth];
        const int depth = backtrace(frames, kBacktraceDepth);
        for (int i = 0; i < depth; ++i) {
            out.address(reinterpret_cast<unsigned long long>(frames[i])).character('\n');
        }
        out.text("maps:\n");
        ok = out.flush();
    }
    ok = copyMaps(fd) && ok;
    ok = (::close(fd) == 0) && ok;
    return ok;
}

}  // namespace kf::crash
