#pragma once
// The controller window: receives every page request, recognises it by its exact name in the
// command table, has the work done and answers the page. Its signals and slots, in declaration
// order, are the interface the other subsystems meet on; the meta-object holds exactly these.
#include <QList>
#include <QMap>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QVariantMap>
#include <functional>
#include <memory>

#include "cefclient/query_callback.h"
#include "frame/pop_widget.h"
#include "frame/ps_main_window.h"
#include "input/pvmulti_client.h"
#include "input/trigger_entry.h"
#include "window/window_components.h"

class AudioData;
class FileCache;
class FileDialogs;
class PointerSettings;
class QCefWebView;
class QLabel;
class QTimer;
class SystemTray;
struct CommandAnswer;
namespace kf::device {
class DeviceLayer;
}  // namespace kf::device
namespace kf::input {
class InputLayer;
struct InputBackends;
}  // namespace kf::input
namespace kf::platform {
class KeyboardLayouts;
class PointerSystem;
class UpdaterLauncher;
class UrlOpener;
}  // namespace kf::platform
namespace kf::window {
class Updates;
class UpdateManifestFetcher;
}  // namespace kf::window

class Window : public PsMainWindow, public kf::input::TriggerTarget {
    Q_OBJECT
public:
    // What the start sequence decides for the window.
    struct Options {
        bool startHidden = false;  // started with -autostart: the first show keeps it hidden
        QString startPage;         // the page to show; empty for the web client page
        QString appDir;            // the application folder; empty for the executable's folder
        QString logFolder;         // the folder of the client's log, where the Updater logs too
        // The user's private runtime root: the theme files are unpacked there and it is the read
        // root of "ReadFileToStr"; empty for the temporary folder.
        QString runtimeRoot;
        // Where "ModifyFileFromStr" writes profile files (read there first); empty for appDir.
        QString profileFolder;
        // The software-input backends; empty for this machine's (evdev, uinput or XTest, XInput2).
        std::function<kf::input::InputBackends()> inputBackends;
    };

    explicit Window(QWidget* parent = nullptr);
    explicit Window(const Options& options, QWidget* parent = nullptr);
    ~Window() override;

    QCefWebView* mainView() const { return mainView_; }
    QString startPage() const { return startPage_; }

    // The theme name for a start page: everything after the 33-character prefix with every
    // "/<name>.html" removed ("black" for ".../local/black/client.html").
    static QString themeNameFor(const QString& startPage);

    // Answer helpers: deliver the text to the page's onSuccess / onFailure (code 0).
    static void answerSuccess(QueryCallbackPtr callback, const QString& text);
    static void answerFailure(QueryCallbackPtr callback, const QString& text);

    // A page beside the executable: the application folder followed by `relative` as it is
    // (pages pass it with a leading "/"), as a file URL.
    static QUrl localPageUrl(const QString& relative);

    // The command names in table order.
    static QStringList commandNames();

    // Frame area of a point relative to the window's top-left corner (codes of kf::frame).
    static int classifyFrameArea(const QPoint& pos, const QSize& size, bool maximized);
    int frameAreaAt(const QPoint& pos) const override;

    // The script a device report runs in the main view ("RefreshMode(n)", "RefreshDpi(n)"), or
    // an empty text when the report asks for nothing.
    static QString deviceReportScript(const QString& reportData);

    // The tray icon; created once by the start sequence. Logs when the desktop has no tray.
    void createSystemTray();
    SystemTray* systemTray() const { return tray_; }

    // Popup views by page URL, and the one that was activated last.
    QList<PopWidget*> popupViews() const;
    PopWidget* currentView() const { return currentView_; }
    // A popup reports that it became the active window.
    void setCurrentView(PopWidget* popup);

    int pendingAnswerCount() const { return pendingAnswers_.size(); }
    const kf::device::DeviceMap& deviceMap() const { return deviceMap_; }
    bool virtualDeviceConnected() const { return virtualDeviceConnected_; }

    // The components that perform device, macro, music and update commands (absent ones leave
    // their commands unanswered).
    kf::window::WindowComponents& components() { return components_; }

    // The device list object and the device worker with its thread, made at construction.
    // Replacing it (null removes it) rewires the device commands, SigWriteDevice and the
    // worker's results, and fails the "CustomButton" requests still waiting for the old worker;
    // tests that hand the device rows to stand-ins remove it.
    void setDeviceLayer(std::unique_ptr<kf::device::DeviceLayer> layer);
    kf::device::DeviceLayer* deviceLayer() const { return deviceLayer_.get(); }

