// Area database files: the three written layouts byte for byte, the reader's codes and field rules, the
// error texts and the duplicate-serial report.
#include "ScopedProgramWindows.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/ProgramWindows.h"

#include "FaultyFileCalls.h"
#include "FullDisk.h"
#include "ScriptedUi.h"
#include "TestEnv.h"

#include "platform/AppInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// Digit-free texts, so that every digit in a written file comes from the data or the version.
const std::map<int, std::string> kTexts = {{153, "Area Loggers"},
                                           {155, "Reading line "},
                                           {158, "Serial No"},
                                           {159, "Grid Ref"},
                                           {160, "Comment A"},
                                           {161, "Comment B"},
                                           {162, "Deployed"},
                                           {163, "Received"},
                                           {164, "Date"},
                                           {165, "Status"},
                                           {166, "Level"},
                                           {167, "Spread"},
                                           {168, "Writing logger "},
                                           {169, "Done"},
                                           {170, "Odd error"},
                                           {171, "No such file"},
                                           {172, "Damaged file"},
                                           {173, "Cannot write"},
                                           {174, "In use"},
                                           {175, "Read only"},
                                           {176, "No loggers"},
                                           {177, "Too large"},
                                           {178, "Unknown error"},
                                           {179, "At line "},
                                           {180, " end"},
                                           {184, "Warning"},
                                           {185, "Leak"},
                                           {186, "No leak"},
                                           {187, "Checking serials"},
                                           {188, "Checking "},
                                           {189, "No repeats in "},
                                           {190, "No."},
                                           {191, "Serial"},
                                           {192, "Count"},
                                           {193, "Repeats: "},
                                           {497, "Day"},
                                           {500, "More Info"}};

struct StatusRecorder : ProgramWindows {
    QStringList texts;
    ScopedProgramWindows registered{this};
    void setStatusText(const QString& text) override { texts << text; }
};

std::string dataFile(const char* name) {
    // The stored files sit beside this source; the test run names their folder.
    QString folder = qEnvironmentVariable("VORD_TEST_DATA");
    if (folder.isEmpty())
        folder = sourcePath(QStringLiteral("tests/core/data"));
    return TestEnv::readFile(folder + u'/' + QLatin1String(name));
}

// The banner line carries the program's version; the stored files spell it as a placeholder.
std::string withVersion(std::string bytes) {
    const std::string token = "@VERSION@";
    const std::string version = std::to_string(plat::versionMinor()) + '.' + std::to_string(plat::versionRevision());
    for (size_t p = bytes.find(token); p != std::string::npos; p = bytes.find(token))
        bytes.replace(p, token.size(), version);
    return bytes;
}

// Two loggers that between them touch every kind of item: full and empty reading slots, negative numbers,
// Windows-1252 text, a decimal-comma coordinate and over-long user comments.
std::vector<LoggerRecord> sampleLoggers() {
    LoggerRecord a;
    a.Serial = 1234567;
    a.GridRef = "AB 1234 5678";
    a.Comment1 = "Caf\xe9 corner";
    a.Comment2 = "51,5/-0,12";
    a.Deployed = "2023/01/02";
    a.Received = "12:30:00";
    for (int s = 1; s <= kMaxReadings; ++s) {
        const int day = s % 28 + 1;
        a.ReadingDate[s] = "2023/02/" + std::string(day < 10 ? "0" : "") + std::to_string(day);
        a.ReadingStatus[s] = s % 2 ? "Leak" : "No leak";
        a.Level[s] = static_cast<int16_t>(s + 20);
        a.Spread[s] = static_cast<int16_t>(s % 7);
    }
    a.UserComments = "Near the hydrant";

    LoggerRecord b;
    b.Serial = 12999999;
    b.GridRef = "";
    b.Comment2 = "plain";
    b.ReadingDate[1] = "2024/03/04";
    b.ReadingStatus[1] = "Warning";
    b.Level[1] = 40;
    b.Spread[1] = 20;
    b.ReadingDate[2] = "2024/03/03";
    b.Level[2] = 35;
    b.Spread[2] = 20;
    b.Level[3] = -5;
    b.UserComments = std::string(150, 'x') + std::string(150, 'y');
    return {a, b};
}

void loadTable(const std::vector<LoggerRecord>& records) {
    for (size_t i = 0; i < records.size(); ++i)
        LoggerTable[i + 1] = records[i];
    LoggerCount = static_cast<int16_t>(records.size());
}

std::string loggerLine(const std::string& text) {
    return text + "\r\n";
}

class DatabaseFileTest : public ::testing::Test {
protected:
    TestEnv env{kTexts};
    ScriptedUi ui;
    StatusRecorder status;

