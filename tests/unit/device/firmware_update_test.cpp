// Firmware updates: how an image is read and cut into blocks, and updates that fail before the
// device is touched or at the boot loader. (Whole updates through the page command are in the
// device integration tests.)
#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "device/device_functions.h"
#include "device/firmware_image.h"
#include "device/update_firmware.h"
#include "emulator_helpers.h"
#include "support/log_capture.h"
#include "support/qt_wait.h"

namespace fw = kf::device::firmware;
using kftest::EmulatorSandbox;
using kftest::firmwareFile;

namespace {

const QString kMouse = "QZK-ZMC-V1.1.0";
const QByteArray kData = kftest::firmwareData("QZK-ZMC-V2.0.0_07", 4000);
const quint32 kSum = kftest::byteSum(kData);

}  // namespace

TEST(FirmwareImage, ReadsValidImagesAndRefusesTheRest) {
    const struct {
        const char* name;
        QByteArray file;
        int length;  // -1: refused
    } cases[] = {
        {"valid", firmwareFile(kData, 77), 4000},
        {"longest data", firmwareFile(kData, 77, 67200, 0, 66936), 66936},
        {"shortest file", firmwareFile(kData, 77, 66155), 4000},
        {"second word not 0", firmwareFile(kData, 77, 67200, 1), -1},
        {"wrong type", firmwareFile(kData, 77).replace(0, 1, "\x17"), -1},
        {"length past the image", firmwareFile(kData, 77, 67200, 0, 66937), -1},
        {"huge length", firmwareFile(kData, 77, 67200, 0, qint64(1) << 40), -1},
        {"file too large", firmwareFile(kData, 77, 67201), -1},
        {"file cut short", firmwareFile(kData, 77, 66154), -1},
    };
    for (const auto& c : cases) {
        fw::Image image;
        QString reason;
        ASSERT_EQ(fw::parseImage(c.file, &image, &reason), c.length >= 0) << c.name;
        if (c.length >= 0) {
            EXPECT_EQ(image.data.size(), c.length) << c.name;
            EXPECT_EQ(image.data.left(4000), kData) << c.name;
            EXPECT_EQ(image.checkValue, 77u) << c.name;
        }
    }
}

TEST(FirmwareImage, BlocksProgressAndWaitScale) {
    using B = QVector<std::pair<int, int>>;
    const std::pair<int, B> schedules[] = {{4000, {{0, 2000}, {2000, 2000}, {4000, 0}}},
                                           {4500, {{0, 2000}, {2000, 2000}, {4000, 500}}},
                                           {0, {{0, 0}}},
                                           {1999, {{0, 1999}}}};
    for (const auto& [length, expected] : schedules) {
        B blocks;
        for (const fw::Block& b : fw::blockSchedule(length)) {
            blocks.append({b.offset, b.length});
        }
        EXPECT_EQ(blocks, expected) << length;
    }
    for (int total = 1; total <= 34; ++total) {  // 34 blocks hold the longest image
        for (int sent = 1; sent <= total; ++sent) {
            ASSERT_GT(fw::blockProgress(sent, total), sent == 1 ? 15 : fw::blockProgress(sent - 1, total));
        }
        ASSERT_EQ(fw::blockProgress(total, total), 90);
    }
    const struct {
        const char* text;
        double scale;
        bool valid;
    } scales[] = {{"", 1, true},     {"0.001", 0.001, true}, {" 2 ", 2, true},  {"0", 0, true},
                  {"abc", 1, false}, {"-1", 1, false},       {"1e9", 1, false}, {"nan", 1, false}};
    for (const auto& s : scales) {
        bool valid = false;
        EXPECT_DOUBLE_EQ(fw::waitScaleFrom(s.text, &valid), s.scale) << s.text;
        EXPECT_EQ(valid, s.valid) << s.text;
    }
}

TEST(FirmwareUpdate, RefusedImagesAndAMissingBootLoaderReportMinusOne) {
    qputenv("KESTRAFON_WAIT_SCALE", "0.001");
    QTemporaryDir dir;
    const QString path = dir.path() + "/firmware.bin";
    QJsonObject stuck = kftest::simDevice("ms", "QZK-ZMC-V1.1.0_01");
    stuck.insert("failReset", true);  // refuses the switch to its boot loader
    const struct {
        const char* name;
        QByteArray image;  // empty: no file
        QStringList calls;
        const char* why;  // in the log line
    } cases[] = {
        {"no image file", QByteArray(), {"dcDevices"}, "no image file"},
        {"bad second word", firmwareFile(kData, kSum, 67200, 1), {"dcDevices"}, "image type"},
        {"oversized length", firmwareFile(kData, kSum, 67200, 0, 70000), {"dcDevices"}, "past the image"},
        {"no boot loader",
         firmwareFile(kData, kSum),
         {"dcDevices", "Reset", "DeviceExist"},
         "did not appear"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmulatorSandbox sandbox{QJsonArray{stuck}};
        DeviceFunctions().buildDeviceList();
        sandbox.clearJournal();
        ASSERT_TRUE(c.image.isEmpty() || kftest::writeBytes(path, c.image));
        kftest::LogCapture log;
        update_firmware update(nullptr, kMouse, path);
        QStringList reported;
        QObject::connect(&update, &update_firmware::SigRefreshUpdateState,
                         [&](const QString& v) { reported << v; });
        update.UpdateFirmware();
        EXPECT_EQ(reported, QStringList{"-1"});
        EXPECT_EQ(sandbox.functionsCalled(), c.calls);
        EXPECT_FALSE(QFile::exists(path));  // read, then deleted
        EXPECT_EQ(log.matching(c.why).size(), 1) << log.lines().join('\n').toStdString();
    }
    qunsetenv("KESTRAFON_WAIT_SCALE");
}

TEST(FirmwareUpdate, RunsOnItsOwnThreadAndEndsAtTheNextWaitWhenInterrupted) {
    EmulatorSandbox sandbox{QJsonArray{kftest::simDevice("ms", "QZK-ZMC-V1.1.0_01")}};
    DeviceFunctions().buildDeviceList();
    QTemporaryDir dir;
    const QString path = dir.path() + "/firmware.bin";
    ASSERT_TRUE(kftest::writeBytes(path, firmwareFile(kData, kSum)));
    kftest::LogCapture log;
    QThread thread;
    auto* update = new update_firmware(&thread, kMouse, path, false);
    QStringList reported;  // queued onto this thread
    QObject::connect(update, &update_firmware::SigRefreshUpdateState, &thread,
                     [&](const QString& v) { reported << v; });
    bool altStack = false;  // the crash handler's stack, set up on the thread before the update
    QObject::connect(
        &thread, &QThread::started, &thread,
        [&] {
            stack_t stack{};
            altStack = sigaltstack(nullptr, &stack) == 0 && !(stack.ss_flags & SS_DISABLE);
        },
        Qt::DirectConnection);
    thread.start();  // the waits are not scaled: the switch to the boot loader waits 8 s
    ASSERT_TRUE(kftest::waitFor([&] { return !sandbox.calls("Reset").isEmpty(); }));
    thread.requestInterruption();
    EXPECT_TRUE(kftest::waitFor([&] { return reported == QStringList{"-1"}; }, 2000));
    thread.quit();
    thread.wait();
    EXPECT_TRUE(altStack);
    delete update;
    EXPECT_TRUE(sandbox.calls("DeviceExist").isEmpty());
    EXPECT_EQ(log.matching("interrupted").size(), 1);
    EXPECT_TRUE(QFile::exists(path));  // not consumed when asked not to
}
