// Readings merge: the helpers, both merges end to end against a fake list window, and the failure paths.
#include "FaultyFileCalls.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/MergeReadings.h"
#include "core/Shared.h"
#include "core/VariStack.h"
#include "lang/LangText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

#include <vector>

namespace {

LoggerRecord Logger(int32_t serial, const std::string& comment2 = {}, const std::string& date = {}, int16_t level = 0) {
    LoggerRecord r;
    r.Serial = serial;
    r.GridRef = "AA 0000 0000";
    r.Comment2 = comment2;
    r.ReadingDate[1] = date;
    r.ReadingStatus[1] = date.empty() ? "" : "N";
    r.Level[1] = level;
    r.Spread[1] = date.empty() ? 0 : 5;
    return r;
}

void WriteArea(const QString& path, const std::vector<LoggerRecord>& loggers) {
    for (size_t i = 0; i < loggers.size(); ++i)
        LoggerTable[i + 1] = loggers[i];
    LoggerCount = static_cast<int16_t>(loggers.size());
    ASSERT_EQ(WriteDatabaseFile(path, false, false), DbOk);
}

std::vector<LoggerRecord> ReadArea(const QString& path) {
    EXPECT_EQ(ReadDatabaseFile(path), DbOk);
    return {LoggerTable.begin() + 1, LoggerTable.begin() + 1 + LoggerCount};
}

class FakeWindow : public IMergeWindow {
public:
    std::vector<LoggerRecord> records{LoggerRecord{}}; // index 0 unused
    QString name, caption;
    bool ask = true, never = false, unloaded = false;

    int16_t RecordCount() const override { return static_cast<int16_t>(records.size() - 1); }
    QString DMAName() const override { return name; }
    QString Caption() const override { return caption; }
    void GetLocalRecByIndex(long slot, int16_t index) override { LoggerTable[slot] = records.at(index); }
    bool AskForSave() const override { return ask; }
    void SetAskForSave(bool v) override { ask = v; }
    bool NeverBeenSaved() const override { return never; }
    void SetNeverBeenSaved(bool v) override { never = v; }
    void Unload() override { unloaded = true; }
};

class FakeHost : public IMergeHost {
public:
    FakeWindow* window = nullptr;
    std::vector<bool> interact;
    QStringList opened;
    QString reportCaption, report;
    std::function<void()> onLoaded;

    IMergeWindow* ActiveWindow() override { return window; }
    void Interact(bool enable) override { interact.push_back(enable); }
    bool LoadFileWithReport(const QString& path) override {
        const bool read = ReadDatabaseFile(path) == DbOk;
        if (onLoaded)
            onLoaded();
        return read;
    }
    void OpenDocument(const QString& path) override { opened.append(path); }
    void ShowReport(const QString& caption, const QString& text) override {
        reportCaption = caption;
        report = text;
    }
};

class MergeTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitDatabaseStore();
        PendingStack().Clean();
        host.window = &patrol;
    }
    void TearDown() override {
        // Interact(false) at the start is always matched by Interact(true) at the end.
        if (!host.interact.empty()) {
            EXPECT_FALSE(host.interact.front());
            EXPECT_TRUE(host.interact.back());
        }
        EXPECT_TRUE(PendingStack().IsEmpty());
    }
    TestEnv env;
    ScriptedUi ui;
    FakeWindow patrol;
    FakeHost host;
};

// What a merge that stopped leaves: the destination as it was, nothing opened, the window's input switched off
// and on again, no work pending, no "backup saved" message, and a backup file only when the write itself
// failed (the backup was made before it).
void ExpectStoppedSafely(const FakeHost& h, const ScriptedUi& ui, const QString& dest, const std::string& original,
                         bool backupKept) {
    EXPECT_EQ(TestEnv::readFile(dest), original);
    EXPECT_TRUE(h.opened.isEmpty());
    // Nothing was written, so no report lists readings or loggers as added.
    EXPECT_TRUE(h.report.isEmpty()) << qPrintable(h.report);
    ASSERT_FALSE(h.interact.empty());
    EXPECT_FALSE(h.interact.front());
    EXPECT_TRUE(h.interact.back());
    EXPECT_TRUE(PendingStack().IsEmpty());
    EXPECT_EQ(QFileInfo(dest + QStringLiteral(".000")).isFile(), backupKept);
    for (const auto& m : ui.messages())
        EXPECT_FALSE(m.prompt.startsWith(LoadLangString(txt::BackupSaved)));
}

