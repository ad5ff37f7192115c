#include "platform/session/memory_session_activity.h"

namespace kf::platform {

void MemorySessionActivity::setActive(bool active) {
    if (active != active_) {
        active_ = active;
        emit activeChanged(active);
    }
}

}  // namespace kf::platform
