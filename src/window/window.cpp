#include "window/window.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>
#include <utility>

#include "app/private_folder.h"
#include "app/system_tray.h"
#include "cefclient/client_handler.h"
#include "cefclient/qcef_web_view.h"
#include "cefclient/resource_request.h"
#include "cefclient/theme_archive.h"
#include "cefclient/update_package.h"
#include "device/device_data_handler.h"
#include "device/device_functions.h"
#include "device/device_layer.h"
#include "frame/pop_widget.h"
#include "input/input_layer.h"
#include "music/audio_data.h"
#include "platform/desktop/url_opener.h"
#include "platform/keyboard/keyboard_layouts.h"
#include "platform/pointer/pointer_system.h"
#include "platform/updater/updater_launcher.h"
#include "system/pointer_settings.h"
#include "window/command_args.h"
#include "window/file_cache.h"
#include "window/file_dialogs.h"
#include "window/updates.h"

using kf::window::argText;

namespace {
QString folderOr(const QString& folder, const QString& fallback) {
    return folder.isEmpty() ? fallback : folder;
}
}  // namespace

Window::Window(QWidget* parent) : Window(Options(), parent) {}

Window::Window(const Options& options, QWidget* parent)
    : PsMainWindow(options.startHidden, parent),
      appDir_(folderOr(options.appDir, QCoreApplication::applicationDirPath())),
      savedNormalGeometry_(0, 0, 0, 0),
      fileCache_(std::make_unique<FileCache>(
          folderOr(options.runtimeRoot, QDir::toNativeSeparators(QDir::tempPath())),
          folderOr(options.profileFolder, appDir_))),
      fileDialogs_(std::make_unique<QtFileDialogs>()),
      pointerSystem_(kf::platform::createPointerSystem()),
      pointerSettings_(std::make_unique<PointerSettings>(*pointerSystem_)),
      keyboardLayouts_(kf::platform::createKeyboardLayouts()),
      urlOpener_(kf::platform::createUrlOpener()),
      logFolder_(options.logFolder) {
    qRegisterMetaType<QueryCallbackPtr>("QueryCallbackPtr");
    qRegisterMetaType<pvmulti_client*>("pvmulti_client*");

    if (objectName().isEmpty()) {
        setObjectName(QStringLiteral("MainWindow"));
    }
    setWindowTitle(QStringLiteral("Vorkanta平台"));

    if (!options.runtimeRoot.isEmpty()) {
        // Written relative to the checked folder's descriptor, never through a link.
        kf::paths::unpackThemeInto(appDir_, QStringLiteral("theme.dat"), options.runtimeRoot);
    } else if (const QString tempFolder = QDir::toNativeSeparators(QDir::tempPath());
               QDir(tempFolder).exists()) {
        theme_archive::unpack(appDir_, QStringLiteral("theme.dat"), tempFolder);
    }
    // The device list object (DeviceFunctions) and the device worker (device_data_handler) on
    // its own thread, given ":/drive/D2.0"; its connections are made with it.
    setDeviceLayer(std::make_unique<kf::device::DeviceLayer>());
    setUpdateServices(kf::update::updateFolder(appDir_), kf::platform::createUpdaterLauncher());

    resize(kMinimumWidth, kMinimumHeight);
    setMaximumSize(kMinimumWidth, kMinimumHeight);
    setWindowOpacity(1);
    setMouseTracking(true);

    // The "url" switch lets a developer or a test point the client at another page.
    startPage_ = folderOr(options.startPage, QString::fromLatin1(resource_request::kStartPageUrl));
    if (ClientHandler* handler = kf::clientHandler()) {
        handler->setPageUrl(startPage_);
        handler->setStartUrl(startPage_);
    }
    mainView_ = new QCefWebView(this);
    mainView_->resize(kMinimumWidth, kMinimumHeight);
    mainView_->load(QUrl(startPage_));

    setMinimumSize(kMinimumWidth, kMinimumHeight);

    connect(mainView_, &QCefWebView::jsMessage, this, &Window::onJsMessage);
    setInputLayer(std::make_unique<kf::input::InputLayer>(
        options.inputBackends ? options.inputBackends() : kf::input::InputBackends::desktop()));
    connectVMulti();
    installEventFilter(this);
    setAudioData(std::make_unique<AudioData>(kf::music::createPlayer()));
}

Window::~Window() {
    // No trigger reaches this window from here on; the player and the capture object go with
    // their layer, after the virtual device is closed.
    if (inputLayer_) {
        inputLayer_->stopCapture();
    }
    // Running firmware updates stop at their next wait.
    components_.updates = nullptr;
    updates_.reset();
    if (tray_) {
        tray_->hide();
        tray_->deleteLater();
        tray_ = nullptr;
    }
    removeEventFilter(this);
    delete mainView_;
    mainView_ = nullptr;
    for (const QPointer<PopWidget>& view : qAsConst(views_)) {
        if (view)
            view->deleteLater();
    }
    disconnectVMulti();
    setInputLayer(nullptr);
    setAudioData(nullptr);
    // Stops the device worker's thread after the write it is running.
    setDeviceLayer(nullptr);
}

void Window::setDeviceLayer(std::unique_ptr<kf::device::DeviceLayer> layer) {
    if (deviceLayer_) {
        device_data_handler* worker = deviceLayer_->worker();
        disconnect(this, &Window::SigWriteDevice, worker, nullptr);
        disconnect(worker, nullptr, this, nullptr);
        if (components_.deviceList == deviceLayer_->deviceFunctions()) {
            components_.deviceList = nullptr;
        }
        if (components_.deviceRequests == worker) {
            components_.deviceRequests = nullptr;
        }
        // Stops the old worker; the writes it was given report nothing more, so their requests
        // fail now instead of taking the results of later writes. Results it sent before it
        // stopped may still be queued here: they belong to an older worker and answer nothing.
        deviceLayer_.reset();
        ++deviceLayerGeneration_;
        const QList<QueryCallbackPtr> pending = std::exchange(pendingAnswers_, {});
        for (const QueryCallbackPtr& callback : pending) {
            answerFailure(callback, QStringLiteral("writeDevices failed!"));
        }
    }
    deviceLayer_ = std::move(layer);
    if (!deviceLayer_) {
        return;
    }
    device_data_handler* worker = deviceLayer_->worker();
    components_.deviceList = deviceLayer_->deviceFunctions();
    components_.deviceRequests = worker;
    // Button writes go to the worker's thread and their results come back queued, in order;
    // its tray messages reach the balloon on this thread.
    connect(this, &Window::SigWriteDevice, worker, &device_data_handler::slot_writeDevice);
    connect(worker, &device_data_handler::SigcallbackReasult, this,
            [this, generation = deviceLayerGeneration_](bool ok) {
                if (generation == deviceLayerGeneration_) {
                    SlocallbackReasult(ok);
                }
            });
    connect(worker, &device_data_handler::SigShowMessage, this, &Window::ShowMessage);
}

void Window::setUpdateServices(const QString& updateFolder,
                               std::unique_ptr<kf::platform::UpdaterLauncher> launcher) {
    components_.updates = nullptr;
    updates_.reset();
    updaterLauncher_ = std::move(launcher);
    kf::window::Updates::Services services;
    services.appDir = appDir_;
    services.updateFolder = updateFolder;
    services.refreshUpdateState = [](const QString& value) {
        if (ClientHandler* handler = kf::clientHandler()) {
            handler->RefreshUpdateState(value);
        }
    };
    services.quitForUpdate = [this] {
        if (markUpdatePending_) {
            markUpdatePending_();
        }
        oncloseApp();
    };
    services.launcher = updaterLauncher_.get();
    // The restarted client gets this one's arguments; it starts shown whatever started this one.
    services.restartArguments = QCoreApplication::arguments().mid(1);
    services.restartArguments.removeAll(QStringLiteral("-autostart"));
    if (!logFolder_.isEmpty()) {
        services.updaterLog = logFolder_ + QStringLiteral("/updater.log");
    }
    updates_ = std::make_unique<kf::window::Updates>(std::move(services));
    components_.updates = updates_.get();
}

void Window::setAudioData(std::unique_ptr<AudioData> audio) {
    if (audio_ && components_.music == audio_.get()) {
        components_.music = nullptr;
    }
    audio_ = std::move(audio);
    if (!audio_) {
        return;
    }
    audio_->setScriptSink([this](const QString& script) {
        if (ClientHandler* handler = kf::clientHandler()) {
            handler->OnRGBMusicData(script, startPage_);
        }
    });
    components_.music = audio_.get();
}

