// The update commands through the dispatcher: "ExecuteUpdateFirmware" against the emulated boot
// loader with the waits scaled down, and "ExecuteUpdateClient" with a recording Updater launcher.
// Neither is answered; the page sees "RefreshUpdateState" values.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QTemporaryDir>

#include "cefclient/theme_archive_writer.h"
#include "cefclient/update_digest.h"
#include "device_host_helpers.h"
#include "platform/updater/updater_launcher.h"
#include "support/log_capture.h"
#include "support/thread_census.h"
#include "unit/device/emulator_helpers.h"
#include "unit/formats/formats_test_helpers.h"
#include "window/updates.h"
#include "window/window.h"

using kftest::EmulatorSandbox;
using kftest::evalJs;

namespace {

class UpdateCommands : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("KESTRAFON_WAIT_SCALE", "0.001");
        ASSERT_TRUE(kftest::waitForMainPage());
        auto launcher = std::make_unique<kf::platform::RecordingUpdaterLauncher>();
        launcher_ = launcher.get();
        window()->setUpdateServices(update_, std::move(launcher));
        window()->setQuitRoutine([this] { ++quits_; });
        window()->setUpdatePendingRoutine([this] { ++pending_; });
        kftest::request(R"({"FuncName":"GetDevicesList"})");
    }
    void TearDown() override {
        window()->setQuitRoutine([] {});
        window()->setUpdatePendingRoutine(nullptr);
        qunsetenv("KESTRAFON_WAIT_SCALE");
    }
    static Window* window() { return kftest::deviceHost().window; }

    // Puts `bytes` into the update folder as `name`, sends the command for it and returns what
    // the page saw once it saw `last` (and a little after).
    QStringList run(const QString& command, const QString& version, const QString& name,
                    const QByteArray& bytes, const QString& last) {
        kftest::writeFile(update_ + "/" + name, bytes);
        evalJs("window.updates = []; 1");
        const QJsonObject request{
            {"FuncName", command}, {"Version", version}, {"FilePath", update_ + "/" + name}};
        EXPECT_TRUE(
            kftest::request(QString::fromUtf8(QJsonDocument(request).toJson())).isEmpty());  // never answered
        const auto seen = [] { return evalJs("window.updates").toStringList(); };
        kftest::waitFor([&] { return !seen().isEmpty() && seen().last() == last; });
        kftest::settle(100);
        EXPECT_FALSE(QFile::exists(update_ + "/" + name));  // consumed
        return seen();
    }

    static void send(const QString& command, const QString& version, const QString& path) {
        const QJsonObject request{{"FuncName", command}, {"Version", version}, {"FilePath", path}};
        EXPECT_TRUE(kftest::request(QString::fromUtf8(QJsonDocument(request).toJson())).isEmpty());
    }

    EmulatorSandbox sandbox_{QJsonArray{kftest::simDevice("ms", "QZK-ZMC-V1.1.0_01")}};
    QTemporaryDir dir_;
    QString update_ = dir_.path() + "/update";
    kf::platform::RecordingUpdaterLauncher* launcher_ = nullptr;
    int quits_ = 0;
    int pending_ = 0;
};

}  // namespace