    // The software-input layer: the virtual device, the macro player, the mouse-track recorder
    // and the capture object. Made at construction; replacing it (null removes it) ends its
    // capture loop and player and rewires the macro, mouse-track and virtual-device rows.
    void setInputLayer(std::unique_ptr<kf::input::InputLayer> layer);
    kf::input::InputLayer* inputLayer() const { return inputLayer_.get(); }
    // The start sequence, once the key code map is loaded and the virtual device is open: the
    // capture object with its thread, and the capture loop.
    void startCapture();

    // Software macros, called by the capture object on its thread: hand a trigger to the player
    // (which makes its executor on first use), and the player stop.
    void trigger(const kf::input::TriggerEntry& entry, int keyState) override;
    void stopPlayer() override;

    // The music player (AudioData), made at construction; its spectrum scripts go to the page
    // registered under the start page's URL as "OnRGBMusicData". Null removes it, and its
    // commands stay unanswered.
    void setAudioData(std::unique_ptr<AudioData> audio);
    AudioData* audioData() const { return audio_.get(); }

    // The profile files the pages read and edit, and the pointer settings; tests put them on
    // temporary folders and a recording backend.
    void setFileCache(std::unique_ptr<FileCache> cache);
    void setFileDialogs(std::unique_ptr<FileDialogs> dialogs);
    void setPointerSystem(std::unique_ptr<kf::platform::PointerSystem> system);
    FileCache* fileCache() const { return fileCache_.get(); }

    // Platform seams; tests record instead of acting.
    void setKeyboardLayouts(std::unique_ptr<kf::platform::KeyboardLayouts> layouts);
    void setUrlOpener(std::unique_ptr<kf::platform::UrlOpener> opener);
    // The client settings map read from conf.xml (the test tool view's address and size).
    void setClientInfo(const QMap<QString, QString>& info);

    // The update component ("ExecuteUpdateClient", "ExecuteUpdateFirmware"), made at
    // construction for the application folder's update folder (kf::update::updateFolder).
    // Replacing its folder and Updater launcher makes a new one (running firmware updates are
    // interrupted); tests use a temporary folder and a recording launcher.
    void setUpdateServices(const QString& updateFolder,
                           std::unique_ptr<kf::platform::UpdaterLauncher> launcher);
    kf::window::Updates* updates() const { return updates_.get(); }
    // Run when a client update is about to close the client for its Updater: the start
    // sequence sets the process's update-pending flag here, so the browser cache goes at exit.
    void setUpdatePendingRoutine(std::function<void()> routine) { markUpdatePending_ = std::move(routine); }
    // Whoever ends the client calls this first: `quit` runs at once when no firmware update is
    // running (false); else the window shows itself with a notice that the client closes once
    // the update is done, and `quit` runs then (true).
    bool quitAfterFirmwareUpdate(std::function<void()> quit);

signals:
    void funstared();
    void StopVCMDOutput(bool);
    void SigWriteDevice(QString, QString, QString, QString, QString, QString, QString, QString);

public slots:
    void dofunc(QString funcname, QVariantMap args, QueryCallbackPtr callbackPtr);
    void ShowMessage(QString Message);
    void DeviceDataReportUi(QString ReportData);
    void LoginWindow();
    void quitApp();
    void finishLoading(bool);
    void reload_currentPage();
    void onJsMessage(QString name, QueryCallbackPtr callbackPtr);
    void onSystemtrayActive(QSystemTrayIcon::ActivationReason reason);
    void onCurrentPropChanged(int propIndex, int proMode);
    void onshowWidget();
    void oncloseApp();
    void showMouseConf();
    void showDebug();
    void onTaskFinished(pvmulti_client* m_vmultia);
    void deviceHotKeyActive();
    bool GetVirtualDeviceStatus();
    void playActions(QString strActions);
    void connectVMulti();
    void disconnectVMulti();
    void SlocallbackReasult(bool Flag);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    using Command = void (Window::*)(const QVariantMap&, const QueryCallbackPtr&);
    struct CommandRow {
        const char* name;
        Command run;
    };
    static const CommandRow* commandTable(int* count);
    // The end of macro task `task` (0: of whatever ran): every key released unless a newer task
    // holds them.
    void finishTask(pvmulti_client* m_vmultia, quint64 task);

