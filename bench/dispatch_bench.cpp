// The command dispatcher: what one page request costs from Window::onJsMessage to its answer,
// for cheap commands, beside the cost of parsing the same JSON text alone (QJsonDocument and
// the conversion to a variant map), measured in the same run. Each benchmark is repeated and
// the summary compares medians (goal: dispatch median <= 20 µs per request).
//
// The Window is built offscreen without a browser handler, so no page is loaded: the requests
// go straight into onJsMessage with an answer callback, as the browser view would deliver them.
#include <benchmark/benchmark.h>

#include "median_reporter.h"

#include <unistd.h>
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "cefclient/client_app.h"
#include "cefclient/query_callback.h"
#include "platform/keyboard/keyboard_layouts.h"
#include "window/window.h"

namespace {

// A cheap command early in the table, one further down, and one that is not in the table.
const QString kGoback = QStringLiteral(R"({"FuncName":"goback"})");
const QString kSetIme = QStringLiteral(R"({"FuncName":"SetIME","Version":"MG1","Num":10,"Flag":true})");
const QString kUnknown = QStringLiteral(R"({"FuncName":"NoSuchCommand","Version":"MG1"})");

Window& window() {
    static Window* w = [] {
        auto* created = new Window;
        created->setKeyboardLayouts(std::make_unique<kf::platform::RecordingKeyboardLayouts>());
        return created;
    }();
    return *w;
}

int g_answers = 0;

QueryCallbackPtr countingCallback() {
    return QueryCallbackPtr::create([](bool, int, const QString&, bool) { ++g_answers; }, false);
}

void dispatch(benchmark::State& state, const QString& request, bool answered) {
    Window& w = window();
    g_answers = 0;
    for (auto _ : state) {
        // The callback is made per request, as the bridge does.
        w.onJsMessage(request, countingCallback());
    }
    if (answered && g_answers != int(state.iterations())) {
        state.SkipWithError("not every request was answered");
    }
}

void BM_Dispatch_goback(benchmark::State& state) {
    dispatch(state, kGoback, true);
}
void BM_Dispatch_SetIME(benchmark::State& state) {
    dispatch(state, kSetIme, true);
}
void BM_Dispatch_UnknownName(benchmark::State& state) {
    dispatch(state, kUnknown, false);
}

void parse(benchmark::State& state, const QString& request) {
    for (auto _ : state) {
        const QJsonDocument doc = QJsonDocument::fromJson(request.toUtf8());
        QVariantMap args = doc.object().toVariantMap();
        benchmark::DoNotOptimize(args);
    }
}

void BM_ParseOnly_goback(benchmark::State& state) {
    parse(state, kGoback);
}
void BM_ParseOnly_SetIME(benchmark::State& state) {
    parse(state, kSetIme);
}

constexpr int kRepetitions = 9;

}  // namespace

BENCHMARK(BM_Dispatch_goback)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_ParseOnly_goback)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Dispatch_SetIME)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_ParseOnly_SetIME)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Dispatch_UnknownName)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    ClientApp::registerSchemes();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // Every request writes a debug line; the client drops it below information level, so does
    // the benchmark.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    MedianReporter reporter;
    if (!runBenchmarks(argc, argv, reporter)) {
        return 1;
    }

    std::printf("\nsummary (same run, medians of %d repetitions, µs per request)\n", kRepetitions);
    const struct {
        const char* label;
        const char* dispatch;
        const char* parse;
    } rows[] = {{"goback (row 13)", "BM_Dispatch_goback", "BM_ParseOnly_goback"},
                {"SetIME (row 34)", "BM_Dispatch_SetIME", "BM_ParseOnly_SetIME"}};
    for (const auto& row : rows) {
        const double dispatch = reporter.median(row.dispatch);
        const double parse = reporter.median(row.parse);
        if (dispatch <= 0)
            continue;
        std::printf(
            "  %-16s dispatch %.2f   parse alone %.2f   ratio %.2f   beyond parsing %.2f   goal <= 20: %s\n",
            row.label, dispatch, parse, parse > 0 ? dispatch / parse : 0.0, dispatch - parse,
            dispatch <= 20.0 ? "met" : "NOT MET");
    }
    const double unknown = reporter.median("BM_Dispatch_UnknownName");
    if (unknown > 0) {
        std::printf("  %-16s dispatch %.2f (the whole table compared, no answer)\n", "unknown name", unknown);
    }
    delete &window();
    return 0;
}