void Window::setFileCache(std::unique_ptr<FileCache> cache) {
    if (cache)
        fileCache_ = std::move(cache);
}

void Window::setFileDialogs(std::unique_ptr<FileDialogs> dialogs) {
    if (dialogs)
        fileDialogs_ = std::move(dialogs);
}

void Window::setPointerSystem(std::unique_ptr<kf::platform::PointerSystem> system) {
    if (!system)
        return;
    pointerSettings_.reset();
    pointerSystem_ = std::move(system);
    pointerSettings_ = std::make_unique<PointerSettings>(*pointerSystem_);
}

void Window::deliver(const QueryCallbackPtr& cb, const CommandAnswer& answer) {
    switch (answer.kind) {
        case CommandAnswer::Success:
            answerSuccess(cb, answer.text);
            break;
        case CommandAnswer::Failure:
            answerFailure(cb, answer.text);
            break;
        case CommandAnswer::None:
            break;
    }
}

QString Window::themeNameFor(const QString& startPage) {
    static const QRegularExpression page(QStringLiteral("/[^/]*.html"));
    return startPage.mid(33).remove(page);
}

void Window::answerSuccess(QueryCallbackPtr callback, const QString& text) {
    if (callback)
        callback->Success(text);
}

void Window::answerFailure(QueryCallbackPtr callback, const QString& text) {
    if (callback)
        callback->Failure(0, text);
}

void Window::onJsMessage(QString name, QueryCallbackPtr callbackPtr) {
    // The two plain forms come first, anywhere in the text, whatever else the text is.
    if (name.contains(QLatin1String("maxsizeWindow"))) {
        maximizeHostWindow();
        return;
    }
    if (name.contains(QLatin1String("restoreWindow"))) {
        restoreHostWindow();
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(name.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return;
    }
    const QVariantMap args = doc.object().toVariantMap();
    if (!args.contains(QStringLiteral("FuncName"))) {
        return;
    }
    const QString funcname = argText(args, QStringLiteral("FuncName"));
    qDebug().noquote() << "funcname====" + funcname;
    dofunc(funcname, args, callbackPtr);
}

const Window::CommandRow* Window::commandTable(int* count) {
    // The whole command vocabulary, compared in this order; the first equal name runs.
    static const CommandRow table[] = {
        {"LoginMain", &Window::cmdLoginMain},
        {"GetDevicesList", &Window::cmdGetDevicesList},
        {"RestDevice", &Window::cmdRestDevice},
        {"ReadDevicesDpiVal", &Window::cmdReadDevicesDpiVal},
        {"CustomButton", &Window::cmdCustomButton},
        {"WriteDeviceMultimedia", &Window::cmdWriteDeviceMultimedia},
        {"WriteDeviceSn", &Window::cmdWriteDeviceSn},
        {"NotifyRGBDevice", &Window::cmdNotifyRGBDevice},
        {"loadurl", &Window::cmdLoadurl},
        {"ReadFileToStr", &Window::cmdReadFileToStr},
        {"ModifyFileFromStr", &Window::cmdModifyFileFromStr},
        {"mouseTracks", &Window::cmdMouseTracks},
        {"goback", &Window::cmdGoback},
        {"goforward", &Window::cmdGoforward},
        {"savexml", &Window::cmdSavexml},
        {"modifyMouseAcce", &Window::cmdModifyMouseAcce},
        {"ModifyWindowAcceleratedSpeed", &Window::cmdModifyWindowAcceleratedSpeed},
        {"modifyMouseAccel", &Window::cmdModifyMouseAccel},
        {"ModifyMouseScrollLines", &Window::cmdModifyMouseScrollLines},
        {"modifyMouseScrollLinesX", &Window::cmdModifyMouseScrollLinesX},
        {"modifyMouseDoubleClick", &Window::cmdModifyMouseDoubleClick},
        {"GetWindowsMouseConfig", &Window::cmdGetWindowsMouseConfig},
        {"GetWindowsKeyboreadConfig", &Window::cmdGetWindowsKeyboreadConfig},
        {"CloseX", &Window::cmdCloseX},
        {"CloseApp", &Window::cmdCloseApp},
        {"saveFileDialog", &Window::cmdSaveFileDialog},
        {"OpenFileDialog", &Window::cmdOpenFileDialog},
        {"OpenUrl", &Window::cmdOpenUrl},
        {"DownloadFile", &Window::cmdDownloadFile},
        {"OpenView", &Window::cmdOpenView},
        {"CloseView", &Window::cmdCloseView},
        {"SendMsgToMainBrowser", &Window::cmdSendMsgToMainBrowser},
        {"openFileDialogEx", &Window::cmdOpenFileDialogEx},
        {"SetIME", &Window::cmdSetIME},
        {"GetLocalConf", &Window::cmdGetLocalConf},
        {"GetVirtualDevice", &Window::cmdGetVirtualDevice},
        {"RefreshVirtualDrive", &Window::cmdRefreshVirtualDrive},
        {"ExecuteUpdateClient", &Window::cmdExecuteUpdateClient},
        {"ExecuteUpdateFirmware", &Window::cmdExecuteUpdateFirmware},
        {"GetVirtualDeviceStatus", &Window::cmdGetVirtualDeviceStatus},
        {"RGBMusicPlay", &Window::cmdRGBMusicPlay},
        {"GetMusicInfo", &Window::cmdGetMusicInfo},
        {"GetClientUpdate", &Window::cmdGetClientUpdate},
        {"GetDeviceLibraryStatus", &Window::cmdGetDeviceLibraryStatus},
        {"GetKeyMapCaptureStatus", &Window::cmdGetKeyMapCaptureStatus},
    };
    *count = int(sizeof(table) / sizeof(table[0]));
    return table;
}

QStringList Window::commandNames() {
    int count = 0;
    const CommandRow* table = commandTable(&count);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names.append(QString::fromLatin1(table[i].name));
    }
    return names;
}

