#include "app/ps_application.h"

#include "app/process.h"
#include "window/window.h"

bool _PsEventFilter::nativeEventFilter(const QByteArray& eventType, void* message, long* result) {
    Window* window = kf::mainWindow();
    if (!window) {
        return false;
    }
    // Session end on this platform arrives as SIGTERM/SIGHUP or the session manager's request
    // (see SessionEndWatcher); everything else for the main window goes to the frame.
    return window->frameNativeEvent(eventType, message, result);
}

PsApplication::PsApplication(int& argc, char** argv) : QApplication(argc, argv) {}

PsApplication::~PsApplication() {
    if (filter_) {
        removeNativeEventFilter(filter_);
        delete filter_;
        filter_ = nullptr;
    }
}

void PsApplication::installPsEventFilter() {
    if (filter_) {
        removeNativeEventFilter(filter_);
        delete filter_;
    }
    filter_ = new _PsEventFilter;
    installNativeEventFilter(filter_);
}
