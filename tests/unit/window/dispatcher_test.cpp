// The receiving end of the page channel: recognising requests, the command table, argument
// reading, answers and the pending-answer queue of button writes. No browser: requests go
// straight into onJsMessage with a recording callback in place of the page.
#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaMethod>
#include <QSemaphore>
#include <QSignalSpy>
#include <thread>

#include "device/device_data_handler.h"
#include "device/device_layer.h"
#include "platform/pointer/recording_pointer_system.h"
#include "support/log_capture.h"
#include "window/command_args.h"
#include "window/file_cache.h"
#include "window/file_dialogs.h"
#include "window_helpers.h"

using kftest::ask;
using kftest::failed;
using kftest::ok;

namespace {

TEST(WindowInterface, MetaObjectHoldsTheTwentyFourMembersInDeclarationOrder) {
    const QMetaObject& meta = Window::staticMetaObject;
    const QStringList expected = {
        "funstared()",
        "StopVCMDOutput(bool)",
        "SigWriteDevice(QString,QString,QString,QString,QString,QString,QString,QString)",
        "dofunc(QString,QVariantMap,QueryCallbackPtr)",
        "ShowMessage(QString)",
        "DeviceDataReportUi(QString)",
        "LoginWindow()",
        "quitApp()",
        "finishLoading(bool)",
        "reload_currentPage()",
        "onJsMessage(QString,QueryCallbackPtr)",
        "onSystemtrayActive(QSystemTrayIcon::ActivationReason)",
        "onCurrentPropChanged(int,int)",
        "onshowWidget()",
        "oncloseApp()",
        "showMouseConf()",
        "showDebug()",
        "onTaskFinished(pvmulti_client*)",
        "deviceHotKeyActive()",
        "GetVirtualDeviceStatus()",
        "playActions(QString)",
        "connectVMulti()",
        "disconnectVMulti()",
        "SlocallbackReasult(bool)",
    };
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        EXPECT_EQ(QString::fromLatin1(method.methodSignature()), expected[i]) << "member " << i;
        EXPECT_EQ(method.methodType(), i < 3 ? QMetaMethod::Signal : QMetaMethod::Slot) << "member " << i;
    }
    EXPECT_EQ(QString::fromLatin1(meta.method(meta.indexOfSlot("GetVirtualDeviceStatus()")).typeName()),
              "bool");
}

TEST(WindowInterface, CommandTableHasEveryNameInOrder) {
    const QStringList expected = {"LoginMain",
                                  "GetDevicesList",
                                  "RestDevice",
                                  "ReadDevicesDpiVal",
                                  "CustomButton",
                                  "WriteDeviceMultimedia",
                                  "WriteDeviceSn",
                                  "NotifyRGBDevice",
                                  "loadurl",
                                  "ReadFileToStr",
                                  "ModifyFileFromStr",
                                  "mouseTracks",
                                  "goback",
                                  "goforward",
                                  "savexml",
                                  "modifyMouseAcce",
                                  "ModifyWindowAcceleratedSpeed",
                                  "modifyMouseAccel",
                                  "ModifyMouseScrollLines",
                                  "modifyMouseScrollLinesX",
                                  "modifyMouseDoubleClick",
                                  "GetWindowsMouseConfig",
                                  "GetWindowsKeyboreadConfig",
                                  "CloseX",
                                  "CloseApp",
                                  "saveFileDialog",
                                  "OpenFileDialog",
                                  "OpenUrl",
                                  "DownloadFile",
                                  "OpenView",
                                  "CloseView",
                                  "SendMsgToMainBrowser",
                                  "openFileDialogEx",
                                  "SetIME",
                                  "GetLocalConf",
                                  "GetVirtualDevice",
                                  "RefreshVirtualDrive",
                                  "ExecuteUpdateClient",
                                  "ExecuteUpdateFirmware",
                                  "GetVirtualDeviceStatus",
                                  "RGBMusicPlay",
                                  "GetMusicInfo",
                                  "GetClientUpdate",
                                  "GetDeviceLibraryStatus",
                                  "GetKeyMapCaptureStatus"};
    EXPECT_EQ(Window::commandNames(), expected);
    // Names that differ only in case or by a letter are distinct rows, never merged.
    EXPECT_EQ(Window::commandNames().removeDuplicates(), 0);
}

