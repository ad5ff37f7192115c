#pragma once
// What runs when the process crashes, and the calls that prepare it: plain C++ and libc, no Qt.
//
// On a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) the handler writes a text dump
// "<dump folder>/<id>.dmp" (signal, fault address, faulting instruction, program, build id,
// time, the crashing thread's raw return addresses and a copy of /proc/self/maps, from which
// the crash reporter names the functions), starts "<reporter> <dump file>" detached, and lets
// the process die with the original signal. It runs on the crashing thread's alternate signal
// stack, so a stack overflow is reported too: every thread the client starts calls
// installThreadStack() first.
#include <cstddef>

namespace kf::crash {

// Longest dump folder or reporter path, terminating zero included.
constexpr size_t kPathCapacity = 4096;
// Length of a dump file name, "<id>.dmp" with ids like "ssssssss-nnnnnnnn-pppppppp-cccc".
constexpr size_t kDumpNameLength = 35;
// Size of the alternate signal stack a thread gets.
constexpr size_t kThreadStackSize = 64 * 1024;

// Runs before crashing: normal context.
// Installs the handlers, once per process, and the calling thread's alternate stack. `buildId`
// (hex text) and the program path are recorded for every dump. False when they are installed
// already.
bool installHandlers(const char* buildId);

// Runs before crashing: normal context.
// Puts the previous signal actions back; no dump is written from then on.
void removeHandlers();

// Runs before crashing: normal context.
// Publishes where dumps go and which reporter to start (null or empty: none). A path that does
// not fit kPathCapacity counts as none. A crash during the call sees the old or the new pair.
void publishConfig(const char* dumpFolder, const char* reporter);

// Runs before crashing: normal context.
// Gives the calling thread an alternate signal stack of kThreadStackSize, freed when the thread
// ends. A thread that has one at least that large (a sanitizer's) keeps it. Call it first thing
// in every thread the client creates; calling it again does nothing. False when it failed.
bool installThreadStack();

// Runs before crashing: normal context.
// Writes a dump for `sig` as the handler does, without a signal and without starting the
// reporter; `path` receives the file path. False when no folder is published or it fails.
bool writeDumpNow(int sig, char* path, size_t capacity);

}  // namespace kf::crash
