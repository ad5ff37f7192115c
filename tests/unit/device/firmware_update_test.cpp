// Firmware updates: how an image is read and cut into blocks, and whole updates against the
// emulated boot loader with the waits scaled down, read back from the emulator's journal.
#include <gtest/gtest.h>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "device/device_functions.h"
#include "device/firmware_image.h"
#include "device/update_firmware.h"
#include "emulator_helpers.h"
#include "support/log_capture.h"
#include "support/qt_wait.h"

namespace fw = kf::device::firmware;
using kftest::EmulatorSandbox;

namespace {

const QString kMouse = "QZK-ZMC-V1.1.0";

// Firmware data that starts with the version text the emulated device reports after the update.
QByteArray firmwareData(int length) {
    QByteArray data("QZK-ZMC-V2.0.0_07");
    while (data.size() < length) {
        data.append(char(data.size() * 7 % 251));
    }
    return data.left(length);
}

quint32 sumOf(const QByteArray& data) {
    quint32 sum = 0;
    for (char c : data) {
        sum += static_cast<unsigned char>(c);
    }
    return sum;
}

// Stores `value` little-endian in `bytes` bytes at `offset`.
void putLe(QByteArray* file, int offset, quint64 value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        (*file)[offset + i] = char((value >> (8 * i)) & 0xFF);
    }
}

QByteArray imageFile(const QByteArray& data, quint32 check, int fileSize = fw::kImageBytes,
                     quint32 second = 0, qint64 length = -1) {
    QByteArray file(qMax(fileSize, fw::kHeaderEnd), '\0');
    putLe(&file, 0, fw::kImageType, 4);
    putLe(&file, 4, second, 4);
    file.replace(fw::kDataOffset, data.size(), data);
    putLe(&file, fw::kLengthOffset, quint64(length < 0 ? data.size() : length), 8);
    putLe(&file, fw::kCheckOffset, check, 4);
    file.resize(fileSize);
    return file;
}

// One update run on the test's thread with the waits scaled down; what it reported.
QStringList runUpdate(const QString& version, const QString& path) {
    update_firmware update(nullptr, version, path);
    QStringList reported;
    QObject::connect(&update, &update_firmware::SigRefreshUpdateState,
                     [&reported](const QString& v) { reported << v; });
    update.UpdateFirmware();
    return reported;
}

QString lastOf(const QStringList& reported) {
    return reported.isEmpty() ? QString() : reported.last();
}

QStringList functionsCalled(const EmulatorSandbox& sandbox) {
    QStringList names;
    for (const QJsonObject& call : sandbox.journal()) {
        names << call.value("function").toString();
    }
    return names;
}

QString simList() {
    QProcess sim;
    sim.start(EmulatorSandbox::simTool(), {"list"});
    sim.waitForFinished();
    return QString::fromUtf8(sim.readAllStandardOutput());
}

class FirmwareUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("KESTRAFON_WAIT_SCALE", "0.001");
        DeviceFunctions functions;
        ASSERT_TRUE(functions.buildDeviceList().contains(kMouse));
        sandbox.clearJournal();
    }
    void TearDown() override { qunsetenv("KESTRAFON_WAIT_SCALE"); }

    QString writeImage(const QByteArray& bytes) {
        const QString path = dir.path() + "/firmware.bin";
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    EmulatorSandbox sandbox{QJsonArray{kftest::simDevice("ms", "QZK-ZMC-V1.1.0_01")}};
    QTemporaryDir dir;
};

}  // namespace

