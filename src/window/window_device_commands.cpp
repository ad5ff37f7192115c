// Device commands: the device list, restarts, parameter, serial number and colour writes,
// button assignments on the device worker, the built-in device files, the software key map,
// the mouse-track hook and the virtual input device, and the software macros' way in and out
// (trigger, the player stop, the end of a task). The device layer and the input layer provide
// the components (window_components.h); while one is missing, the commands that need it stay
// unanswered.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaMethod>
#include <QtDebug>

#include "encoding/drive_resources.h"
#include "encoding/key_colours.h"
#include "input/input_layer.h"
#include "window/command_args.h"
#include "window/window.h"

using kf::window::argText;

void Window::cmdGetDevicesList(const QVariantMap&, const QueryCallbackPtr& cb) {
    if (!components_.deviceList) {
        return;  // device discovery (DeviceFunctions) builds the list
    }
    deviceMap_ = components_.deviceList->buildDeviceList();
    QJsonArray devices;
    for (auto it = deviceMap_.constBegin(); it != deviceMap_.constEnd(); ++it) {
        devices.append(it.value());
    }
    if (devices.isEmpty()) {
        return;  // no device: no answer
    }
    answerSuccess(cb, QString::fromUtf8(QJsonDocument(devices).toJson(QJsonDocument::Compact)));
}

void Window::cmdRestDevice(const QVariantMap& args, const QueryCallbackPtr& cb) {
    const QString version = argText(args, QStringLiteral("Version"));
    if (!components_.deviceRequests) {
        return;  // the device worker (device data requests) restarts devices
    }
    if (components_.deviceRequests->restartDevice(version)) {
        answerSuccess(cb, QStringLiteral("RestDevice success"));
    } else {
        answerFailure(cb, QStringLiteral("RestDevice failed"));
    }
}

void Window::cmdReadDevicesDpiVal(const QVariantMap&, const QueryCallbackPtr&) {
    // Recognised; does nothing and is not answered.
}

void Window::cmdCustomButton(const QVariantMap& args, const QueryCallbackPtr& cb) {
    if (!isSignalConnected(QMetaMethod::fromSignal(&Window::SigWriteDevice))) {
        return;  // no device worker: no result would ever come, and a later one must not answer it
    }
    // The write runs on the device worker's thread; its result answers the oldest queued
    // request (SlocallbackReasult).
    emit SigWriteDevice(argText(args, QStringLiteral("Version")), argText(args, QStringLiteral("TaskIndex")),
                        argText(args, QStringLiteral("Mode")), argText(args, QStringLiteral("Task")),
                        argText(args, QStringLiteral("TaskType")), argText(args, QStringLiteral("PlayCount")),
                        argText(args, QStringLiteral("PlayDelay")),
                        argText(args, QStringLiteral("PlayType")));
    pendingAnswers_.append(cb);
}

void Window::cmdWriteDeviceMultimedia(const QVariantMap& args, const QueryCallbackPtr& cb) {
    const QString version = argText(args, QStringLiteral("Version"));
    const QString index = argText(args, QStringLiteral("Index"));
    const QString length = argText(args, QStringLiteral("Length"));
    const QString code = argText(args, QStringLiteral("DrviceDataCode"));
    if (!components_.deviceRequests) {
        return;  // the device worker writes device codes
    }
    if (components_.deviceRequests->writeDeviceCode(version, index, code, length)) {
        answerSuccess(cb, QStringLiteral("writeDevices success!"));
    } else {
        answerFailure(cb, QStringLiteral("writeDevices failed!"));
    }
}

void Window::cmdWriteDeviceSn(const QVariantMap& args, const QueryCallbackPtr& cb) {
    const QString version = argText(args, QStringLiteral("Version"));
    const QString sn = argText(args, QStringLiteral("Sn"));
    if (!components_.deviceRequests) {
        return;  // the device worker writes device properties
    }
    if (components_.deviceRequests->writeDeviceProperty(version, QStringLiteral("3"), sn)) {
        answerSuccess(cb, QStringLiteral("writeDevices success!"));
    } else {
        answerFailure(cb, QStringLiteral("writeDevices failed!"));
    }
}

