// Opening a full area file (7000 loggers, 50 readings each) into a logger list window, offscreen: the time
// from OpenDocument to a filled, painted list, and the memory one such window takes.
#include "BenchSetup.h"
#include "BenchUi.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString path;
    QString copy; // the same loggers in a file of its own
    QMdiArea* area = nullptr;
    AlwaysOkUi ui;

    Fixture() {
        bench::UseProgramFolders(dir.path(), dir.path());
        path = dir.path() + QStringLiteral("/full.pdb");
        std::ofstream out(QFile::encodeName(path).constData(), std::ios::binary);
        out << "\"Vordalin Logger Database V5.2.9\"\r\n\"Serial No\",\"Grid Ref\",\"Comment 1\",\"Comment 2\","
               "\"Deployed\",\"Received\",\"Date\",\"Status\",\"Level\",\"Spread\",\"Additional Information\",\r\n";
        for (int i = 1; i <= kMaxLoggers; ++i) {
            out << 1000000 + i << ",\"TQ " << 1000 + i % 9000 << ' ' << 2000 + i % 7000 << "\",\"Main street " << i
                << "\",\"51.5" << i << "/-0.1" << i << "\",\"2023/01/02\",\"2023/03/04\",";
            for (int r = 1; r <= kMaxReadings; ++r)
                out << "\"2023/02/" << 10 + r % 18 << "\",\"" << (r % 3 ? "No leak" : "Leak") << "\"," << (i + r) % 99
                    << ',' << (i * r) % 40 << ',';
            out << "\"Hydrant " << i << " by the church\"\r\n";
        }
        out.close();
        copy = dir.path() + QStringLiteral("/copy.pdb");
        QFile::copy(path, copy);
        InitDatabaseStore();
        area = bench::ShowDocumentArea();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void closeAll() {
    for (QMdiSubWindow* w : fixture().area->subWindowList())
        w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The reader alone on the same file: the yardstick of the open below.
void BM_ReadTheFileOnly(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        if (ReadDatabaseFile(f.path) != DbOk || LoggerCount != kMaxLoggers)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(LoggerTable.data());
    }
}
BENCHMARK(BM_ReadTheFileOnly)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The open, with the reader timed alone between its runs: "x_reader" is the open's time over the reader's in
// the same run, so that work added around the reader shows whatever the machine's speed.
void BM_OpenFullAreaFile(benchmark::State& state) {
    Fixture& f = fixture();
    std::chrono::steady_clock::duration open{}, read{};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        OpenDocument(f.path);
        QCoreApplication::processEvents(); // the list lays out and paints its first page
        benchmark::DoNotOptimize(ActiveDocument.data());
        open += std::chrono::steady_clock::now() - start;
        state.PauseTiming();
        if (!ActiveDocument || ActiveDocument->rowCount() != kMaxLoggers)
            state.SkipWithError("the list was not filled");
        closeAll();
        read += bench::TimeOf([&] { ReadDatabaseFile(f.path); });
        state.ResumeTiming();
    }
    bench::SetReaderCounters(state, open, read);
}
BENCHMARK(BM_OpenFullAreaFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_WindowMemory(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        OpenDocument(f.path); // the logger table now holds the file
        QCoreApplication::processEvents();
        const long before = residentBytes();
        // A copy: the file itself, already held by a window, would only bring that window forward.
        OpenDocument(f.copy);
        QCoreApplication::processEvents();
        const long after = residentBytes();
        state.counters["window_MB"] = static_cast<double>(after - before) / (1024.0 * 1024.0);
        state.counters["process_MB"] = static_cast<double>(after) / (1024.0 * 1024.0);
        closeAll();
    }
}
BENCHMARK(BM_WindowMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithOffscreenApp(argc, argv);
}
