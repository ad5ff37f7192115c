// Page resource formats: loading a 64 MiB resource pack and unpacking a theme archive, each
// measured beside a baseline in the same run:
//   pack load     vs. reading the same file whole with QFile::readAll (goal: load >= 1 GB/s)
//   archive unpack vs. the xz program decoding the same raw LZMA stream (goal: >= 0.9 x xz)
// A liblzma streaming decoder driven the way xz drives it is reported too, as a baseline
// without process start-up. Throughput is counted in uncompressed (payload) bytes per second
// of CPU time (this thread's, or the xz process's), so other work on a busy machine does not
// move the ratios. The summary after the table gives them, in GB/s and MB/s of 10^9 and 10^6
// bytes (the table's G and M are binary).
#include <benchmark/benchmark.h>
#include <lzma.h>

#include <sys/resource.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "cefclient/resource_pack.h"
#include "cefclient/resource_pack_writer.h"
#include "cefclient/theme_archive.h"
#include "cefclient/theme_archive_writer.h"

namespace {

constexpr qint64 kPackBytes = 64ll * 1024 * 1024;
constexpr qint64 kArchivePayloadBytes = 24ll * 1024 * 1024;

// Everything the benchmarks read, built once per run in a temporary folder.
struct Fixture {
    QTemporaryDir dir;
    QString packPath;
    qint64 packSize = 0;
    QString appDir;
    QString targetDir;
    QString rawStreamPath;  // the archive's raw LZMA stream alone, for xz
    QByteArray rawStream;
    QStringList xzArguments;
    qint64 payloadSize = 0;
    QString error;

    bool build();
};

// Text that compresses like page data and profiles: XML-ish lines from a small vocabulary.
QByteArray textFile(std::mt19937& random, int size) {
    static const char* const kWords[] = {"key",   "name",   "index", "length", "value",  "mode",
                                         "light", "speed",  "dpi",   "macro",  "delay",  "button",
                                         "color", "theme",  "black", "white",  "click",  "left",
                                         "right", "middle", "wheel", "rate",   "report", "level"};
    QByteArray text;
    text.reserve(size + 128);
    while (text.size() < size) {
        text += "\t<key name=\"";
        text += kWords[random() % 24];
        text += QByteArray::number(int(random() % 64));
        text += "\" index=\"" + QByteArray::number(int(random() % 256)) + "\" length=\"" +
                QByteArray::number(int(random() % 16)) + "\" value=\"";
        text += QByteArray::number(quint32(random()), 16).toUpper();
        text += "\" ";
        text += kWords[random() % 24];
        text += "=\"\"/>\n";
    }
    text.truncate(size);
    return text;
}

// Bytes that do not compress, like PNG images.
QByteArray randomFile(std::mt19937& random, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i + 4 <= size; i += 4) {
        qToUnaligned(quint32(random()), bytes.data() + i);
    }
    return bytes;
}