void Window::cmdNotifyRGBDevice(const QVariantMap& args, const QueryCallbackPtr& cb) {
    const QString version = argText(args, QStringLiteral("Version"));
    const QString data = argText(args, QStringLiteral("Data"));
    if (!components_.deviceRequests) {
        return;  // the device worker writes key colours
    }
    // ["a","b"] written as text: the unwrapped text is the answer, its items are the colours.
    const QString unwrapped = kf::encoding::unwrapColourData(data);
    components_.deviceRequests->writeKeyColours(version,
                                                kf::encoding::colourItems(unwrapped));  // not reported
    answerSuccess(cb, unwrapped);
}

void Window::cmdMouseTracks(const QVariantMap& args, const QueryCallbackPtr& cb) {
    if (!args.contains(QStringLiteral("status"))) {
        return;
    }
    const QString status = argText(args, QStringLiteral("status"));
    if (!components_.mouseTracks) {
        return;  // the mouse-track hook (input hooks) records tracks
    }
    if (status == QStringLiteral("开始")) {
        components_.mouseTracks->start();
        answerSuccess(cb, QStringLiteral("mouseTracks success"));
    } else if (status == QStringLiteral("停止")) {
        answerSuccess(cb, components_.mouseTracks->stop());
    }
}

void Window::cmdModifyMouseAccel(const QVariantMap&, const QueryCallbackPtr&) {
    // Starts the mouse-track hook; never answered.
    if (components_.mouseTracks) {
        components_.mouseTracks->start();
    }
}

namespace {
QString driveResourceText(const QString& name) {
    // Only names of files directly under ":/drive/"; anything else reads as a missing file.
    QByteArray bytes;
    kf::encoding::readDriveResource(name, &bytes);
    return QString::fromUtf8(bytes);
}
}  // namespace

void Window::cmdGetLocalConf(const QVariantMap& args, const QueryCallbackPtr& cb) {
    answerSuccess(cb, driveResourceText(argText(args, QStringLiteral("Name"))));
}

void Window::cmdGetVirtualDevice(const QVariantMap&, const QueryCallbackPtr& cb) {
    answerSuccess(cb, driveResourceText(QStringLiteral("Virtual")));
}

void Window::cmdRefreshVirtualDrive(const QVariantMap& args, const QueryCallbackPtr& cb) {
    const QString virtualStr = argText(args, QStringLiteral("VirtualStr"));
    if (virtualStr.isEmpty()) {
        return;
    }
    // Without the capture object there is no key map to refresh.
    const bool ok = components_.virtualKeyMaps && components_.virtualKeyMaps->refreshVirtualMap(virtualStr);
    if (ok) {
        answerSuccess(cb, QStringLiteral("RefreshVirtualDrive success!"));
    } else {
        answerFailure(cb, QStringLiteral("RefreshVirtualDrive failed!"));
    }
}

void Window::cmdGetVirtualDeviceStatus(const QVariantMap&, const QueryCallbackPtr& cb) {
    if (!components_.virtualDevice) {
        return;  // the virtual input device reports its state
    }
    answerSuccess(cb, virtualDeviceConnected_ ? QStringLiteral("success") : QStringLiteral("failed"));
}

// Answered like "GetVirtualDeviceStatus": "success" when the vendor device library is loaded,
// "failed" when the client runs without one (it then lists no devices).
void Window::cmdGetDeviceLibraryStatus(const QVariantMap&, const QueryCallbackPtr& cb) {
    if (!components_.deviceList) {
        return;  // device discovery owns the library
    }
    answerSuccess(
        cb, components_.deviceList->libraryLoaded() ? QStringLiteral("success") : QStringLiteral("failed"));
}

