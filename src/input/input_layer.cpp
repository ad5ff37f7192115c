#include "input/input_layer.h"

#include <QMutexLocker>
#include <QtDebug>

#include "crash/crash_signal.h"

#include "platform/input/virtual_hid_transport.h"

namespace kf::input {

InputBackends InputBackends::desktop() {
    InputBackends backends;
    backends.driver = platform::createInterceptionDriver;
    backends.transports = platform::createVirtualHidTransports;
    backends.pointerHook = platform::createPointerButtonHook();
    backends.programs = platform::createDesktopPrograms();
    backends.urls = platform::createUrlOpener();
    backends.session = platform::createSessionActivity();
    return backends;
}

InputLayer::InputLayer(InputBackends backends) : backends_(std::move(backends)) {
    if (!backends_.programs) {
        backends_.programs = std::make_unique<platform::RecordingDesktopPrograms>();
    }
    if (!backends_.urls) {
        backends_.urls = std::make_unique<platform::RecordingUrlOpener>();
    }
    shortcuts_ = std::make_unique<ShortcutPrograms>(*backends_.programs, *backends_.urls);
    commandExec::Services services;
    services.setCaptureEnabled = [this](bool on) {
        if (DEVICE_FILTER* capture = captureForPlayer_.load()) {
            capture->setCaptureEnabled(on);
        }
    };
    services.shortcuts = shortcuts_.get();
    player_ = std::make_unique<MacroPlayer>([this] { return client(); }, services);
    mouseTracks_ = std::make_unique<MouseTrackRecorder>(std::move(backends_.pointerHook));
}

InputLayer::~InputLayer() {
    stopCapture();
    player_.reset();
    captureForPlayer_ = nullptr;
    delete capture_;
    capture_ = nullptr;
    QMutexLocker lock(&clientMutex_);
    if (client_) {
        client_->disconnect();
        client_.reset();
    }
}

bool InputLayer::open() {
    auto fresh = std::make_shared<pvmulti_client>(backends_.transports);
    const bool connected = fresh->connect();
    QMutexLocker lock(&clientMutex_);
    client_ = std::move(fresh);
    return connected;
}

void InputLayer::close() {
    QMutexLocker lock(&clientMutex_);
    if (client_) {
        // A play still running keeps its reference; its reports go nowhere from now on.
        client_->disconnect();
        client_.reset();
    }
}

bool InputLayer::releaseAllKeys(quint64 endedTask) {
    if (endedTask != 0) {
        return player_->releaseKeysAfter(endedTask);
    }
    const std::shared_ptr<pvmulti_client> device = client();
    const quint8 none[6] = {};
    return device && device->sendKeyboard(0, none);
}

std::shared_ptr<pvmulti_client> InputLayer::client() const {
    QMutexLocker lock(&clientMutex_);
    return client_;
}

DEVICE_FILTER* InputLayer::startCapture(TriggerTarget* target) {
    if (capture_) {
        return capture_;
    }
    std::unique_ptr<platform::InterceptionDriver> driver = backends_.driver ? backends_.driver() : nullptr;
    if (!driver) {
        return nullptr;
    }
    capture_ = new DEVICE_FILTER(std::move(driver), target);
    captureForPlayer_ = capture_;
    if (platform::SessionActivity* session = backends_.session.get()) {
        if (session->available()) {
            capture_->setSessionActive(session->isActive());
            DEVICE_FILTER* capture = capture_;
            QObject::connect(
                session, &platform::SessionActivity::activeChanged, capture_,
                [capture](bool active) { capture->setSessionActive(active); }, Qt::DirectConnection);
        } else {
            qInfo().noquote()
                << QStringLiteral(
                       "input capture: the desktop session cannot be watched (%1); keyboards and "
                       "mice stay captured while another user's session is in front")
                       .arg(session->unavailableReason());
        }
    }
    captureThread_ = new QThread;
    captureThread_->setObjectName(QStringLiteral("input capture"));
    capture_->moveToThread(captureThread_);
    // First thing on the new thread: a stack for the crash handler, so an overflow is reported too.
    QObject::connect(captureThread_, &QThread::started, captureThread_, &kf::crash::installThreadStack,
                     Qt::DirectConnection);
    QObject::connect(captureThread_, &QThread::started, capture_, &DEVICE_FILTER::start);
    captureThread_->start(QThread::InheritPriority);
    return capture_;
}

void InputLayer::stopCapture() {
    if (!captureThread_) {
        return;
    }
    capture_->stopCapture();
    captureThread_->quit();
    captureThread_->wait();
    delete captureThread_;
    captureThread_ = nullptr;
}

}  // namespace kf::input
