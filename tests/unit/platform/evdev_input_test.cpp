// The evdev driver and the uinput transport against the kernel, with input devices the test
// makes itself through /dev/uinput: the driver is told to bind only those, so the machine's own
// keyboards and mice are never opened, let alone grabbed. Skipped where /dev/uinput or
// /dev/input is missing (containers, most CI machines).
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <cerrno>

#include <gtest/gtest.h>

#include "platform/input/desktop_hid_transports.h"
#include "platform/input/evdev_interception_driver.h"
#include "platform/input/interception_records.h"

namespace kf::platform {
namespace {

// Event codes (linux/input-event-codes.h), spelled out: tests include no kernel headers.
constexpr int kEvKey = 1, kEvRel = 2, kRelX = 0, kKeyA = 30, kKeyC = 46, kKeyLeftCtrl = 29, kKeyZ = 44,
              kKeySpace = 57, kBtnLeft = 0x110;
// struct input_event on 64-bit Linux: a timeval, then type, code and value.
constexpr int kEventSize = 24;

class RealDevices : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists("/dev/uinput") || !QDir("/dev/input").exists() || sizeof(void*) != 8) {
            GTEST_SKIP() << "needs /dev/uinput and /dev/input on a 64-bit machine";
        }
        saved_ = qgetenv("KESTRAFON_UINPUT");
        qputenv("KESTRAFON_UINPUT", "/dev/uinput");
    }
    void TearDown() override {
        if (!saved_.isNull()) {
            qputenv("KESTRAFON_UINPUT", saved_);
        }
    }

    // The event node of the input device named `name`, once udev has made it.
    static QString nodeNamed(const QString& name) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 3000) {
            for (const QString& entry : QDir("/sys/class/input").entryList({"event*"}, QDir::AllEntries)) {
                QFile file("/sys/class/input/" + entry + "/device/name");
                if (file.open(QIODevice::ReadOnly) && file.readAll().trimmed() == name.toUtf8() &&
                    QFile::exists("/dev/input/" + entry)) {
                    return "/dev/input/" + entry;
                }
            }
            QThread::msleep(20);
        }
        return QString();
    }

    QByteArray saved_;
};

UinputDevice::Setup source(const char* name, QVector<int> keys, QVector<int> axes) {
    UinputDevice::Setup setup;
    setup.name = name;
    setup.vendor = 0x1234;
    setup.product = 0x5678;
    setup.keys = std::move(keys);
    setup.relativeAxes = std::move(axes);
    return setup;
}

