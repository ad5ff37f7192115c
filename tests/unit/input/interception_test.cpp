// The interception client API and the virtual device client: record layouts both ways, device
// numbering, contexts that cannot be opened, report bytes and diagnostics.
#include <gtest/gtest.h>
#include <QThread>

#include <cstring>
#include <thread>

#include "input/interception.h"
#include "input/pvmulti_client.h"
#include "input_helpers.h"
#include "platform/input/hid_reports.h"
#include "platform/input/input_codes.h"
#include "platform/input/memory_hid_transport.h"
#include "platform/input/memory_interception_driver.h"
#include "support/log_capture.h"

using namespace kf::input;
using namespace kf::platform;

namespace {

TEST(Interception, RecordsCarryEveryStrokeFieldBothWays) {
    const InterceptionKeyStroke key{0xE01D, kKeyUp | kKeyE0, 0x89ABCDEF};
    quint8 keyBytes[kKeyboardRecordSize];
    writeRecord(toRecord(key), keyBytes);
    const quint8 keyExpected[] = {0, 0, 0x1D, 0xE0, 0x03, 0, 0, 0, 0xEF, 0xCD, 0xAB, 0x89};
    EXPECT_EQ(0, std::memcmp(keyBytes, keyExpected, sizeof keyExpected));
    const InterceptionKeyStroke keyBack = toKeyStroke(readKeyboardRecord(keyBytes));
    EXPECT_EQ(std::tie(keyBack.code, keyBack.state, keyBack.information),
              std::tie(key.code, key.state, key.information));

    InterceptionMouseStroke mouse;
    mouse.state = kWheel | kRightDown;
    mouse.flags = 1;
    mouse.rolling = -120;
    mouse.x = -70000;
    mouse.y = 65536;
    mouse.information = 7;
    quint8 mouseBytes[kMouseRecordSize];
    writeRecord(toRecord(mouse), mouseBytes);
    const quint8 mouseExpected[] = {0,    0,    1,    0,    0x04, 0x04, 0x88, 0xFF, 0, 0, 0, 0,
                                    0x90, 0xEE, 0xFE, 0xFF, 0,    0,    1,    0,    7, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(mouseBytes, mouseExpected, sizeof mouseExpected));
    const InterceptionMouseStroke back = toMouseStroke(readMouseRecord(mouseBytes));
    EXPECT_EQ(std::tie(back.state, back.flags, back.rolling, back.x, back.y, back.information),
              std::tie(mouse.state, mouse.flags, mouse.rolling, mouse.x, mouse.y, mouse.information));
}

TEST(Interception, WaitNumbersDevicesAndReceiveChecksItsArguments) {
    MemoryInterceptionDriver driver;
    InterceptionContext* context = createContext(driver);
    ASSERT_NE(context, nullptr);
    setFilter(context, isKeyboard, 0xFFFF);
    setFilter(context, isMouse, 0xFFFF);
    EXPECT_EQ(driver.filter(10), 0xFFFF);
    EXPECT_EQ(driver.filter(11), 0xFFFF);
    driver.feed(11, MouseInputRecord{});
    EXPECT_EQ(wait(context), 11);  // the first mouse
    InterceptionStroke stroke;
    EXPECT_EQ(receive(context, 11, &stroke, 0), 0);
    EXPECT_EQ(receive(context, 21, &stroke, 1), 0);
    EXPECT_EQ(receive(context, 11, &stroke, 1), 1);
    driver.feed(1, KeyboardInputRecord{0, 30, 0, 0, 0});
    EXPECT_EQ(wait(context), 1);  // the first keyboard
    EXPECT_EQ(receive(context, 1, &stroke, 1), 1);
    EXPECT_EQ(stroke.key.code, 30);
    EXPECT_EQ(send(context, 1, &stroke, 1), 1);
    wakeWait(context);
    EXPECT_EQ(wait(context), 0);
    destroyContext(context);
    EXPECT_EQ(driver.openDevices(), 0);
}

TEST(Interception, ContextThatCannotOpenEveryDeviceLeavesNothingOpen) {
    for (int failing : {1, 11, 20}) {
        MemoryInterceptionDriver driver;
        driver.setOpenError(failing, 13);
        int error = 0;
        EXPECT_EQ(createContext(driver, &error), nullptr);
        EXPECT_EQ(error, 13);
        EXPECT_EQ(driver.openDevices(), 0) << failing;
    }
}

TEST(InputCodes, ScanCodesEvdevCodesAndUsagesAgree) {
    struct Row {
        int evdev;
        quint16 code, prefix;
    };
    // A, Right Ctrl, Num Lock, Pause, Left Windows, Print Screen, Num *.
    for (const Row& row : {Row{30, 30, 0}, Row{97, 29, kKeyE0}, Row{69, 69, kKeyE0}, Row{119, 69, kKeyE1},
                           Row{125, 91, kKeyE0}, Row{99, 55, kKeyE0}, Row{55, 55, 0}}) {
        ScanKey key;
        ASSERT_TRUE(scanKeyForEvdev(row.evdev, &key)) << row.evdev;
        EXPECT_EQ(key.code, row.code) << row.evdev;
        EXPECT_EQ(key.prefix, row.prefix) << row.evdev;
        EXPECT_EQ(evdevForScanKey(row.code, row.prefix | kKeyUp), row.evdev);
    }
    ScanKey none;
    EXPECT_FALSE(scanKeyForEvdev(0x2A0, &none));
    EXPECT_EQ(evdevForHidUsage(0x04), 30);
    EXPECT_EQ(evdevForHidUsage(0xE0), 29);
    EXPECT_EQ(evdevForHidUsage(0xE7), 126);
    EXPECT_EQ(evdevForHidUsage(0x00), 0);
}

TEST(VirtualDevice, ReportBytesAndWhatABackendReadsFromThem) {
    // Ctrl+C, then everything released.
    const QByteArray ctrlC = kftest::kb(0x01, 0x06);
    ASSERT_EQ(ctrlC.size(), 65);
    EXPECT_EQ(ctrlC.left(11).toHex(), QByteArray("4009070100060000000000"));
    EXPECT_EQ(ctrlC.mid(11), QByteArray(54, 0));
    EXPECT_EQ(kftest::ms(0x02, -10, 5, -1).left(7).toHex(), QByteArray("40050402f605ff"));

    struct Recorder : ReportSink {
        QStringList events;
        void key(quint8 usage, bool down) override {
            events << QStringLiteral("key %1 %2").arg(usage, 0, 16).arg(down);
        }
        void button(int index, bool down) override {
            events << QStringLiteral("button %1 %2").arg(index).arg(down);
        }
        void motion(int dx, int dy) override { events << QStringLiteral("move %1 %2").arg(dx).arg(dy); }
        void wheel(int steps) override { events << QStringLiteral("wheel %1").arg(steps); }
    } sink;
    KeyboardState before, now;
    MouseState mouseBefore, mouseNow;
    ASSERT_EQ(readReport(reinterpret_cast<const quint8*>(ctrlC.constData()), 65, &now, &mouseNow),
              ReportKind::Keyboard);
    applyKeyboard(before, now, sink);
    applyKeyboard(now, KeyboardState{}, sink);
    const QByteArray click = kftest::ms(0x01, -10, 0, 1);
    ASSERT_EQ(readReport(reinterpret_cast<const quint8*>(click.constData()), 65, &before, &mouseNow),
              ReportKind::Mouse);
    applyMouse(mouseBefore, mouseNow, sink);
    EXPECT_EQ(sink.events, (QStringList{"key e0 1", "key 6 1", "key e0 0", "key 6 0", "button 0 1",
                                        "move -10 0", "wheel 1"}));
    const quint8 junk[65] = {0x41};
    EXPECT_EQ(readReport(junk, 65, &now, &mouseNow), ReportKind::Invalid);
}

TEST(VirtualDevice, ConnectFallsBackAndWritesNeverInterleave) {
    MemoryHidTransport* second = nullptr;
    pvmulti_client client([&] {
        pvmulti_client::TransportList list;
        auto refusing = std::make_unique<MemoryHidTransport>();
        refusing->setOpenError(1, 13);
        list.push_back(std::move(refusing));
        auto accepting = std::make_unique<MemoryHidTransport>();
        second = accepting.get();
        list.push_back(std::move(accepting));
        return list;
    });
    const quint8 none[6] = {};
    EXPECT_FALSE(client.sendKeyboard(0, none));  // not connected: nothing is sent
    ASSERT_TRUE(client.connect());
    EXPECT_TRUE(second->isOpen());

    const quint8 keys[6] = {0x04};
    auto writer = [&](bool keyboard) {
        for (int i = 0; i < 500; ++i) {
            keyboard ? client.sendKeyboard(0x02, keys) : client.sendMouse(0x01, 3, -3, 1);
        }
    };
    std::thread a(writer, true), b(writer, false);
    a.join();
    b.join();
    const QList<QByteArray> reports = second->reports();
    ASSERT_EQ(reports.size(), 1000);
    for (const QByteArray& report : reports) {
        EXPECT_TRUE(report == kftest::kb(0x02, 0x04) || report == kftest::ms(0x01, 3, -3, 1));
    }
    second->setWriteError(5);
    EXPECT_FALSE(client.sendMouse(0, 0, 0, 0));
    client.disconnect();
    EXPECT_FALSE(client.isConnected());

    pvmulti_client noDevice([] {
        pvmulti_client::TransportList list;
        auto messageRefused = std::make_unique<MemoryHidTransport>();
        messageRefused->setOpenError(2, 2);
        list.push_back(std::move(messageRefused));
        return list;
    });
    {
        // The search's diagnostics are in the log at debug level, and never on the terminal.
        kftest::LogCapture log;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(noDevice.connect());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(log.matching("virtual input device: Error: CreateFile failed: 2").size(), 1);
        EXPECT_EQ(
            log.matching(
                   "virtual input device: ....looking for our HID device (with UP=0xff00 and Usage=0x1)")
                .size(),
            1);
    }
    EXPECT_FALSE(noDevice.isConnected());
}

}  // namespace