class Dispatcher : public ::testing::Test {
protected:
    kftest::IsolatedWindow window;
    kftest::FakeDevices devices;
    kftest::FakeInput input;
    kftest::FakeMusic music;

    void useComponents() {
        window.components().deviceList = &devices;
        window.components().deviceRequests = &devices;
        window.components().virtualKeyMaps = &input;
        window.components().mouseTracks = &input;
        window.components().virtualDevice = &input;
        window.components().music = &music;
        window.components().updates = &music;
    }
};

TEST_F(Dispatcher, MalformedRequestsAreDroppedWithoutAnswer) {
    useComponents();
    devices.list.insert("A", QJsonObject{{"Version", "A"}});
    const QStringList requests = {
        "",
        "not json",
        "[\"FuncName\",\"GetDevicesList\"]",
        "[{\"FuncName\":\"GetDevicesList\"}]",
        "\"GetDevicesList\"",
        "42",
        "null",
        "{\"FuncName\":\"GetDevicesList\"",   // cut short
        "{\"funcname\":\"GetDevicesList\"}",  // the key is case-sensitive too
        "{\"Version\":\"A\"}",
        "{\"FuncName\":\"\"}",
        "{\"FuncName\":null}",
        "{\"FuncName\":[\"GetDevicesList\"]}",
        "{\"FuncName\":{\"a\":1}}",
        "{\"FuncName\":\"NoSuchCommand\"}",
        "{\"FuncName\":\"GetDevicesList \"}",
        "{\"FuncName\":\" GetDevicesList\"}",
    };
    for (const QString& request : requests) {
        EXPECT_TRUE(ask(window, request).isEmpty()) << request.toStdString();
    }
    EXPECT_TRUE(devices.calls.isEmpty());
}

TEST_F(Dispatcher, NamesAreComparedCaseSensitively) {
    useComponents();
    devices.list.insert("A", QJsonObject{{"Version", "A"}});
    for (const char* name : {"getDevicesList", "GETDEVICESLIST", "getdeviceslist", "Getdeviceslist"}) {
        EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", name}}).isEmpty()) << name;
    }
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetDevicesList"}}),
              QList<kftest::Answer>{ok("[{\"Version\":\"A\"}]")});
    // "closex" is not "CloseX": the window is not hidden and nothing is answered.
    window.show();
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "closex"}}).isEmpty());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(Dispatcher, MaximizeAndRestoreTextsWinOverJsonDispatch) {
    window.show();
    // No host window exists here, so neither has a visible effect; what matters is that the
    // request is never dispatched as JSON and never answered.
    EXPECT_TRUE(ask(window, R"({"FuncName":"CloseX","note":"maxsizeWindow"})").isEmpty());
    EXPECT_TRUE(ask(window, R"({"FuncName":"CloseX","note":"restoreWindow"})").isEmpty());
    EXPECT_TRUE(ask(window, "xxmaxsizeWindowxx").isEmpty());
    EXPECT_TRUE(ask(window, "restoreWindow").isEmpty());
    EXPECT_TRUE(window.isVisible());
    // Not the same text in another case: this one is dispatched.
    EXPECT_EQ(ask(window, R"({"FuncName":"CloseX","note":"MaxsizeWindow"})"),
              QList<kftest::Answer>{ok("CloseX sucess")});
    EXPECT_FALSE(window.isVisible());
}