bool Fixture::build() {
    if (!dir.isValid()) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    std::mt19937 random(20240601);

    // The pack: 64 MiB in entries of 4 KiB to 1 MiB, the way pages, scripts and images mix.
    QVector<ResourcePackSource> entries;
    qint64 total = 0;
    for (int i = 0; total < kPackBytes; ++i) {
        const int size = int(qMin<qint64>(4096 << (random() % 9), kPackBytes - total));
        entries.append({QStringLiteral("theme/black/res/%1.png").arg(i), randomFile(random, size)});
        total += size;
    }
    const QByteArray pack = buildResourcePack(entries, 7, true, &error);
    packPath = dir.path() + "/theme.pak";
    QFile packFile(packPath);
    if (pack.isEmpty() || !packFile.open(QIODevice::WriteOnly) || packFile.write(pack) != pack.size()) {
        error = QStringLiteral("cannot write the pack: ") + error;
        return false;
    }
    packFile.close();
    packSize = pack.size();

    // The archive: two thirds text, one third incompressible, in files of 64 KiB to 1 MiB.
    theme_archive::Contents contents;
    contents.name = QStringLiteral("Kestrafon");
    qint64 payload = 0;
    for (int i = 0; payload < kArchivePayloadBytes; ++i) {
        const int size = 65536 << (random() % 5);
        const bool text = i % 3 != 2;
        contents.files.append(
            {QStringLiteral("kestrafon-theme/d%1/f%2.%3").arg(i % 8).arg(i).arg(text ? "xml" : "png"),
             text ? textFile(random, size) : randomFile(random, size)});
        payload += size;
    }
    const QByteArray archive = buildThemeArchive(contents, ThemeArchiveOptions(), &error);
    appDir = dir.path() + "/app";
    targetDir = dir.path() + "/tmp";
    QDir().mkpath(appDir);
    QDir().mkpath(targetDir);
    QFile archiveFile(appDir + "/theme.dat");
    if (archive.isEmpty() || !archiveFile.open(QIODevice::WriteOnly) ||
        archiveFile.write(archive) != archive.size()) {
        error = QStringLiteral("cannot write the archive: ") + error;
        return false;
    }
    archiveFile.close();
    payloadSize = qFromLittleEndian<quint32>(archive.constData() + theme_archive::kPayloadSizeOffset);

    // The same raw stream for xz, with the filter options from the property bytes.
    rawStream = archive.mid(theme_archive::kStreamOffset);
    rawStreamPath = dir.path() + "/stream.lzma";
    QFile rawFile(rawStreamPath);
    if (!rawFile.open(QIODevice::WriteOnly) || rawFile.write(rawStream) != rawStream.size()) {
        error = QStringLiteral("cannot write the raw stream");
        return false;
    }
    rawFile.close();
    const auto props = reinterpret_cast<const uchar*>(archive.constData() + theme_archive::kPropertiesOffset);
    const int lc = props[0] % 9;
    const int lp = (props[0] / 9) % 5;
    const int pb = props[0] / 45;
    const quint32 dict = qFromLittleEndian<quint32>(props + 1);
    xzArguments = QStringList{
        "--decompress", "--stdout", "--format=raw",
        QStringLiteral("--lzma1=dict=%1,lc=%2,lp=%3,pb=%4").arg(dict).arg(lc).arg(lp).arg(pb), rawStreamPath};
    return true;
}

double cpuSeconds(const struct rusage& usage) {
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Fixture& fixture() {
    static Fixture f;
    static const bool built = f.build();
    Q_UNUSED(built);
    return f;
}

void BM_PackLoad(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.error.isEmpty()) {
        state.SkipWithError(qPrintable(f.error));
        return;
    }
    for (auto _ : state) {
        ResourcePack pack;
        if (!pack.load(f.packPath)) {
            state.SkipWithError("pack load failed");
            break;
        }
        benchmark::DoNotOptimize(pack.size());
        state.PauseTiming();  // freeing the pack is not part of loading it
        pack = ResourcePack();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * f.packSize);
}
BENCHMARK(BM_PackLoad)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_PackLoad_Baseline_ReadAll(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.error.isEmpty()) {
        state.SkipWithError(qPrintable(f.error));
        return;
    }
    for (auto _ : state) {
        QFile file(f.packPath);
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot open the pack");
            break;
        }
        QByteArray bytes = file.readAll();
        benchmark::DoNotOptimize(bytes.data());
        state.PauseTiming();
        bytes = QByteArray();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * f.packSize);
}
BENCHMARK(BM_PackLoad_Baseline_ReadAll)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ArchiveUnpack(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.error.isEmpty()) {
        state.SkipWithError(qPrintable(f.error));
        return;
    }
    for (auto _ : state) {
        if (!theme_archive::unpack(f.appDir, "theme.dat", f.targetDir)) {
            state.SkipWithError("unpack failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * f.payloadSize);
}
BENCHMARK(BM_ArchiveUnpack)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The xz process's own CPU time (user + system, from the reaped child's resource usage), so
// the comparison with the in-process decoders is not skewed by other load on the machine.
void BM_ArchiveUnpack_Baseline_XzProgram(benchmark::State& state) {
    Fixture& f = fixture();
    const QString xz = QStandardPaths::findExecutable("xz");
    if (!f.error.isEmpty() || xz.isEmpty()) {
        state.SkipWithError(xz.isEmpty() ? "xz is not installed" : qPrintable(f.error));
        return;
    }
    for (auto _ : state) {
        struct rusage before;
        getrusage(RUSAGE_CHILDREN, &before);
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(xz, f.xzArguments);
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            state.SkipWithError("xz failed to decode the stream");
            break;
        }
        struct rusage after;
        getrusage(RUSAGE_CHILDREN, &after);
        state.SetIterationTime(cpuSeconds(after) - cpuSeconds(before));
    }
    state.SetBytesProcessed(state.iterations() * f.payloadSize);
}
BENCHMARK(BM_ArchiveUnpack_Baseline_XzProgram)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