bool Window::GetVirtualDeviceStatus() {
    return virtualDeviceConnected_;
}

void Window::connectVMulti() {
    if (virtualDeviceOpened_ || !components_.virtualDevice) {
        return;
    }
    // The handle stays allocated even when opening fails; only disconnectVMulti frees it.
    virtualDeviceOpened_ = true;
    virtualDeviceConnected_ = components_.virtualDevice->open();
}

void Window::disconnectVMulti() {
    if (!virtualDeviceOpened_) {
        return;
    }
    if (virtualDeviceConnected_ && components_.virtualDevice) {
        components_.virtualDevice->close();
    }
    virtualDeviceOpened_ = false;
}

void Window::onTaskFinished(pvmulti_client* m_vmultia) {
    finishTask(m_vmultia, 0);
}

void Window::finishTask(pvmulti_client*, quint64 task) {
    // Releases every key a macro may have left pressed, unless a newer task holds them now.
    if (components_.virtualDevice && virtualDeviceConnected_) {
        components_.virtualDevice->releaseAllKeys(task);
    }
    qInfo().noquote() << "onTaskFinished reset all key===========================";
}

void Window::playActions(QString) {}

void Window::setInputLayer(std::unique_ptr<kf::input::InputLayer> layer) {
    if (inputLayer_) {
        // No trigger reaches the old layer's player once its capture loop has ended.
        inputLayer_->stopCapture();
        disconnect(&inputLayer_->player(), nullptr, this, nullptr);
        if (components_.virtualDevice == inputLayer_.get()) {
            disconnectVMulti();
            virtualDeviceConnected_ = false;  // no device behind the flag any more
            components_.virtualDevice = nullptr;
        }
        if (components_.mouseTracks == &inputLayer_->mouseTracks()) {
            components_.mouseTracks = nullptr;
        }
        if (inputLayer_->capture() && components_.virtualKeyMaps == inputLayer_->capture()) {
            components_.virtualKeyMaps = nullptr;
        }
    }
    inputLayer_ = std::move(layer);
    if (!inputLayer_) {
        return;
    }
    components_.virtualDevice = inputLayer_.get();
    components_.mouseTracks = &inputLayer_->mouseTracks();
    if (inputLayer_->capture()) {
        components_.virtualKeyMaps = inputLayer_->capture();
    }
    // The executor reports the end of each task from its thread, with the task's number: by the
    // time the report arrives a newer task may hold keys that must stay down.
    connect(
        &inputLayer_->player(), &kf::input::MacroPlayer::taskFinished, this,
        [this](pvmulti_client* client, quint64 task) { finishTask(client, task); }, Qt::QueuedConnection);
}

void Window::startCapture() {
    if (!inputLayer_) {
        return;
    }
    if (DEVICE_FILTER* capture = inputLayer_->startCapture(this)) {
        components_.virtualKeyMaps = capture;
    }
}

void Window::trigger(const kf::input::TriggerEntry& entry, int keyState) {
    if (inputLayer_) {
        inputLayer_->player().trigger(entry, keyState);
    }
}

void Window::stopPlayer() {
    emit StopVCMDOutput(true);
    if (inputLayer_) {
        inputLayer_->player().stopPlayer();
    }
}

// Whether software key maps can catch keys: "success" while the capture runs (or has not been
// tried yet), else "failed: " and the reason, so the pages can say what to do rather than list
// a map that never plays.
void Window::cmdGetKeyMapCaptureStatus(const QVariantMap&, const QueryCallbackPtr& cb) {
    if (!components_.virtualKeyMaps) {
        return;  // no capture object: nothing to report
    }
    const QString problem = components_.virtualKeyMaps->captureProblem();
    answerSuccess(
        cb, problem.isEmpty() ? QStringLiteral("success") : QStringLiteral("failed: ") + problem.left(300));
}