TEST_F(Dispatcher, RecognisedNamesWithoutBehaviourStayPendingAndDoNotFallThrough) {
    useComponents();
    for (const char* name :
         {"ReadDevicesDpiVal", "GetWindowsMouseConfig", "GetWindowsKeyboreadConfig", "DownloadFile"}) {
        EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", name}, {"Num", 5}, {"Version", "A"}}).isEmpty())
            << name;
    }
    // The sixteen-letter name starts the mouse-track hook and is not answered.
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "modifyMouseAccel"}, {"Num", 5}}).isEmpty());
    EXPECT_EQ(input.calls, QStringList{"start"});
    EXPECT_TRUE(devices.calls.isEmpty());
}

TEST_F(Dispatcher, RowsOfMissingComponentsStayUnanswered) {
    // Nothing pretends to succeed while the component that does the work is absent.
    const QList<QJsonObject> requests = {
        {{"FuncName", "GetDevicesList"}},
        {{"FuncName", "RestDevice"}, {"Version", "A"}},
        {{"FuncName", "WriteDeviceMultimedia"}, {"Version", "A"}},
        {{"FuncName", "WriteDeviceSn"}, {"Version", "A"}, {"Sn", "1"}},
        {{"FuncName", "NotifyRGBDevice"}, {"Version", "A"}, {"Data", "[\"1\"]"}},
        {{"FuncName", "mouseTracks"}, {"status", "开始"}},
        {{"FuncName", "GetVirtualDeviceStatus"}},
        {{"FuncName", "RGBMusicPlay"}, {"Event", "PlayMusic"}},
        {{"FuncName", "GetMusicInfo"}},
        {{"FuncName", "ExecuteUpdateClient"}, {"FilePath", "/tmp/u.zip"}},
        {{"FuncName", "ExecuteUpdateFirmware"}, {"Version", "A"}, {"FilePath", "/tmp/f.bin"}},
    };
    for (const QJsonObject& request : requests) {
        EXPECT_TRUE(ask(window, request).isEmpty()) << request.value("FuncName").toString().toStdString();
    }
    EXPECT_FALSE(window.GetVirtualDeviceStatus());
}

TEST_F(Dispatcher, ANameChosenInTheSaveDialogIsWritableWithTheExtensionThePageAdds) {
    QTemporaryDir home;
    auto dialogs = std::make_unique<ScriptedFileDialogs>();
    dialogs->addAnswer(home.filePath("export"));
    window.setFileDialogs(std::move(dialogs));
    ASSERT_EQ(ask(window, QJsonObject{{"FuncName", "saveFileDialog"}}),
              QList<kftest::Answer>{kftest::ok(home.filePath("export"))});
    for (const QString& path : {home.filePath("export.pfd"), home.filePath("export")}) {
        EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "ModifyFileFromStr"},
                                          {"FilePath", path},
                                          {"ContentStr", "<configuration/>"}}),
                  QList<kftest::Answer>{kftest::ok("ModifyFileFromStr success")})
            << path.toStdString();
        EXPECT_TRUE(QFile::exists(path));
    }
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "ModifyFileFromStr"},
                                      {"FilePath", home.filePath("export.xml")},
                                      {"ContentStr", "<configuration/>"}}),
              QList<kftest::Answer>{kftest::failed("ModifyFileFromStr failed")});
}

TEST_F(Dispatcher, ASaveThatCannotWriteAnswersFailureAndAtQuitIsLogged) {
    ASSERT_EQ(
        ask(window,
            QJsonObject{{"FuncName", "ModifyFileFromStr"}, {"FilePath", "a.xml"}, {"ContentStr", "<a/>"}}),
        QList<kftest::Answer>{kftest::ok("ModifyFileFromStr success")});
    window.fileCache()->setCommitGate([](const QString&) { return false; });
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "savexml"}}),
              QList<kftest::Answer>{kftest::failed("save xml failed")});
    kftest::LogCapture log;
    window.quitApp();
    EXPECT_EQ(log.matching("profile changes not saved:").size(), 1) << log.lines().join('\n').toStdString();
    EXPECT_EQ(window.fileCache()->changedFiles().size(), 1);
}