// A merge by serial about to stop: a destination file of its own with one logger, and a download window with a
// newer reading of that logger and a new one.
struct SerialMergeToStop {
    SerialMergeToStop() {
        WriteArea(dest, {Logger(1000001, "", "2023/01/01", 10)});
        original = TestEnv::readFile(dest);
        window.name = QStringLiteral("North.pdb");
        window.caption = QStringLiteral("Download 1");
        window.records.push_back(Logger(1000001, "", "2024/01/01", 30));
        window.records.push_back(Logger(1000009));
        h.window = &window;
    }
    TestEnv local;
    ScriptedUi scripted;
    const QString dest = local.path(QStringLiteral("DMA_North.pdb"));
    std::string original;
    FakeWindow window;
    FakeHost h;
};

std::vector<LoggerRecord> FiftyReadings(int32_t serial) {
    LoggerRecord r = Logger(serial, "", "2023/01/01", 50);
    for (int k = 1; k <= kMaxReadings; ++k) {
        r.ReadingDate[k] = "2020/01/" + std::to_string(k);
        r.ReadingStatus[k] = "N";
        r.Level[k] = static_cast<int16_t>(k);
    }
    return {r};
}

} // namespace

TEST(MergeHelpers, FormatReceivedTimeAndReadingDate) {
    const std::pair<std::string, std::string> times[] = {
        {"123456", "12:34:56"}, {"12:34:56", "12:34:56"}, {"", ""}, {"1234567", "1234567"}};
    for (const auto& [in, out] : times)
        EXPECT_EQ(FormatReceivedTime(in), out) << in;
    const std::pair<std::string, std::string> dates[] = {{"05/03/2023", "2023/03/05"},
                                                         {"05.03.2023", "2023/03/05"},
                                                         {"2023/03/05", "2023/03/05"},
                                                         {"", ""},
                                                         {"5/3/23", "5/3/23"}};
    for (const auto& [in, out] : dates)
        EXPECT_EQ(FormatReadingDate(in), out) << in;
}

TEST(MergeHelpers, CoordinateKeys) {
    EXPECT_EQ(CoordinateKey("0123456"), CoordinateKey("123456"));
    EXPECT_EQ(CoordinateKey("123456"), "00000000000000123456");
    EXPECT_EQ(CoordinateKey("12.5"), "00000000000000000013");
    EXPECT_EQ(CoordinateKey("51.5/-0.12"), "51.5/-0.12");
    EXPECT_EQ(CoordinateKey(""), "");
    // Texts that only look like numbers stay as they are.
    for (const char* text : {"1e", "+", ".", "1.2.3", "12 34", "e5", "0x10"})
        EXPECT_EQ(CoordinateKey(text), text) << text;
    EXPECT_EQ(CoordinateKey(" -12.4e1 "), "-00000000000000000124");
    // A coordinate as long as a line can hold is keyed without exhausting the stack.
    const std::string longDigits(40000, '7');
    EXPECT_FALSE(CoordinateKey(longDigits).empty());
    EXPECT_EQ(CoordinateKey(longDigits + "x"), longDigits + "x");
}

TEST(MergeHelpers, VariStackHoldsNumbersAndTexts) {
    VariStack s;
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.Pop(), VariValue(QString()));
    s.Push(3.0);
    s.Push(QStringLiteral("x"));
    EXPECT_EQ(s.Count, 2);
    EXPECT_TRUE(s.IsMatch(3.0));
    EXPECT_TRUE(s.IsMatch(QStringLiteral("x")));
    EXPECT_FALSE(s.IsMatch(QStringLiteral("3")));
    EXPECT_EQ(s.Pop(), VariValue(QStringLiteral("x")));
    EXPECT_FALSE(s.IsMatch(QStringLiteral("x"))); // popped places no longer count
    s.Clean();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_FALSE(s.IsMatch(3.0));
}

