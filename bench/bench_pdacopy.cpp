// Copying files through the PDA link library (loaded at run time, over a folder that stands for the
// hand-held) against a plain file copy of the same files on the same disk, which is the limit, and against a
// plain copy that is synced to the disk (file and folder) each way, as the library's copies are.
#include "pdalink/PdaSupportClient.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kFiles = 100;
constexpr qint64 kFileSize = 1 << 20;

struct Setup {
    QTemporaryDir settings, device, pc;
    pda::PdaSupportObject object;
    Setup() {
        const QString bin = QDir::cleanPath(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath() +
                                            QStringLiteral("/../../bin"));
        qputenv("VORD_PROGRAM_DIR", QFile::encodeName(bin));
        qputenv("VORD_SETTINGS_DIR", QFile::encodeName(settings.path()));
        qputenv("VORD_CE_DEVICE", QFile::encodeName(device.path()));
        QFile(device.path() + QStringLiteral("/.cedevice")).open(QIODevice::WriteOnly);
        QDir().mkpath(device.path() + QStringLiteral("/My Documents/Rovemark AutoImport"));
        QDir().mkpath(pc.path() + QStringLiteral("/out"));
        QDir().mkpath(pc.path() + QStringLiteral("/plain"));
        QByteArray block(kFileSize, '\0');
        for (qint64 i = 0; i < kFileSize; ++i)
            block[i] = static_cast<char>((i * 131) & 0xFF);
        for (int n = 0; n < kFiles; ++n) {
            QFile f(pc.path() + QStringLiteral("/f%1.csv").arg(n));
            f.open(QIODevice::WriteOnly);
            f.write(block);
        }
        pda::CreatePdaSupport(object, [] { return 2; });
    }
};

Setup& setup() {
    static Setup s;
    return s;
}

void BM_LibraryUploadAndDownload(benchmark::State& state) {
    Setup& s = setup();
    if (!s.object) {
        state.SkipWithError("library not available");
        return;
    }
    for (auto _ : state) {
        for (int n = 0; n < kFiles; ++n) {
            pda::CallStatus st;
            const QString name = QStringLiteral("f%1.csv").arg(n);
            s.object->CopyPCFileToPDA(s.pc.path() + u'/' + name,
                                      QStringLiteral("\\My Documents\\Rovemark AutoImport\\") + name, &st);
            s.object->CopyPDAFileToPC(QStringLiteral("\\My Documents\\Rovemark AutoImport\\") + name,
                                      s.pc.path() + QStringLiteral("/out/") + name, &st);
        }
    }
    state.SetBytesProcessed(state.iterations() * kFiles * kFileSize * 2);
}

void BM_PlainFileCopyBothWays(benchmark::State& state) {
    Setup& s = setup();
    for (auto _ : state) {
        for (int n = 0; n < kFiles; ++n) {
            const QString name = QStringLiteral("f%1.csv").arg(n);
            const QString there = s.device.path() + QStringLiteral("/My Documents/Rovemark AutoImport/") + name;
            const QString back = s.pc.path() + QStringLiteral("/plain/") + name;
            QFile::remove(there);
            QFile::copy(s.pc.path() + u'/' + name, there);
            QFile::remove(back);
            QFile::copy(there, back);
        }
    }
    state.SetBytesProcessed(state.iterations() * kFiles * kFileSize * 2);
}

// A plain copy whose file and folder reach the disk before the next one starts.
void syncedCopy(const QString& from, const QString& to) {
    QFile::remove(to);
    QFile::copy(from, to);
    const int fd = ::open(QFile::encodeName(to).constData(), O_RDONLY | O_CLOEXEC);
    ::fsync(fd);
    ::close(fd);
    const int folder = ::open(QFile::encodeName(QFileInfo(to).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::fsync(folder);
    ::close(folder);
}

void BM_PlainSyncedFileCopyBothWays(benchmark::State& state) {
    Setup& s = setup();
    for (auto _ : state) {
        for (int n = 0; n < kFiles; ++n) {
            const QString name = QStringLiteral("f%1.csv").arg(n);
            const QString there = s.device.path() + QStringLiteral("/My Documents/Rovemark AutoImport/") + name;
            syncedCopy(s.pc.path() + u'/' + name, there);
            syncedCopy(there, s.pc.path() + QStringLiteral("/plain/") + name);
        }
    }
    state.SetBytesProcessed(state.iterations() * kFiles * kFileSize * 2);
}

BENCHMARK(BM_LibraryUploadAndDownload)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_PlainFileCopyBothWays)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_PlainSyncedFileCopyBothWays)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