    void SetUp() override {
        InitDatabaseStore();
        LoggerCount = 0;
        LinesRead = 0;
        for (auto& rec : LoggerTable)
            ClearLoggerRecord(rec);
    }
    void TearDown() override {
        FieldUnitFormat = false;
        LoggerCount = 0;
    }
    QString file(const char* name, const std::string& bytes) const { return env.writeFile(name, bytes); }
};

} // namespace

TEST_F(DatabaseFileTest, WritesTheThreeLayoutsByteForByte) {
    const struct {
        const char* golden;
        bool fieldUnitBanner, csvColumns, fieldUnitFormat;
    } layouts[] = {{"database.pdb", false, false, false},
                   {"export.csv", false, true, false},
                   {"fieldunit.pdb", true, false, true}};
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.golden);
        const std::vector<LoggerRecord> loggers = sampleLoggers();
        loadTable(loggers);
        FieldUnitFormat = l.fieldUnitFormat;
        const QString out = env.path(QStringLiteral("out.pdb"));
        ASSERT_EQ(WriteDatabaseFile(out, l.fieldUnitBanner, l.csvColumns), DbOk);
        FieldUnitFormat = false;
        const std::string expected = withVersion(dataFile(l.golden));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(TestEnv::readFile(out), expected);
        // The 300-character comments were written whole or cut, and the table's copy is cut either way.
        EXPECT_EQ(LoggerTable[2].UserComments, loggers[1].UserComments.substr(0, 255));
        EXPECT_EQ(status.texts.back(), QString());
        EXPECT_TRUE(status.texts.contains(QStringLiteral("Writing logger 2")));
    }
}

TEST_F(DatabaseFileTest, WriteThenReadGivesTheSameTable) {
    std::vector<LoggerRecord> loggers = sampleLoggers();
    loggers[0].Comment2 = "51.5/-0.12";
    loggers[1].UserComments.resize(255);
    loggers.push_back(LoggerRecord{});
    loggers.back().Serial = 5000000;
    loadTable(loggers);
    const QString path = env.path(QStringLiteral("area.pdb"));
    ASSERT_EQ(WriteDatabaseFile(path, false, false), DbOk);
    for (int i = 1; i <= 3; ++i)
        ClearLoggerRecord(LoggerTable[i]);
    LoggerCount = 0;
    status.texts.clear();

    ASSERT_EQ(ReadDatabaseFile(path), DbOk);
    EXPECT_EQ(LoggerCount, 3);
    EXPECT_EQ(LinesRead, 5);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(LoggerTable[i], loggers[i - 1]) << "logger " << i;
    EXPECT_EQ(status.texts, (QStringList{"Reading line 3", "Reading line 4", "Reading line 5", ""}));
}

TEST_F(DatabaseFileTest, ReaderCodesAndCounts) {
    const std::string logger = "1234567,\"AB 1234 5678\",\"a\",\"b\",\"c\",\"d\"";
    const struct {
        const char* what;
        std::string bytes;
        int32_t code;
        int16_t count; // -1: the previous count stays
        int16_t lines;
    } cases[] = {
        {"banner without V, nothing else", "Area file\r\n", DbOk, 0, 1},
        {"banner without V, second line is a logger", "Area file\r\n" + loggerLine(logger), DbOk, 1, 2},
        {"banner with V and nothing else", "Area V5\r\n", DbReadFailure, -1, 1},
        {"banner and titles only", "\"Area V5.2.9\"\r\n\"Serial\",\r\n", DbNothingAfterTitles, -1, 2},
        {"banner, empty line, titles", "Area V5\r\n\r\ntitles\r\n", DbNothingAfterTitles, -1, 3},
        {"banner, empty line, end", "Area V5\r\n\r\n", DbReadFailure, -1, 2},
        {"titles then an empty line", "Area V5\r\ntitles\r\n\r\n", DbOk, 0, 3},
        {"empty file", "", DbReadFailure, -1, 0},
        {"three fields", "Area V5\r\ntitles\r\n123,AB,C\r\n", DbReadFailure, -1, 3},
        {"four fields, quoted comment two", "Area V5\r\nt\r\n1,\"a\",\"b\",\"c\"\r\n", DbOk, 1, 3},
        {"five fields, bare comment two", "Area V5\r\nt\r\n1,\"a\",\"b\",c,\"d\"\r\n", DbReadFailure, -1, 3},
        {"a line of blanks is skipped", "Area V5\r\nt\r\n   \r\n", DbOk, 0, 3},
        {"a trailing line of blanks and tabs", "Area V5\r\nt\r\n" + loggerLine(logger) + " \t  \r\n", DbOk, 1, 4},
        {"a trailing line of blanks without its end", "Area V5\r\nt\r\n" + loggerLine(logger) + "    ", DbOk, 1, 4},
        {"blank lines between loggers", "Area V5\r\nt\r\n" + loggerLine(logger) + " \r\n" + loggerLine(logger), DbOk, 2,
         5},
        {"banner, line of blanks, titles", "Area V5\r\n  \r\ntitles\r\n", DbNothingAfterTitles, -1, 3},
        {"serial beyond 32 bits", "Area V5\r\nt\r\n9E999999,\"a\",\"b\",\"c\"\r\n", DbReadFailure, -1, 3},
        {"line feeds only", "Area V5\ntitles\n" + logger + "\n" + logger + "\n", DbOk, 2, 4},
        {"carriage returns only", "Area V5\rtitles\r" + logger + "\r" + logger, DbOk, 2, 4},
        {"empty logger lines skipped", "Area V5\r\nt\r\n\r\n" + loggerLine(logger) + "\r\n", DbOk, 1, 5},
    };
    for (const auto& c : cases) {
        LoggerCount = 9;
        EXPECT_EQ(ReadDatabaseFile(file("case.pdb", c.bytes)), c.code) << c.what;
        EXPECT_EQ(LoggerCount, c.count < 0 ? 9 : c.count) << c.what;
        EXPECT_EQ(LinesRead, c.lines) << c.what;
    }
    LoggerCount = 9;
    EXPECT_EQ(ReadDatabaseFile(env.path(QStringLiteral("missing.pdb"))), DbNoSuchFile);
    EXPECT_EQ(LoggerCount, 9);
    EXPECT_EQ(LinesRead, 0);
}

