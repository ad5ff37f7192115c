#include "app/core_resources.h"

#include <QtGlobal>
#include <mutex>

static void registerResources() {
    Q_INIT_RESOURCE(resources);
}

void initCoreResources() {
    static std::once_flag once;
    std::call_once(once, registerResources);
}