TEST(MergeHelpers, BackupNamesCountUpAndPassNineHundredNinetyNine) {
    TestEnv env;
    const QString file = env.writeFile(QStringLiteral("DMA_1.pdb"), "x");
    EXPECT_EQ(MakeBackupName(file), file + QStringLiteral(".000"));
    env.writeFile(QStringLiteral("DMA_1.pdb.000"), "");
    env.writeFile(QStringLiteral("DMA_1.pdb.001"), "");
    EXPECT_EQ(MakeBackupName(file), file + QStringLiteral(".002"));
    for (int n = 2; n <= 999; ++n)
        env.writeFile(QStringLiteral("DMA_1.pdb.%1").arg(n, 3, 10, QLatin1Char('0')), "");
    EXPECT_EQ(MakeBackupName(file), file + QStringLiteral(".1000"));
}

TEST(MergeHelpers, InsertNewestReadingShiftsAndTakesLatLong) {
    TestEnv env;
    ScriptedUi ui;
    InitDatabaseStore();
    LoggerTable[1] = FiftyReadings(7)[0];
    const std::pair<std::string, bool> comment2s[] = {{"51.50000/-0.12000", true},
                                                      {"5.5/1.2", false},
                                                      {"123456-654321", false},
                                                      {"51.5/-0.1", false},
                                                      {"1.123456/2.1", true}};
    for (const auto& [c2, taken] : comment2s) {
        LoggerTable[1].Comment2 = "old";
        LoggerTable[2] = Logger(7, c2, "2024/02/02", 99);
        LoggerTable[2].Received = "101112";
        const LoggerRecord before = LoggerTable[1];
        InsertNewestReading(1, 2);
        const LoggerRecord& d = LoggerTable[1];
        EXPECT_EQ(d.ReadingDate[1], "2024/02/02");
        EXPECT_EQ(d.Level[1], 99);
        EXPECT_EQ(d.ReadingDate[2], before.ReadingDate[1]);
        EXPECT_EQ(d.ReadingDate[50], before.ReadingDate[49]); // the oldest reading drops off
        EXPECT_EQ(d.Received, "10:11:12");
        EXPECT_EQ(d.Comment2, taken ? c2 : "old") << c2;
        EXPECT_FALSE(SameNewestReading(1, 0));
        LoggerTable[3] = d;
        EXPECT_TRUE(SameNewestReading(1, 3));
    }
}

TEST_F(MergeTest, BySerialPutsNewReadingsOnTopAppendsNewLoggersAndKeepsBackup) {
    const QString dest = env.path(QStringLiteral("DMA_North.pdb"));
    std::vector<LoggerRecord> area = FiftyReadings(1000001);
    area.push_back(Logger(1000002, "", "2023/05/05", 20));
    area.push_back(Logger(1000003));
    WriteArea(dest, area);
    const std::string original = TestEnv::readFile(dest);

    patrol.name = QStringLiteral("North.pdb");
    patrol.caption = QStringLiteral("Download 1 North.pdb");
    patrol.never = true;
    patrol.records.push_back(Logger(1000001, "", "2024/06/01", 77)); // new reading
    patrol.records.push_back(Logger(1000004, "", "2024/06/01", 40)); // unknown
    patrol.records.push_back(Logger(1000002, "", "2023/05/05", 20)); // same reading
    patrol.records.push_back(Logger(1000005, "", "2024/06/01", 41)); // unknown
    ui.expectMessage(plat::IDOK, LoadLangString(txt::BackupSaved) + dest + QStringLiteral(".000"));

    MergeReadings(host, dest);

    EXPECT_EQ(TestEnv::readFile(dest + QStringLiteral(".000")), original);
    const auto merged = ReadArea(dest);
    ASSERT_EQ(merged.size(), 5u);
    EXPECT_EQ(merged[0].ReadingDate[1], "2024/06/01");
    EXPECT_EQ(merged[0].Level[1], 77);
    EXPECT_EQ(merged[0].ReadingDate[2], area[0].ReadingDate[1]);
    EXPECT_EQ(merged[0].ReadingDate[50], area[0].ReadingDate[49]);
    EXPECT_EQ(merged[1], area[1]);
    EXPECT_EQ(merged[2], area[2]);
    EXPECT_EQ(merged[3].Serial, 1000004); // new loggers in the window's order
    EXPECT_EQ(merged[4].Serial, 1000005);

    const QString expected = LoadLangString(txt::ReportHead) + "\n\n1000001" + LoadLangString(txt::UpdatedMark) +
                             "\n1000002\n1" + LoadLangString(txt::UpdatedCount) + "\n\n" +
                             LoadLangString(txt::NewLoggers) + "\n01000005\n01000004\n\n" +
                             LoadLangString(txt::ReportEnd);
    EXPECT_EQ(host.report, expected);
    EXPECT_EQ(host.reportCaption, LoadLangString(txt::MergeReportCaption) + QStringLiteral("North.pdb.log"));
    EXPECT_EQ(host.opened, QStringList{dest});
    // The patrol was not saved anywhere: it keeps its flags.
    EXPECT_TRUE(patrol.ask);
    EXPECT_TRUE(patrol.never);

    // A second merge of new readings makes the next backup.
    patrol.records[1].ReadingDate[1] = "2024/07/01";
    ui.expectMessage(plat::IDOK, dest + QStringLiteral(".001"));
    MergeReadings(host, dest);
    EXPECT_TRUE(QFileInfo::exists(dest + QStringLiteral(".001")));
    EXPECT_EQ(ReadArea(dest).size(), 5u);
}