// The reader takes the file in pieces whose sizes are powers of two and widens its room for a longer line:
// a line end at or beside such a size, split from its LF or not, and lines longer than a piece read whole.
TEST_F(DatabaseFileTest, LineEndsAtTheBordersOfTheReadPieces) {
    const std::string head = "Area V5\r\ntitles\r\n";
    const std::string before = "1,\"a\",\"";
    const std::string after = "\",\"c\",\"d\",\"r\"";
    for (const char* ending : {"\r\n", "\r", "\n"}) {
        for (int power = 12; power <= 20; ++power) {
            for (int shift = -2; shift <= 1; ++shift) {
                // The first character of the logger line's ending sits at offset 2^power + shift.
                const size_t at = (size_t{1} << power) + static_cast<size_t>(static_cast<ptrdiff_t>(shift));
                const size_t padding = at - head.size() - before.size() - after.size();
                const std::string bytes = head + before + std::string(padding, 'p') + after + ending +
                                          "2,\"b\",\"x\",\"y\",\"d\",\"r\"" + ending;
                ASSERT_EQ(head.size() + before.size() + padding + after.size(), at);
                const std::string what = "ending " + std::to_string(std::string_view(ending).size()) + " at 2^" +
                                         std::to_string(power) + std::to_string(shift);
                ASSERT_EQ(ReadDatabaseFile(file("pieces.pdb", bytes)), DbOk) << what;
                EXPECT_EQ(LoggerCount, 2) << what;
                EXPECT_EQ(LinesRead, 4) << what;
                EXPECT_EQ(LoggerTable[1].Comment1.size(), padding) << what;
                EXPECT_EQ(LoggerTable[1].Received, "r") << what;
                EXPECT_EQ(LoggerTable[2].Serial, 2) << what;
                EXPECT_EQ(LoggerTable[2].Comment2, "y") << what;
            }
        }
    }
}

// A text read over one of the same length is copied in place; every length a short text can have, over a
// text as long, shorter and longer.
TEST_F(DatabaseFileTest, ReadTextsReplaceTheTableTextsWhateverTheirLengths) {
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    for (size_t length = 0; length <= 18; ++length) {
        const std::string text = letters.substr(0, length);
        const std::string bytes =
            "Area V5\r\nt\r\n1,\"a\",\"b\",\"c\",\"" + text + "\",\"r\",\"" + text + "\",\"" + text + "\",1,2\r\n";
        for (size_t previous : {length, length + 1, length == 0 ? size_t{0} : length - 1}) {
            LoggerRecord& r = LoggerTable[1];
            r.Deployed = std::string(previous, 'o');
            r.ReadingDate[1] = std::string(previous, 'o');
            r.ReadingStatus[1] = std::string(previous, 'o');
            ASSERT_EQ(ReadDatabaseFile(file("texts.pdb", bytes)), DbOk) << length;
            EXPECT_EQ(r.Deployed, text.substr(0, 10)) << length << " over " << previous;
            EXPECT_EQ(r.ReadingDate[1], text.substr(0, 10)) << length << " over " << previous;
            EXPECT_EQ(r.ReadingStatus[1], text) << length << " over " << previous;
        }
    }
}

TEST_F(DatabaseFileTest, TheSevenThousandAndFirstLoggerIsAFailure) {
    std::string bytes = "\"Area V5\"\r\n\"titles\",\r\n";
    for (int i = 1; i <= kMaxLoggers; ++i)
        bytes += std::to_string(1000000 + i) + ",\"\",\"\",\"\",\"\",\"\"\r\n";
    ASSERT_EQ(ReadDatabaseFile(file("full.pdb", bytes)), DbOk);
    EXPECT_EQ(LoggerCount, kMaxLoggers);
    EXPECT_EQ(LoggerTable[kMaxLoggers].Serial, 1000000 + kMaxLoggers);

    LoggerCount = 3;
    bytes += "42,\"\",\"\",\"\",\"\",\"\"\r\n";
    EXPECT_EQ(ReadDatabaseFile(file("over.pdb", bytes)), DbReadFailure);
    EXPECT_EQ(LoggerCount, 3);
    EXPECT_EQ(LinesRead, kMaxLoggers + 3);
    EXPECT_EQ(status.texts.back(), QString());
}

TEST_F(DatabaseFileTest, FieldRulesOfTheReader) {
    LoggerTable[5].ReadingDate[6] = "stale";
    LoggerTable[5].Level[50] = 77;
    const std::string reading = ",\"2023/01/02\",\"Leak\",12,3";
    std::string fiveReadings;
    for (int i = 0; i < 5; ++i)
        fiveReadings += reading;
    std::string fiftyReadings;
    for (int i = 0; i < 50; ++i)
        fiftyReadings += reading;
    const std::string extra(5000, ',');
    const std::string bytes = "\"Area V5\"\r\n\"titles\",\r\n"
                              // 1: decimal-comma coordinate, quoted at both ends of the whole item
                              "1000001,\"AB 1234 5678\",\"c\",\"51,5/-0,12\",\"2023/01/01\",\"\"" +
                              reading +
                              ",\"notes\"\r\n"
                              // 2: a bare comment two swallows the next two fields
                              "1000002,\"g\",\"c\",abc,\"dep\",\"rec\",\"2023/01/01\"\r\n"
                              // 3: a comma in comment one shifts the rest of the line
                              "1000003,\"g\",\"one,two\",\"c2\",\"dep\",\"rec\"\r\n"
                              // 4: doubled quotes around grid reference and comment one; long fields are cut
                              "123456789,\"\"AB 1234 5678\"\",\"\"quoted\"\",\"c2\",\"2023/01/01 extra\","
                              "\"2023/01/01 more\",\"2023/01/02x\",\"st\",100, 7 ,\"" +
                              std::string(300, 'u') +
                              "\"\r\n"
                              // 5: 26 fields: five readings, slots 6 to 50 cleared
                              "1000005,\"g\",\"c\",\"c2\",\"d\",\"r\"" +
                              fiveReadings + "\r\n" +
                              // 6: fields beyond the 50th reading group and the user comments are ignored
                              "1000006,\"g\",\"c\",\"c2\",\"d\",\"r\"" + fiftyReadings + ",\"last\"" + extra + "\r\n";
    ASSERT_EQ(ReadDatabaseFile(file("rules.pdb", bytes)), DbOk);
    ASSERT_EQ(LoggerCount, 6);

    const LoggerRecord& r1 = LoggerTable[1];
    EXPECT_EQ(r1.Comment2, "51.5/-0.12");
    EXPECT_EQ(r1.Deployed, "2023/01/01");
    EXPECT_EQ(r1.Received, "");
    EXPECT_EQ(r1.ReadingDate[1], "2023/01/02");
    EXPECT_EQ(r1.Level[1], 12);
    EXPECT_EQ(r1.UserComments, "notes");

    const LoggerRecord& r2 = LoggerTable[2];
    EXPECT_EQ(r2.Comment2, "abc.\"dep\".\"rec");
    EXPECT_EQ(r2.Deployed, "2023/01/01");
    EXPECT_EQ(r2.Received, "");

    const LoggerRecord& r3 = LoggerTable[3];
    EXPECT_EQ(r3.Comment1, "one");
    EXPECT_EQ(r3.Comment2, "two\".\"c2\".\"dep");
    EXPECT_EQ(r3.Deployed, "rec");

    const LoggerRecord& r4 = LoggerTable[4];
    EXPECT_EQ(r4.Serial, 12345678);
    EXPECT_EQ(r4.GridRef, "AB 1234 5678");
    EXPECT_EQ(r4.Comment1, "quoted");
    EXPECT_EQ(r4.Deployed, "2023/01/01");
    EXPECT_EQ(r4.Received, "2023/01/01");
    EXPECT_EQ(r4.ReadingDate[1], "2023/01/02");
    EXPECT_EQ(r4.ReadingStatus[1], "st");
    EXPECT_EQ(r4.Level[1], 10); // only two characters of 100 are taken
    EXPECT_EQ(r4.Spread[1], 7);
    EXPECT_EQ(r4.UserComments, std::string(255, 'u'));

    const LoggerRecord& r5 = LoggerTable[5];
    EXPECT_EQ(r5.ReadingDate[5], "2023/01/02");
    EXPECT_EQ(r5.ReadingStatus[5], "Leak");
    EXPECT_EQ(r5.Spread[5], 3);
    EXPECT_EQ(r5.ReadingDate[6], "");
    EXPECT_EQ(r5.Level[50], 0);
    EXPECT_EQ(r5.UserComments, "");

    const LoggerRecord& r6 = LoggerTable[6];
    EXPECT_EQ(r6.ReadingStatus[50], "Leak");
    EXPECT_EQ(r6.Spread[50], 3);
    EXPECT_EQ(r6.UserComments, "last");
}