TEST_F(Dispatcher, FileAndPointerRowsAnswerThroughTheirComponents) {
    auto dialogs = std::make_unique<ScriptedFileDialogs>();
    dialogs->addAnswer("/home/user/profile.xml");
    dialogs->addCancel();
    dialogs->addCancel();
    window.setFileDialogs(std::move(dialogs));
    auto pointer = std::make_unique<kf::platform::RecordingPointerSystem>();
    kf::platform::RecordingPointerSystem* recorded = pointer.get();
    window.setPointerSystem(std::move(pointer));

    // A new file is written at once under the profile root, which is also read first.
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "ModifyFileFromStr"},
                                      {"FilePath", "a.xml"},
                                      {"ContentStr", "<a><b>1</b></a>"}}),
              QList<kftest::Answer>{kftest::ok("ModifyFileFromStr success")});
    EXPECT_TRUE(QFile::exists(window.root.path() + "/write/a.xml"));
    EXPECT_EQ(
        ask(window, QJsonObject{{"FuncName", "ReadFileToStr"}, {"FilePath", "a.xml"}, {"Xpath", "/a/b"}}),
        QList<kftest::Answer>{kftest::ok("<b>1</b>\n")});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "ReadFileToStr"}, {"Xpath", "/a"}}),
              QList<kftest::Answer>{});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "ModifyFileFromStr"},
                                      {"FilePath", "../escape.xml"},
                                      {"ContentStr", "<a/>"}}),
              QList<kftest::Answer>{kftest::failed("ModifyFileFromStr failed")});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "saveFileDialog"}}),
              QList<kftest::Answer>{kftest::ok("/home/user/profile.xml")});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "OpenFileDialog"}}),
              QList<kftest::Answer>{kftest::failed("doesn't select file")});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "openFileDialogEx"}}), QList<kftest::Answer>{});

    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "modifyMouseDoubleClick"}, {"Num", 11}}),
              QList<kftest::Answer>{kftest::ok("modifyMouseDoubleClick success")});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "modifyMouseDoubleClick"}, {"Num", 12}}),
              QList<kftest::Answer>{kftest::failed("modifyMouseDoubleClick failed")});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "modifyMouseAcce"}, {"Num", 0}}),
              QList<kftest::Answer>{kftest::ok("modifyMouseAccel success")});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "ModifyMouseScrollLines"}}), QList<kftest::Answer>{});
    ASSERT_EQ(recorded->calls().size(), 2);
    EXPECT_EQ(recorded->calls().at(0).toString(), "DoubleClickTime(200)");
    EXPECT_EQ(recorded->calls().at(1).toString(), "Acceleration(0, 0, 0)");
}

TEST_F(Dispatcher, CustomButtonSendsTheEightTextsInWorkerOrderAndQueuesTheCallback) {
    QSignalSpy writes(&window, &Window::SigWriteDevice);
    kftest::AnswerLog log;
    window.onJsMessage(R"({"FuncName":"CustomButton","Version":"MG1","Mode":"2","TaskIndex":7,"Task":"A+B",)"
                       R"("TaskType":"key","PlayCount":3,"PlayDelay":0.5,"PlayType":true})",
                       log.callback());
    ASSERT_EQ(writes.size(), 1);
    QStringList texts;
    for (const QVariant& v : writes.first())
        texts << v.toString();
    EXPECT_EQ(texts, (QStringList{"MG1", "7", "2", "A+B", "key", "3", "0.5", "true"}));
    EXPECT_EQ(log.count(), 0);
    EXPECT_EQ(window.pendingAnswerCount(), 1);
}

TEST_F(Dispatcher, MissingArgumentsReadAsEmptyTexts) {
    QSignalSpy writes(&window, &Window::SigWriteDevice);
    ask(window, R"({"FuncName":"CustomButton","Version":null,"Mode":[1],"Task":{"k":1}})");
    ASSERT_EQ(writes.size(), 1);
    for (const QVariant& v : writes.first())
        EXPECT_EQ(v.toString(), QString());
}