// The backup is a copy of the user's file: one only its owner may read stays so.
TEST_F(MergeTest, TheBackupKeepsTheDestinationsPermissions) {
    const QString dest = env.path(QStringLiteral("Private.pdb"));
    WriteArea(dest, {Logger(1000002, "", "2023/05/05", 20)});
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    ASSERT_TRUE(QFile::setPermissions(dest, ownerOnly));
    patrol.name = QStringLiteral("Private.pdb");
    patrol.records.push_back(Logger(1000002, "", "2024/06/01", 77));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::BackupSaved) + dest + QStringLiteral(".000"));
    MergeReadings(host, dest);
    const QString backup = dest + QStringLiteral(".000");
    ASSERT_TRUE(QFileInfo::exists(backup));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    EXPECT_EQ(QFile::permissions(backup) & others, QFile::Permissions());
}

TEST_F(MergeTest, BySerialWithNothingNewWritesNothing) {
    const QString dest = env.path(QStringLiteral("North.pdb"));
    WriteArea(dest, {Logger(1000002, "", "2023/05/05", 20)});
    const std::string original = TestEnv::readFile(dest);
    patrol.name = QStringLiteral("North.pdb");
    patrol.records.push_back(Logger(1000002, "", "2023/05/05", 20));
    MergeReadings(host, dest);
    EXPECT_EQ(TestEnv::readFile(dest), original);
    EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral(".000")));
    EXPECT_TRUE(host.report.contains(LoadLangString(txt::NoneUpdated)));
    EXPECT_EQ(host.opened, QStringList{dest});
}

