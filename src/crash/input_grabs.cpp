#include "crash/input_grabs.h"

#include <atomic>

#include <linux/input.h>
#include <sys/ioctl.h>

namespace kf::crash {
namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the crash handler reads the table without locks");
static_assert(std::atomic<GrabRelease>::is_always_lock_free, "the crash handler reads it without locks");

// Each slot holds a descriptor plus one, so that the zero of a fresh table means free.
std::atomic<int> g_grabs[kGrabSlots] = {};
std::atomic<GrabRelease> g_release{nullptr};

// Runs in the signal handler: no allocation, no locks, no Qt.
bool ungrab(int fd) {
    return ioctl(fd, EVIOCGRAB, 0) == 0;
}

}  // namespace

// Runs before crashing: normal context.
bool publishGrab(int fd) {
    if (fd < 0) {
        return false;
    }
    for (std::atomic<int>& slot : g_grabs) {
        int expected = 0;
        if (slot.compare_exchange_strong(expected, fd + 1)) {
            return true;
        }
    }
    return false;
}

// Runs before crashing: normal context.
void withdrawGrab(int fd) {
    for (std::atomic<int>& slot : g_grabs) {
        int expected = fd + 1;
        if (fd >= 0 && slot.compare_exchange_strong(expected, 0)) {
            return;
        }
    }
}

// Runs in the signal handler: no allocation, no locks, no Qt.
int releaseGrabs() {
    const GrabRelease custom = g_release.load();
    int released = 0;
    for (std::atomic<int>& slot : g_grabs) {
        const int fd = slot.exchange(0) - 1;
        if (fd >= 0 && (custom ? custom(fd) : ungrab(fd))) {
            ++released;
        }
    }
    return released;
}

// Runs before crashing: normal context.
void setGrabRelease(GrabRelease release) {
    g_release.store(release);
}

}  // namespace kf::crash