TEST_F(Dispatcher, ButtonWriteResultsAnswerInRequestOrder) {
    QSignalSpy worker(&window, &Window::SigWriteDevice);  // stands in for the device worker
    kftest::AnswerLog first, second, third;
    window.onJsMessage(R"({"FuncName":"CustomButton","Version":"1"})", first.callback());
    window.onJsMessage(R"({"FuncName":"CustomButton","Version":"2"})", second.callback());
    window.onJsMessage(R"({"FuncName":"CustomButton","Version":"3"})", third.callback());
    ASSERT_EQ(window.pendingAnswerCount(), 3);
    window.SlocallbackReasult(true);
    window.SlocallbackReasult(false);
    window.SlocallbackReasult(true);
    EXPECT_EQ(first.answers(), QList<kftest::Answer>{ok("writeDevices success!")});
    EXPECT_EQ(second.answers(), QList<kftest::Answer>{failed("writeDevices failed!")});
    EXPECT_EQ(third.answers(), QList<kftest::Answer>{ok("writeDevices success!")});
    EXPECT_EQ(window.pendingAnswerCount(), 0);
    // A result nobody waits for is ignored, and the next request is answered by the next result.
    window.SlocallbackReasult(true);
    kftest::AnswerLog fourth;
    window.onJsMessage(R"({"FuncName":"CustomButton"})", fourth.callback());
    window.SlocallbackReasult(false);
    EXPECT_EQ(fourth.answers(), QList<kftest::Answer>{failed("writeDevices failed!")});
}