TEST_F(DatabaseFileTest, FieldUnitFilesMapStatusLetters) {
    std::vector<LoggerRecord> loggers = sampleLoggers();
    loadTable(loggers);
    FieldUnitFormat = true;
    const QString path = env.path(QStringLiteral("to.pdb"));
    ASSERT_EQ(WriteDatabaseFile(path, true, false), DbOk);
    ASSERT_EQ(ReadDatabaseFile(path), DbOk);
    // The third line of a field-unit file holds column texts under the titles: it is no logger.
    ASSERT_EQ(LoggerCount, 2);
    EXPECT_EQ(LoggerTable[1].Serial, loggers[0].Serial);
    EXPECT_EQ(LoggerTable[1].GridRef, loggers[0].GridRef);
    EXPECT_EQ(LoggerTable[2].ReadingStatus[1], "Leak");    // 40 - 20
    EXPECT_EQ(LoggerTable[2].ReadingStatus[2], "No leak"); // 35 - 20
    EXPECT_EQ(LoggerTable[2].ReadingStatus[3], "No leak"); // empty slot
    // Written again and read again, the list does not grow.
    ASSERT_EQ(WriteDatabaseFile(path, true, false), DbOk);
    ASSERT_EQ(ReadDatabaseFile(path), DbOk);
    EXPECT_EQ(LoggerCount, 2);
    // Titles with only the column texts under them hold no logger at all.
    LoggerCount = 0;
    ASSERT_EQ(WriteDatabaseFile(path, true, false), DbOk);
    EXPECT_EQ(ReadDatabaseFile(path), DbNothingAfterTitles);

    const std::string line = "1000001,\"g\",\"c\",\"c2\",\"d\",\"r\",\"\",\"w\",0,0,\"\",\" l \",0,0,\"\",\"x\",0,0,"
                             "\"\",\"\",0,0,\"\"";
    ASSERT_EQ(ReadDatabaseFile(file("from.pdb", "Brenholt Rovemark V1.00\r\ntitles\r\n" + line + "\r\n")), DbOk);
    FieldUnitFormat = false;
    const LoggerRecord& r = LoggerTable[1];
    EXPECT_EQ(r.ReadingStatus[1], "Warning");
    EXPECT_EQ(r.ReadingStatus[2], "Leak");
    EXPECT_EQ(r.ReadingStatus[3], "");
    EXPECT_EQ(r.ReadingStatus[4], "");
}

// An export carries the additional information seventh, before the readings; its column titles say so, and
// it reads back in that layout, whatever language file wrote its titles. Comments are written whole, commas
// and all, and read back cut to 255 characters.
TEST_F(DatabaseFileTest, ACsvExportReadsBackInItsOwnLayout) {
    std::vector<LoggerRecord> loggers = sampleLoggers();
    loggers[0].Comment2 = "51.5/-0.12";
    loggers[0].UserComments = "Checked by J, noisy, \"recheck\"";
    loggers.push_back(LoggerRecord{});
    loggers.back().Serial = 3530829;
    loggers.back().ReadingDate[50] = "2025/01/31";
    loggers.back().ReadingStatus[50] = "Leak";
    loggers.back().Level[50] = 45;
    loadTable(loggers);
    const QString path = env.path(QStringLiteral("export.csv"));
    ASSERT_EQ(WriteDatabaseFile(path, false, true), DbOk);
    const std::string written = TestEnv::readFile(path);
    // The same export with its column titles in another language.
    std::string translated = written;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"\"Date\"", "\"Datum\""},
                                   {"\"Status\"", "\"Zustand\""},
                                   {"\"More Info\"", "\"Zusatz\""}}) {
        const size_t titlesEnd = translated.find("\r\n", translated.find("\r\n") + 2);
        for (size_t p = translated.find(from); p != std::string::npos && p < titlesEnd;
             p = translated.find(from, p + to.size()))
            translated.replace(p, from.size(), to);
    }
    ASSERT_NE(translated, written);
    std::vector<LoggerRecord> expected = loggers;
    expected[1].UserComments.resize(255);
    for (const std::string& bytes : {written, translated}) {
        for (auto& rec : LoggerTable)
            ClearLoggerRecord(rec);
        LoggerCount = 0;
        ASSERT_EQ(ReadDatabaseFile(file("export.csv", bytes)), DbOk);
        ASSERT_EQ(LoggerCount, 3);
        for (int i = 1; i <= 3; ++i)
            EXPECT_EQ(LoggerTable[i], expected[i - 1]) << "logger " << i;
    }
}

