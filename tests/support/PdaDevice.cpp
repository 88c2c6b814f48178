#include "PdaDevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <dlfcn.h>

namespace {
// The build's program folder: beside the tests' own folder ("build/tests" and "build/bin").
QString buildBinDir() {
    const QString env = qEnvironmentVariable("VORD_BUILD_BIN_DIR");
    if (!env.isEmpty())
        return env;
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QDir::cleanPath(QFileInfo(exe).absolutePath() + QStringLiteral("/../bin"));
}
} // namespace

PdaDevice::PdaDevice(bool connected) {
    env_.set("VORD_CE_DEVICE", QFile::encodeName(dir_.path()));
    env_.set("VORD_CE_SESSION_WAIT_MS", "300");
    QDir().mkpath(path(QStringLiteral("My Documents/Rovemark Export")));
    QDir().mkpath(path(QStringLiteral("My Documents/Rovemark AutoImport")));
    if (connected)
        connect();
}

QString PdaDevice::writeFile(const QString& relative, const std::string& bytes) const {
    const QString p = path(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return p;
}

bool PdaDevice::exists(const QString& relative) const {
    return QFileInfo::exists(path(relative));
}

void PdaDevice::connect(const QString& faults) {
    QFile f(path(QStringLiteral(".cedevice")));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(faults.toUtf8());
}

void PdaDevice::disconnect() {
    QFile::remove(path(QStringLiteral(".cedevice")));
}

QString PdaDevice::buildLibraryPath() {
    return buildBinDir() + QStringLiteral("/libVordPDASupport.so");
}

void PdaDevice::installLibrary(const QString& programDir, bool register_) {
    const QString bin = buildBinDir();
    for (const char* name : {"libVordPDASupport.so", "vordregsvr", "vordsync"}) {
        const QString from = bin + u'/' + QLatin1String(name);
        const QString to = programDir + u'/' + QLatin1String(name);
        if (QFileInfo::exists(from) && !QFileInfo::exists(to))
            QFile::link(from, to);
    }
    if (register_) {
        // The registry entry itself is written by the registrar program, as in real use.
        QProcess::execute(programDir + QStringLiteral("/vordregsvr"),
                          {QStringLiteral("/s"), programDir + QStringLiteral("/libVordPDASupport.so")});
    }
}

bool PdaDevice::libraryCounters(int* sessionsOpen, int* handlesOpen, long long* sessionsStarted) {
    void* handle = ::dlopen(QFile::encodeName(buildLibraryPath()).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    auto fn = reinterpret_cast<void (*)(int*, int*, long long*)>(::dlsym(handle, "VordCeDeviceCounters"));
    if (fn)
        fn(sessionsOpen, handlesOpen, sessionsStarted);
    ::dlclose(handle); // drops only the reference taken here
    return fn != nullptr;
}

LibraryFileCalls::LibraryFileCalls(plat::FileCalls* calls) {
    void* handle = ::dlopen(QFile::encodeName(PdaDevice::buildLibraryPath()).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return;
    set_ = reinterpret_cast<plat::FileCalls* (*)(plat::FileCalls*)>(::dlsym(handle, "VordSetFileCalls"));
    ::dlclose(handle); // the library stays loaded by whoever loaded it
    if (set_)
        previous_ = set_(calls);
}

LibraryFileCalls::~LibraryFileCalls() {
    if (set_)
        set_(previous_);
}

std::string patternBytes(size_t n, unsigned seed) {
    std::string out(n, '\0');
    unsigned v = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        v = v * 1103515245u + 12345u;
        out[i] = static_cast<char>((v >> 16) & 0xFF);
    }
    return out;
}
