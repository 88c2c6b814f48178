// The serial search over a folder of 200 area files of 1000 loggers each.
#include "BenchSetup.h"
#include "core/Catalogue.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "platform/Paths.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_SearchSerials200Files(benchmark::State& state) {
    QTemporaryDir program;
    bench::UseProgramFolders(program.path(), program.path());
    InitDatabaseStore();

    constexpr int kFiles = 200;
    constexpr int kLoggers = 1000;
    for (int f = 0; f < kFiles; ++f) {
        for (int i = 1; i <= kLoggers; ++i) {
            LoggerRecord& r = LoggerTable[static_cast<size_t>(i)];
            ClearLoggerRecord(r);
            r.Serial = 1000000 + f * kLoggers + i;
            r.GridRef = "SU 1234 5678";
            r.Comment1 = "Valve chamber";
            r.Received = "12:00:00";
            for (int s = 1; s <= 10; ++s) {
                r.ReadingDate[s] = "2024/01/" + std::to_string(10 + s);
                r.ReadingStatus[s] = "N";
                r.Level[s] = static_cast<int16_t>(s);
            }
        }
        LoggerCount = kLoggers;
        WriteDatabaseFile(program.path() + QStringLiteral("/area%1.pdb").arg(f, 3, 10, QLatin1Char('0')), false, false);
    }
    const QStringList files = plat::listFiles(program.path(), QStringLiteral("*.pdb;*.csv"));
    // One serial near the end of the last file and one that is nowhere.
    const QStringList serials{QStringLiteral("01199999"), QStringLiteral("09999999")};

    for (auto _ : state) {
        QStringList found;
        const CatalogueOutcome outcome = FindSerialsInFiles(program.path(), files, serials, found);
        benchmark::DoNotOptimize(outcome);
        if (found.size() != 1)
            state.SkipWithError("the serial was not found");
    }
    state.counters["files"] = static_cast<double>(files.size());
}
BENCHMARK(BM_SearchSerials200Files)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