TEST_F(UpdateCommands, FirmwareUpdatesReportTheirProgressLeaveTheDeviceAndEndTheirThread) {
    const QByteArray data = kftest::firmwareData("QZK-ZMC-V3.0.0_02", 4500);
    const QStringList all{"dcDevices", "Reset",    "DeviceExist",     "EraseRom",      "WriteRom", "WriteRom",
                          "WriteRom",  "CheckRom", "FinishUpdateRom", "UpdateVersion", "Reset"};
    const struct {
        const char* name;
        QString version;
        quint32 check;
        QStringList calls;
        QString last;
        QString listed;  // in kestrafon-sim list afterwards
    } cases[] = {
        {"unlisted device", "QZK-NOPE", kftest::byteSum(data), {"dcDevices"}, "-1", "QZK-ZMC-V1.1.0_01"},
        {"wrong check value", "QZK-ZMC-V1.1.0", 1, all.mid(0, 8), "-1", "(boot loader)"},
        {"listed device", "QZK-ZMC-V1.1.0", kftest::byteSum(data), all, "100", "QZK-ZMC-V3.0.0_02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kftest::LogCapture log;
        sandbox_.clearJournal();
        const QStringList seen = run("ExecuteUpdateFirmware", c.version, "firmware.bin",
                                     kftest::firmwareFile(data, c.check), c.last);
        ASSERT_GE(seen.size(), 2);
        EXPECT_EQ(seen.first(), "5");
        EXPECT_EQ(seen.last(), c.last);
        for (int i = 1; i + 1 < seen.size(); ++i) {
            EXPECT_GT(seen[i].toInt(), seen[i - 1].toInt()) << seen.join(' ').toStdString();
            EXPECT_LT(seen[i].toInt(), 100);
        }
        EXPECT_EQ(sandbox_.functionsCalled(), c.calls);
        EXPECT_TRUE(EmulatorSandbox::sim({"list"}).contains(c.listed));
        EXPECT_EQ(log.matching("failed").size(), c.last == "-1" ? 1 : 0);
        if (c.last == "-1") {
            EmulatorSandbox::sim({"reset"});  // out of the boot loader
        }
        // The update's thread, its object and its library binding go as the update returns.
        EXPECT_TRUE(kftest::waitFor([] { return kftest::threadsNamed("firmware update") == 0; }, 5000));
        EXPECT_EQ(window()->updates()->firmwareUpdateCount(), 0);
    }
    // The blocks and arguments of the update that went through.
    QStringList args;
    for (const QJsonObject& call : sandbox_.journal()) {
        const QJsonObject a = call.value("args").toObject();
        for (const char* key : {"mode", "offset", "length", "check", "a", "b"}) {
            if (a.contains(key)) {
                args << QString("%1=%2").arg(key, a.value(key).toVariant().toString());
            }
        }
    }
    EXPECT_EQ(args,
              (QStringList{"mode=1", "offset=0", "length=2000", "offset=2000", "length=2000", "offset=4000",
                           "length=500", "length=4500", "check=" + QString::number(kftest::byteSum(data)),
                           "a=2", "b=17", "mode=2"}));
    EXPECT_EQ(sandbox_.calls("WriteRom").at(2).value("args").toObject().value("data").toString(),
              QString::fromLatin1(data.mid(4000).toHex()));
}

TEST_F(UpdateCommands, WhileAFlashRunsOtherUpdatesAreRefusedAndQuitsWaitForIt) {
    qputenv("KESTRAFON_WAIT_SCALE", "0.01");  // about 0.3 s: long enough to come between
    const QByteArray data = kftest::firmwareData("QZK-ZMC-V3.0.0_02", 4500);
    const QStringList one{"dcDevices", "Reset",    "DeviceExist",     "EraseRom",      "WriteRom", "WriteRom",
                          "WriteRom",  "CheckRom", "FinishUpdateRom", "UpdateVersion", "Reset"};
    enum Second { Firmware, Client, TwoQuits };
    const struct {
        const char* name;
        Second second;
        QStringList seen;
        const char* logged;
    } cases[] = {
        {"a second firmware update", Firmware, {"5", "-1"}, "refused: the update of"},
        {"a client update", Client, {"5", "-1"}, "client update refused: the firmware update"},
        {"two quits", TwoQuits, {"5"}, "closes once the running firmware update has ended"},
    };
    QLabel* notice = nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kftest::LogCapture log;
        sandbox_.clearJournal();
        kftest::writeFile(update_ + "/firmware.bin", kftest::firmwareFile(data, kftest::byteSum(data)));
        kftest::writeFile(update_ + "/second.bin", kftest::firmwareFile(data, kftest::byteSum(data)));
        evalJs("window.updates = []; 1");
        send("ExecuteUpdateFirmware", "QZK-ZMC-V1.1.0", update_ + "/firmware.bin");
        QStringList quitsSaw;  // the device calls made when each quit ran
        if (c.second == Firmware) {
            send("ExecuteUpdateFirmware", "QZK-ZMC-V1.1.0", update_ + "/second.bin");
        } else if (c.second == Client) {
            send("ExecuteUpdateClient", QString(), update_ + "/second.bin");
        } else {
            for (int i = 0; i < 2; ++i) {
                EXPECT_TRUE(window()->quitAfterFirmwareUpdate(
                    [&] { quitsSaw << sandbox_.functionsCalled().join(','); }));
            }
            notice = window()->findChild<QLabel*>("quitNotice");
            EXPECT_TRUE(notice && notice->isVisible());
            EXPECT_TRUE(quitsSaw.isEmpty());
        }
        const auto seen = [] { return evalJs("window.updates").toStringList(); };
        ASSERT_TRUE(kftest::waitFor([&] { return seen().contains("100"); }, 10000))
            << seen().join(' ').toStdString();
        EXPECT_EQ(seen().mid(0, c.seen.size()), c.seen) << seen().join(' ').toStdString();
        EXPECT_EQ(seen().count("-1"), c.seen.count("-1"));
        EXPECT_EQ(sandbox_.functionsCalled(), one);           // one erase, one block sequence
        EXPECT_TRUE(QFile::exists(update_ + "/second.bin"));  // the refused file is left alone
        EXPECT_EQ(log.matching(c.logged).size(), 1);
        EXPECT_TRUE(kftest::waitFor([] { return window()->updates()->firmwareUpdateCount() == 0; }, 5000));
        if (c.second == TwoQuits) {
            // Both asked for the same quit, which came after the device was back.
            EXPECT_EQ(quitsSaw, (QStringList{one.join(','), one.join(',')}));
            EXPECT_FALSE(notice && notice->isVisible());
        }
        EXPECT_FALSE(window()->quitAfterFirmwareUpdate([] {}));  // nothing runs: at once
    }
}