TEST(EvdevDriver, WithoutItsDeviceFolderNothingOpens) {
    EvdevInterceptionDriver::Options options;
    options.folder = "/nonexistent/kestrafon-input";
    EvdevInterceptionDriver driver(options);
    int error = 0;
    EXPECT_FALSE(driver.openDevice(1, &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(driver.wait(), 0);
    EXPECT_FALSE(driver.failure().isEmpty());
}

TEST_F(RealDevices, DriverGrabsOnlyWhileFilteredAndSurvivesUnplugging) {
    UinputDevice keyboard, mouse;
    ASSERT_EQ(keyboard.create(source("kf-evdev-test keyboard", {kKeyA, kKeyZ, kKeySpace}, {})), 0);
    ASSERT_EQ(mouse.create(source("kf-evdev-test mouse", {kBtnLeft}, {kRelX, 1})), 0);
    ASSERT_FALSE(nodeNamed("kf-evdev-test keyboard").isEmpty());
    ASSERT_FALSE(nodeNamed("kf-evdev-test mouse").isEmpty());

    EvdevInterceptionDriver::Options options;
    options.onlyNamesContaining = "kf-evdev-test";
    EvdevInterceptionDriver driver(options);
    for (int device = 1; device <= kInterceptionDeviceCount; ++device) {
        int error = 0;
        ASSERT_TRUE(driver.openDevice(device, &error)) << error;
    }
    EXPECT_EQ(driver.boundName(1), QByteArray("kf-evdev-test keyboard"));
    EXPECT_EQ(driver.boundName(11), QByteArray("kf-evdev-test mouse"));
    EXPECT_FALSE(driver.isGrabbed(1));
    ASSERT_TRUE(driver.setFilter(1, 0xFFFF));
    ASSERT_TRUE(driver.setFilter(11, 0xFFFF));
    EXPECT_TRUE(driver.isGrabbed(1));

    keyboard.add(kEvKey, kKeyA, 1);
    ASSERT_EQ(keyboard.send(), 0);
    ASSERT_EQ(driver.wait(), 1);
    quint8 record[kMouseRecordSize];
    ASSERT_EQ(driver.read(1, record, kKeyboardRecordSize), kKeyboardRecordSize);
    EXPECT_EQ(readKeyboardRecord(record).makeCode, kKeyA);
    // Sent on through the pass-through device: a release, which types nothing on this machine.
    KeyboardInputRecord up;
    up.makeCode = kKeyA;
    up.flags = kKeyUp;
    writeRecord(up, record);
    EXPECT_EQ(driver.write(1, record, kKeyboardRecordSize), kKeyboardRecordSize);

    // A button and a motion in one report become two strokes, the button first.
    mouse.add(kEvKey, kBtnLeft, 1);
    mouse.add(kEvRel, kRelX, 5);
    ASSERT_EQ(mouse.send(), 0);
    ASSERT_EQ(driver.wait(), 11);
    ASSERT_EQ(driver.read(11, record, kMouseRecordSize), kMouseRecordSize);
    EXPECT_EQ(readMouseRecord(record).buttonFlags, kLeftDown);
    ASSERT_EQ(driver.read(11, record, kMouseRecordSize), kMouseRecordSize);
    EXPECT_EQ(readMouseRecord(record).lastX, 5);

    // The held button keeps a new grab waiting; the keyboard is let go and unplugged.
    ASSERT_TRUE(driver.setFilter(1, 0));
    EXPECT_FALSE(driver.isGrabbed(1));
    keyboard.destroy();
    mouse.add(kEvKey, kBtnLeft, 0);
    ASSERT_EQ(mouse.send(), 0);
    ASSERT_EQ(driver.wait(), 11);
    EXPECT_TRUE(driver.failure().isEmpty());
    for (int device = 1; device <= kInterceptionDeviceCount; ++device) {
        driver.closeDevice(device);
    }
    EXPECT_FALSE(driver.isGrabbed(11));
}

TEST_F(RealDevices, UinputTransportSendsTheReportsKeys) {
    UinputHidTransport transport;
    ASSERT_EQ(transport.openCollection(1), 0);
    ASSERT_EQ(transport.openCollection(2), 0);
    const QString node = nodeNamed("Kestrafon kestrafonvd virtual input");
    ASSERT_FALSE(node.isEmpty());
    const int fd = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    QByteArray report(kHidReportSize, 0);
    report[0] = char(kControlReportId);
    report[1] = 0x09;
    report[2] = char(kKeyboardReportId);
    report[3] = 0x01;  // Ctrl
    report[5] = 0x06;  // C
    ASSERT_EQ(transport.writeReport(reinterpret_cast<const quint8*>(report.constData()), report.size()), 0);
    report[3] = 0;
    report[5] = 0;
    ASSERT_EQ(transport.writeReport(reinterpret_cast<const quint8*>(report.constData()), report.size()), 0);

    QList<QPair<int, int>> keys;  // (code, value) of key events
    QElapsedTimer timer;
    timer.start();
    while (keys.size() < 4 && timer.elapsed() < 3000) {
        pollfd ready{fd, POLLIN, 0};
        ::poll(&ready, 1, 100);
        char event[kEventSize];
        while (::read(fd, event, sizeof event) == kEventSize) {
            quint16 type, code;
            qint32 value;
            memcpy(&type, event + 16, 2);
            memcpy(&code, event + 18, 2);
            memcpy(&value, event + 20, 4);
            if (type == kEvKey) {
                keys.append({code, value});
            }
        }
    }
    ::close(fd);
    EXPECT_EQ(keys, (QList<QPair<int, int>>{{kKeyLeftCtrl, 1}, {kKeyC, 1}, {kKeyLeftCtrl, 0}, {kKeyC, 0}}));
    transport.close();
}

}  // namespace
}  // namespace kf::platform
