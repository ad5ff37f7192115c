// Hot-plug: device-change notifications become "DevicesChanged" 2 or 1 with their log lines; the
// emulator's plugged set is watched on disk; kestrafon-sim changes it and reports what it holds.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "device/device_functions.h"
#include "device/hot_plug_watcher.h"
#include "device/sim_folder_watcher.h"
#include "emulator_helpers.h"
#include "platform/usb/memory_usb_system.h"

using kf::device::HotPlugWatcher;
using kf::device::SimFolderWatcher;
using kf::platform::MemoryUsbSystem;
using kf::platform::UsbEventKind;
using kftest::EmulatorSandbox;

namespace {

QStringList* g_logLines = nullptr;

void captureLog(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (g_logLines) {
        g_logLines->append(text);
    }
}

// Collects the log lines written while it exists.
class LogCapture {
public:
    LogCapture() {
        g_logLines = &lines;
        previous_ = qInstallMessageHandler(captureLog);
    }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        g_logLines = nullptr;
    }
    QStringList lines;

private:
    QtMessageHandler previous_ = nullptr;
};

QList<int> kinds(const QSignalSpy& spy) {
    QList<int> out;
    for (const auto& args : spy) {
        out << args.at(0).toInt();
    }
    return out;
}

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

ToolRun sim(const QStringList& args) {
    QProcess process;
    process.start(EmulatorSandbox::simTool(), args);
    ToolRun run;
    if (!process.waitForFinished(30000)) {
        return run;
    }
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

}  // namespace

TEST(HotPlug, NotificationsBecomeDevicesChangedWithTheirLogLines) {
    MemoryUsbSystem usb;
    HotPlugWatcher watcher;
    ASSERT_TRUE(watcher.start(&usb, QString()));
    QSignalSpy changed(&watcher, &HotPlugWatcher::DevicesChanged);
    LogCapture log;
    usb.notify(UsbEventKind::Arrival, true);
    usb.notify(UsbEventKind::Arrival, false);  // not a device interface: logged, not announced
    usb.notify(UsbEventKind::RemovePending, true);
    usb.notify(UsbEventKind::RemoveComplete, false);  // announced whatever it concerns
    usb.notify(UsbEventKind::RemoveComplete, true);
    EXPECT_EQ(kinds(changed), (QList<int>{2, 1, 1}));
    EXPECT_EQ(log.lines,
              (QStringList{"DBT_DEVICEARRIVAL case", "DBT_DEVICEARRIVAL case", "DBT_DEVICEREMOVEPENDING case",
                           "DBT_DEVICEREMOVECOMPLETE case", "DBT_DEVICEREMOVECOMPLETE case"}));
}

TEST(HotPlug, StartFailsOnlyWhenNoSourceListens) {
    MemoryUsbSystem usb;
    usb.monitorFails = true;
    HotPlugWatcher watcher;
    EXPECT_FALSE(watcher.start(&usb, QString()));
    QTemporaryDir dir;
    HotPlugWatcher second;
    EXPECT_TRUE(second.start(&usb, dir.path() + "/sim"));
    EXPECT_TRUE(QFileInfo(dir.path() + "/sim").isDir());
}

TEST(SimFolder, PluggedFilesAppearingAndGoingAreReported) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/sim";
    QDir().mkpath(folder + "/attached");
    QFile(folder + "/attached/known").open(QIODevice::WriteOnly);
    SimFolderWatcher watcher(folder);
    ASSERT_TRUE(watcher.start());
    EXPECT_EQ(watcher.attached(), QSet<QString>{"known"});
    QSignalSpy arrived(&watcher, &SimFolderWatcher::deviceArrived);
    QSignalSpy removed(&watcher, &SimFolderWatcher::deviceRemoved);
    QFile(folder + "/attached/mouse").open(QIODevice::WriteOnly);
    QFile(folder + "/attached/.hidden").open(QIODevice::WriteOnly);  // not a device id
    ASSERT_TRUE(arrived.wait(10000));
    EXPECT_EQ(arrived.takeFirst().at(0).toString(), "mouse");
    QFile::remove(folder + "/attached/known");
    ASSERT_TRUE(removed.wait(10000));
    EXPECT_EQ(removed.takeFirst().at(0).toString(), "known");
    // Nothing else was reported, however often the folder changed.
    watcher.rescan();
    EXPECT_TRUE(arrived.isEmpty());
    EXPECT_TRUE(removed.isEmpty());
}

