// Filling an empty logger list window with 5000 new loggers, and pasting 5000 records into one, offscreen:
// each must reach the list as one update, not one redraw per logger.
#include "BenchSetup.h"
#include "BenchUi.h"
#include "core/DMAModule.h"
#include "core/Settings.h"
#include "documents/LoggerCommands.h"
#include "documents/RecordClipboard.h"
#include "documents/frmDMA.h"
#include "platform/UiServices.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kLoggers = 5000;

QApplication* app() {
    return bench::OffscreenApp("bench_editing");
}

void BM_FillEmptyWindow(benchmark::State& state) {
    app();
    AlwaysOkUi ui;
    FillIncrement = 1;
    for (auto _ : state) {
        state.PauseTiming();
        auto* w = new frmDMA;
        w->NumHistories = 50;
        w->show();
        QString report;
        state.ResumeTiming();
        FillLoggers(w, 1000000, kLoggers, QStringLiteral("00000001"), &report);
        QCoreApplication::processEvents(); // the list paints its new rows
        state.PauseTiming();
        if (w->RecordCount != kLoggers)
            state.SkipWithError("fill incomplete");
        w->AskForSave = false;
        delete w;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FillEmptyWindow)->Unit(benchmark::kMillisecond);

void BM_PasteRecords(benchmark::State& state) {
    app();
    AlwaysOkUi ui;
    RecordClipboard.assign(kLoggers + 1, LoggerRecord());
    for (int i = 1; i <= kLoggers; ++i) {
        LoggerRecord& r = RecordClipboard[static_cast<size_t>(i)];
        r.Serial = 2000000 + i;
        r.GridRef = "AA 1234 5678";
        r.Comment1 = "Main Street";
        for (int j = 1; j <= kMaxReadings; ++j) {
            r.ReadingDate[static_cast<size_t>(j)] = "2023/01/01";
            r.ReadingStatus[static_cast<size_t>(j)] = "N";
            r.Level[static_cast<size_t>(j)] = 30;
            r.Spread[static_cast<size_t>(j)] = 10;
        }
    }
    ClipboardCount = kLoggers;
    for (auto _ : state) {
        state.PauseTiming();
        auto* w = new frmDMA;
        w->NumHistories = 50;
        w->show();
        state.ResumeTiming();
        w->PasteRecords();
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (w->RecordCount != kLoggers)
            state.SkipWithError("paste incomplete");
        w->AskForSave = false;
        delete w;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PasteRecords)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