TEST_F(MergeTest, BySerialStopsSafely) {
    enum Fault { SameFile, ReadOnly, NamesDeclined, BackupFails, WriteFails, TooMany };
    for (Fault fault : {SameFile, ReadOnly, NamesDeclined, BackupFails, WriteFails, TooMany}) {
        SCOPED_TRACE(fault);
        SerialMergeToStop m;
        if (fault == NamesDeclined)
            m.window.name = QStringLiteral("South.pdb");
        if (fault == SameFile)
            m.window.caption = m.dest;
        switch (fault) {
        case SameFile:
            m.scripted.expectMessage(plat::IDOK, LoadLangString(txt::SameFile));
            break;
        case ReadOnly:
            QFile::setPermissions(m.dest, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            m.scripted.expectMessage(plat::IDOK, LoadLangString(txt::ReadOnly));
            break;
        case NamesDeclined:
            m.scripted.expectMessage(plat::IDCANCEL,
                                     QStringLiteral("Most recent patrol (South.pdb) and destination (DMA_North.pdb) "
                                                    "filenames do not match, continue?"));
            break;
        case BackupFails:
            // A name that cannot take the copy (a link into nowhere).
            ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/none/x"), m.dest + QStringLiteral(".000")));
            m.scripted.expectMessage(plat::IDOK, LoadLangString(txt::BackupFailed) + m.dest + QStringLiteral(".000"));
            break;
        case WriteFails:
            // The file turns read-only after it was read: the write is refused.
            m.h.onLoaded = [&] { QFile::setPermissions(m.dest, QFile::ReadOwner); };
            m.scripted.expectMessage(plat::IDOK,
                                     LoadLangString(txt::WriteFailed) + DatabaseErrorText(DbWriteFailure, false));
            break;
        case TooMany:
            for (int i = 0; i < kMaxLoggers; ++i)
                m.window.records.push_back(Logger(2000000 + i));
            m.scripted.expectMessage(plat::IDOK, LoadLangString(txt::TooMany) + QStringLiteral("7002"));
            break;
        }
        MergeReadings(m.h, m.dest);
        ExpectStoppedSafely(m.h, m.scripted, m.dest, m.original, fault == WriteFails);
        QFile::setPermissions(m.dest, QFile::ReadOwner | QFile::WriteOwner);
    }
}

// A disk that fills up during the merge: while the backup is made, or after it while the merged file is
// written. The destination stays byte for byte and the message names the file and the system's reason.
TEST_F(MergeTest, AFullDiskStopsTheMergeAndSaysWhy) {
    for (const bool backupFits : {false, true}) {
        SCOPED_TRACE(backupFits);
        SerialMergeToStop m;
        const QString backup = m.dest + QStringLiteral(".000");
        const QString reason = plat::systemErrorText(ENOSPC);
        m.scripted.expectMessage(plat::IDOK, backupFits ? LoadLangString(txt::WriteFailed) +
                                                              DatabaseErrorText(DbWriteFailure, false) +
                                                              QStringLiteral(":\n") + m.dest + u'\n' + reason
                                                        : LoadLangString(txt::BackupFailed) + backup + u'\n' + reason);
        {
            FaultyFileCalls full(FaultyFileCalls::Step::Write, ENOSPC, backupFits ? m.original.size() + 100 : 10);
            MergeReadings(m.h, m.dest);
        }
        ASSERT_EQ(m.scripted.messages().size(), 1u);
        EXPECT_FALSE(m.scripted.messages()[0].prompt.contains(QStringLiteral("Unknown error")));
        EXPECT_TRUE(TestEnv::readFile(m.dest) == m.original);
        EXPECT_TRUE(m.h.opened.isEmpty());
        // A backup is kept only when it was made whole.
        EXPECT_EQ(QFileInfo::exists(backup), backupFits);
        if (backupFits) {
            EXPECT_TRUE(TestEnv::readFile(backup) == m.original);
        }
    }
}

TEST_F(MergeTest, ByCoordinateMergesIntoWindowFileWithoutLosingLoggers) {
    const QString areaFile = env.path(QStringLiteral("DMA_Town.pdb"));
    const QString patrolFile = env.path(QStringLiteral("Town.pdb"));
    // The destination window: two loggers without coordinates, one matched, one unmatched.
    FakeWindow area;
    area.name = QStringLiteral("DMA_Town.pdb");
    area.caption = areaFile;
    area.records.push_back(Logger(11, "", "2023/01/01", 1));
    area.records.push_back(Logger(12, "", "2023/01/01", 2));
    area.records.push_back(Logger(13, "0123456", "2023/01/01", 3));
    area.records.push_back(Logger(14, "999", "2023/01/01", 4));
    area.records.push_back(Logger(15, "0123456", "2023/01/01", 5)); // second record of one coordinate
    WriteArea(areaFile, {area.records.begin() + 1, area.records.end()});
    const std::string original = TestEnv::readFile(areaFile);
    host.window = &area;

    LoggerRecord fresh = Logger(91, "123456", "05/06/2024", 60);
    fresh.Received = "081500";
    WriteArea(patrolFile, {Logger(90, ""), fresh, Logger(92, "777")});

    ui.expectMessage(plat::IDOK, LoadLangString(txt::BackupSaved) + areaFile + QStringLiteral(".000"));
    MergeByRDGrid = true;
    MergeReadingsByRDGrid(host, patrolFile);

    EXPECT_EQ(TestEnv::readFile(areaFile + QStringLiteral(".000")), original);
    const auto merged = ReadArea(areaFile);
    // Patrol order with the matched record replaced by the destination's, then every unmatched destination
    // logger: none is lost.
    std::vector<int32_t> serials;
    for (const auto& r : merged)
        serials.push_back(r.Serial);
    EXPECT_EQ(serials, (std::vector<int32_t>{90, 13, 92, 11, 12, 14, 15}));
    EXPECT_EQ(merged[1].ReadingDate[1], "2024/06/05");
    EXPECT_EQ(merged[1].Level[1], 60);
    EXPECT_EQ(merged[1].ReadingDate[2], "2023/01/01");
    EXPECT_EQ(merged[1].Received, "08:15:00");
    EXPECT_TRUE(host.report.contains(QStringLiteral("0123456") + LoadLangString(txt::UpdatedMark)));
    EXPECT_TRUE(host.report.contains(QStringLiteral("\nLoggers that were not updated\n0123456\n999\n\n\n")));
    EXPECT_TRUE(area.unloaded);
    EXPECT_FALSE(area.ask);
    EXPECT_FALSE(MergeByRDGrid);
    EXPECT_EQ(host.opened, QStringList{areaFile});
}

TEST_F(MergeTest, ByCoordinateIntoUnsavedWindowAsksForAName) {
    const QString patrolFile = env.path(QStringLiteral("Town.pdb"));
    WriteArea(patrolFile, {Logger(91, "123456", "2024/06/05", 60)});
    FakeWindow area;
    area.name = QStringLiteral("Town.pdb");
    area.caption = QStringLiteral("Untitled0001.PDB");
    area.never = true;
    area.records.push_back(Logger(13, "123456", "2023/01/01", 3));
    host.window = &area;

    // Cancelled: nothing happens to the window.
    ui.expectSaveFile(QString());
    MergeReadingsByRDGrid(host, patrolFile);
    EXPECT_FALSE(area.unloaded);
    EXPECT_TRUE(host.report.isEmpty());

    // A folder that does not exist: the write fails, the window keeps its records and flags.
    ui.expectSaveFile(env.path(QStringLiteral("gone/Town2.pdb")));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::WriteFailed));
    MergeReadingsByRDGrid(host, patrolFile);
    EXPECT_FALSE(area.unloaded);
    EXPECT_TRUE(area.never);

    // A new file: written (no earlier file, so no backup) and opened.
    const QString chosen = env.path(QStringLiteral("Town2.pdb"));
    ui.expectSaveFile(chosen);
    MergeReadingsByRDGrid(host, patrolFile);
    EXPECT_TRUE(area.unloaded);
    EXPECT_FALSE(area.never);
    EXPECT_EQ(ReadArea(chosen).size(), 1u);
    EXPECT_EQ(host.opened, QStringList{chosen});
}

