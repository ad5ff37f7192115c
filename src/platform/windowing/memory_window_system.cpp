#include "platform/windowing/memory_window_system.h"

#include <algorithm>

namespace kf::platform {

quint64 MemoryWindowSystem::addWindow(qint64 pid, const QString& title) {
    TopLevelWindow window;
    window.id = nextId_++;
    window.pid = pid;
    window.title = title;
    windows_.append(window);
    return window.id;
}

void MemoryWindowSystem::removeWindow(quint64 id) {
    windows_.erase(std::remove_if(windows_.begin(), windows_.end(),
                                  [id](const TopLevelWindow& window) { return window.id == id; }),
                   windows_.end());
}

QVector<TopLevelWindow> MemoryWindowSystem::topLevelWindows() {
    ++listCount_;
    return windows_;
}

bool MemoryWindowSystem::activateWindow(quint64 id) {
    activated_.append(id);
    if (!activationSucceeds_) {
        return false;
    }
    return std::any_of(windows_.cbegin(), windows_.cend(),
                       [id](const TopLevelWindow& window) { return window.id == id; });
}

}  // namespace kf::platform
