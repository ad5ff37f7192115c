// The device commands end to end on the emulated library:
//   - "CustomButton" from Window::onJsMessage to its answer: the queued hop to the device
//     worker's thread, the encoding, the library call (the emulator keeps the slot on disk and
//     journals the call) and the queued result back to the dispatcher. Median and p99 of single
//     requests (goal: median <= 2 ms), beside the same write made directly on this thread
//     (DeviceFunctions::writeParameter, the emulator's share) in the same run.
//   - "GetDevicesList" with 20 attached devices, beside the library's enumeration alone.
//
// The Window is built offscreen without a browser handler; the emulator works in a temporary
// state folder with a generated device file.
#include <benchmark/benchmark.h>

#include "median_reporter.h"

#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cefclient/client_app.h"
#include "cefclient/query_callback.h"
#include "device/device_functions.h"
#include "device/devices_handler.h"
#include "window/window.h"

namespace {

const QString kMouse = QStringLiteral("QZK-ZMC-V1.0.a");
const QString kCustomButton = QStringLiteral(
    R"({"FuncName":"CustomButton","Version":"QZK-ZMC-V1.0.a","TaskIndex":"11","Mode":"0","Task":"Ctrl+C",)"
    R"("TaskType":"Keyboard","PlayCount":"1","PlayDelay":"0","PlayType":"1"})");
const QString kGetDevicesList = QStringLiteral(R"({"FuncName":"GetDevicesList"})");

struct Fixture {
    QTemporaryDir dir;
    Window* window = nullptr;
    DeviceFunctions* direct = nullptr;
};

// 20 devices, each reporting only its configurable collection: a table of 20 entries.
QByteArray deviceFile() {
    QJsonArray devices;
    for (int i = 0; i < 20; ++i) {
        const QString id = QStringLiteral("d%1").arg(i);
        devices.append(QJsonObject{
            {"id", id},
            {"firmware", QStringLiteral("QZK-ZMC-V1.0.%1_01").arg(QChar('a' + i))},
            {"serial", QStringLiteral("SN%1").arg(i)},
            {"collections", QJsonArray{QJsonObject{
                                {"path", QStringLiteral("kestrafon-sim:%1/vid_258a&pid_001a&col02").arg(id)},
                                {"usage", 1},
                                {"usagePage", 0xFFA0}}}}});
    }
    return QJsonDocument(QJsonObject{{"devices", devices}}).toJson();
}

Fixture& fixture() {
    static Fixture* f = [] {
        auto* created = new Fixture;
        QFile file(created->dir.path() + "/devices.json");
        file.open(QIODevice::WriteOnly);
        file.write(deviceFile());
        file.close();
        qputenv("KESTRAFON_DEVICES", QFile::encodeName(file.fileName()));
        qputenv("KESTRAFON_SIM_DIR", QFile::encodeName(created->dir.path() + "/sim"));
        // The library of the build's application folder, beside this program's folder.
        const QString appDir = qEnvironmentVariable("KF_APP_DIR");
        devices_handler::setLibraryFolder(
            appDir.isEmpty() ? QCoreApplication::applicationDirPath() + "/../app" : appDir);
        created->window = new Window;
        created->direct = new DeviceFunctions;
        return created;
    }();
    return *f;
}

// Per-request latencies of the last run of each benchmark, in microseconds.
std::map<std::string, std::vector<double>> g_samples;

double percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const size_t index = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[index];
}

void BM_CustomButton_RoundTrip(benchmark::State& state) {
    Fixture& f = fixture();
    int answers = 0;
    bool allSucceeded = true;
    f.window->onJsMessage(kGetDevicesList, QueryCallbackPtr());
    std::vector<double> samples;
    QEventLoop loop;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const int before = answers;
        f.window->onJsMessage(kCustomButton, QueryCallbackPtr::create(
                                                 [&](bool ok, int, const QString&, bool) {
                                                     ++answers;
                                                     allSucceeded = allSucceeded && ok;
                                                     loop.quit();
                                                 },
                                                 false));
        // The answer comes back through the GUI thread's event loop.
        if (answers == before) {
            loop.exec();
        }
        const double us = double(timer.nsecsElapsed()) / 1000.0;
        state.SetIterationTime(us / 1e6);
        samples.push_back(us);
    }
    if (!allSucceeded) {
        state.SkipWithError("a write failed");
    }
    auto& all = g_samples["CustomButton"];
    all.insert(all.end(), samples.begin(), samples.end());
}

void BM_DirectWrite_SameBytes(benchmark::State& state) {
    Fixture& f = fixture();
    f.direct->buildDeviceList();
    std::vector<double> samples;
    const QString code = QStringLiteral("0x01,1,1,0,0,0x00,0x00,0x00,0x00,0x00,0x00,0x02,1,06,0x00");
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        if (!f.direct->writeParameter(kMouse, QStringLiteral("11"), code, QStringLiteral("15"))) {
            state.SkipWithError("the direct write failed");
            break;
        }
        const double us = double(timer.nsecsElapsed()) / 1000.0;
        state.SetIterationTime(us / 1e6);
        samples.push_back(us);
    }
    auto& all = g_samples["DirectWrite"];
    all.insert(all.end(), samples.begin(), samples.end());
}

void BM_GetDevicesList_20Devices(benchmark::State& state) {
    Fixture& f = fixture();
    int devices = 0;
    for (auto _ : state) {
        f.window->onJsMessage(kGetDevicesList,
                              QueryCallbackPtr::create(
                                  [&](bool, int, const QString& text, bool) {
                                      devices = int(QJsonDocument::fromJson(text.toUtf8()).array().size());
                                  },
                                  false));
    }
    if (devices != 20) {
        state.SkipWithError("the list did not hold 20 devices");
    }
}

void BM_Enumerate_20Devices(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.direct->enumerate());
    }
}

constexpr int kRepetitions = 5;

}  // namespace

BENCHMARK(BM_CustomButton_RoundTrip)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(300)
    ->Repetitions(kRepetitions);
BENCHMARK(BM_DirectWrite_SameBytes)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(300)
    ->Repetitions(kRepetitions);
BENCHMARK(BM_GetDevicesList_20Devices)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Enumerate_20Devices)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    ClientApp::registerSchemes();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    MedianReporter reporter;
    if (!runBenchmarks(argc, argv, reporter)) {
        return 1;
    }

    const auto& button = g_samples["CustomButton"];
    const auto& direct = g_samples["DirectWrite"];
    std::printf("\nsummary (same run; per request, µs; all repetitions)\n");
    if (!button.empty()) {
        const double median = percentile(button, 0.5);
        const double directMedian = percentile(direct, 0.5);
        std::printf("  CustomButton round trip   median %.0f   p99 %.0f   goal median <= 2000: %s\n", median,
                    percentile(button, 0.99), median <= 2000.0 ? "met" : "NOT MET");
        std::printf("  direct write, same bytes  median %.0f   p99 %.0f   round trip / direct %.2f\n",
                    directMedian, percentile(direct, 0.99), directMedian > 0 ? median / directMedian : 0.0);
    }
    const double list = reporter.median("BM_GetDevicesList_20Devices");
    const double enumerate = reporter.median("BM_Enumerate_20Devices");
    if (list > 0) {
        std::printf("  GetDevicesList, 20 devices  median %.0f   enumeration alone %.0f   ratio %.2f\n", list,
                    enumerate, enumerate > 0 ? list / enumerate : 0.0);
    }
    Fixture& f = fixture();
    delete f.window;
    delete f.direct;
    return 0;
}
