// The software key map's costs, on in-memory devices:
//   - BM_Stroke/*: one pass of the capture loop per stroke (the driver's wait and read, the
//     hardware identifier, the decision, the send) on this thread, with a 100-entry key map, for
//     a key that is not a trigger, a mouse motion and a stroke of the client's own device;
//     baseline: the same key stroke with an empty key map (goal: decision <= 2 us median).
//   - BM_TriggerToReport: a trigger key pressed (fed to the driver) until the first report of
//     its chord reaches the virtual device, through the capture thread and the executor thread
//     (goal: <= 1 ms median).
#include <benchmark/benchmark.h>

#include "median_reporter.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <mutex>

#include "encoding/key_code_map.h"
#include "input/device_filter.h"
#include "input/input_layer.h"
#include "platform/input/memory_hid_transport.h"
#include "platform/input/memory_interception_driver.h"

using namespace kf::input;
using namespace kf::platform;

namespace {

constexpr int kRepetitions = 9;

class NoTarget : public TriggerTarget {
public:
    void trigger(const TriggerEntry&, int) override {}
    void stopPlayer() override {}
};

QString bigMap() {
    QString keys;
    for (int code = 59; code < 159; ++code) {  // F1 onwards: never the benchmark's key
        keys +=
            QStringLiteral(R"(<key scancode="%1" flag="0" type="Keyboard" playtype="1"><c value="B"/></key>)")
                .arg(code);
    }
    return QStringLiteral("<map>%1</map>").arg(keys);
}

enum class Stroke { Key, Motion, OwnDevice };

void runStrokes(benchmark::State& state, bool withMap, Stroke kind) {
    NoTarget target;
    auto owned = std::make_unique<MemoryInterceptionDriver>();
    MemoryInterceptionDriver& driver = *owned;
    driver.setCaptureEverything(true);
    driver.setKeepDesktopLog(false);
    driver.setHardwareId(1, QStringLiteral("HID\\VID_258A&PID_001A&REV_0100\\Gaming Keyboard"));
    driver.setHardwareId(2, QStringLiteral("HID\\VID_001F&PID_BA1C&REV_0001\\Kestrafon kestrafonvd"));
    driver.setHardwareId(11, QStringLiteral("HID\\VID_258A&PID_1007&REV_0100\\Gaming Mouse"));
    DEVICE_FILTER capture(std::move(owned), &target);
    capture.refreshVirtualMap(withMap ? bigMap() : QStringLiteral("<map/>"));
    InterceptionContext* context = createContext(driver);
    QString reason;
    KeyboardInputRecord key;
    key.makeCode = 30;
    MouseInputRecord motion;
    motion.lastX = 3;
    motion.lastY = -2;
    for (auto _ : state) {
        switch (kind) {
            case Stroke::Key:
                driver.feed(1, key);
                break;
            case Stroke::Motion:
                driver.feed(11, motion);
                break;
            case Stroke::OwnDevice:
                driver.feed(2, key);
                break;
        }
        capture.pump(context, &reason);
    }
    destroyContext(context);
}

void BM_Stroke_Key(benchmark::State& state) {
    runStrokes(state, true, Stroke::Key);
}
void BM_Stroke_Motion(benchmark::State& state) {
    runStrokes(state, true, Stroke::Motion);
}
void BM_Stroke_OwnDevice(benchmark::State& state) {
    runStrokes(state, true, Stroke::OwnDevice);
}
void BM_Stroke_EmptyMap(benchmark::State& state) {
    runStrokes(state, false, Stroke::Key);
}

// The whole subsystem on in-memory devices, made once before the benchmarks run.
struct Latency {
    MemoryInterceptionDriver* driver = nullptr;
    MemoryHidTransport* transport = nullptr;
    std::unique_ptr<InputLayer> layer;
    std::mutex mutex;
    std::chrono::steady_clock::time_point reported;
};
Latency* g_latency = nullptr;

void prepareLatency() {
    auto* f = new Latency;
    InputBackends backends;
    backends.driver = [f] {
        auto memory = std::make_unique<MemoryInterceptionDriver>();
        f->driver = memory.get();
        return std::unique_ptr<InterceptionDriver>(std::move(memory));
    };
    backends.transports = [f] {
        pvmulti_client::TransportList list;
        auto memory = std::make_unique<MemoryHidTransport>();
        f->transport = memory.get();
        list.push_back(std::move(memory));
        return list;
    };
    f->layer = std::make_unique<InputLayer>(std::move(backends));
    f->layer->open();
    DEVICE_FILTER* capture = f->layer->startCapture(&f->layer->player());
    capture->refreshVirtualMap(QStringLiteral(
        R"(<map><key scancode="30" flag="0" type="Keyboard" playtype="1" playcount="1"><c value="B"/></key></map>)"));
    while (f->driver->filter(1) == 0) {
        QThread::usleep(100);
    }
    f->transport->setOnReport([f] {
        std::lock_guard<std::mutex> lock(f->mutex);
        f->reported = std::chrono::steady_clock::now();
    });
    g_latency = f;
}

void BM_TriggerToReport(benchmark::State& state) {
    Latency& f = *g_latency;
    MemoryInterceptionDriver* driver = f.driver;
    MemoryHidTransport* transport = f.transport;
    InputLayer& layer = *f.layer;
    std::mutex& mutex = f.mutex;
    std::chrono::steady_clock::time_point& reported = f.reported;
    KeyboardInputRecord press;
    press.makeCode = 30;
    KeyboardInputRecord release = press;
    release.flags = kKeyUp;
    auto idle = [&] {
        driver->waitUntilIdle();
        while (layer.player().executor() && layer.player().executor()->isPlaying()) {
            QThread::usleep(20);
        }
    };
    for (auto _ : state) {
        const int before = transport->reportCount();
        const auto start = std::chrono::steady_clock::now();
        driver->feed(1, press);
        transport->waitForReports(before + 1);
        std::chrono::steady_clock::time_point first;
        {
            std::lock_guard<std::mutex> lock(mutex);
            first = reported;
        }
        state.SetIterationTime(std::chrono::duration<double>(first - start).count());
        idle();
        driver->feed(1, release);
        transport->waitForReports(before + 2);
        idle();
    }
}

BENCHMARK(BM_Stroke_Key)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Stroke_Motion)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Stroke_OwnDevice)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Stroke_EmptyMap)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_TriggerToReport)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->Iterations(200)
    ->Repetitions(kRepetitions);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The player logs a line per task; the client drops them below its log level, so does this.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    kf::encoding::loadKeyCodeMap();
    prepareLatency();

    MedianReporter reporter;
    if (!runBenchmarks(argc, argv, reporter)) {
        return 1;
    }
    const double empty = reporter.median("BM_Stroke_EmptyMap");
    std::printf("\nsummary (same run, medians of %d repetitions, µs)\n", kRepetitions);
    for (const char* name : {"BM_Stroke_Key", "BM_Stroke_Motion", "BM_Stroke_OwnDevice"}) {
        const double with = reporter.median(name);
        if (with > 0) {
            std::printf("  %-22s %.3f per stroke   empty map %.3f   ratio %.2f   goal <= 2: %s\n", name, with,
                        empty, empty > 0 ? with / empty : 0.0, with <= 2.0 ? "met" : "NOT MET");
        }
    }
    const double latency = reporter.median("BM_TriggerToReport");
    if (latency > 0) {
        std::printf("  %-22s %.1f from trigger press to first report   goal <= 1000: %s\n",
                    "BM_TriggerToReport", latency, latency <= 1000.0 ? "met" : "NOT MET");
    }
    g_latency->layer.reset();
    return 0;
}
