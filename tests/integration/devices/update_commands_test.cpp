// The update commands through the dispatcher: "ExecuteUpdateFirmware" against the emulated boot
// loader with the waits scaled down, and "ExecuteUpdateClient" with a recording Updater launcher.
// Neither is answered; the page sees "RefreshUpdateState" values.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include "cefclient/theme_archive_writer.h"
#include "device_host_helpers.h"
#include "platform/updater/updater_launcher.h"
#include "support/log_capture.h"
#include "unit/device/emulator_helpers.h"
#include "unit/formats/formats_test_helpers.h"
#include "window/updates.h"
#include "window/window.h"

using kftest::evalJs;
using kftest::request;
using kftest::waitFor;

namespace {

const QString kMouse = "QZK-ZMC-V1.1.0";

// A firmware image whose data starts with the version the device reports afterwards.
QByteArray image(int length, qint64 checkDelta) {
    QByteArray data("QZK-ZMC-V3.0.0_02");
    data.append(QByteArray(length - data.size(), '\x5a'));
    quint32 sum = 0;
    for (char c : data) {
        sum += static_cast<unsigned char>(c);
    }
    QByteArray file(67200, '\0');
    file[0] = 0x16;
    file[1] = 0x10;
    file.replace(264, data.size(), data);
    for (int i = 0; i < 8; ++i) {
        file[66143 + i] = char((quint64(length) >> (8 * i)) & 0xFF);
    }
    for (int i = 0; i < 4; ++i) {
        file[66151 + i] = char(((sum + checkDelta) >> (8 * i)) & 0xFF);
    }
    return file;
}

QStringList pageUpdates() {
    const QVariantList values = evalJs("window.updates").toList();
    QStringList out;
    for (const QVariant& v : values) {
        out << v.toString();
    }
    return out;
}

class UpdateCommands : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("KESTRAFON_WAIT_SCALE", "0.001");
        ASSERT_TRUE(kftest::waitForMainPage());
        auto launcher = std::make_unique<kf::platform::RecordingUpdaterLauncher>();
        launcher_ = launcher.get();
        update_ = dir_.path() + "/update";
        window()->setUpdateServices(update_, std::move(launcher));
        window()->setQuitRoutine([this] { ++quits_; });
        window()->setUpdatePendingRoutine([this] { ++pending_; });
        request(R"({"FuncName":"GetDevicesList"})");
        sandbox_.clearJournal();
    }
    void TearDown() override {
        window()->setQuitRoutine([] {});
        window()->setUpdatePendingRoutine(nullptr);
        qunsetenv("KESTRAFON_WAIT_SCALE");
    }

    static Window* window() { return kftest::deviceHost().window; }

    // Sends the request and returns what the page saw once it saw `last` (and a little after).
    QStringList run(const QString& text, const QString& last) {
        evalJs("window.updates = []; 1");
        EXPECT_TRUE(request(text).isEmpty());  // never answered
        waitFor([&] {
            const QStringList seen = pageUpdates();
            return !seen.isEmpty() && seen.last() == last;
        });
        kftest::settle(100);
        return pageUpdates();
    }

    QString put(const QString& name, const QByteArray& bytes) {
        const QString path = update_ + "/" + name;
        QDir().mkpath(update_);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }

    QStringList functionsCalled() const {
        QStringList names;
        for (const QJsonObject& call : sandbox_.journal()) {
            names << call.value("function").toString();
        }
        return names;
    }

    kftest::EmulatorSandbox sandbox_{QJsonArray{kftest::simDevice("ms", "QZK-ZMC-V1.1.0_01")}};
    QTemporaryDir dir_;
    QString update_;
    kf::platform::RecordingUpdaterLauncher* launcher_ = nullptr;
    int quits_ = 0;
    int pending_ = 0;
};

QString simList() {
    QProcess sim;
    sim.start(kftest::EmulatorSandbox::simTool(), {"list"});
    sim.waitForFinished();
    return QString::fromUtf8(sim.readAllStandardOutput());
}

QString firmwareRequest(const QString& version, const QString& path) {
    return QString::fromUtf8(
        QJsonDocument(
            QJsonObject{{"FuncName", "ExecuteUpdateFirmware"}, {"Version", version}, {"FilePath", path}})
            .toJson(QJsonDocument::Compact));
}

}  // namespace

