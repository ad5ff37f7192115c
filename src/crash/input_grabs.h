#pragma once
// Input devices the process holds grabbed (EVIOCGRAB), published so that the crash handler lets go
// of them before anything else: a crashing client never keeps the person's keyboard and mouse
// while it writes its dump and starts the reporter. Plain C++ and libc, no Qt; the table is a
// fixed array of lock-free atomics, so the handler reads it without a lock.

namespace kf::crash {

constexpr int kGrabSlots = 64;

// Runs before crashing: normal context.
// Adds a grabbed device's descriptor; false when the table is full (the grab then ends only with
// the process).
bool publishGrab(int fd);

// Runs before crashing: normal context.
// Removes `fd`; call it before the grab is let go or the descriptor closed.
void withdrawGrab(int fd);

// Runs in the signal handler: no allocation, no locks, no Qt.
// Lets go of every published grab; the number let go.
int releaseGrabs();

// Runs before crashing: normal context.
// How one grab is let go; null puts back the default (EVIOCGRAB 0). Tests, which have no input
// device, record the call instead. The function runs in the signal handler.
using GrabRelease = bool (*)(int fd);
void setGrabRelease(GrabRelease release);

}  // namespace kf::crash
