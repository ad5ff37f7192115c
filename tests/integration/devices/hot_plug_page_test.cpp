// Plugging and unplugging an emulated device with kestrafon-sim reaches the page of a running
// window as "DevicesChanged" 2 and 1, and the page's next list shows the change.
#include <gtest/gtest.h>
#include <QProcess>

#include "app/application.h"
#include "device/hot_plug_watcher.h"
#include "device_host_helpers.h"
#include "unit/device/emulator_helpers.h"
#include "window/window.h"

using kftest::evalJs;
using kftest::waitFor;

namespace {

int runSim(const QStringList& args) {
    QProcess process;
    process.start(kftest::EmulatorSandbox::simTool(), args);
    return process.waitForFinished(30000) ? process.exitCode() : -1;
}

QString pageEvents() {
    return evalJs("JSON.stringify(window.events)").toString();
}

}  // namespace

TEST(HotPlugPage, SimPlugAndUnplugReachThePage) {
    kftest::EmulatorSandbox sandbox;
    ASSERT_EQ(runSim({"list"}), 0);  // the emulator's folder with the demo devices plugged
    Window* window = kftest::deviceHost().window;
    ASSERT_TRUE(kftest::waitForMainPage());
    evalJs("window.events = []; window.log = []; 1");
    // As the start sequence registers it, on this emulator's folder.
    kf::device::HotPlugWatcher* watcher = Application::watchDevices(window, nullptr, sandbox.stateFolder());

    ASSERT_EQ(runSim({"unplug", "keyboard"}), 0);
    ASSERT_TRUE(waitFor([] { return pageEvents() == R"([["DevicesChanged",[1]]])"; }))
        << pageEvents().toStdString();
    evalJs(R"(window.ask('{"FuncName":"GetDevicesList"}'); 1)");
    ASSERT_TRUE(waitFor([] { return evalJs("window.log.length").toInt() == 1; }));
    EXPECT_TRUE(evalJs("window.log[0][2]").toString().contains("QZK-ZMC-V1.1.0"));
    EXPECT_FALSE(evalJs("window.log[0][2]").toString().contains("QZK-ZKC-V1.1.0"));

    ASSERT_EQ(runSim({"plug", "keyboard"}), 0);
    ASSERT_TRUE(waitFor([] { return pageEvents() == R"([["DevicesChanged",[1]],["DevicesChanged",[2]]])"; }))
        << pageEvents().toStdString();
    evalJs(R"(window.ask('{"FuncName":"GetDevicesList"}'); 1)");
    ASSERT_TRUE(waitFor([] { return evalJs("window.log.length").toInt() == 2; }));
    EXPECT_TRUE(evalJs("window.log[1][2]").toString().contains("QZK-ZKC-V1.1.0"));
    delete watcher;
}
