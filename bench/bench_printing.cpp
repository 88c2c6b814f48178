// Printing a full area file (7000 loggers, 50 readings each) by logger with the history to PDF, in pages per
// second, and the time the preview needs to show the first page of that report.
#include "BenchSetup.h"
#include "BenchUi.h"
#include "core/DMAModule.h"
#include "documents/frmDMA.h"
#include "printing/Printer.h"
#include "printing/frmPrintPreview.h"
#include "printing/frmPrintSetup.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

struct Fixture {
    QTemporaryDir program;
    QTemporaryDir settings;
    AlwaysOkUi ui;
    frmDMA* list = nullptr;

    Fixture() {
        bench::UseProgramFolders(program.path(), settings.path());
        InitDatabaseStore();
        static const char* const kStatus[] = {"Leak", "No leak", "Warning"};
        for (int i = 1; i <= kMaxLoggers; ++i) {
            LoggerRecord& r = LoggerTable[static_cast<size_t>(i)];
            r = LoggerRecord();
            r.Serial = 1000000 + i;
            r.GridRef = "TQ 1234 5678";
            r.Comment1 = "Street " + std::to_string(i);
            for (int j = 1; j <= kMaxReadings; ++j) {
                char date[16];
                std::snprintf(date, sizeof date, "2024/%02d/%02d", 1 + (j - 1) / 28, 1 + (j - 1) % 28);
                r.ReadingDate[static_cast<size_t>(j)] = date;
                r.ReadingStatus[static_cast<size_t>(j)] = kStatus[(i + j) % 3];
                r.Level[static_cast<size_t>(j)] = static_cast<int16_t>(20 + (i + j) % 60);
                r.Spread[static_cast<size_t>(j)] = static_cast<int16_t>((i * j) % 30);
            }
        }
        LoggerCount = kMaxLoggers;
        list = new frmDMA;
        list->NumHistories = kMaxReadings;
        list->CopyFrom_DMAModule();
        list->DMAName = QStringLiteral("full.pdb");
        printing::Printer().selectDevice(printing::PrinterObject::PdfDeviceName);
        printing::Printer().setOutputFileName(program.path() + "/full.pdf");
    }
};

Fixture& fixture() {
    bench::OffscreenApp();
    static Fixture f;
    return f;
}

void BM_PrintByLoggerToPdf(benchmark::State& state) {
    Fixture& f = fixture();
    double pages = 0;
    for (auto _ : state) {
        printing::frmPrintSetup dialog(nullptr, f.list);
        dialog.ChkHist->setChecked(true);
        dialog.ChkGridRef->setChecked(true);
        dialog.ChkComment1->setChecked(true);
        dialog.pumpEvents = [] {};
        dialog.OKButton_Click();
        pages += dialog.FormPageNo;
    }
    state.counters["pages"] = benchmark::Counter(pages / static_cast<double>(state.iterations()));
    state.counters["pages_per_s"] = benchmark::Counter(pages, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PrintByLoggerToPdf)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_PreviewFirstPage(benchmark::State& state) {
    Fixture& f = fixture();
    printing::frmPrintSetup dialog(nullptr, f.list);
    dialog.ChkHist->setChecked(true);
    dialog.ChkGridRef->setChecked(true);
    dialog.ChkComment1->setChecked(true);
    for (auto _ : state) {
        printing::frmPrintPreview preview(dialog);
        benchmark::DoNotOptimize(preview.pageCount());
        QImage page = preview.renderPage(1);
        benchmark::DoNotOptimize(page.constBits());
    }
}
BENCHMARK(BM_PreviewFirstPage)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
