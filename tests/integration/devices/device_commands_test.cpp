// The device commands through the dispatcher with the emulated library: what the page is
// answered, and the bytes the device received as the emulator's journal recorded them.
#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "device_host_helpers.h"
#include "unit/device/emulator_helpers.h"
#include "window/window.h"

using kftest::EmulatorSandbox;
using kftest::PageAnswer;
using kftest::request;

namespace {

const QString kMouse = "QZK-ZMC-V1.1.0";
const QString kKeyboard = "QZK-ZKC-V1.1.0";

QString json(const QJsonObject& o) {
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

bool isOk(const QList<PageAnswer>& answers, const QString& text) {
    return answers.size() == 1 && answers[0].success && answers[0].code == 0 && answers[0].text == text;
}

bool isFailure(const QList<PageAnswer>& answers, const QString& text) {
    return answers.size() == 1 && !answers[0].success && answers[0].code == 0 && answers[0].text == text;
}

QJsonObject customButton(const QString& version, const QString& index, const QString& type,
                         const QString& task, const QString& playType = "1", const QString& playCount = "1") {
    return {{"FuncName", "CustomButton"},
            {"Version", version},
            {"TaskIndex", index},
            {"Mode", "0"},
            {"Task", task},
            {"TaskType", type},
            {"PlayCount", playCount},
            {"PlayDelay", "50"},
            {"PlayType", playType}};
}

}  // namespace

class DeviceCommands : public ::testing::Test {
protected:
    EmulatorSandbox sandbox{[] {
        QJsonObject mouse = kftest::simDevice("ms", "QZK-ZMC-V1.1.0_01", "MS-1");
        mouse.insert("failWrites", QJsonArray{12});
        return QJsonArray{mouse, kftest::simDevice("kb", "QZK-ZKC-V1.1.0_01", "KB-1", "keyboard")};
    }()};

    void SetUp() override {
        kftest::deviceHost();
        sandbox.clearJournal();
    }

    QList<PageAnswer> listDevices() {
        const auto answers = request(R"({"FuncName":"GetDevicesList"})");
        sandbox.clearJournal();
        return answers;
    }

    // The data of each parameter write, "index:hex", in order.
    QStringList writes() const {
        QStringList out;
        for (const QJsonObject& call : sandbox.calls("dcWriteProperty")) {
            const QJsonObject args = call.value("args").toObject();
            out << QString::number(args.value("index").toInt()) + ":" + args.value("data").toString();
        }
        return out;
    }

