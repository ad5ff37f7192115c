// Button-assignment encoding throughput: a mix of mouse functions, key chords, multimedia codes,
// DPI settings and macros, planned the way the device worker plans a write.
//
//   BM_EncodeMix/cached     the driver table parsed once and kept (lookups are remembered)
//   BM_EncodeMix/reparse    the registered table parsed again for every write, as each
//                           "CustomButton" write does
//   BM_ParseDriverTable     the parse alone, for the difference between the two
//   BM_MacroLong            one 200-byte macro per iteration, cached table
#include "encoding/button_write.h"
#include "encoding/driver_table.h"

#include <QString>
#include <QVector>

#include <benchmark/benchmark.h>

using namespace kf::encoding;

namespace {

ButtonAssignment assignment(const QString& type, const QString& command) {
    ButtonAssignment r;
    r.device = QStringLiteral("258a001a");
    r.taskIndex = QStringLiteral("11");
    r.mode = QStringLiteral("1");
    r.type = type;
    r.command = command;
    r.playCount = QStringLiteral("3");
    r.playDelay = QStringLiteral("100");
    r.playType = QStringLiteral("1");
    return r;
}

const QVector<ButtonAssignment>& mix() {
    static const QVector<ButtonAssignment> requests = {
        assignment("Mouse", "单击左键()"),
        assignment("Mouse", "DPI循环"),
        assignment("Mouse", "播放/暂停"),
        assignment("Keyboard", "Ctrl+C"),
        assignment("Keyboard", "Ctrl+Shift+Esc"),
        assignment("Keyboard", "Shift+Enter"),
        assignment("MultiMedia", "0x03,0x00,0xCD,0x00"),
        assignment("DPI", "0|800|1600"),
        assignment("Macro", "键盘按下(a)延迟(100)键盘弹起(a)"),
        assignment("Macro",
                   "鼠标按下(左键)相对定位XY(10,-5)延迟(20)鼠标弹起(左键)键盘按下(ctrl)键盘弹起(ctrl)"),
    };
    return requests;
}

bool registerBuiltInTable() {
    static const bool registered = registerDriverTable(QStringLiteral(":/drive/D2.0"));
    return registered;
}

void BM_EncodeMix(benchmark::State& state) {
    const bool reparse = state.range(0) != 0;
    if (!registerBuiltInTable()) {
        state.SkipWithError("D2.0 not registered");
        return;
    }
    DriverTable cached;
    loadDriverTable(&cached);
    const auto& requests = mix();
    int i = 0;
    for (auto _ : state) {
        const ButtonAssignment& r = requests.at(i++ % requests.size());
        if (reparse) {
            DriverTable table;
            if (!loadDriverTable(&table)) {
                state.SkipWithError("parse failed");
                return;
            }
            benchmark::DoNotOptimize(planButtonWrite(table, r));
        } else {
            benchmark::DoNotOptimize(planButtonWrite(cached, r));
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(reparse ? "reparse per write" : "table kept");
}
BENCHMARK(BM_EncodeMix)->ArgName("reparse")->Arg(0)->Arg(1);

void BM_ParseDriverTable(benchmark::State& state) {
    if (!registerBuiltInTable()) {
        state.SkipWithError("D2.0 not registered");
        return;
    }
    for (auto _ : state) {
        DriverTable table;
        benchmark::DoNotOptimize(loadDriverTable(&table));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseDriverTable);

void BM_MacroLong(benchmark::State& state) {
    registerBuiltInTable();
    DriverTable table;
    loadDriverTable(&table);
    QString text;
    for (int i = 0; i < 40; ++i) {
        text += QStringLiteral("键盘按下(a)延迟(15)键盘弹起(a)");
    }
    const ButtonAssignment r = assignment("Macro", text);
    for (auto _ : state) {
        benchmark::DoNotOptimize(planButtonWrite(table, r));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MacroLong);

}  // namespace

BENCHMARK_MAIN();
