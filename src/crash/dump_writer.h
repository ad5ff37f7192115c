#pragma once
// The dump writer and the helpers the signal handler shares with it: plain C++ and libc, no
// allocation, no locks, no Qt. Everything here may run inside the signal handler.
#include <csignal>
#include <cstddef>

namespace kf::crash {

// Facts every dump names, filled once before the handlers are installed (cut to fit).
void setProcessFacts(const char* programPath, const char* buildId);

// Creates a fresh "<folder>/<id>.dmp" (owner-only, never over an existing file) and writes the
// dump of `sig` into it: `info` and `context` are the handler's arguments, or null outside a
// handler. `path` (of `capacity` bytes) receives the file path. False when the path does not fit
// or the file cannot be written.
bool writeDump(const char* folder, int sig, const siginfo_t* info, const void* context, char* path,
               size_t capacity);

// Writes a zero-terminated text to a descriptor, retrying short writes.
void writeText(int fd, const char* text);

}  // namespace kf::crash
