// Merges an arbitrary patrol file into a small area file, by serial or by coordinate (the first byte
// chooses). Whatever the patrol file holds, the merge must end without crashing, hanging or reading outside
// its buffers, and the area file must still read back.
#include "FuzzSetup.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/MergeReadings.h"
#include "core/MergeTarget.h"
#include "core/VariStack.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

class Window final : public IMergeWindow {
public:
    std::vector<LoggerRecord> records;
    QString path;
    bool ask = false;
    bool never = false;
    int16_t RecordCount() const override { return static_cast<int16_t>(records.size() - 1); }
    QString DMAName() const override { return QStringLiteral("area.pdb"); }
    QString Caption() const override { return path; }
    void GetLocalRecByIndex(long slot, int16_t index) override {
        LoggerTable[static_cast<size_t>(slot)] = records.at(static_cast<size_t>(index));
    }
    bool AskForSave() const override { return ask; }
    void SetAskForSave(bool v) override { ask = v; }
    bool NeverBeenSaved() const override { return never; }
    void SetNeverBeenSaved(bool v) override { never = v; }
    void Unload() override {}
};

class Host final : public IMergeHost {
public:
    Window* window = nullptr;
    IMergeWindow* ActiveWindow() override { return window; }
    void Interact(bool) override {}
    bool LoadFileWithReport(const QString& path) override { return ReadDatabaseFile(path) == DbOk; }
    void OpenDocument(const QString&) override {}
    void ShowReport(const QString&, const QString&) override {}
};

struct Workspace {
    QTemporaryDir dir;
    std::vector<LoggerRecord> area;

    Workspace() {
        const QString folder = dir.path();
        UseFuzzProgramFolder(folder);
        InitDatabaseStore();
        area.resize(4);
        const char* coordinates[] = {"", "123456", "", "51.5/-0.12"};
        for (size_t i = 1; i < area.size(); ++i) {
            area[i].Serial = static_cast<int32_t>(1000000 + i);
            area[i].GridRef = "AA 0000 0000";
            area[i].Comment2 = coordinates[i];
            area[i].ReadingDate[1] = "2023/01/01";
            area[i].ReadingStatus[1] = "N";
            area[i].Level[1] = static_cast<int16_t>(i);
        }
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Workspace& w = workspace();
    if (size == 0)
        return 0;
    // A fresh folder each time, so backups do not pile up.
    QDir folder(w.dir.path() + QStringLiteral("/run"));
    folder.removeRecursively();
    QDir().mkpath(folder.path());
    const QString areaPath = folder.filePath(QStringLiteral("area.pdb"));
    const QString patrolPath = folder.filePath(QStringLiteral("patrol.pdb"));

    for (size_t i = 1; i < w.area.size(); ++i)
        LoggerTable[i] = w.area[i];
    LoggerCount = static_cast<int16_t>(w.area.size() - 1);
    if (WriteDatabaseFile(areaPath, false, false) != DbOk)
        std::abort();
    QFile patrol(patrolPath);
    if (!patrol.open(QIODevice::WriteOnly))
        return 0;
    patrol.write(reinterpret_cast<const char*>(data + 1), static_cast<qint64>(size - 1));
    patrol.close();

    Window window;
    window.records = w.area;
    window.path = areaPath;
    Host host;
    host.window = &window;
    if ((data[0] & 1) != 0) {
        MergeByRDGrid = true;
        MergeReadingsByRDGrid(host, patrolPath);
    } else {
        // By serial the patrol file is the window and the area file the destination: the window holds the
        // area loggers and the fuzzed file is read as the destination.
        window.path = patrolPath;
        MergeReadings(host, areaPath);
    }
    MergeByRDGrid = false;
    PendingStack().Clean();
    if (LoggerCount < 0 || LoggerCount > kMaxLoggers)
        std::abort();
    return 0;
}
