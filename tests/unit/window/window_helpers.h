#pragma once
// Helpers for the dispatcher tests: a callback that records its answers in place of the page,
// a Window without a browser (no client handler), and recording stand-ins for the components
// the commands hand their work to.
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "cefclient/query_callback.h"
#include "window/window.h"
#include "window/window_components.h"

namespace kftest {

struct Answer {
    bool success = false;
    int code = 0;
    QString text;
    bool operator==(const Answer& other) const {
        return success == other.success && code == other.code && text == other.text;
    }
};

Answer ok(const QString& text);
Answer failed(const QString& text);
void PrintTo(const Answer& answer, std::ostream* os);

// Every answer given through the callbacks it makes, in the order given.
class AnswerLog {
public:
    QueryCallbackPtr callback();
    const QList<Answer>& answers() const { return *answers_; }
    int count() const { return answers_->size(); }
    Answer last() const { return answers_->isEmpty() ? Answer{} : answers_->last(); }

private:
    std::shared_ptr<QList<Answer>> answers_ = std::make_shared<QList<Answer>>();
};

// A request as the page sends it, with the answers it got.
QList<Answer> ask(Window& window, const QString& request);
QList<Answer> ask(Window& window, const QJsonObject& request);

// A Window whose profile files live in a temporary folder, whose dialogs are scripted and whose
// pointer settings, keyboard layouts, URL opening and quitting are recorded: dispatching any
// request in a test never blocks on a dialog or changes the desktop.
class IsolatedWindow : public Window {
public:
    IsolatedWindow();
    // No software-input layer: the macro, mouse-track and virtual-device rows are the
    // stand-ins' (or unanswered). Its construction opens an in-memory virtual device.
    static Options options();
    QTemporaryDir root;
};

class FakeDevices : public kf::device::DeviceListSource, public kf::device::DeviceRequests {
public:
    kf::device::DeviceMap list;
    bool result = true;
    bool loaded = true;  // whether the vendor library was loaded
    QStringList calls;   // one line per call: name and arguments joined by "|"
    QStringList lastItems;

    kf::device::DeviceMap buildDeviceList() override;
    bool libraryLoaded() const override { return loaded; }
    bool restartDevice(const QString& key) override;
    bool writeDeviceCode(const QString& key, const QString& index, const QString& code,
                         const QString& length) override;
    bool writeDeviceProperty(const QString& key, const QString& index, const QString& payload) override;
    bool writeKeyColours(const QString& key, const QStringList& items) override;
};

class FakeInput : public kf::window::VirtualKeyMaps,
                  public kf::window::MouseTrackHook,
                  public kf::window::VirtualInputDevice {
public:
    bool refreshResult = true;
    bool openResult = true;
    QString track = QStringLiteral("track");
    QString problem;
    QStringList calls;

    bool refreshVirtualMap(const QString& virtualStr) override;
    QString captureProblem() const override { return problem; }
    bool start() override;
    QString stop() override;
    bool open() override;
    void close() override;
    bool releaseAllKeys(quint64 endedTask) override;
};

class FakeMusic : public kf::music::MusicCommands, public kf::window::UpdateRunner {
public:
    QStringList calls;
    void SetSource(const QString& path) override { calls << "SetSource|" + path; }
    void PlayMusic() override { calls << "PlayMusic"; }
    void pauseMusic() override { calls << "pauseMusic"; }
    void ResumeMusic() override { calls << "ResumeMusic"; }
    void PlayLoopMusic() override { calls << "PlayLoopMusic"; }
    void seekPosition(int ms) override { calls << "seekPosition|" + QString::number(ms); }
    void SetMute(const QString& l, const QString& r) override { calls << "SetMute|" + l + "|" + r; }
    void SetPlayerVolume(const QString& l, const QString& r) override {
        calls << "SetPlayerVolume|" + l + "|" + r;
    }
    QString musicInfo() override { return QStringLiteral("{\"Title\":\"t\"}"); }
    void executeUpdateClient(const QString& path) override { calls << "executeUpdateClient|" + path; }
    void executeUpdateFirmware(const QString& key, const QString& path) override {
        calls << "executeUpdateFirmware|" + key + "|" + path;
    }
};

}  // namespace kftest