TEST_F(DatabaseFileTest, AnEmptyTableWritesTheHeaderOnly) {
    const QString path = env.path(QStringLiteral("empty.pdb"));
    ASSERT_EQ(WriteDatabaseFile(path, false, false), DbOk);
    const std::string golden = withVersion(dataFile("database.pdb"));
    size_t headerEnd = golden.find("\r\n");
    headerEnd = golden.find("\r\n", headerEnd + 2) + 2;
    EXPECT_EQ(TestEnv::readFile(path), golden.substr(0, headerEnd));
    EXPECT_EQ(status.texts, QStringList{QString()});
}

TEST_F(DatabaseFileTest, AFailedWriteKeepsThePreviousFile) {
    loadTable(sampleLoggers());
    const std::string old = "old contents\r\n";
    const QString existing = file("keep.pdb", old);
    QDir(env.programDir()).mkdir(QStringLiteral("folder.pdb"));

    // Missing folder and a folder in the way.
    for (const QString& target :
         {env.path(QStringLiteral("no/such/folder/a.pdb")), env.path(QStringLiteral("folder.pdb"))}) {
        EXPECT_EQ(WriteDatabaseFile(target, false, false), DbWriteFailure) << qPrintable(target);
        EXPECT_FALSE(LastWriteErrorText().isEmpty());
        EXPECT_EQ(status.texts.back(), QString());
    }

    // A file whose mode bits forbid writing is refused even for root.
    QFile::setPermissions(existing, QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_EQ(WriteDatabaseFile(existing, false, false), DbWriteFailure);
    EXPECT_EQ(TestEnv::readFile(existing), old);
    QFile::setPermissions(existing, QFile::ReadOwner | QFile::WriteOwner);

    // Something that is not a plain file is not swapped for one.
    const QString pipe = env.path(QStringLiteral("pipe.pdb"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(WriteDatabaseFile(pipe, false, false), DbWriteFailure);
    EXPECT_EQ(QFileInfo(pipe).isFile(), false);
    EXPECT_TRUE(QFileInfo(env.path(QStringLiteral("folder.pdb"))).isDir());
    // No temporary copies are left behind.
    EXPECT_EQ(QDir(env.programDir()).entryList(QDir::Files | QDir::System).filter(QStringLiteral(".pdb")),
              (QStringList{QStringLiteral("keep.pdb"), QStringLiteral("pipe.pdb")}));

    ASSERT_EQ(WriteDatabaseFile(existing, false, false), DbOk);
    EXPECT_TRUE(LastWriteErrorText().isEmpty());
    EXPECT_EQ(TestEnv::readFile(existing), withVersion(dataFile("database.pdb")));
}

// An area of n loggers with a few readings each: 5 give a file of about 6 KB, 7000 the largest area.
std::vector<LoggerRecord> areaOf(int n, const std::string& comment) {
    std::vector<LoggerRecord> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        LoggerRecord& r = out[static_cast<size_t>(i)];
        r.Serial = 1100000 + i;
        r.GridRef = "TQ 1033 4179";
        r.Comment1 = comment;
        r.Comment2 = "51.50000/-0.12000";
        r.Deployed = "2024/05/01";
        for (int s = 1; s <= 20; ++s) {
            r.ReadingDate[s] = "2024/06/" + std::string(s < 10 ? "0" : "") + std::to_string(s);
            r.ReadingStatus[s] = "No leak";
            r.Level[s] = static_cast<int16_t>(20 + s);
            r.Spread[s] = static_cast<int16_t>(s);
        }
        r.UserComments = "Valve chamber, lid at kerb";
    }
    return out;
}

struct AreaFault {
    const char* name;
    FaultyFileCalls::Step step;
    int error;
    double room; // share of the new file the disk takes before it is full (write faults)
};

class AreaFileFullDiskTest : public DatabaseFileTest, public ::testing::WithParamInterface<AreaFault> {};

// A save that fails at any step, for the smallest and the largest area, leaves the file byte for byte and
// says why, naming the file.
TEST_P(AreaFileFullDiskTest, TheAreaFileStaysAsItWasAndTheReasonIsGiven) {
    const AreaFault& f = GetParam();
    for (const int loggers : {5, kMaxLoggers}) {
        SCOPED_TRACE(loggers);
        loadTable(areaOf(loggers, "old"));
        const QString path = env.path(QStringLiteral("AREA.PDB"));
        ASSERT_EQ(WriteDatabaseFile(path, false, false), DbOk);
        const std::string old = TestEnv::readFile(path);
        if (loggers == 5) {
            EXPECT_GT(old.size(), 5000u);
            EXPECT_LT(old.size(), 7000u);
        }
        loadTable(areaOf(loggers, "new"));
        {
            FaultyFileCalls faults(f.step, f.error, static_cast<size_t>(f.room * static_cast<double>(old.size())));
            EXPECT_EQ(WriteDatabaseFile(path, false, false), DbWriteFailure);
        }
        EXPECT_TRUE(TestEnv::readFile(path) == old);
        EXPECT_EQ(LastWriteErrorText(), plat::systemErrorText(f.error));
        EXPECT_EQ(DatabaseWriteFailureText(DbWriteFailure, path),
                  QStringLiteral("Cannot write:\n") + path + u'\n' + plat::systemErrorText(f.error));
        EXPECT_EQ(status.texts.back(), QString());
        EXPECT_EQ(QDir(env.programDir()).entryList({QStringLiteral("*AREA*")}, QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("AREA.PDB")});
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, AreaFileFullDiskTest,
                         ::testing::Values(AreaFault{"FullBeforeTheFirstByte", FaultyFileCalls::Step::Write, ENOSPC, 0},
                                           AreaFault{"FullHalfWay", FaultyFileCalls::Step::Write, ENOSPC, 0.5},
                                           AreaFault{"FullAtSync", FaultyFileCalls::Step::Sync, ENOSPC, 0},
                                           AreaFault{"IoErrorAtSync", FaultyFileCalls::Step::Sync, EIO, 0},
                                           AreaFault{"FullAtClose", FaultyFileCalls::Step::Close, ENOSPC, 0},
                                           AreaFault{"ReadOnlyFolder", FaultyFileCalls::Step::Open, EACCES, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// The same on real full disks: a filled tmpfs (where the test may mount one) and a file size limit.
TEST_F(DatabaseFileTest, AFullFileSystemLeavesTheAreaFileAsItWas) {
    SmallTmpfs disk(8 * 1024 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << qPrintable(disk.whyNot());
    for (const int loggers : {5, kMaxLoggers}) {
        SCOPED_TRACE(loggers);
        const QString path = disk.path(QString::number(loggers) + QStringLiteral(".pdb"));
        loadTable(areaOf(loggers, "old"));
        ASSERT_EQ(WriteDatabaseFile(path, false, false), DbOk);
        const std::string old = TestEnv::readFile(path);
        ASSERT_TRUE(disk.fill());
        loadTable(areaOf(loggers, "new"));
        EXPECT_EQ(WriteDatabaseFile(path, false, false), DbWriteFailure);
        EXPECT_TRUE(TestEnv::readFile(path) == old) << TestEnv::readFile(path).size() << " bytes";
        EXPECT_EQ(LastWriteErrorText(), plat::systemErrorText(ENOSPC));
        ASSERT_TRUE(QFile::remove(disk.path(QStringLiteral("filler"))));
    }
}

TEST_F(DatabaseFileTest, AFileSizeLimitLeavesTheAreaFileAsItWas) {
    for (const int loggers : {5, kMaxLoggers}) {
        SCOPED_TRACE(loggers);
        const QString path = env.path(QStringLiteral("AREA.PDB"));
        loadTable(areaOf(loggers, "old"));
        ASSERT_EQ(WriteDatabaseFile(path, false, false), DbOk);
        const std::string old = TestEnv::readFile(path);
        loadTable(areaOf(loggers, "new"));
        const int result = runWithFileSizeLimit(old.size() / 2, [&] {
            if (WriteDatabaseFile(path, false, false) != DbWriteFailure)
                return 0;
            return LastWriteErrorText() == plat::systemErrorText(EFBIG) ? EFBIG : 1;
        });
        EXPECT_EQ(result, EFBIG);
        EXPECT_TRUE(TestEnv::readFile(path) == old);
    }
}

TEST_F(DatabaseFileTest, ErrorTexts) {
    // A failure on the fifth line: banner, titles, two loggers, then a line of three fields.
    const std::string logger = "1000001,\"g\",\"c\",\"c2\",\"d\",\"r\"\r\n";
    ASSERT_EQ(ReadDatabaseFile(file("bad.pdb", "A V5\r\nt\r\n" + logger + logger + "1,2,3\r\n")), DbReadFailure);
    ASSERT_EQ(LinesRead, 5);
    const struct {
        int32_t code;
        bool withLine;
        const char* text;
    } cases[] = {{3, true, "Damaged file\r\nAt line 5 end"},
                 {3, false, "Damaged file"},
                 {7, true, "No loggers\r\nAt line 5 end"},
                 {4, true, "Cannot write"}, // the line of an earlier read says nothing about a write
                 {0, true, "Done"},
                 {1, false, "Odd error"},
                 {8, false, "Too large"},
                 {9, false, "Unknown error"},
                 {-1, true, "Unknown error"}};
    for (const auto& c : cases)
        EXPECT_EQ(DatabaseErrorText(c.code, c.withLine), QString::fromLatin1(c.text)) << c.code << c.withLine;
    LinesRead = 0;
    EXPECT_EQ(DatabaseErrorText(3, true), QStringLiteral("Damaged file"));
}

TEST(DatabaseFileSplit, SplitCsvField) {
    const struct {
        const char* line;
        int16_t position;
        int16_t maxLength;
        const char* field;
        int16_t next;
    } cases[] = {
        {"a,b", 1, -1, "a", 3},           {"a,b", 3, -1, "b", 4},         {"  \"x y\"  ,z", 1, -1, "x y", 11},
        {"abc", 1, -1, "abc", 4},         {"abc", 4, -1, "", 4}, // beyond the line: unchanged
        {"abc,", 5, -1, "", 5},                                  // the empty field after a final comma
        {"a,,b", 3, -1, "", 4},           {"\"abcdef\"", 1, 3, "abc", 9}, {"\"", 1, -1, "", 2},
        {"\"\"x\"\"", 1, -1, "\"x\"", 6}, {"x\",", 1, -1, "x", 4},        {"\"x", 1, 0, "", 3},
        {"ab", 0, -1, "ab", 3}, // a position before the line starts at its beginning
    };
    for (const auto& c : cases) {
        int16_t pos = c.position;
        EXPECT_EQ(SplitCsvField(c.line, pos, c.maxLength), c.field) << c.line << " @" << c.position;
        EXPECT_EQ(pos, c.next) << c.line << " @" << c.position;
    }
    // Positions are 16 bits wide; a field ending past that range leaves the position at its limit.
    const std::string longLine(40000, 'a');
    int16_t pos = 1;
    EXPECT_EQ(SplitCsvField(longLine, pos, 2), "aa");
    EXPECT_EQ(pos, 32767);
}

TEST_F(DatabaseFileTest, DatabaseFileExistsSearchesLikeADirectoryListing) {
    file("Area.PDB", "x");
    QDir(env.programDir()).mkdir(QStringLiteral("dir.pdb"));
    EXPECT_TRUE(DatabaseFileExists(env.path(QStringLiteral("Area.PDB"))));
    EXPECT_TRUE(DatabaseFileExists(env.path(QStringLiteral("*.pdb"))));
    EXPECT_TRUE(DatabaseFileExists(env.path(QStringLiteral("area.pdb"))));
    EXPECT_FALSE(DatabaseFileExists(env.path(QStringLiteral("other.pdb"))));
    EXPECT_FALSE(DatabaseFileExists(env.path(QStringLiteral("dir.pdb"))));
    EXPECT_FALSE(DatabaseFileExists(QString()));
}

TEST_F(DatabaseFileTest, LoadReportListsRepeatedSerials) {
    std::vector<LoggerRecord> loggers(6);
    const int32_t serials[] = {5, 7, 5, 5, 7, 9};
    for (size_t i = 0; i < loggers.size(); ++i)
        loggers[i].Serial = serials[i];
    loadTable(loggers);
    EXPECT_EQ(BuildLoadReport(), QStringLiteral("No.\tSerial\tCount\n1\t00000005\t3\n2\t00000007\t2\n"));
    EXPECT_EQ(status.texts.first(), QStringLiteral("Checking serials"));
    EXPECT_TRUE(status.texts.contains(QStringLiteral("Checking 6")));
    EXPECT_EQ(status.texts.back(), QStringLiteral("Repeats: 2"));

    LoggerTable[3].Serial = 8;
    LoggerTable[4].Serial = 4;
    LoggerTable[5].Serial = 6;
    EXPECT_EQ(BuildLoadReport(), QString());
    EXPECT_EQ(status.texts.back(), QStringLiteral("No repeats in 6"));

    LoggerCount = 0;
    EXPECT_EQ(BuildLoadReport(), QString());
}

TEST_F(DatabaseFileTest, LineBreaksInsideItemsAreWrittenAsBlanks) {
    std::vector<LoggerRecord> loggers = sampleLoggers();
    loggers[0].Comment1 = "first\r\nsecond";
    loggers[0].UserComments = "line one\nline two";
    loggers[1].ReadingDate[1] = "2024/01/\r01";
    loadTable(loggers);
    const QString path = env.path(QStringLiteral("breaks.pdb"));
    ASSERT_EQ(WriteDatabaseFile(path, false, false), DbOk);
    ASSERT_EQ(ReadDatabaseFile(path), DbOk);
    ASSERT_EQ(LoggerCount, static_cast<int16_t>(loggers.size()));
    EXPECT_EQ(LoggerTable[1].Comment1, "first  second");
    EXPECT_EQ(LoggerTable[1].UserComments, "line one line two");
    EXPECT_EQ(LoggerTable[1].Serial, loggers[0].Serial);
    EXPECT_EQ(LoggerTable[2].Serial, loggers[1].Serial);
}