    // Window and application commands (window_app_commands.cpp).
    void cmdLoginMain(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdLoadurl(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGoback(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGoforward(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdCloseX(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdCloseApp(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdOpenUrl(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdOpenView(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdCloseView(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdSendMsgToMainBrowser(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdSetIME(const QVariantMap& args, const QueryCallbackPtr& cb);
    void maximizeHostWindow();
    void restoreHostWindow();
    PopWidget* openPopup(const QString& url, int width, int height);

    // Device commands (window_device_commands.cpp).
    void cmdGetDevicesList(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdRestDevice(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdReadDevicesDpiVal(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdCustomButton(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdWriteDeviceMultimedia(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdWriteDeviceSn(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdNotifyRGBDevice(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdMouseTracks(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdModifyMouseAccel(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGetLocalConf(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGetVirtualDevice(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdRefreshVirtualDrive(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGetVirtualDeviceStatus(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGetDeviceLibraryStatus(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGetKeyMapCaptureStatus(const QVariantMap& args, const QueryCallbackPtr& cb);

    // Profile and file commands (window_file_commands.cpp).
    void cmdReadFileToStr(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdModifyFileFromStr(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdSavexml(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGetWindowsKeyboreadConfig(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdSaveFileDialog(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdOpenFileDialog(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdDownloadFile(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdOpenFileDialogEx(const QVariantMap& args, const QueryCallbackPtr& cb);
    void saveChangedFiles();

    // Pointer settings (window_system_commands.cpp).
    void cmdModifyMouseAcce(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdModifyWindowAcceleratedSpeed(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdModifyMouseScrollLines(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdModifyMouseScrollLinesX(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdModifyMouseDoubleClick(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGetWindowsMouseConfig(const QVariantMap& args, const QueryCallbackPtr& cb);

    // Update commands (window_update_commands.cpp).
    void cmdExecuteUpdateClient(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdExecuteUpdateFirmware(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGetClientUpdate(const QVariantMap& args, const QueryCallbackPtr& cb);

    // Music commands (window_music_commands.cpp).
    void cmdRGBMusicPlay(const QVariantMap& args, const QueryCallbackPtr& cb);
    void cmdGetMusicInfo(const QVariantMap& args, const QueryCallbackPtr& cb);

    // Gives a component's answer to the page: success, failure, or none.
    static void deliver(const QueryCallbackPtr& cb, const CommandAnswer& answer);

    QCefWebView* mainView_ = nullptr;
    QString startPage_;
    QString appDir_;
    SystemTray* tray_ = nullptr;
    // Callbacks of "CustomButton" requests whose writes are running, oldest first.
    QList<QueryCallbackPtr> pendingAnswers_;
    kf::device::DeviceMap deviceMap_;
    kf::window::WindowComponents components_;
    std::unique_ptr<kf::device::DeviceLayer> deviceLayer_;
    // Counts device layer swaps: a result queued by a replaced worker is recognised and dropped.
    quint64 deviceLayerGeneration_ = 0;
    std::unique_ptr<kf::input::InputLayer> inputLayer_;
    std::unique_ptr<AudioData> audio_;
    bool virtualDeviceOpened_ = false;
    bool virtualDeviceConnected_ = false;

    // The host window's geometry before the page maximized it; `hasSavedGeometry_` tells
    // whether there is one, `hostMaximized_` whether the page's maximize is still in effect.
    QRect savedNormalGeometry_;
    QPointer<QWidget> maximizedHost_;
    bool hasSavedGeometry_ = false;
    bool hostMaximized_ = false;
    QMap<QString, QPointer<PopWidget>> views_;
    QPointer<PopWidget> currentView_;
    QList<QPointer<QTimer>> loginTimers_;
    bool quitAsked_ = false;
    QPointer<QLabel> quitNotice_;

    std::unique_ptr<FileCache> fileCache_;
    std::unique_ptr<FileDialogs> fileDialogs_;
    std::unique_ptr<kf::platform::PointerSystem> pointerSystem_;
    std::unique_ptr<PointerSettings> pointerSettings_;
    std::unique_ptr<kf::platform::KeyboardLayouts> keyboardLayouts_;
    std::unique_ptr<kf::platform::UrlOpener> urlOpener_;
    QMap<QString, QString> clientInfo_;
    QString logFolder_;
    std::function<void()> markUpdatePending_;
    std::unique_ptr<kf::platform::UpdaterLauncher> updaterLauncher_;
    std::unique_ptr<kf::window::Updates> updates_;
    kf::window::UpdateManifestFetcher* manifestFetcher_ = nullptr;  // a child, made at the first request
};