TEST(FirmwareImage, ReadsValidImagesAndRefusesTheRest) {
    const QByteArray data = firmwareData(4500);
    const struct {
        const char* name;
        QByteArray file;
        int length;  // -1: refused
    } cases[] = {
        {"valid", imageFile(data, 77), 4500},
        {"longest data", imageFile(data, 77, fw::kImageBytes, 0, fw::kMaxDataLength),
         int(fw::kMaxDataLength)},
        {"shortest file", imageFile(data, 77, fw::kHeaderEnd), 4500},
        {"second word not 0", imageFile(data, 77, fw::kImageBytes, 1), -1},
        {"wrong type", QByteArray(imageFile(data, 77)).replace(0, 1, "\x17"), -1},
        {"length past the image", imageFile(data, 77, fw::kImageBytes, 0, fw::kMaxDataLength + 1), -1},
        {"huge length", imageFile(data, 77, fw::kImageBytes, 0, qint64(1) << 40), -1},
        {"file too large", imageFile(data, 77, fw::kImageBytes + 1), -1},
        {"file cut short", imageFile(data, 77, fw::kHeaderEnd - 1), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fw::Image image;
        QString reason;
        ASSERT_EQ(fw::parseImage(c.file, &image, &reason), c.length >= 0) << reason.toStdString();
        if (c.length >= 0) {
            EXPECT_EQ(image.data.size(), c.length);
            EXPECT_EQ(image.data.left(4500), data);
            EXPECT_EQ(image.checkValue, 77u);
        }
    }
}

TEST(FirmwareImage, BlocksProgressAndWaitScale) {
    using B = QVector<std::pair<int, int>>;
    const struct {
        int length;
        B blocks;
    } cases[] = {
        {4000, {{0, 2000}, {2000, 2000}, {4000, 0}}},
        {4500, {{0, 2000}, {2000, 2000}, {4000, 500}}},
        {0, {{0, 0}}},
        {1999, {{0, 1999}}},
    };
    for (const auto& c : cases) {
        B blocks;
        for (const fw::Block& b : fw::blockSchedule(c.length)) {
            blocks.append({b.offset, b.length});
        }
        EXPECT_EQ(blocks, c.blocks) << c.length;
    }
    for (int total = 1; total <= 34; ++total) {
        for (int sent = 1; sent <= total; ++sent) {
            ASSERT_GT(fw::blockProgress(sent, total),
                      sent == 1 ? fw::kProgressErased : fw::blockProgress(sent - 1, total));
        }
        ASSERT_EQ(fw::blockProgress(total, total), fw::kProgressWritten);
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

TEST_F(FirmwareUpdate, ListedDeviceGetsTheNewFirmwareThroughItsBootLoader) {
    const QByteArray data = firmwareData(4500);
    const QString path = writeImage(imageFile(data, sumOf(data)));
    const QStringList reported = runUpdate(kMouse, path);

    EXPECT_EQ(functionsCalled(sandbox),
              (QStringList{"dcDevices", "Reset", "DeviceExist", "EraseRom", "WriteRom", "WriteRom",
                           "WriteRom", "CheckRom", "FinishUpdateRom", "UpdateVersion", "Reset"}));
    QStringList args;
    for (const QJsonObject& call : sandbox.journal()) {
        const QJsonObject a = call.value("args").toObject();
        for (const char* key : {"mode", "offset", "length", "check", "a", "b"}) {
            if (a.contains(key)) {
                args << QString("%1=%2").arg(key).arg(a.value(key).toVariant().toString());
            }
        }
    }
    EXPECT_EQ(args, (QStringList{"mode=1", "offset=0", "length=2000", "offset=2000", "length=2000",
                                 "offset=4000", "length=500", "length=4500",
                                 "check=" + QString::number(sumOf(data)), "a=2", "b=17", "mode=2"}));
    EXPECT_EQ(sandbox.calls("WriteRom").at(2).value("args").toObject().value("data").toString(),
              QString::fromLatin1(data.mid(4000).toHex()));

    ASSERT_FALSE(reported.isEmpty());
    EXPECT_EQ(reported.last(), "100");
    for (int i = 0; i + 1 < reported.size(); ++i) {
        EXPECT_GT(reported[i].toInt(), i == 0 ? 5 : reported[i - 1].toInt());
        EXPECT_LT(reported[i].toInt(), 100);
    }
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(simList().contains("QZK-ZMC-V2.0.0_07"));
    EXPECT_FALSE(simList().contains("boot loader"));
}

TEST_F(FirmwareUpdate, FailuresReportMinusOneAndStopWhereTheyHappen) {
    const QByteArray data = firmwareData(4000);
    const QStringList toCheck{"dcDevices", "Reset",    "DeviceExist", "EraseRom",
                              "WriteRom",  "WriteRom", "WriteRom",    "CheckRom"};
    const struct {
        const char* name;
        QString version;
        QByteArray image;  // empty: no file
        QStringList calls;
        const char* why;  // in the log line
    } cases[] = {
        {"unlisted device",
         "QZK-NOPE",
         imageFile(data, sumOf(data)),
         {"dcDevices"},
         "not in the device list"},
        {"no image file", kMouse, QByteArray(), {"dcDevices"}, "no image file"},
        {"bad second word",
         kMouse,
         imageFile(data, sumOf(data), fw::kImageBytes, 1),
         {"dcDevices"},
         "image type"},
        {"oversized length",
         kMouse,
         imageFile(data, 1, fw::kImageBytes, 0, 70000),
         {"dcDevices"},
         "past the image"},
        {"wrong check value", kMouse, imageFile(data, sumOf(data) + 1), toCheck, "stays in its boot loader"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.clearJournal();
        kftest::LogCapture log;
        const QString path = c.image.isEmpty() ? dir.path() + "/missing.bin" : writeImage(c.image);
        EXPECT_EQ(lastOf(runUpdate(c.version, path)), "-1");
        EXPECT_EQ(functionsCalled(sandbox), c.calls);
        EXPECT_FALSE(QFile::exists(path));
        EXPECT_EQ(log.matching(c.why).size(), 1) << log.lines().join('\n').toStdString();
        EXPECT_EQ(simList().contains("(boot loader)"), c.calls == toCheck);
    }
    // The boot loader that never appears: the switch is refused.
    QJsonObject stuck = kftest::simDevice("ms", "QZK-ZMC-V1.1.0_01");
    stuck.insert("failReset", true);
    EmulatorSandbox other{QJsonArray{stuck}};
    DeviceFunctions().buildDeviceList();
    other.clearJournal();
    kftest::LogCapture log;
    EXPECT_EQ(lastOf(runUpdate(kMouse, writeImage(imageFile(data, sumOf(data))))), "-1");
    EXPECT_EQ(functionsCalled(other), (QStringList{"dcDevices", "Reset", "DeviceExist"}));
    EXPECT_EQ(log.matching("boot-loader device did not appear").size(), 1);
}

TEST_F(FirmwareUpdate, RunsOnItsOwnThreadAndEndsAtTheNextWaitWhenInterrupted) {
    qputenv("KESTRAFON_WAIT_SCALE", "1");
    kftest::LogCapture log;
    QThread thread;
    auto* update = new update_firmware(&thread, kMouse, writeImage(imageFile(firmwareData(10), 0)));
    QMutex lock;
    QStringList reported;
    QThread* ranOn = nullptr;
    QObject::connect(
        update, &update_firmware::SigRefreshUpdateState, update,
        [&](const QString& v) {
            QMutexLocker locker(&lock);
            reported << v;
            ranOn = QThread::currentThread();
        },
        Qt::DirectConnection);
    thread.start();
    ASSERT_TRUE(kftest::waitFor([&] { return !sandbox.calls("Reset").isEmpty(); }));
    thread.requestInterruption();
    EXPECT_TRUE(kftest::waitFor(
        [&] {
            QMutexLocker locker(&lock);
            return reported == QStringList{"-1"};
        },
        2000));
    EXPECT_EQ(ranOn, &thread);
    thread.quit();
    thread.wait();
    delete update;
    EXPECT_TRUE(sandbox.calls("DeviceExist").isEmpty());
    EXPECT_EQ(log.matching("interrupted").size(), 1);
}
