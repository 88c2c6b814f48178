#pragma once
// A hand-held for tests: a temporary folder that stands for the device (with its "My Documents" folders),
// connected while its marker file is there, with fault settings written into that marker. Also installs
// the PDA link library and its registrar into a test's program folder.
#include "TestEnv.h"

#include <QString>
#include <QTemporaryDir>

#include <string>

namespace plat {
class FileCalls;
}

class PdaDevice {
public:
    // connected: write the marker. The device root goes into $VORD_CE_DEVICE and a short session wait
    // into $VORD_CE_SESSION_WAIT_MS for the life of the object.
    explicit PdaDevice(bool connected = true);

    QString root() const { return dir_.path(); }
    // Local path of a device path such as "My Documents/Rovemark Export/A.CSV".
    QString path(const QString& relative) const { return dir_.path() + u'/' + relative; }
    QString writeFile(const QString& relative, const std::string& bytes) const;
    bool exists(const QString& relative) const;

    void connect(const QString& faults = {});
    void disconnect();

    // Links the library and the registrar from the build's program folder into programDir. register_: also
    // writes the component registry entry (as the registrar would).
    static void installLibrary(const QString& programDir, bool register_);
    static QString buildLibraryPath();
    // Sessions and handles the loaded library still holds open.
    static bool libraryCounters(int* sessionsOpen, int* handlesOpen, long long* sessionsStarted = nullptr);

private:
    QTemporaryDir dir_;
    ScopedEnv env_;
};

// File calls put in place inside the loaded PDA link library (which keeps its own platform layer, so calls
// installed in the test's own reach it only through this) for the life of the object.
class LibraryFileCalls {
public:
    explicit LibraryFileCalls(plat::FileCalls* calls);
    ~LibraryFileCalls();
    LibraryFileCalls(const LibraryFileCalls&) = delete;
    LibraryFileCalls& operator=(const LibraryFileCalls&) = delete;
    // False when the library is not loaded or has no such entry point.
    bool installed() const { return set_ != nullptr; }

private:
    plat::FileCalls* (*set_)(plat::FileCalls*) = nullptr;
    plat::FileCalls* previous_ = nullptr;
};

// Bytes 0..n-1 of a repeating pattern, for files whose copies are compared.
std::string patternBytes(size_t n, unsigned seed = 0);
