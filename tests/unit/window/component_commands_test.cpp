// The device, macro, music and update rows with recording components: which operation each
// command calls, with which arguments in which order, and how the result becomes the answer.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>

#include "encoding/drive_resources.h"
#include "window_helpers.h"

using kftest::ask;
using kftest::failed;
using kftest::ok;
using Answers = QList<kftest::Answer>;

namespace {

class ComponentCommands : public ::testing::Test {
protected:
    kftest::IsolatedWindow window;
    kftest::FakeDevices devices;
    kftest::FakeInput input;
    kftest::FakeMusic music;

    void SetUp() override {
        window.components().deviceList = &devices;
        window.components().deviceRequests = &devices;
        window.components().virtualKeyMaps = &input;
        window.components().mouseTracks = &input;
        window.components().virtualDevice = &input;
        window.components().music = &music;
        window.components().updates = &music;
    }
};

TEST_F(ComponentCommands, DeviceListIsACompactArrayInKeyOrderAndNoneWhenEmpty) {
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "GetDevicesList"}}).isEmpty());
    devices.list.insert("MG2", QJsonObject{{"Version", "MG2"}, {"Sn", "2"}});
    devices.list.insert("KB1", QJsonObject{{"Version", "KB1"}, {"Sn", "1"}});
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetDevicesList"}}),
              Answers{ok(R"([{"Sn":"1","Version":"KB1"},{"Sn":"2","Version":"MG2"}])")});
    EXPECT_EQ(window.deviceMap().keys(), (QStringList{"KB1", "MG2"}));
    // Whether the list can have devices at all: the vendor library was loaded or not.
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetDeviceLibraryStatus"}}), Answers{ok("success")});
    devices.loaded = false;
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetDeviceLibraryStatus"}}), Answers{ok("failed")});
}

TEST_F(ComponentCommands, RestartAnswersTheOperationsResult) {
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "RestDevice"}, {"Version", "KB1"}}),
              Answers{ok("RestDevice success")});
    devices.result = false;
    // Without "Version" the restart is asked for the empty key and its result is answered.
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "RestDevice"}}), Answers{failed("RestDevice failed")});
    EXPECT_EQ(devices.calls, (QStringList{"restartDevice|KB1", "restartDevice|"}));
}

TEST_F(ComponentCommands, RawWriteGivesTheCodeBeforeItsLength) {
    EXPECT_EQ(ask(window, R"({"FuncName":"WriteDeviceMultimedia","Version":"KB1","Index":4,"Length":3,)"
                          R"("DrviceDataCode":"0x01,02,0x03"})"),
              Answers{ok("writeDevices success!")});
    devices.result = false;
    EXPECT_EQ(ask(window, R"({"FuncName":"WriteDeviceSn","Version":"KB1","Sn":"SN-9"})"),
              Answers{failed("writeDevices failed!")});
    EXPECT_EQ(devices.calls,
              (QStringList{"writeDeviceCode|KB1|4|0x01,02,0x03|3", "writeDeviceProperty|KB1|3|SN-9"}));
}

TEST_F(ComponentCommands, ColourDataIsUnwrappedSplitAndEchoed) {
    const QString data = R"(["1,2","3"])";
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "NotifyRGBDevice"}, {"Version", "KB1"}, {"Data", data}}),
              Answers{ok(R"(1,2","3)")});
    EXPECT_EQ(devices.lastItems, (QStringList{"1,2", "3"}));
    // The result of the write is not reported: a failing write still answers the data.
    devices.result = false;
    EXPECT_EQ(
        ask(window,
            QJsonObject{{"FuncName", "NotifyRGBDevice"}, {"Version", "KB1"}, {"Data", "[\"a\\\\\\\\b\"]"}}),
        Answers{ok("a\\\\b")});
    EXPECT_EQ(devices.lastItems, QStringList{"a\\\\b"});
}

TEST_F(ComponentCommands, MouseTracksStartStopAndIgnoreOtherStatus) {
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "mouseTracks"}}).isEmpty());
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "mouseTracks"}, {"status", "开始"}}),
              Answers{ok("mouseTracks success")});
    input.track = "10,20;30,40";
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "mouseTracks"}, {"status", "停止"}}),
              Answers{ok("10,20;30,40")});
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "mouseTracks"}, {"status", "start"}}).isEmpty());
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "mouseTracks"}, {"status", ""}}).isEmpty());
    EXPECT_EQ(input.calls, (QStringList{"start", "stop"}));
}

TEST_F(ComponentCommands, VirtualKeyMapRefresh) {
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "RefreshVirtualDrive"}}).isEmpty());
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "RefreshVirtualDrive"}, {"VirtualStr", ""}}).isEmpty());
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "RefreshVirtualDrive"}, {"VirtualStr", "<x/>"}}),
              Answers{ok("RefreshVirtualDrive success!")});
    input.refreshResult = false;
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "RefreshVirtualDrive"}, {"VirtualStr", "<x/>"}}),
              Answers{failed("RefreshVirtualDrive failed!")});
    // Whether the map can catch keys at all, with the reason when it cannot.
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetKeyMapCaptureStatus"}}), Answers{ok("success")});
    input.problem = QStringLiteral("the input devices cannot be opened (Permission denied)");
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetKeyMapCaptureStatus"}}),
              Answers{ok("failed: the input devices cannot be opened (Permission denied)")});
    // Without the capture object there is no key map: the refresh fails, the status is unanswered.
    window.components().virtualKeyMaps = nullptr;
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "RefreshVirtualDrive"}, {"VirtualStr", "<x/>"}}),
              Answers{failed("RefreshVirtualDrive failed!")});
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "GetKeyMapCaptureStatus"}}).isEmpty());
}

