#pragma once
// Waiting in tests without a fixed sleep: the event loop keeps running while we wait.
#include <functional>

namespace kftest {

// Processes events until the condition holds (true) or the time is up (false).
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 15000);

// Processes events for a while, for checks that something does NOT happen.
void settle(int ms);

}  // namespace kftest
