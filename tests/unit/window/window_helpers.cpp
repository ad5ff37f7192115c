#include "window_helpers.h"

#include <QDir>
#include <QJsonDocument>
#include <ostream>

#include "device/device_layer.h"
#include "input/input_layer.h"
#include "music/audio_data.h"
#include "platform/desktop/url_opener.h"
#include "platform/input/memory_hid_transport.h"
#include "platform/keyboard/keyboard_layouts.h"
#include "platform/pointer/recording_pointer_system.h"
#include "window/file_cache.h"
#include "window/file_dialogs.h"

namespace kftest {

Window::Options IsolatedWindow::options() {
    Options options;
    options.inputBackends = [] {
        kf::input::InputBackends backends;
        backends.transports = [] {
            pvmulti_client::TransportList list;
            list.push_back(std::make_unique<kf::platform::MemoryHidTransport>());
            return list;
        };
        return backends;
    };
    return options;
}

IsolatedWindow::IsolatedWindow() : Window(options()) {
    QDir(root.path()).mkpath("read");
    QDir(root.path()).mkpath("write");
    setFileCache(std::make_unique<FileCache>(root.path() + "/read", root.path() + "/write"));
    setFileDialogs(std::make_unique<ScriptedFileDialogs>());
    setPointerSystem(std::make_unique<kf::platform::RecordingPointerSystem>());
    setKeyboardLayouts(std::make_unique<kf::platform::RecordingKeyboardLayouts>());
    setUrlOpener(std::make_unique<kf::platform::RecordingUrlOpener>());
    setQuitRoutine([] {});
    // No device library or worker thread, no music player: those rows are the stand-ins' (or
    // unanswered).
    setDeviceLayer(nullptr);
    setInputLayer(nullptr);
    setAudioData(nullptr);
}

Answer ok(const QString& text) {
    return Answer{true, 0, text};
}
Answer failed(const QString& text) {
    return Answer{false, 0, text};
}

void PrintTo(const Answer& answer, std::ostream* os) {
    *os << (answer.success ? "success(" : "failure(") << answer.code << ", \"" << answer.text.toStdString()
        << "\")";
}

QueryCallbackPtr AnswerLog::callback() {
    auto answers = answers_;
    return QueryCallbackPtr::create(
        [answers](bool success, int code, const QString& text, bool) {
            answers->append(Answer{success, code, text});
        },
        false);
}

QList<Answer> ask(Window& window, const QString& request) {
    AnswerLog log;
    window.onJsMessage(request, log.callback());
    return log.answers();
}

QList<Answer> ask(Window& window, const QJsonObject& request) {
    return ask(window, QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)));
}

kf::device::DeviceMap FakeDevices::buildDeviceList() {
    calls << "buildDeviceList";
    return list;
}

bool FakeDevices::restartDevice(const QString& key) {
    calls << "restartDevice|" + key;
    return result;
}

bool FakeDevices::writeDeviceCode(const QString& key, const QString& index, const QString& code,
                                  const QString& length) {
    calls << "writeDeviceCode|" + key + "|" + index + "|" + code + "|" + length;
    return result;
}

bool FakeDevices::writeDeviceProperty(const QString& key, const QString& index, const QString& payload) {
    calls << "writeDeviceProperty|" + key + "|" + index + "|" + payload;
    return result;
}

bool FakeDevices::writeKeyColours(const QString& key, const QStringList& items) {
    calls << "writeKeyColours|" + key;
    lastItems = items;
    return result;
}

bool FakeInput::refreshVirtualMap(const QString& virtualStr) {
    calls << "refreshVirtualMap|" + virtualStr;
    return refreshResult;
}

bool FakeInput::start() {
    calls << "start";
    return true;
}

QString FakeInput::stop() {
    calls << "stop";
    return track;
}

bool FakeInput::open() {
    calls << "open";
    return openResult;
}

void FakeInput::close() {
    calls << "close";
}

bool FakeInput::releaseAllKeys(quint64) {
    calls << "releaseAllKeys";
    return true;
}

}  // namespace kftest
