// Software key maps through the real dispatcher: the page's key map, strokes fed to the
// in-memory capture driver, and the reports the virtual device receives; the mouse-track and
// virtual-device rows with the real recorder and device client.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QThread>

#include "encoding/key_code_map.h"
#include "input/input_layer.h"
#include "platform/input/memory_hid_transport.h"
#include "platform/input/memory_interception_driver.h"
#include "support/qt_wait.h"
#include "window_helpers.h"

using kftest::ask;
using kftest::failed;
using kftest::ok;
using Answers = QList<kftest::Answer>;
using namespace kf::platform;

namespace {

QByteArray kb(quint8 modifiers, quint8 key = 0) {
    const quint8 keys[6] = {key};
    return pvmulti_client::keyboardReport(modifiers, keys);
}

class InputCommands : public ::testing::Test {
protected:
    kftest::IsolatedWindow window;
    MemoryInterceptionDriver* driver = nullptr;
    MemoryHidTransport* transport = nullptr;
    MemoryPointerButtonHook* hook = nullptr;

    void SetUp() override {
        ASSERT_TRUE(kf::encoding::loadKeyCodeMap());
        kf::input::InputBackends backends;
        backends.driver = [this] {
            auto memory = std::make_unique<MemoryInterceptionDriver>();
            driver = memory.get();
            return std::unique_ptr<InterceptionDriver>(std::move(memory));
        };
        backends.transports = [this] {
            pvmulti_client::TransportList list;
            auto memory = std::make_unique<MemoryHidTransport>();
            transport = memory.get();
            list.push_back(std::move(memory));
            return list;
        };
        auto memoryHook = std::make_unique<MemoryPointerButtonHook>();
        hook = memoryHook.get();
        backends.pointerHook = std::move(memoryHook);
        window.setInputLayer(std::make_unique<kf::input::InputLayer>(std::move(backends)));
        window.connectVMulti();
        window.startCapture();
        ASSERT_TRUE(kftest::waitFor([this] { return driver->openDevices() == kInterceptionDeviceCount; }));
    }

    void key(quint16 code, bool up) {
        KeyboardInputRecord record;
        record.makeCode = code;
        record.flags = up ? kKeyUp : 0;
        driver->feed(1, record);
        ASSERT_TRUE(driver->waitUntilIdle());
    }
};

TEST_F(InputCommands, PageKeyMapTurnsStrokesIntoReports) {
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetVirtualDeviceStatus"}}), Answers{ok("success")});
    const QString map = QStringLiteral(
        R"(<map><key name="A" scancode="30" flag="0" type="Keyboard" playtype="1" playcount="1" playdelay="0">)"
        R"(<command value="Ctrl+C"/></key></map>)");
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "RefreshVirtualDrive"}, {"VirtualStr", map}}),
              Answers{ok("RefreshVirtualDrive success!")});
    ASSERT_TRUE(kftest::waitFor([this] { return driver->filter(1) == 0xFFFF; }));
    key(30, false);
    ASSERT_TRUE(kftest::waitFor([this] { return transport->reportCount() == 3; }));
    // The click's release ends the task: the window releases every key.
    key(30, true);
    ASSERT_TRUE(kftest::waitFor([this] { return transport->reportCount() == 4; }));
    EXPECT_EQ(transport->reports(), (QList<QByteArray>{kb(0x01, 0x06), kb(0x01), kb(0), kb(0)}));
    key(48, false);  // not a trigger: it goes on to the desktop
    kftest::settle(20);
    EXPECT_EQ(transport->reportCount(), 4);
    ASSERT_EQ(driver->desktop().size(), 1);
    EXPECT_TRUE(driver->desktop().first().sentByClient);

    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "RefreshVirtualDrive"}, {"VirtualStr", "<map/>"}}),
              Answers{failed("RefreshVirtualDrive failed!")});
    EXPECT_TRUE(kftest::waitFor([this] { return driver->filter(1) == 0 && driver->filter(11) == 0; }));
}

TEST_F(InputCommands, LateEndOfATaskNeverReleasesANewerPressesKey) {
    const QString map = QStringLiteral(
        R"(<map><key scancode="48" flag="0" type="Keyboard" playtype="2" playcount="1" playdelay="0">)"
        R"(<command value="C"/></key><key scancode="30" flag="0" type="Keyboard" playtype="1" playcount="1")"
        R"( playdelay="0"><command value="Ctrl"/></key></map>)");
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "RefreshVirtualDrive"}, {"VirtualStr", map}}),
              Answers{ok("RefreshVirtualDrive success!")});
    ASSERT_TRUE(kftest::waitFor([this] { return driver->filter(1) == 0xFFFF; }));
    // B's task ends; its end reaches the window only after A is pressed (no events run meanwhile).
    key(48, false);
    key(48, true);
    ASSERT_TRUE(transport->waitForReports(2));
    const commandExec* executor = window.inputLayer()->player().executor();
    while (executor->isPlaying()) {
        QThread::msleep(1);
    }
    key(30, false);
    ASSERT_TRUE(transport->waitForReports(3));
    QCoreApplication::processEvents();
    kftest::settle(20);
    EXPECT_EQ(transport->reports(), (QList<QByteArray>{kb(0, 0x06), kb(0), kb(0, 0xE0)}));
}

TEST_F(InputCommands, MouseTracksAndTheVirtualDevice) {
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "mouseTracks"}, {"status", "开始"}}),
              Answers{ok("mouseTracks success")});
    hook->release(1, QPoint(100, 200));
    const Answers stopped = ask(window, QJsonObject{{"FuncName", "mouseTracks"}, {"status", "停止"}});
    ASSERT_EQ(stopped.size(), 1);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^x:100,y:200Time:\\d+;$")).match(stopped.first().text).hasMatch())
        << stopped.first().text.toStdString();
    EXPECT_TRUE(ask(window, QJsonObject{{"FuncName", "modifyMouseAccel"}}).isEmpty());
    EXPECT_TRUE(hook->installed());

    EXPECT_TRUE(transport->isOpen());
    window.disconnectVMulti();
    EXPECT_EQ(window.inputLayer()->client(), nullptr);  // the handle and its transport are gone
    window.onTaskFinished(nullptr);                     // no device: nothing to release
    EXPECT_EQ(ask(window, QJsonObject{{"FuncName", "GetVirtualDeviceStatus"}}), Answers{ok("success")});
}

}  // namespace
