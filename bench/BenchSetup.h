#pragma once
// Set-up the benchmarks share: a program folder that holds the shipped English texts, and the offscreen
// application that window benchmarks need.
#include "documents/DocumentFiles.h"
#include "platform/AppInfo.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QString>

#include <benchmark/benchmark.h>

#include <chrono>

namespace bench {

// The shipped English texts, from the program folder of the build the benchmark belongs to (bench/ sits beside
// bin/).
inline QString ShippedLanguageFile() {
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return QFileInfo(self.canonicalFilePath()).absolutePath() + QStringLiteral("/../bin/lang_english.txt");
}

// Points the program and settings folders at the given (temporary) folders, and puts the English texts in
// the program folder so that every text a benchmark shows is found.
inline void UseProgramFolders(const QString& program, const QString& settings) {
    qputenv("VORD_PROGRAM_DIR", QFile::encodeName(program));
    qputenv("VORD_SETTINGS_DIR", QFile::encodeName(settings));
    plat::setProgramDir(QString());
    QFile::copy(ShippedLanguageFile(), program + QStringLiteral("/lang_english.txt"));
}

// The offscreen application, made the first time a benchmark asks for it and kept for the program's life;
// `name` (a literal) is its program name.
inline QApplication* OffscreenApp(const char* name = "bench") {
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(name), nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return app;
}

// The window area list windows open in, shown (offscreen) at a size that lays out a full page of a list.
inline QMdiArea* ShowDocumentArea() {
    auto* area = new QMdiArea;
    area->resize(1200, 800);
    area->show();
    SetDocumentArea(area);
    return area;
}

// How long one call of f takes.
template <typename F> std::chrono::steady_clock::duration TimeOf(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::steady_clock::now() - start;
}

// Counters of a benchmark timed beside the file reader (one read per run): the reader's time, and the
// benchmark's time as a multiple of `reads` reads.
inline void SetReaderCounters(benchmark::State& state, std::chrono::steady_clock::duration measured,
                              std::chrono::steady_clock::duration reader, int reads = 1) {
    if (state.iterations() == 0 || reader.count() == 0)
        return;
    const double runs = static_cast<double>(state.iterations());
    state.counters["reader_ms"] = std::chrono::duration<double, std::milli>(reader).count() / runs;
    state.counters["x_reader"] = std::chrono::duration<double>(measured).count() /
                                 (reads * std::chrono::duration<double>(reader).count());
}

// main() of a benchmark program whose benchmarks need the application from the start.
inline int RunWithOffscreenApp(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench
