// Merging a 7000-logger patrol into a 7000-logger area file by serial: read, match, backup and write.
#include "BenchSetup.h"
#include "BenchUi.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/MergeReadings.h"
#include "platform/UiServices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

class PatrolWindow final : public IMergeWindow {
public:
    std::vector<LoggerRecord> records;
    int16_t RecordCount() const override { return static_cast<int16_t>(records.size() - 1); }
    QString DMAName() const override { return QStringLiteral("North.pdb"); }
    QString Caption() const override { return QStringLiteral("Download 1"); }
    void GetLocalRecByIndex(long slot, int16_t index) override { LoggerTable[slot] = records[index]; }
    bool AskForSave() const override { return true; }
    void SetAskForSave(bool) override {}
    bool NeverBeenSaved() const override { return true; }
    void SetNeverBeenSaved(bool) override {}
    void Unload() override {}
};

class Host final : public IMergeHost {
public:
    PatrolWindow* window = nullptr;
    IMergeWindow* ActiveWindow() override { return window; }
    void Interact(bool) override {}
    bool LoadFileWithReport(const QString& path) override { return ReadDatabaseFile(path) == DbOk; }
    void OpenDocument(const QString&) override {}
    void ShowReport(const QString&, const QString&) override {}
};

LoggerRecord Logger(int i, const std::string& newest) {
    LoggerRecord r;
    r.Serial = 1000000 + i;
    r.GridRef = "SU 1234 5678";
    r.Comment1 = "Valve chamber " + std::to_string(i);
    r.Comment2 = std::to_string(100000 + i);
    r.Deployed = "2023/01/05";
    r.Received = "120000";
    for (int s = 1; s <= kMaxReadings; ++s) {
        r.ReadingDate[s] = s == 1 ? newest : "2023/02/" + std::to_string(10 + s % 18);
        r.ReadingStatus[s] = "N";
        r.Level[s] = static_cast<int16_t>((i + s) % 90);
        r.Spread[s] = static_cast<int16_t>(s % 30);
    }
    return r;
}

void BM_MergeBySerial7000(benchmark::State& state) {
    QTemporaryDir program;
    bench::UseProgramFolders(program.path(), program.path());
    AlwaysOkUi ui;
    InitDatabaseStore();

    const QString dest = program.path() + QStringLiteral("/DMA_North.pdb");
    for (int i = 1; i <= kMaxLoggers; ++i)
        LoggerTable[static_cast<size_t>(i)] = Logger(i, "2024/01/01");
    LoggerCount = kMaxLoggers;
    WriteDatabaseFile(dest, false, false);
    QFile::copy(dest, dest + QStringLiteral(".orig"));

    PatrolWindow patrol;
    patrol.records.resize(1);
    for (int i = 1; i <= kMaxLoggers; ++i)
        patrol.records.push_back(Logger(kMaxLoggers + 1 - i, "2024/06/01")); // every one has a new reading
    Host host;
    host.window = &patrol;

    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(dest);
        QFile::remove(dest + QStringLiteral(".000"));
        QFile::copy(dest + QStringLiteral(".orig"), dest);
        state.ResumeTiming();
        MergeReadings(host, dest);
    }
}
BENCHMARK(BM_MergeBySerial7000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
