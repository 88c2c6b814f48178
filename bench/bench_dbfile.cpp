// Reading and writing a full area file (7000 loggers, 50 readings each) and building its load report.
// VORD_BENCH_FILE names the file to generate and read (it is left in place), so that other tools can be
// timed on the very same bytes.
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "platform/AppInfo.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kLanguage = "153 Vordalin Logger Database\r\n155 Reading line \r\n158 Serial No\r\n159 Grid Ref\r\n"
                              "160 Comment 1\r\n161 Comment 2\r\n162 Deployed\r\n163 Received\r\n164 Date\r\n"
                              "165 Status\r\n166 Level\r\n167 Spread\r\n168 Writing logger \r\n184 Warning\r\n"
                              "185 Leak\r\n186 No leak\r\n187 Checking\r\n188 Checking logger \r\n189 None in \r\n"
                              "190 No.\r\n191 Serial\r\n192 Count\r\n193 Repeated: \r\n497 Date\r\n"
                              "500 Additional Information\r\n";

std::string twoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// A realistic area: every logger full of readings, a few repeated serials.
void fillTable() {
    for (int i = 1; i <= kMaxLoggers; ++i) {
        LoggerRecord& r = LoggerTable[static_cast<size_t>(i)];
        r.Serial = 1000000 + (i % 6900) * 37;
        r.GridRef = "SU " + twoDigits(i % 100) + twoDigits(i / 100) + " " + twoDigits(i % 97) + "12";
        r.Comment1 = "Valve chamber " + std::to_string(i);
        r.Comment2 = "51.5" + std::to_string(i % 1000) + "/-0.1" + std::to_string(i % 700);
        r.Deployed = "2023/0" + std::to_string(1 + i % 9) + "/" + twoDigits(1 + i % 28);
        r.Received = "12:" + twoDigits(i % 60) + ":00";
        for (int s = 1; s <= kMaxReadings; ++s) {
            const auto k = static_cast<size_t>(s);
            r.ReadingDate[k] = "2024/" + twoDigits(1 + (s + i) % 12) + "/" + twoDigits(1 + (s * 7 + i) % 28);
            r.Level[k] = static_cast<int16_t>((i * 13 + s * 7) % 100);
            r.Spread[k] = static_cast<int16_t>((i * 5 + s * 3) % 40);
            r.ReadingStatus[k] = LeakStatus(r.Level[k], r.Spread[k]) == "L" ? "Leak" : "No leak";
        }
        r.UserComments = "Hydrant near the school gate, access through the side road";
    }
    LoggerCount = kMaxLoggers;
}

struct Setup {
    QTemporaryDir dir;
    QString file;

    Setup() {
        qputenv("VORD_PROGRAM_DIR", QFile::encodeName(dir.path()));
        plat::setProgramDir(dir.path());
        QFile lang(dir.path() + QStringLiteral("/lang_bench.txt"));
        if (lang.open(QIODevice::WriteOnly))
            lang.write(kLanguage);
        lang.close();
        InitDatabaseStore();
        fillTable();
        const QByteArray wanted = qgetenv("VORD_BENCH_FILE");
        file = wanted.isEmpty() ? dir.path() + QStringLiteral("/area.pdb") : QFile::decodeName(wanted);
        if (WriteDatabaseFile(file, false, false) != DbOk) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            std::exit(1);
        }
    }
};

Setup& setup() {
    static Setup s;
    return s;
}

void BM_ReadDatabaseFile(benchmark::State& state) {
    const QString file = setup().file;
    for (auto _ : state) {
        const int32_t code = ReadDatabaseFile(file);
        if (code != DbOk || LoggerCount != kMaxLoggers)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(LoggerTable.data());
    }
    state.SetBytesProcessed(state.iterations() * QFile(file).size());
}
BENCHMARK(BM_ReadDatabaseFile)->Unit(benchmark::kMillisecond);

void BM_WriteDatabaseFile(benchmark::State& state) {
    const QString out = setup().dir.path() + QStringLiteral("/written.pdb");
    ReadDatabaseFile(setup().file);
    for (auto _ : state) {
        if (WriteDatabaseFile(out, false, false) != DbOk)
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * QFile(out).size());
}
BENCHMARK(BM_WriteDatabaseFile)->Unit(benchmark::kMillisecond);

void BM_BuildLoadReport(benchmark::State& state) {
    ReadDatabaseFile(setup().file);
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildLoadReport());
}
BENCHMARK(BM_BuildLoadReport)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