    // Sends the "CustomButton" requests and waits for all their answers.
    QList<PageAnswer> buttons(const QList<QJsonObject>& requests) {
        kftest::Answers answers;
        for (const QJsonObject& r : requests) {
            kftest::deviceHost().window->onJsMessage(json(r), answers.callback());
        }
        EXPECT_TRUE(kftest::waitFor([&] { return answers.count() >= requests.size(); }));
        return answers.list();
    }
};

TEST_F(DeviceCommands, RestartBeforeAnyDeviceListFails) {
    // The device is attached, but no list was asked for since this emulator started.
    EXPECT_TRUE(
        isFailure(request(json({{"FuncName", "RestDevice"}, {"Version", kMouse}})), "RestDevice failed"));
    EXPECT_TRUE(isFailure(request(R"({"FuncName":"RestDevice"})"), "RestDevice failed"));
    EXPECT_TRUE(sandbox.calls("Reset").isEmpty());
    // After listing, the same request restarts the device.
    listDevices();
    EXPECT_TRUE(isOk(request(json({{"FuncName", "RestDevice"}, {"Version", kMouse}})), "RestDevice success"));
    ASSERT_EQ(sandbox.calls("Reset").size(), 1);
    EXPECT_EQ(sandbox.calls("Reset")[0].value("args").toObject(), (QJsonObject{{"mode", 2}, {"zero", 0}}));
}

TEST_F(DeviceCommands, DeviceListIsACompactArrayOrderedByVersion) {
    const auto answers = listDevices();
    ASSERT_EQ(answers.size(), 1);
    EXPECT_TRUE(answers[0].success);
    EXPECT_EQ(answers[0].text,
              R"([{"DevicePath":"kestrafon-sim:kb/vid_258a&pid_001a&mi_01&col02","LastVersionNum":"01",)"
              R"("QZVersion":"QZK","Sn":"KB-1","Version":"QZK-ZKC-V1.1.0"},)"
              R"({"DevicePath":"kestrafon-sim:ms/vid_258a&pid_001a&mi_01&col02","LastVersionNum":"01",)"
              R"("QZVersion":"QZK","Sn":"MS-1","Version":"QZK-ZMC-V1.1.0"}])");
    EXPECT_EQ(kftest::deviceHost().window->deviceMap().keys(), (QStringList{kKeyboard, kMouse}));
    // With nothing attached the list is not answered at all.
    QFile::remove(sandbox.stateFolder() + "/attached/ms");
    QFile::remove(sandbox.stateFolder() + "/attached/kb");
    EXPECT_TRUE(listDevices().isEmpty());
    EXPECT_TRUE(kftest::deviceHost().window->deviceMap().isEmpty());
}

TEST_F(DeviceCommands, ButtonAssignmentsAreAnsweredInRequestOrder) {
    listDevices();
    // Index 12 of the mouse fails its writes.
    const auto answers = buttons({customButton(kMouse, "11", "Mouse", "单击左键()"),
                                  customButton(kMouse, "12", "Mouse", "单击左键()"),
                                  customButton(kMouse, "13", "Mouse", "单击左键()")});
    ASSERT_EQ(answers.size(), 3);
    EXPECT_TRUE(isOk({answers[0]}, "writeDevices success!"));
    EXPECT_TRUE(isFailure({answers[1]}, "writeDevices failed!"));
    EXPECT_TRUE(isOk({answers[2]}, "writeDevices success!"));
    EXPECT_EQ(kftest::deviceHost().window->pendingAnswerCount(), 0);
    EXPECT_EQ(writes(), (QStringList{"11:010000000000000000000001010000", "12:010000000000000000000001010000",
                                     "13:010000000000000000000001010000"}));
}

TEST_F(DeviceCommands, AssignmentEncodingsReachTheDeviceAsBytes) {
    listDevices();
    const auto answers = buttons({
        customButton(kMouse, "14", "Keyboard", "Ctrl+C", "1", "3"),
        customButton(kMouse, "15", "Mouse", ""),                                  // clears the slot
        customButton(kMouse, "11", "Macro", "键盘按下(a)延迟(1000)键盘弹起(a)"),  // macro slot 0x64
        customButton(kMouse, "13", "Macro", "鼠标按下(ctrl)相对定位XY(10,-5)相对定位XY(-1,0)"),
        customButton(kMouse, "16", "DPI", "1|800|1600"),
        customButton(kMouse, "17", "MultiMedia", "0x03,0x00,0xCD,0x00", "2", "5"),
        customButton(kMouse, "18", "Keyboard", "Foo+Bar"),
    });
    for (const PageAnswer& a : answers) {
        EXPECT_TRUE(a.success) << a.text.toStdString();
    }
    EXPECT_EQ(writes(), (QStringList{
                            "14:010103000000000000000002010600",
                            "15:" + QString(30, '0'),
                            "11:01010100000000000000000464090084040006e803040400",
                            "13:010101000000000000000004660c0081e00085000a05000585ffff",
                            "16:01010100000000000000000110001000000000",
                            "17:01020500000000000000000300cd00",
                            "18:010101000000000000000002000000",
                        }));
}

TEST_F(DeviceCommands, RawParameterWritesAndTheirEdgeCases) {
    listDevices();
    const auto write = [](const QString& version, const QString& index, const QString& code,
                          const QString& length) {
        return request(json({{"FuncName", "WriteDeviceMultimedia"},
                             {"Version", version},
                             {"Index", index},
                             {"Length", length},
                             {"DrviceDataCode", code}}));
    };
    EXPECT_TRUE(isOk(write(kKeyboard, "166", "CD00E9", "3"), "writeDevices success!"));
    EXPECT_TRUE(isOk(write(kMouse, "45", "2000", "5"), "writeDevices success!"));     // "Dpi2" x = 2000
    EXPECT_TRUE(isOk(write(kMouse, "57", "2EABF3", "3"), "writeDevices success!"));   // "LightRGB1"
    EXPECT_TRUE(isFailure(write(kMouse, "57", "1,2", "3"), "writeDevices failed!"));  // two tokens, size 3
    EXPECT_TRUE(isFailure(write("QZK-NOT-LISTED", "57", "1", "1"), "writeDevices failed!"));
    EXPECT_TRUE(isFailure(write(kMouse, "12", "1", "1"), "writeDevices failed!"));  // injected fault
    EXPECT_EQ(writes(), (QStringList{"166:cd00e9", "45:0128002800", "57:2eabf3", "12:01"}));
}

TEST_F(DeviceCommands, SerialNumberIsDeviceProperty3) {
    listDevices();
    EXPECT_TRUE(isOk(request(json({{"FuncName", "WriteDeviceSn"}, {"Version", kMouse}, {"Sn", "KF-000777"}})),
                     "writeDevices success!"));
    const auto calls = sandbox.calls("dcWriteDeviceProperty");
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].value("args").toObject(),
              (QJsonObject{{"index", 3}, {"count", 9}, {"tag", 0x1016}, {"data", "4b462d303030373737"}}));
    EXPECT_TRUE(listDevices()[0].text.contains(R"("Sn":"KF-000777")"));
    EXPECT_TRUE(isFailure(request(json({{"FuncName", "WriteDeviceSn"}, {"Version", "QZK-X"}, {"Sn", "1"}})),
                          "writeDevices failed!"));
}