// liblzma's raw decoder fed in 8 KiB blocks into an 8 KiB output buffer, as xz does.
void BM_ArchiveUnpack_Baseline_LiblzmaStream(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.error.isEmpty()) {
        state.SkipWithError(qPrintable(f.error));
        return;
    }
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    QFile archive(f.appDir + "/theme.dat");
    if (!archive.open(QIODevice::ReadOnly) || !archive.seek(theme_archive::kPropertiesOffset) ||
        lzma_properties_decode(
            &filters[0], nullptr,
            reinterpret_cast<const uint8_t*>(archive.read(theme_archive::kPropertiesSize).constData()),
            theme_archive::kPropertiesSize) != LZMA_OK) {
        state.SkipWithError("cannot read the properties");
        return;
    }
    constexpr size_t kBuffer = 8192;
    uint8_t out[kBuffer];
    for (auto _ : state) {
        lzma_stream stream = LZMA_STREAM_INIT;
        if (lzma_raw_decoder(&stream, filters) != LZMA_OK) {
            state.SkipWithError("decoder init failed");
            break;
        }
        qint64 produced = 0;
        size_t fed = 0;
        lzma_ret ret = LZMA_OK;
        while (ret == LZMA_OK) {
            if (stream.avail_in == 0 && fed < size_t(f.rawStream.size())) {
                stream.next_in = reinterpret_cast<const uint8_t*>(f.rawStream.constData()) + fed;
                stream.avail_in = qMin(kBuffer, size_t(f.rawStream.size()) - fed);
                fed += stream.avail_in;
            }
            stream.next_out = out;
            stream.avail_out = kBuffer;
            ret = lzma_code(&stream, fed == size_t(f.rawStream.size()) ? LZMA_FINISH : LZMA_RUN);
            produced += qint64(kBuffer - stream.avail_out);
        }
        lzma_end(&stream);
        if (ret != LZMA_STREAM_END || produced != f.payloadSize) {
            state.SkipWithError("liblzma failed to decode the stream");
            break;
        }
    }
    free(filters[0].options);
    state.SetBytesProcessed(state.iterations() * f.payloadSize);
}
BENCHMARK(BM_ArchiveUnpack_Baseline_LiblzmaStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Shows the table as usual and keeps each benchmark's throughput for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (!run.error_occurred && rate != run.counters.end()) {
                rates[run.run_name.function_name] = rate->second.value;
            }
        }
    }
    double rate(const std::string& name) const {
        const auto it = rates.find(name);
        return it == rates.end() ? 0.0 : it->second;
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double gb = 1e9;
    const double mb = 1e6;
    const double load = reporter.rate("BM_PackLoad");
    const double readAll = reporter.rate("BM_PackLoad_Baseline_ReadAll");
    const double unpack = reporter.rate("BM_ArchiveUnpack");
    const double xz = reporter.rate("BM_ArchiveUnpack_Baseline_XzProgram");
    const double liblzma = reporter.rate("BM_ArchiveUnpack_Baseline_LiblzmaStream");
    std::printf("\nsummary (same run)\n");
    if (load > 0) {
        std::printf(
            "  pack load, 64 MiB pack:  %.2f GB/s   baseline QFile::readAll %.2f GB/s   ratio %.2f   goal >= "
            "1 GB/s: %s\n",
            load / gb, readAll / gb, readAll > 0 ? load / readAll : 0.0, load >= gb ? "met" : "NOT MET");
    }
    if (unpack > 0) {
        std::printf(
            "  theme.dat unpack:        %.1f MB/s   baseline xz program %.1f MB/s   ratio %.2f   goal >= "
            "0.9: %s\n",
            unpack / mb, xz / mb, xz > 0 ? unpack / xz : 0.0,
            xz <= 0 ? "no xz baseline" : (unpack >= 0.9 * xz ? "met" : "NOT MET"));
        std::printf("                                       baseline liblzma stream %.1f MB/s   ratio %.2f\n",
                    liblzma / mb, liblzma > 0 ? unpack / liblzma : 0.0);
    }
    return 0;
}