void Window::dofunc(QString funcname, QVariantMap args, QueryCallbackPtr callbackPtr) {
    int count = 0;
    const CommandRow* table = commandTable(&count);
    for (int i = 0; i < count; ++i) {
        if (funcname == QLatin1String(table[i].name)) {
            (this->*table[i].run)(args, callbackPtr);
            return;
        }
    }
    // A name that is not in the table gets no answer.
}

void Window::SlocallbackReasult(bool Flag) {
    if (pendingAnswers_.isEmpty()) {
        return;  // a result nobody waits for
    }
    const QueryCallbackPtr oldest = pendingAnswers_.takeFirst();
    if (Flag) {
        answerSuccess(oldest, QStringLiteral("writeDevices success!"));
    } else {
        answerFailure(oldest, QStringLiteral("writeDevices failed!"));
    }
}

QString Window::deviceReportScript(const QString& reportData) {
    const QStringList fields = reportData.split(QLatin1Char(','));
    if (fields.size() < 3) {
        return QString();  // no kind and value to act on
    }
    const int kind = kf::window::textToInt(fields.at(1));
    const int value = kf::window::textToInt(fields.at(2));
    switch (kind) {
        case 1:
            return QStringLiteral("RefreshMode(%1)").arg(value);
        case 2:
            return QStringLiteral("RefreshDpi(%1)").arg(value);
        default:
            return QString();
    }
}

void Window::DeviceDataReportUi(QString ReportData) {
    const QString script = deviceReportScript(ReportData);
    if (!script.isEmpty() && mainView_) {
        mainView_->evaluateJavaScript(script, QString());
    }
}

int Window::classifyFrameArea(const QPoint& pos, const QSize& size, bool maximized) {
    const int x = pos.x();
    const int y = pos.y();
    const int w = size.width();
    const int h = size.height();
    if (maximized) {
        return (x >= 0 && x < w && y >= 0 && y < h) ? 1 : 0;
    }
    // The edge band is 0 wide: edges and corners lie just outside the window.
    if (y < 0) {
        return x < 0 ? 12 : (x > w - 1 ? 6 : 5);
    }
    if (y > h - 1) {
        return x < 0 ? 10 : (x > w - 1 ? 8 : 9);
    }
    return x < 0 ? 11 : (x > w - 1 ? 7 : 1);
}

int Window::frameAreaAt(const QPoint& pos) const {
    return classifyFrameArea(pos, size(), isMaximized());
}
