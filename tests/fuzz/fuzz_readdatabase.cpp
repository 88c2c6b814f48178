// Feeds arbitrary bytes to the area database reader as a file. Whatever the bytes, the reader must return
// one of its codes without crashing, hanging or reading outside its buffers, and keep the table's count
// within the table.
#include "FuzzSetup.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

struct Workspace {
    QTemporaryDir dir;
    QString file;

    Workspace() {
        const QString folder = dir.path();
        UseFuzzProgramFolder(folder);
        file = folder + QStringLiteral("/input.pdb");
        InitDatabaseStore();
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Workspace& w = workspace();
    QFile f(w.file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    f.close();

    // Both ways of mapping reading statuses see every input.
    FieldUnitFormat = size > 0 && (data[0] & 1) != 0;
    const int16_t before = LoggerCount;
    const int32_t code = ReadDatabaseFile(w.file);
    FieldUnitFormat = false;

    if (code != DbOk && code != DbReadFailure && code != DbNothingAfterTitles)
        std::abort();
    if (LoggerCount < 0 || LoggerCount > kMaxLoggers)
        std::abort();
    if (code != DbOk && LoggerCount != before)
        std::abort();
    (void)DatabaseErrorText(code, true);
    (void)BuildLoadReport();
    return 0;
}
