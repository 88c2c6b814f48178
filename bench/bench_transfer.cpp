// The field-unit exchange at its largest: Send all of 20 list windows of 7000 loggers each (20 writes plus one
// run of the transfer program), and a receive of 20 such files each opened into its own window. The single
// write and the single open beside them are the yardsticks: the commands should cost about 20 of each plus
// one process start.
#include "BenchSetup.h"
#include "BenchUi.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/Settings.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "platform/WindowRegistry.h"
#include "transfer/FieldUnitCommands.h"
#include "transfer/TransferFolders.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

constexpr int kWindows = 20;

void fillTable() {
    LoggerCount = kMaxLoggers;
    for (int i = 1; i <= kMaxLoggers; ++i) {
        LoggerRecord& r = LoggerTable[static_cast<size_t>(i)];
        ClearLoggerRecord(r);
        r.Serial = 1000000 + i;
        r.GridRef = "TQ " + std::to_string(1000 + i % 9000) + ' ' + std::to_string(2000 + i % 7000);
        r.Comment1 = "Main street " + std::to_string(i);
        r.Deployed = "2023/01/02";
        for (int s = 1; s <= 6; ++s) {
            r.ReadingDate[static_cast<size_t>(s)] = "2023/02/" + std::to_string(10 + s);
            r.ReadingStatus[static_cast<size_t>(s)] = "L";
            r.Level[static_cast<size_t>(s)] = static_cast<int16_t>((i + s) % 99);
            r.Spread[static_cast<size_t>(s)] = static_cast<int16_t>((i * s) % 40);
        }
    }
}

struct Fixture {
    QTemporaryDir dir;
    AlwaysOkUi ui;
    QMdiArea* area = nullptr;
    QString delivery;

    Fixture() {
        bench::UseProgramFolders(dir.path(), dir.path());
        InitDatabaseStore();
        InitTransferFolders();
        // The transfer program: on READ it hands over the prepared files; it always leaves a result.
        delivery = dir.path() + QStringLiteral("/delivery");
        QDir().mkpath(delivery);
        const QString program = dir.path() + QStringLiteral("/RovemarkTalk");
        QFile script(program);
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\n[ \"$3\" = READ ] && cp \"%1\"/*.pdb \"$4\"/\n"
                                    "printf '0\\r\\ndone\\r\\n' > \"$4/xfer.err\"\n")
                         .arg(delivery)
                         .toUtf8());
        script.close();
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // The unit's own files: the two fixed lines, then one line per logger (the column-text line that the
        // program writes in this layout would read back as one more logger).
        fillTable();
        FieldUnitFormat = true;
        const QString first = delivery + QStringLiteral("/area00.pdb");
        WriteDatabaseFile(first, true, false);
        FieldUnitFormat = false;
        QFile in(first);
        in.open(QIODevice::ReadOnly);
        QByteArray bytes = in.readAll();
        in.close();
        const qsizetype third = bytes.indexOf("\r\n", bytes.indexOf("\r\n") + 2) + 2;
        bytes.remove(third, bytes.indexOf("\r\n", third) + 2 - third);
        for (int w = 0; w < kWindows; ++w) {
            QFile out(delivery + QStringLiteral("/area%1.pdb").arg(w, 2, 10, QLatin1Char('0')));
            out.open(QIODevice::WriteOnly | QIODevice::Truncate);
            out.write(bytes);
        }
        area = bench::ShowDocumentArea();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void closeAll() {
    for (QWidget* w : plat::windows::loadedNamed(QStringLiteral("frmDMA"))) {
        static_cast<frmDMA*>(w)->AskForSave = false;
        w->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void openSendWindows() {
    fillTable();
    for (int w = 0; w < kWindows; ++w) {
        auto* window = new frmDMA;
        window->NumHistories = kMaxReadings;
        window->CopyFrom_DMAModule();
        window->DMAName = QStringLiteral("area%1.pdb").arg(w);
        window->setWindowTitle(window->DMAName);
        ShowDocumentWindow(window);
    }
}

void BM_WriteOneFieldUnitFile(benchmark::State& state) {
    Fixture& f = fixture();
    fillTable();
    const QString target = f.dir.path() + QStringLiteral("/one.pdb");
    for (auto _ : state) {
        FieldUnitFormat = true;
        benchmark::DoNotOptimize(WriteDatabaseFile(target, true, false));
        FieldUnitFormat = false;
    }
}
BENCHMARK(BM_WriteOneFieldUnitFile)->Unit(benchmark::kMillisecond);

// The other yardstick of a send: each window first hands its records to the shared table.
void BM_CopyOneWindowToTheTable(benchmark::State& state) {
    fixture();
    openSendWindows();
    auto* w = static_cast<frmDMA*>(plat::windows::loadedNamed(QStringLiteral("frmDMA")).front());
    for (auto _ : state)
        w->CopyTo_DMAModule();
    closeAll();
}
BENCHMARK(BM_CopyOneWindowToTheTable)->Unit(benchmark::kMillisecond);

void BM_SendAllOf20Windows(benchmark::State& state) {
    fixture();
    openSendWindows();
    for (auto _ : state) {
        SendAllToFieldUnit(FieldUnitFrame{});
        state.PauseTiming();
        if (QDir(TransferToFolder).entryList(QStringList{QStringLiteral("*.pdb")}, QDir::Files).size() != kWindows) {
            state.SkipWithError("not every window was written");
            break;
        }
        state.ResumeTiming();
    }
    closeAll();
}
BENCHMARK(BM_SendAllOf20Windows)->Unit(benchmark::kMillisecond);

// The reader alone on one of the unit's files.
void BM_ReadOneFieldUnitFileOnly(benchmark::State& state) {
    Fixture& f = fixture();
    const QString path = f.delivery + QStringLiteral("/area00.pdb");
    FieldUnitFormat = true;
    for (auto _ : state) {
        if (ReadDatabaseFile(path) != DbOk || LoggerCount != kMaxLoggers)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(LoggerTable.data());
    }
    FieldUnitFormat = false;
}
BENCHMARK(BM_ReadOneFieldUnitFileOnly)->Unit(benchmark::kMillisecond);

// One file opened into a window, with the reader timed alone between runs ("x_reader": the open over the read).
void BM_OpenOneFieldUnitFile(benchmark::State& state) {
    Fixture& f = fixture();
    const QString path = f.delivery + QStringLiteral("/area00.pdb");
    std::chrono::steady_clock::duration open{}, read{};
    for (auto _ : state) {
        open += bench::TimeOf([&] {
            FieldUnitFormat = true;
            OpenDocument(path);
            FieldUnitFormat = false;
            QCoreApplication::processEvents();
        });
        state.PauseTiming();
        closeAll();
        FieldUnitFormat = true;
        read += bench::TimeOf([&] { ReadDatabaseFile(path); });
        FieldUnitFormat = false;
        state.ResumeTiming();
    }
    bench::SetReaderCounters(state, open, read);
}
BENCHMARK(BM_OpenOneFieldUnitFile)->Unit(benchmark::kMillisecond);

// "x_reader": the receive over 20 reads of one file alone, timed between runs.
void BM_ReceiveAllOf20Files(benchmark::State& state) {
    Fixture& f = fixture();
    const QString one = f.delivery + QStringLiteral("/area00.pdb");
    std::chrono::steady_clock::duration receive{}, read{};
    for (auto _ : state) {
        receive += bench::TimeOf([] {
            ReceiveAllFromFieldUnit(FieldUnitFrame{});
            QCoreApplication::processEvents();
        });
        state.PauseTiming();
        const bool all = plat::windows::loadedNamed(QStringLiteral("frmDMA")).size() == kWindows;
        closeAll();
        if (!all) {
            state.SkipWithError("not every file was opened");
            break;
        }
        FieldUnitFormat = true;
        read += bench::TimeOf([&] { ReadDatabaseFile(one); });
        FieldUnitFormat = false;
        state.ResumeTiming();
    }
    bench::SetReaderCounters(state, receive, read, kWindows);
}
BENCHMARK(BM_ReceiveAllOf20Files)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithOffscreenApp(argc, argv);
}