TEST_F(Dispatcher, ButtonWriteResultsFromTheWorkerThreadArriveQueued) {
    // The worker reports from its own thread through the meta-object, queued onto the GUI
    // thread; the oldest request is still answered first.
    QSignalSpy standIn(&window, &Window::SigWriteDevice);
    kftest::AnswerLog first, second;
    window.onJsMessage(R"({"FuncName":"CustomButton"})", first.callback());
    window.onJsMessage(R"({"FuncName":"CustomButton"})", second.callback());
    std::thread worker([this] {
        QMetaObject::invokeMethod(&window, "SlocallbackReasult", Qt::QueuedConnection, Q_ARG(bool, false));
        QMetaObject::invokeMethod(&window, "SlocallbackReasult", Qt::QueuedConnection, Q_ARG(bool, true));
    });
    worker.join();
    EXPECT_EQ(first.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(first.answers(), QList<kftest::Answer>{failed("writeDevices failed!")});
    EXPECT_EQ(second.answers(), QList<kftest::Answer>{ok("writeDevices success!")});
}

TEST_F(Dispatcher, ButtonWritesWithoutAWorkerOrAcrossAWorkerSwapCannotDrift) {
    // No worker: unanswered like the other device rows, and no later result answers it.
    kftest::AnswerLog orphan;
    window.onJsMessage(R"({"FuncName":"CustomButton"})", orphan.callback());
    window.SlocallbackReasult(true);
    EXPECT_EQ(orphan.count(), 0);
    EXPECT_EQ(window.pendingAnswerCount(), 0);

    // Two writes whose results are on their way when the worker is replaced: both fail at the
    // swap, and the old results answer nothing later.
    window.setDeviceLayer(std::make_unique<kf::device::DeviceLayer>());
    QSemaphore reported;
    QObject::connect(
        window.deviceLayer()->worker(), &device_data_handler::SigcallbackReasult,
        window.deviceLayer()->worker(), [&reported] { reported.release(); }, Qt::DirectConnection);
    kftest::AnswerLog first, second, later;
    window.onJsMessage(R"({"FuncName":"CustomButton","Version":"1"})", first.callback());
    window.onJsMessage(R"({"FuncName":"CustomButton","Version":"2"})", second.callback());
    ASSERT_TRUE(reported.tryAcquire(2, 10000));
    window.setDeviceLayer(nullptr);
    EXPECT_EQ(first.answers(), QList<kftest::Answer>{failed("writeDevices failed!")});
    EXPECT_EQ(second.answers(), QList<kftest::Answer>{failed("writeDevices failed!")});
    QSignalSpy standIn(&window, &Window::SigWriteDevice);
    window.onJsMessage(R"({"FuncName":"CustomButton","Version":"3"})", later.callback());
    QCoreApplication::processEvents();
    EXPECT_EQ(later.count(), 0);
    EXPECT_EQ(window.pendingAnswerCount(), 1);
}

TEST(CommandArguments, ValuesReadAsTheirText) {
    using kf::window::argText;
    const QVariantMap args =
        QJsonDocument::fromJson(
            R"({"n":10,"neg":-3,"f":10.5,"big":1e15,"t":true,"f2":false,"s":"x","z":null,)"
            R"("a":[1],"o":{"k":1},"e":""})")
            .object()
            .toVariantMap();
    EXPECT_EQ(argText(args, "n"), "10");
    EXPECT_EQ(argText(args, "neg"), "-3");
    EXPECT_EQ(argText(args, "f"), "10.5");
    EXPECT_EQ(argText(args, "big"), "1000000000000000");
    EXPECT_EQ(argText(args, "t"), "true");
    EXPECT_EQ(argText(args, "f2"), "false");
    EXPECT_EQ(argText(args, "s"), "x");
    EXPECT_EQ(argText(args, "z"), "");
    EXPECT_EQ(argText(args, "a"), "");
    EXPECT_EQ(argText(args, "o"), "");
    EXPECT_EQ(argText(args, "missing"), "");
    EXPECT_EQ(argText(args, "N"), "") << "keys are case-sensitive";
    EXPECT_EQ(kf::window::textToInt("800"), 800);
    EXPECT_EQ(kf::window::textToInt("8x"), 0);
    EXPECT_EQ(kf::window::textToInt(""), 0);
    EXPECT_EQ(kf::window::textToInt("99999999999"), 0);
}

TEST(FrameAreas, ClassificationOfPointsAroundTheWindow) {
    const QSize size(100, 50);
    struct Case {
        int x, y;
        bool maximized;
        int area;
    } cases[] = {
        {0, 0, false, 1},   {99, 49, false, 1},  {50, 25, false, 1},  {-1, -1, false, 12},
        {50, -1, false, 5}, {100, -1, false, 6}, {100, 25, false, 7}, {100, 50, false, 8},
        {50, 50, false, 9}, {-1, 50, false, 10}, {-1, 25, false, 11}, {0, -1, false, 5},
        {99, 50, false, 9}, {0, 0, true, 1},     {99, 49, true, 1},   {-1, 25, true, 0},
        {100, 25, true, 0}, {50, -1, true, 0},   {50, 50, true, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Window::classifyFrameArea(QPoint(c.x, c.y), size, c.maximized), c.area)
            << c.x << "," << c.y << (c.maximized ? " maximized" : "");
    }
}

TEST(DeviceReports, ModeAndDpiReportsBecomePageScripts) {
    EXPECT_EQ(Window::deviceReportScript("0,1,3"), "RefreshMode(3)");
    EXPECT_EQ(Window::deviceReportScript("9,2,800,1"), "RefreshDpi(800)");
    EXPECT_EQ(Window::deviceReportScript(",2,"), "RefreshDpi(0)");
    EXPECT_EQ(Window::deviceReportScript("0,3,1"), "");
    EXPECT_EQ(Window::deviceReportScript("0,x,1"), "");
    // Reports too short to carry a kind and a value ask for nothing.
    EXPECT_EQ(Window::deviceReportScript(""), "");
    EXPECT_EQ(Window::deviceReportScript("1"), "");
    EXPECT_EQ(Window::deviceReportScript("1,1"), "");
    kftest::IsolatedWindow window;
    window.DeviceDataReportUi("0,1");  // no browser and no value: nothing happens, nothing breaks
}

}  // namespace