TEST_F(UpdateCommands, FirmwareUpdatesReportTheirProgressAndLeaveTheDeviceAsTheyEnd) {
    const QStringList all{"dcDevices", "Reset",    "DeviceExist",     "EraseRom",      "WriteRom", "WriteRom",
                          "WriteRom",  "CheckRom", "FinishUpdateRom", "UpdateVersion", "Reset"};
    const struct {
        const char* name;
        QString version;
        qint64 checkDelta;
        QStringList calls;
        QString final;
        QString listed;  // what kestrafon-sim list shows for the device afterwards
    } cases[] = {
        {"unlisted device", "QZK-NOPE", 0, {"dcDevices"}, "-1", "QZK-ZMC-V1.1.0_01"},
        {"wrong check value", kMouse, 1, all.mid(0, 8), "-1", "(boot loader)"},
        {"listed device", kMouse, 0, all, "100", "QZK-ZMC-V3.0.0_02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox_.clearJournal();
        kftest::LogCapture log;
        const QString path = put("firmware.bin", image(4500, c.checkDelta));
        const QStringList seen = run(firmwareRequest(c.version, path), c.final);
        ASSERT_GE(seen.size(), 2) << seen.join(' ').toStdString();
        EXPECT_EQ(seen.first(), "5");
        EXPECT_EQ(seen.last(), c.final);
        for (int i = 1; i + 1 < seen.size(); ++i) {
            EXPECT_GT(seen[i].toInt(), seen[i - 1].toInt()) << seen.join(' ').toStdString();
            EXPECT_LT(seen[i].toInt(), 100);
        }
        EXPECT_EQ(functionsCalled(), c.calls);
        EXPECT_TRUE(simList().contains(c.listed)) << simList().toStdString();
        EXPECT_FALSE(QFile::exists(path));  // downloaded into the update folder: consumed
        EXPECT_EQ(log.matching("failed").size(), c.final == "-1" ? 1 : 0);
        // A wrong check leaves the device in its boot loader; the reset brings it back.
        QProcess reset;
        reset.start(kftest::EmulatorSandbox::simTool(), {"reset"});
        reset.waitForFinished();
    }
    EXPECT_EQ(window()->updates()->firmwareUpdateCount(), 3);  // a thread each
}

TEST_F(UpdateCommands, ClientUpdateStartsTheUpdaterAndQuitsOnlyWithAGoodPackage) {
    const QVector<kftest::PayloadFile> good{{"Kestrafon/theme.pak", "new pack"}};
    const QVector<kftest::PayloadFile> climbing{{"Kestrafon/ok", "x"}, {"Kestrafon/../../escaped", "x"}};
    const struct {
        const char* name;
        QVector<kftest::PayloadFile> files;
        bool launches;
        QStringList seen;
        int quits;
    } cases[] = {
        {"traversal entry", climbing, true, {"-1"}, 0},
        {"Updater cannot start", good, false, {"60", "-1"}, 0},
        {"good package", good, true, {"60"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kftest::LogCapture log;
        launcher_->setSucceeds(c.launches);
        const int startsBefore = launcher_->starts().size();
        const QString path =
            put("client.pkg", buildThemeArchiveFromPayload(kftest::archivePayload("Kestrafon", c.files)));
        const QString text = QString(R"({"FuncName":"ExecuteUpdateClient","FilePath":"%1"})").arg(path);
        EXPECT_EQ(run(text, c.seen.last()), c.seen);
        EXPECT_EQ(quits_, c.quits);
        EXPECT_EQ(pending_, c.quits);
        EXPECT_FALSE(QFile::exists(path));
        EXPECT_FALSE(QFile::exists(dir_.path() + "/escaped"));
        EXPECT_EQ(launcher_->starts().size() - startsBefore, c.seen.first() == "60" ? 1 : 0);
        EXPECT_EQ(
            log.matching(c.seen.last() == "-1" ? "client update refused" : "closing the client").size() +
                log.matching("could not be started").size(),
            1u);
    }
    const auto start = launcher_->starts().last();
    EXPECT_EQ(start.program, QCoreApplication::applicationDirPath() + "/Updater");
    EXPECT_EQ(start.arguments.mid(0, 5),
              (QStringList{"--Upgrade", "--pid", QString::number(QCoreApplication::applicationPid()),
                           "--update-dir", update_}));
    EXPECT_EQ(start.workingFolder, update_);
    EXPECT_EQ(kftest::readFile(update_ + "/theme.pak"), "new pack");
}
