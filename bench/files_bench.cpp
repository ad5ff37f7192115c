// "ReadFileToStr" on a 1 MiB profile: answering from a kept parsed document versus parsing the
// cached text for every query, which is what each query costs without the kept document. Both
// give the same answer (checked before timing). Also the cost of replacing that profile
// ("ModifyFileFromStr": well-formedness check, parse and serialisation).
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

#include <benchmark/benchmark.h>

#include "window/file_cache.h"
#include "window/file_commands.h"

namespace {

constexpr int kProfileBytes = 1024 * 1024;

// A flat profile in the device profile layout, repeated until it reaches 1 MiB.
QByteArray makeProfile() {
    QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<configuration Ver=\"M2.0\" name=\"本地配置\">\n";
    int row = 0;
    while (xml.size() < kProfileBytes) {
        xml +=
            QStringLiteral(
                "\t<key mode=\"%1\" name=\"Button%2\" index=\"%2\" length=\"15\" vkcode=\"1\" scancode=\"1\" "
                "flag=\"10\" hidcode=\"1\" command=\"0\" desc=\"左键\" type=\"1\" playtype=\"0\" "
                "playcount=\"1\" playdelay=\"0\" playauxiliary=\"1\" />\n")
                .arg(row % 3 + 1)
                .arg(row)
                .toUtf8();
        ++row;
    }
    xml += "\t<key name=\"Dpi2\" index=\"45\" length=\"5\" x=\"2000\" y=\"2000\" />\n</configuration>\n";
    return xml;
}

struct Fixture {
    QTemporaryDir root;
    QByteArray profile = makeProfile();
    bool ready = false;

    Fixture() {
        QFile file(root.path() + "/profile.xml");
        ready = root.isValid() && file.open(QIODevice::WriteOnly) && file.write(profile) == profile.size();
    }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

const QVariantMap& query() {
    static const QVariantMap args{
        {QStringLiteral("FilePath"), QStringLiteral("profile.xml")},
        {QStringLiteral("Xpath"), QStringLiteral("/configuration/key[@name='Dpi2']")}};
    return args;
}

void readFileToStr(benchmark::State& state, bool keepDocuments) {
    if (!fixture().ready) {
        state.SkipWithError("could not write the profile");
        return;
    }
    FileCache cache(fixture().root.path(), fixture().root.path());
    cache.setKeepParsedDocuments(keepDocuments);
    FileCache reference(fixture().root.path(), fixture().root.path());
    reference.setKeepParsedDocuments(!keepDocuments);
    const CommandAnswer expected = FileCommands(reference).readFileToStr(query());
    if (expected.kind != CommandAnswer::Success || expected.text.isEmpty() ||
        FileCommands(cache).readFileToStr(query()) != expected ||
        FileCommands(cache).readFileToStr(query()) != expected) {
        state.SkipWithError("the two ways answer differently");
        return;
    }
    for (auto _ : state) {
        CommandAnswer answer = FileCommands(cache).readFileToStr(query());
        benchmark::DoNotOptimize(answer);
    }
    state.SetBytesProcessed(state.iterations() * fixture().profile.size());
}

void BM_ReadFileToStr_KeptDocument(benchmark::State& state) {
    readFileToStr(state, true);
}
void BM_ReadFileToStr_ParseEachTime(benchmark::State& state) {
    readFileToStr(state, false);
}

void BM_ModifyFileFromStr_1MiB(benchmark::State& state) {
    if (!fixture().ready) {
        state.SkipWithError("could not write the profile");
        return;
    }
    // The replaced file exists, so each replacement changes only the cache.
    FileCache cache(fixture().root.path(), fixture().root.path());
    const QVariantMap args{{QStringLiteral("FilePath"), QStringLiteral("profile.xml")},
                           {QStringLiteral("ContentStr"), QString::fromUtf8(fixture().profile)}};
    // The serialised text is logged at information level; keep it out of the measurement.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    for (auto _ : state) {
        CommandAnswer answer = FileCommands(cache).modifyFileFromStr(args);
        benchmark::DoNotOptimize(answer);
    }
    qInstallMessageHandler(previous);
    state.SetBytesProcessed(state.iterations() * fixture().profile.size());
}

}  // namespace

BENCHMARK(BM_ReadFileToStr_KeptDocument)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFileToStr_ParseEachTime)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModifyFileFromStr_1MiB)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