TEST_F(UpdateCommands, ClientUpdateStartsTheUpdaterAndQuitsOnlyWithAGoodPackage) {
    const QVector<kftest::PayloadFile> good{{"Kestrafon/theme.pak", "new pack"}};
    const QVector<kftest::PayloadFile> climbing{{"Kestrafon/ok", "x"}, {"Kestrafon/../../escaped", "x"}};
    const struct {
        const char* name;
        QVector<kftest::PayloadFile> files;
        bool starts;
        QStringList seen;
        const char* logged;
    } cases[] = {
        {"traversal entry", climbing, true, {"-1"}, "client update refused"},
        {"Updater cannot start", good, false, {"60", "-1"}, "could not be started"},
        {"good package", good, true, {"60"}, "closing the client"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kftest::LogCapture log;
        launcher_->setSucceeds(c.starts);
        const QByteArray package = buildThemeArchiveFromPayload(kftest::archivePayload("Kestrafon", c.files));
        EXPECT_EQ(run("ExecuteUpdateClient", QString(), "client.pkg", package, c.seen.last()), c.seen);
        EXPECT_EQ(quits_, c.seen == QStringList{"60"} ? 1 : 0);
        EXPECT_EQ(pending_, quits_);
        EXPECT_FALSE(QFile::exists(dir_.path() + "/escaped"));
        EXPECT_EQ(log.matching(c.logged).size(), 1);
    }
    ASSERT_EQ(launcher_->starts().size(), 2);
    const auto start = launcher_->starts().last();
    EXPECT_EQ(start.program, QCoreApplication::applicationDirPath() + "/Updater");
    EXPECT_EQ(start.arguments.mid(0, 5),
              (QStringList{"--Upgrade", "--pid", QString::number(QCoreApplication::applicationPid()),
                           "--update-dir", update_}));
    EXPECT_EQ(start.workingFolder, update_);
    EXPECT_EQ(kftest::readFile(update_ + "/theme.pak"), "new pack");
    // The digest of what was unpacked, which the Updater checks again before it installs.
    const int digest = start.arguments.indexOf("--digest");
    ASSERT_GT(digest, 0);
    EXPECT_EQ(start.arguments.value(digest + 1), kf::update::updateDigest({{"theme.pak", "new pack"}}));
}