TEST_F(DeviceCommands, KeyColoursAreLitAndTurnedOffAgain) {
    listDevices();
    const auto colour = [](const QString& data) {
        return request(json({{"FuncName", "NotifyRGBDevice"}, {"Version", kKeyboard}, {"Data", data}}));
    };
    EXPECT_TRUE(isOk(colour(R"(["FN#00FF00","ESC#FF0000"])"), R"(FN#00FF00","ESC#FF0000)"));
    EXPECT_TRUE(isOk(colour(R"(["ESC#0000FF"])"), "ESC#0000FF"));
    // Answered with the unwrapped text even when the items are not keys.
    EXPECT_TRUE(isOk(colour(R"(["1,2","3"])"), R"(1,2","3)"));
    const auto frames = sandbox.calls("dcNotifyRGBDevice");
    ASSERT_EQ(frames.size(), 3);
    const auto frame = [&](int i) {
        return QByteArray::fromHex(frames[i].value("args").toObject().value("data").toString().toLatin1());
    };
    const int fn = 8 + 3 * 115;
    const int esc = 8 + 3 * 0;
    EXPECT_EQ(frame(0).mid(fn, 3).toHex(), "00ff00");
    EXPECT_EQ(frame(0).mid(esc, 3).toHex(), "ff0000");
    EXPECT_EQ(frame(1).mid(fn, 3).toHex(), "000000");
    EXPECT_EQ(frame(1).mid(esc, 3).toHex(), "0000ff");
    EXPECT_EQ(frame(2).mid(8, 378), QByteArray(378, '\0'));
    EXPECT_EQ(frame(2).left(8).toHex(), "0502bbaa0700f801");
    // An unknown keyboard is still answered, and nothing is sent.
    EXPECT_TRUE(isOk(
        request(json({{"FuncName", "NotifyRGBDevice"}, {"Version", "QZK-X"}, {"Data", "[\"a\"]"}})), "a"));
    EXPECT_EQ(sandbox.calls("dcNotifyRGBDevice").size(), 3);
}

TEST_F(DeviceCommands, BuiltInFilesAndTheRowsWithoutBehaviour) {
    EXPECT_TRUE(isOk(request(R"({"FuncName":"GetLocalConf","Name":"NoSuchFile"})"), ""));
    EXPECT_TRUE(isOk(request(R"({"FuncName":"GetLocalConf","Name":"../CMakeLists.txt"})"), ""));
    QFile define(":/drive/Define");
    ASSERT_TRUE(define.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        isOk(request(R"({"FuncName":"GetLocalConf","Name":"Define"})"), QString::fromUtf8(define.readAll())));
    QFile virtualTable(":/drive/Virtual");
    ASSERT_TRUE(virtualTable.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        isOk(request(R"({"FuncName":"GetVirtualDevice"})"), QString::fromUtf8(virtualTable.readAll())));
    EXPECT_TRUE(request(R"({"FuncName":"ReadDevicesDpiVal"})").isEmpty());
    EXPECT_TRUE(request(R"({"FuncName":"getdeviceslist"})").isEmpty());
    EXPECT_TRUE(sandbox.journal().isEmpty());
}