TEST_F(MergeTest, ByCoordinateRefusesReadOnlyDestination) {
    const QString areaFile = env.path(QStringLiteral("Town.pdb"));
    const QString patrolFile = env.path(QStringLiteral("Patrol/Town.pdb"));
    QDir().mkpath(env.path(QStringLiteral("Patrol")));
    WriteArea(patrolFile, {Logger(91, "5", "2024/06/05", 60)});
    WriteArea(areaFile, {Logger(13, "5", "2023/01/01", 3)});
    const std::string original = TestEnv::readFile(areaFile);
    QFile::setPermissions(areaFile, QFile::ReadOwner);
    FakeWindow area;
    area.name = QStringLiteral("Town.pdb");
    area.caption = areaFile;
    area.records.push_back(Logger(13, "5", "2023/01/01", 3));
    host.window = &area;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::ReadOnly));
    MergeReadingsByRDGrid(host, patrolFile);
    EXPECT_EQ(TestEnv::readFile(areaFile), original);
    EXPECT_FALSE(area.unloaded);
    QFile::setPermissions(areaFile, QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(MergeTest, ByCoordinateStopsSafely) {
    enum Fault { BackupFails, WriteFails, TooMany };
    for (Fault fault : {BackupFails, WriteFails, TooMany}) {
        SCOPED_TRACE(fault);
        TestEnv local;
        ScriptedUi scripted;
        const QString areaFile = local.path(QStringLiteral("DMA_Town.pdb"));
        const QString patrolFile = local.path(QStringLiteral("Town.pdb"));
        FakeWindow area;
        area.name = QStringLiteral("DMA_Town.pdb");
        area.caption = areaFile;
        area.records.push_back(Logger(13, "123456", "2023/01/01", 3));
        area.records.push_back(Logger(14, "", "2023/01/01", 4));
        WriteArea(areaFile, {area.records.begin() + 1, area.records.end()});
        const std::string original = TestEnv::readFile(areaFile);
        std::vector<LoggerRecord> patrolLoggers{Logger(91, "123456", "2024/06/05", 60)};
        FakeHost h;
        h.window = &area;
        switch (fault) {
        case BackupFails:
            ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/none/x"), areaFile + QStringLiteral(".000")));
            scripted.expectMessage(plat::IDOK, LoadLangString(txt::BackupFailed) + areaFile + QStringLiteral(".000"));
            break;
        case WriteFails:
            // The file turns read-only after the patrol was read: the write is refused.
            h.onLoaded = [&] { QFile::setPermissions(areaFile, QFile::ReadOwner); };
            scripted.expectMessage(plat::IDOK,
                                   LoadLangString(txt::WriteFailed) + DatabaseErrorText(DbWriteFailure, false));
            break;
        case TooMany:
            // The patrol fills the table; the destination logger without a coordinate would be the 7001st.
            for (int i = 1; i < kMaxLoggers; ++i)
                patrolLoggers.push_back(Logger(2000000 + i, std::to_string(900000 + i)));
            scripted.expectMessage(plat::IDOK, LoadLangString(txt::TooMany) + QStringLiteral("7001"));
            break;
        }
        WriteArea(patrolFile, patrolLoggers);
        MergeByRDGrid = true;
        MergeReadingsByRDGrid(h, patrolFile);

        ExpectStoppedSafely(h, scripted, areaFile, original, fault == WriteFails);
        EXPECT_FALSE(area.unloaded);
        EXPECT_TRUE(area.ask);
        EXPECT_FALSE(MergeByRDGrid);
        QFile::setPermissions(areaFile, QFile::ReadOwner | QFile::WriteOwner);
    }
}

TEST_F(MergeTest, ByCoordinateMatchesLoggersWithoutCoordinatesOnlyBySerial) {
    const QString areaFile = env.path(QStringLiteral("DMA_Field.pdb"));
    const QString patrolFile = env.path(QStringLiteral("Field.pdb"));
    FakeWindow area;
    area.name = QStringLiteral("DMA_Field.pdb");
    area.caption = areaFile;
    area.records.push_back(Logger(20, "", "2023/01/01", 1));
    area.records.push_back(Logger(21, "", "2023/01/01", 2));
    WriteArea(areaFile, {area.records.begin() + 1, area.records.end()});
    host.window = &area;

    // Logger 20 comes back from patrol with a new reading; logger 22 is a new logger without a coordinate.
    WriteArea(patrolFile, {Logger(20, "", "05/06/2024", 60), Logger(22, "")});

    ui.expectMessage(plat::IDOK, LoadLangString(txt::BackupSaved) + areaFile + QStringLiteral(".000"));
    MergeByRDGrid = true;
    MergeReadingsByRDGrid(host, patrolFile);

    const auto merged = ReadArea(areaFile);
    std::vector<int32_t> serials;
    for (const auto& r : merged)
        serials.push_back(r.Serial);
    // Logger 20 is written once, with its new reading on top; 21 is kept; 22 is not taken for 21.
    EXPECT_EQ(serials, (std::vector<int32_t>{20, 22, 21}));
    EXPECT_EQ(merged[0].ReadingDate[1], "2024/06/05");
    EXPECT_EQ(merged[0].Level[1], 60);
    EXPECT_EQ(merged[0].ReadingDate[2], "2023/01/01");
}