TEST(SimFolder, AFolderMadeLaterIsPickedUp) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/sim";
    SimFolderWatcher watcher(folder);
    ASSERT_TRUE(watcher.start());
    QSignalSpy arrived(&watcher, &SimFolderWatcher::deviceArrived);
    // As the emulator makes it: filled elsewhere, then renamed into place.
    QDir().mkpath(folder + "/attached.new");
    QFile(folder + "/attached.new/a").open(QIODevice::WriteOnly);
    QFile(folder + "/attached.new/b").open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir().rename(folder + "/attached.new", folder + "/attached"));
    while (arrived.size() < 2) {
        ASSERT_TRUE(arrived.wait(10000));
    }
    EXPECT_EQ(arrived.at(0).at(0).toString(), "a");
    EXPECT_EQ(arrived.at(1).at(0).toString(), "b");
    // The folder is watched from now on.
    QSignalSpy removed(&watcher, &SimFolderWatcher::deviceRemoved);
    QFile::remove(folder + "/attached/a");
    ASSERT_TRUE(removed.wait(10000));
}

TEST(SimTool, PlugAndUnplugReachAWatcher) {
    EmulatorSandbox sandbox;
    ASSERT_EQ(sim({"list"}).status, 0);  // makes the state folder with the demo devices plugged
    HotPlugWatcher watcher;
    ASSERT_TRUE(watcher.start(nullptr, sandbox.stateFolder()));
    QSignalSpy changed(&watcher, &HotPlugWatcher::DevicesChanged);
    EXPECT_EQ(sim({"unplug", "mouse"}).out, "unplugged mouse\n");
    ASSERT_TRUE(changed.wait(10000));
    EXPECT_EQ(sim({"plug", "mouse"}).out, "plugged mouse\n");
    while (changed.size() < 2) {
        ASSERT_TRUE(changed.wait(10000));
    }
    EXPECT_EQ(kinds(changed), (QList<int>{1, 2}));
}

TEST(SimTool, ListSlotsJournalAndReset) {
    EmulatorSandbox sandbox;
    const ToolRun list = sim({"list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out,
              "mouse\tplugged\t258a:001a\tQZK-ZMC-V1.1.0_01\tKFM0000000001\tKestrafon demo mouse\n"
              "keyboard\tplugged\t258a:001a\tQZK-ZKC-V1.1.0_01\tKFK0000000001\tKestrafon demo keyboard\n");
    {
        DeviceFunctions functions;
        functions.buildDeviceList();
        ASSERT_TRUE(functions.writeParameter("QZK-ZMC-V1.1.0", "11", "1,2,3", "3"));
        ASSERT_TRUE(functions.writeDeviceProperty("QZK-ZMC-V1.1.0", "3", "SN"));
    }
    const ToolRun held = sim({"slots", "mouse"});
    EXPECT_EQ(held.status, 0);
    EXPECT_TRUE(held.out.contains("slot 11 (3 bytes)\n    01 02 03\n")) << held.out.toStdString();
    EXPECT_TRUE(held.out.contains("property 3 (2 bytes)\n    53 4e\n"));
    EXPECT_TRUE(held.out.contains("serial SN\n"));
    const ToolRun journal = sim({"journal"});
    EXPECT_EQ(journal.out.count('\n'), 3);
    EXPECT_TRUE(journal.out.contains("\"function\":\"dcWriteProperty\""));

    EXPECT_EQ(sim({"unplug", "keyboard"}).status, 0);
    EXPECT_EQ(sim({"reset"}).status, 0);
    EXPECT_TRUE(sim({"journal"}).out.isEmpty());
    EXPECT_FALSE(sim({"slots", "mouse"}).out.contains("slot 11"));
    EXPECT_TRUE(QFile::exists(sandbox.stateFolder() + "/attached/keyboard"));
}

TEST(SimTool, MistakesAreReportedWithTheirStatus) {
    EmulatorSandbox sandbox;
    EXPECT_EQ(sim({}).status, 2);
    EXPECT_EQ(sim({"plug"}).status, 2);
    EXPECT_EQ(sim({"journal", "-x"}).status, 2);
    EXPECT_EQ(sim({"frobnicate"}).status, 2);
    const ToolRun unknown = sim({"plug", "toaster"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "kestrafon-sim: unknown device \"toaster\" (known: mouse, keyboard)\n");
    EXPECT_EQ(sim({"plug", "../escape"}).status, 1);

    QFile broken(sandbox.stateFolder() + "/../broken.json");
    broken.open(QIODevice::WriteOnly);
    broken.write("{\"devices\": [{\"id\": \"a/b\"}]}");
    broken.close();
    qputenv("KESTRAFON_DEVICES", QFile::encodeName(broken.fileName()));
    const ToolRun bad = sim({"list"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.err.contains("not a valid file name")) << bad.err.toStdString();
}

TEST(SimTool, TheToolFollowsTheDeviceListTheClientLastUsed) {
    EmulatorSandbox sandbox(QJsonArray{kftest::simDevice("pad", "QZK-ZMC-V5.0.0_01")});
    {
        DeviceFunctions functions;
        ASSERT_EQ(functions.buildDeviceList().size(), 1);
    }
    qunsetenv("KESTRAFON_DEVICES");  // a shell without the client's environment
    EXPECT_TRUE(sim({"list"}).out.startsWith("pad\tplugged"));
}