TEST_F(ComponentCommands, VirtualDeviceOpensOnceAndReportsItsState) {
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetVirtualDeviceStatus"}}), Answers{ok("failed")});
    input.openResult = false;
    window.connectVMulti();
    window.connectVMulti();  // the handle exists: nothing happens
    EXPECT_FALSE(window.GetVirtualDeviceStatus());
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetVirtualDeviceStatus"}}), Answers{ok("failed")});
    window.disconnectVMulti();  // never connected: nothing to close
    input.openResult = true;
    window.connectVMulti();
    EXPECT_TRUE(window.GetVirtualDeviceStatus());
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetVirtualDeviceStatus"}}), Answers{ok("success")});
    window.onTaskFinished(nullptr);
    window.disconnectVMulti();
    EXPECT_EQ(input.calls, (QStringList{"open", "open", "releaseAllKeys", "close"}));
}

TEST_F(ComponentCommands, MusicEventsReachThePlayerAndAllAnswerTheSame) {
    const QList<QJsonObject> requests = {
        {{"FuncName", "RGBMusicPlay"}, {"Event", "PlayMusic"}, {"Url", "music/a.mp3"}},
        {{"FuncName", "RGBMusicPlay"}, {"Event", "PlayMusic"}, {"Url", "/home/u/b.flac"}},  // as it stands
        {{"FuncName", "RGBMusicPlay"}, {"Event", "PauseMusic"}},
        {{"FuncName", "RGBMusicPlay"}, {"Event", "ResumeMusic"}},
        {{"FuncName", "RGBMusicPlay"}, {"Event", "PlayLoopMusic"}},
        {{"FuncName", "RGBMusicPlay"}, {"Event", "SeekPosition"}, {"RefreshPosition", 1500}},
        {{"FuncName", "RGBMusicPlay"}, {"Event", "SetMute"}, {"L", 0}, {"R", "1"}},
        {{"FuncName", "RGBMusicPlay"}, {"Event", "SetPlayerVolume"}, {"L", 80}, {"R", 70}},
        {{"FuncName", "RGBMusicPlay"}, {"Event", "playmusic"}},
        {{"FuncName", "RGBMusicPlay"}},
    };
    for (const QJsonObject& request : requests) {
        EXPECT_EQ(ask(window, request), Answers{ok("RGBMusicPlay success")});
    }
    EXPECT_EQ(music.calls,
              (QStringList{"SetSource|" + QCoreApplication::applicationDirPath() + "/music/a.mp3",
                           "PlayMusic", "SetSource|/home/u/b.flac", "PlayMusic", "pauseMusic", "ResumeMusic",
                           "PlayLoopMusic", "seekPosition|1500", "SetMute|0|1", "SetPlayerVolume|80|70"}));
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetMusicInfo"}}), Answers{ok("{\"Title\":\"t\"}")});
}

TEST_F(ComponentCommands, UpdatesAreHandedOverAndNeverAnswered) {
    EXPECT_TRUE(
        ask(window, QJsonObject{{"FuncName", "ExecuteUpdateClient"}, {"FilePath", "/u/p.zip"}}).isEmpty());
    EXPECT_TRUE(
        ask(window,
            QJsonObject{{"FuncName", "ExecuteUpdateFirmware"}, {"Version", "KB1"}, {"FilePath", "/f.bin"}})
            .isEmpty());
    EXPECT_EQ(music.calls, (QStringList{"executeUpdateClient|/u/p.zip", "executeUpdateFirmware|KB1|/f.bin"}));
}

TEST(BuiltInFiles, LocalConfAnswersTheResourceTextOrEmpty) {
    kftest::IsolatedWindow window;
    QByteArray define;
    ASSERT_TRUE(kf::encoding::readDriveResource("Define", &define));
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetLocalConf"}, {"Name", "Define"}}),
              Answers{ok(QString::fromUtf8(define))});
    QByteArray virtualTable;
    ASSERT_TRUE(kf::encoding::readDriveResource("Virtual", &virtualTable));
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetVirtualDevice"}}),
              Answers{ok(QString::fromUtf8(virtualTable))});
    // Missing, empty and path-like names answer an empty text; nothing outside ":/drive/" is read.
    for (const char* name : {"NoSuchFile", "", "../qss/qssmain", "/Define", "..", "D2.0/"}) {
        EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetLocalConf"}, {"Name", name}}), Answers{ok("")})
            << name;
    }
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetLocalConf"}}), Answers{ok("")});
}

}  // namespace
