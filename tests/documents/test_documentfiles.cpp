// Opening, creating and saving logger documents.
#include "DocumentFixtures.h"
#include "FaultyFileCalls.h"
#include "FullDisk.h"
#include "core/DatabaseFile.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/AtomicFile.h"
#include "platform/VbRuntime.h"
#include "platform/WindowRegistry.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

const std::vector<FixtureLogger> kTwo = {
    {1100001, "AB 1234 5678", "North", "51.5/-0.12", "2023/01/02", "", "2023/02/01", "L", 40, 10, "note"},
    {1100002, "AB 2234 5678", "South", "", "2023/01/03", "", "", "", 0, 0, ""},
};

class DocumentFilesTest : public ::testing::Test, public DocumentTest {
protected:
    void TearDown() override {
        CloseAllWindows();
        flushDeletes();
    }
    std::vector<frmDocument*> reportWindows() const {
        std::vector<frmDocument*> out;
        for (QWidget* w : plat::windows::loadedNamed(QStringLiteral("frmDocument")))
            out.push_back(static_cast<frmDocument*>(w));
        return out;
    }
    QString queue() const { return env.path(QStringLiteral("rovemark/autoexport")); }
};

TEST_F(DocumentFilesTest, DuplicateSerialsAskAndYesShowsTheWholeReport) {
    auto loggers = kTwo;
    loggers.push_back(loggers[0]);
    const QString path = env.writeFile(QStringLiteral("dup.pdb"), areaFile(loggers));
    ScriptedUi ui;
    ui.expectMessage(plat::IDYES, LoadLangString(txt::DuplicateQuestion));
    OpenDocument(path);
    ASSERT_EQ(ui.messages().size(), 1u);
    const auto& m = ui.messages().front();
    EXPECT_EQ(m.style, 4 + 16 + 256);
    EXPECT_EQ(m.title, path);
    EXPECT_TRUE(m.prompt.endsWith(u'\n' + LoadLangString(txt::ShowReportQuestion)));
    EXPECT_TRUE(m.prompt.contains(QStringLiteral("01100001")));

    ASSERT_TRUE(ActiveDocument);
    EXPECT_EQ(ActiveDocument->RecordCount, 3);
    const auto reports = reportWindows();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]->windowTitle(), LoadLangString(txt::ReportCaption) + QStringLiteral("dup.pdb.log"));
    EXPECT_EQ(reports[0]->text(), LoadLangString(txt::No) + u'\t' + LoadLangString(txt::SerialPrefix) + u'\t' +
                                      LoadLangString(txt::Count) + QStringLiteral("\n1\t01100001\t2\n"));
    EXPECT_TRUE(reports[0]->AskForSave); // a fresh report counts as changed
}

TEST_F(DocumentFilesTest, DuplicateSerialsAnsweredNoOpenNothing) {
    auto loggers = kTwo;
    loggers.push_back(loggers[1]);
    const QString path = env.writeFile(QStringLiteral("dup.pdb"), areaFile(loggers));
    ScriptedUi ui;
    ui.expectMessage(plat::IDNO);
    OpenDocument(path);
    EXPECT_FALSE(ActiveDocument);
    EXPECT_TRUE(reportWindows().empty());
    EXPECT_TRUE(plat::windows::loadedNamed(QStringLiteral("frmDMA")).empty());
}

TEST_F(DocumentFilesTest, ReportsOf100CharactersAreShortenedInTheQuestion) {
    // A repeated serial's report line is 13 characters with a one-digit count and 14 with a two-digit one;
    // choose how many of each make a report of exactly 99 and exactly 100 characters.
    const int heading = (LoadLangString(txt::No) + u'\t' + LoadLangString(txt::SerialPrefix) + u'\t' +
                         LoadLangString(txt::Count) + u'\n')
                            .size();
    for (const int length : {99, 100}) {
        int twice = -1, often = -1;
        for (int b = 0; b <= 9 && twice < 0; ++b)
            for (int a = 0; a + b <= 9; ++a)
                if (heading + 13 * a + 14 * b == length) {
                    twice = a;
                    often = b;
                    break;
                }
        ASSERT_GE(twice, 0) << "no report of " << length << " characters with these texts";
        std::vector<FixtureLogger> loggers;
        for (int s = 0; s < twice + often; ++s)
            for (int copy = 0; copy < (s < twice ? 2 : 10); ++copy) {
                FixtureLogger l;
                l.serial = 1200000 + s;
                loggers.push_back(l);
            }
        const QString path = env.writeFile(QStringLiteral("many.pdb"), areaFile(loggers));
        ScriptedUi ui;
        ui.expectMessage(plat::IDYES);
        OpenDocument(path);
        const QString report = reportWindows().back()->text();
        ASSERT_EQ(report.size(), length);
        const QString shown = length < 100 ? report : report.left(100) + LoadLangString(txt::ListShortened) + u'\n';
        EXPECT_EQ(ui.messages().front().prompt, LoadLangString(txt::DuplicateQuestion) + u'\n' + shown + u'\n' +
                                                    LoadLangString(txt::ShowReportQuestion));
        TearDown();
    }
}

TEST_F(DocumentFilesTest, UnreadableFileGivesTheReadersErrorWithItsLine) {
    std::string bytes = areaFile(kTwo);
    bytes += "123,AB,C\r\n"; // line 5: too few fields
    const QString path = env.writeFile(QStringLiteral("bad.pdb"), bytes);
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK);
    OpenDocument(path);
    const QString prompt = ui.messages().front().prompt;
    EXPECT_EQ(prompt, LoadLangString(txt::FileUnreadable) + QStringLiteral("\r\n") +
                          LoadLangString(txt::TheErrorOccurredAtLine) + u'5' + LoadLangString(txt::OfTheFile) +
                          QStringLiteral(":\n") + path);
    EXPECT_FALSE(ActiveDocument);

    ui.expectMessage(plat::IDOK);
    OpenDocument(env.path(QStringLiteral("absent.pdb")));
    EXPECT_TRUE(ui.messages().back().prompt.startsWith(LoadLangString(txt::TheFileCouldNotBe)));
    EXPECT_TRUE(plat::windows::loadedNamed(QStringLiteral("frmDMA")).empty());
}

// A file past the logger limit is named as a likely cause, and the texts join into plain sentences.
TEST_F(DocumentFilesTest, AFileOverTheLoggerLimitIsExplainedInReadableText) {
    std::vector<FixtureLogger> loggers;
    for (int i = 1; i <= 7001; ++i)
        loggers.push_back({1000000 + i, "AB 1234 5678", "", "", "", "", "", "", 0, 0, ""});
    const QString path = env.writeFile(QStringLiteral("big.pdb"), areaFile(loggers));
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK);
    OpenDocument(path);
    const QString prompt = ui.messages().front().prompt;
    EXPECT_TRUE(prompt.contains(QStringLiteral("7000 loggers"))) << prompt.toStdString();
    EXPECT_TRUE(prompt.endsWith(QStringLiteral("line 7003 of the file:\n") + path)) << prompt.toStdString();
    for (const char* clumsy : {".:", ". :", "  "})
        EXPECT_FALSE(prompt.contains(QLatin1String(clumsy))) << clumsy;
}

TEST_F(DocumentFilesTest, NewDocumentsAreNumbered) {
    ScriptedUi ui;
    NewDocument();
    NewDocument();
    NewDocument();
    const auto windows = plat::windows::loadedNamed(QStringLiteral("frmDMA"));
    ASSERT_EQ(windows.size(), 3u);
    auto* third = static_cast<frmDMA*>(windows[2]);
    EXPECT_EQ(third->windowTitle(), LoadLangString(txt::Untitled) + QStringLiteral("0003.PDB"));
    EXPECT_EQ(third->DMAName, LoadLangString(txt::Untitled) + QStringLiteral("0003"));
    EXPECT_TRUE(third->NeverBeenSaved);
    EXPECT_FALSE(third->AskForSave);
    EXPECT_EQ(third->RecordCount, 0);
    EXPECT_EQ(third->NumHistories, 50);

    NewDocumentCounter = 9999;
    NewDocument();
    EXPECT_EQ(plat::windows::loadedNamed(QStringLiteral("frmDMA")).back()->windowTitle(),
              LoadLangString(txt::Untitled) + QStringLiteral("10000.PDB"));
}

TEST_F(DocumentFilesTest, SaveWritesTheDatabaseLayoutAndCopiesIntoTheQueue) {
    QDir().mkpath(env.path(QStringLiteral("Rovemark/AutoExport")));
    const QString source = env.writeFile(QStringLiteral("area.pdb"), areaFile(kTwo));
    ScriptedUi ui;
    OpenDocument(source);
    frmDMA* w = ActiveDocument.data();
    ASSERT_TRUE(w);
    w->AskForSave = true;
    w->NeverBeenSaved = true;
    const QString target = env.path(QStringLiteral("saved.pdb"));
    ASSERT_TRUE(SaveLoggerFile(w, target, QString()));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_FALSE(w->AskForSave);
    EXPECT_FALSE(w->NeverBeenSaved);
    EXPECT_EQ(w->windowTitle(), target);
    EXPECT_EQ(w->DMAName, QStringLiteral("saved.pdb"));

    const std::string written = TestEnv::readFile(target);
    EXPECT_EQ(written.substr(0, 1), "\"");
    EXPECT_EQ(TestEnv::readFile(env.path(QStringLiteral("Rovemark/AutoExport/saved.pdb"))), written);
    // Read back, the file holds the window's loggers.
    ASSERT_EQ(ReadDatabaseFile(target), 0);
    ASSERT_EQ(LoggerCount, 2);
    for (int i = 1; i <= 2; ++i)
        EXPECT_EQ(LoggerTable[static_cast<size_t>(i)], w->localRecord(i)) << i;
}

TEST_F(DocumentFilesTest, ExportWritesCsvColumnsOnlyForTheExactExtension) {
    QDir().mkpath(env.path(QStringLiteral("rovemark/autoexport")));
    const QString source = env.writeFile(QStringLiteral("area.pdb"), areaFile(kTwo));
    ScriptedUi ui;
    OpenDocument(source);
    frmDMA* w = ActiveDocument.data();
    w->AskForSave = true;
    const QString base = env.path(QStringLiteral("north"));
    const QString other = env.path(QStringLiteral("south"));
    ASSERT_TRUE(SaveLoggerFile(w, base, QStringLiteral(".csv")));
    ASSERT_TRUE(SaveLoggerFile(w, other, QStringLiteral(".CSV")));
    // An export leaves the window's file and flags alone.
    EXPECT_TRUE(w->AskForSave);
    EXPECT_EQ(w->windowTitle(), source);

    const std::string csv = TestEnv::readFile(base + QStringLiteral(".csv"));
    const std::string pdb = TestEnv::readFile(other + QStringLiteral(".CSV"));
    // CSV columns: user comments straight after the received field.
    EXPECT_NE(csv.find("\"51.5/-0.12\",\"2023/01/02\",\"\",\"note\",\"2023/02/01\""), std::string::npos);
    EXPECT_EQ(pdb.find("\"51.5/-0.12\",\"2023/01/02\",\"\",\"note\""), std::string::npos);
    EXPECT_EQ(TestEnv::readFile(queue() + QStringLiteral("/north.csv")), csv);
    EXPECT_EQ(TestEnv::readFile(queue() + QStringLiteral("/south.CSV")), pdb);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(DocumentFilesTest, FailedQueueCopyIsReportedButTheSaveCounts) {
    const QString source = env.writeFile(QStringLiteral("area.pdb"), areaFile(kTwo));
    ScriptedUi ui;
    OpenDocument(source);
    frmDMA* w = ActiveDocument.data();
    w->AskForSave = true;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::QueueCopyFailed) + QStringLiteral("\r\n\r\n"));
    ASSERT_TRUE(SaveLoggerFile(w, source, QString()));
    const auto& m = ui.messages().back();
    EXPECT_EQ(m.style, 48);
    EXPECT_TRUE(m.prompt.endsWith(QStringLiteral("area.pdb")));
    EXPECT_FALSE(w->AskForSave);
    // The queue folder not being there yet is said once; the next save is quiet.
    const size_t said = ui.messages().size();
    ASSERT_TRUE(SaveLoggerFile(w, source, QString()));
    EXPECT_EQ(ui.messages().size(), said);
    // Any other failure is said every time: here the queue holds a folder where the copy must go.
    QDir().mkpath(queue() + QStringLiteral("/area.pdb/x"));
    for (int i = 0; i < 2; ++i) {
        ui.expectMessage(plat::IDOK, LoadLangString(txt::QueueCopyFailed) + QStringLiteral("\r\n\r\n"));
        ASSERT_TRUE(SaveLoggerFile(w, source, QString()));
    }
    EXPECT_EQ(ui.messages().size(), said + 2);
    // The message gives the system's reason after the file.
    EXPECT_TRUE(ui.messages().back().prompt.endsWith(QStringLiteral("area.pdb\r\n") + plat::systemErrorText(EISDIR)));
}

TEST_F(DocumentFilesTest, QueueCopyFollowsThePathTheWriterResolved) {
    QDir().mkpath(env.path(QStringLiteral("Rovemark/AutoExport")));
    QDir().mkpath(env.path(QStringLiteral("Areas")));
    const QString source = env.writeFile(QStringLiteral("Areas/area.pdb"), areaFile(kTwo));
    ScriptedUi ui;
    OpenDocument(source);
    frmDMA* w = ActiveDocument.data();
    // The folder is named in another letter case than on disk: the file is written into the existing folder
    // and the same file is copied into the queue, without a warning.
    ASSERT_TRUE(SaveLoggerFile(w, env.path(QStringLiteral("AREAS/area.pdb")), QString()));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(TestEnv::readFile(env.path(QStringLiteral("Rovemark/AutoExport/area.pdb"))), TestEnv::readFile(source));
}

TEST_F(DocumentFilesTest, FailedWriteKeepsTheOldFileAndTheWindowUnsaved) {
    QDir().mkpath(env.path(QStringLiteral("Rovemark/AutoExport")));
    const QString source = env.writeFile(QStringLiteral("area.pdb"), areaFile(kTwo));
    ScriptedUi ui;
    OpenDocument(source);
    frmDMA* w = ActiveDocument.data();
    w->AskForSave = true;
    const QString target = env.path(QStringLiteral("no-such-folder/area.pdb"));
    ui.expectMessage(plat::IDOK);
    EXPECT_FALSE(SaveLoggerFile(w, target, QString()));
    // A write failure names no line: the last read's line count has nothing to do with it.
    // The message names the file and the system's reason.
    EXPECT_EQ(ui.messages().back().prompt, LoadLangString(txt::FileNotWritten) + QStringLiteral(":\n") + target +
                                               u'\n' + plat::systemErrorText(ENOENT));
    EXPECT_TRUE(w->AskForSave);
    EXPECT_EQ(w->windowTitle(), source);
    EXPECT_TRUE(QDir(queue()).entryList(QDir::Files).isEmpty());
}

const std::vector<FixtureLogger> kFive = {
    {1100001, "TQ 1033 4179", "North", "", "2024/05/01", "", "2024/06/01", "N", 30, 5, "kerb"},
    {1100002, "TQ 1034 4179", "South", "", "2024/05/01", "", "2024/06/01", "N", 31, 5, ""},
    {1100003, "TQ 1035 4179", "East", "", "2024/05/01", "", "2024/06/01", "L", 45, 5, ""},
    {1100004, "TQ 1036 4179", "West", "", "2024/05/01", "", "", "", 0, 0, ""},
    {1100005, "TQ 1037 4179", "Centre", "", "2024/05/01", "", "2024/06/02", "N", 20, 4, "lid stuck"},
};

struct SaveFault {
    const char* name;
    FaultyFileCalls::Step step;
    int error;
    size_t room;
};

class SaveOnAFailingDiskTest : public DocumentFilesTest, public ::testing::WithParamInterface<SaveFault> {};

// The Save command on a disk that fills up or fails: the file on disk stays byte for byte, the window stays
// unsaved, nothing reaches the queue, and the message names the file and the reason.
TEST_P(SaveOnAFailingDiskTest, KeepsTheFileAndSaysWhy) {
    const SaveFault& f = GetParam();
    QDir().mkpath(queue());
    const QString path = env.writeFile(QStringLiteral("AREA.PDB"), areaFile(kFive));
    const std::string old = TestEnv::readFile(path);
    ScriptedUi ui;
    OpenDocument(path);
    frmDMA* w = ActiveDocument.data();
    ASSERT_TRUE(w);
    w->GetLocalRecByIndex(0, 1);
    LoggerTable[0].Comment1 = "changed";
    w->PutLocalRecByIndex(0, 1);
    w->AskForSave = true;
    ui.expectMessage(plat::IDOK);
    {
        FaultyFileCalls faults(f.step, f.error, f.room);
        EXPECT_FALSE(SaveLoggerDocument(w));
    }
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].prompt, LoadLangString(txt::FileNotWritten) + QStringLiteral(":\n") + path + u'\n' +
                                           plat::systemErrorText(f.error));
    EXPECT_TRUE(TestEnv::readFile(path) == old);
    EXPECT_TRUE(w->AskForSave);
    EXPECT_TRUE(QDir(queue()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(QDir(env.programDir()).entryList({QStringLiteral("*AREA*")}, QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("AREA.PDB")});
    // With the disk mended the same command saves.
    ASSERT_TRUE(SaveLoggerDocument(w));
    EXPECT_FALSE(w->AskForSave);
    EXPECT_NE(TestEnv::readFile(path).find("changed"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Faults, SaveOnAFailingDiskTest,
                         ::testing::Values(SaveFault{"DiskFull", FaultyFileCalls::Step::Write, ENOSPC, 0},
                                           SaveFault{"DiskFullHalfWay", FaultyFileCalls::Step::Write, ENOSPC, 2000},
                                           SaveFault{"IoErrorAtSync", FaultyFileCalls::Step::Sync, EIO, 0},
                                           SaveFault{"DiskFullAtClose", FaultyFileCalls::Step::Close, ENOSPC, 0},
                                           SaveFault{"ReadOnlyFolder", FaultyFileCalls::Step::Open, EACCES, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// The report's case: a 5-logger area on a 512 KB tmpfs filled to the last byte, saved with the Save command.
TEST_F(DocumentFilesTest, SaveOnAFullTmpfsKeepsTheFileAndSaysWhy) {
    SmallTmpfs disk(512 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << qPrintable(disk.whyNot());
    const QString path = disk.path(QStringLiteral("AREA.PDB"));
    const std::string old = areaFile(kFive);
    ASSERT_TRUE(plat::writeFileAtomically(path, old));
    ScriptedUi ui;
    OpenDocument(path);
    frmDMA* w = ActiveDocument.data();
    ASSERT_TRUE(w);
    w->AskForSave = true;
    ASSERT_TRUE(disk.fill());
    ui.expectMessage(plat::IDOK);
    EXPECT_FALSE(SaveLoggerDocument(w));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].prompt, LoadLangString(txt::FileNotWritten) + QStringLiteral(":\n") + path + u'\n' +
                                           plat::systemErrorText(ENOSPC));
    EXPECT_TRUE(TestEnv::readFile(path) == old) << TestEnv::readFile(path).size() << " bytes";
    EXPECT_TRUE(w->AskForSave);
    w->AskForSave = false;
}

// A text document (a load or merge report) saved on a full disk: its file stays and the reason is shown.
TEST_F(DocumentFilesTest, ATextDocumentSavedOnAFullDiskSaysWhy) {
    const QString path = env.writeFile(QStringLiteral("report.log"), "{\\rtf1 old}");
    ScriptedUi ui;
    auto* document = new frmDocument;
    document->setText(QStringLiteral("Merge report"));
    document->setWindowTitle(path);
    ui.expectSaveFile(path);
    ui.expectMessage(plat::IDOK);
    {
        FaultyFileCalls full(FaultyFileCalls::Step::Write, ENOSPC, 0);
        EXPECT_FALSE(SaveTextDocument(document, txt::SaveTitle));
    }
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].prompt,
              LoadLangString(txt::TextSaveFailed) + path + u'\n' + plat::systemErrorText(ENOSPC));
    EXPECT_EQ(TestEnv::readFile(path), "{\\rtf1 old}");
    document->AskForSave = false;
}

TEST_F(DocumentFilesTest, TheClosingWindowIsSavedNotTheActiveOne) {
    QDir().mkpath(env.path(QStringLiteral("Rovemark/AutoExport")));
    const QString a = env.writeFile(QStringLiteral("a.pdb"), areaFile(kTwo));
    auto other = kTwo;
    other[0].comment1 = "Other";
    const QString b = env.writeFile(QStringLiteral("b.pdb"), areaFile(other));
    ScriptedUi ui;
    OpenDocument(a);
    QPointer<frmDMA> first = ActiveDocument.data();
    OpenDocument(b);
    ASSERT_NE(ActiveDocument, first);
    first->AskForSave = true;
    first->GetLocalRecByIndex(0, 1);
    LoggerTable[0].Comment2 = "edited in a";
    first->PutLocalRecByIndex(0, 1);
    ui.expectMessage(plat::IDYES);
    EXPECT_TRUE(first->close());
    const std::string written = TestEnv::readFile(a);
    EXPECT_NE(written.find("edited in a"), std::string::npos);
    EXPECT_EQ(written.find("Other"), std::string::npos);
}

TEST_F(DocumentFilesTest, DocumentHostOpensAndReportsTheActiveWindow) {
    const QString path = env.writeFile(QStringLiteral("area.pdb"), areaFile(kTwo));
    ScriptedUi ui;
    DocumentWindows host;
    EXPECT_FALSE(host.hasActiveDocument());
    host.openDocument(path);
    EXPECT_TRUE(host.hasActiveDocument());
    EXPECT_EQ(FileTitle(host.activeDocumentName()), QStringLiteral("area.pdb"));
    host.findInActive(QStringLiteral("01100002"));
    EXPECT_EQ(ActiveDocument->SelLine, 2);
}

TEST_F(DocumentFilesTest, FileFiltersBecomeQtFilters) {
    EXPECT_EQ(FileFilterFromText(QStringLiteral("Logger files|*.pdb;*.csv|All files|*.*")),
              QStringLiteral("Logger files (*.pdb *.csv);;All files (*)"));
    EXPECT_EQ(FileFilterFromText(QString()), QStringLiteral("*"));
}

} // namespace

namespace {

// Changes a list window's first logger, as an edit in the window does.
void editFirstLogger(frmDMA* w, const char* comment) {
    w->GetLocalRecByIndex(0, 1);
    LoggerTable[0].Comment1 = comment;
    w->PutLocalRecByIndex(0, 1);
    w->AskForSave = true;
}

std::vector<frmDMA*> listWindows() {
    std::vector<frmDMA*> out;
    for (QWidget* w : plat::windows::loadedNamed(QStringLiteral("frmDMA")))
        if (!static_cast<frmDMA*>(w)->unloaded())
            out.push_back(static_cast<frmDMA*>(w));
    return out;
}

} // namespace

// Opening a file that a window already holds, by its path or another name of it, brings that window forward:
// two windows of one file would undo each other's saves.
TEST_F(DocumentFilesTest, OpeningAFileAWindowHoldsBringsThatWindowForward) {
    const QString twice = env.writeFile(QStringLiteral("twice.pdb"), areaFile(kTwo));
    const QString other = env.writeFile(QStringLiteral("other.pdb"), areaFile(kTwo));
    QDir().mkpath(env.path(QStringLiteral("sub")));
    ASSERT_TRUE(QFile::link(twice, env.path(QStringLiteral("sub/link.pdb"))));
    ScriptedUi ui;
    OpenDocument(twice);
    QPointer<frmDMA> first = ActiveDocument.data();
    ASSERT_TRUE(first);
    first->SelLine = 2;
    for (const QString& name :
         {twice, env.path(QStringLiteral("sub/../twice.pdb")), env.path(QStringLiteral("sub/link.pdb"))}) {
        SCOPED_TRACE(name.toStdString());
        OpenDocument(other);
        ASSERT_NE(ActiveDocument.data(), first.data());
        OpenDocument(name);
        EXPECT_EQ(ActiveDocument.data(), first.data());
        EXPECT_EQ(first->SelLine, 2);
        EXPECT_TRUE(ui.messages().empty());
    }
    EXPECT_EQ(listWindows().size(), 2u);
}

// A file changed on disk since its window read it (another program saved it) is worth a second look: the user
// is asked, No brings the window forward, Yes opens the file as it is now in a new window.
TEST_F(DocumentFilesTest, OpeningAFileChangedSinceItsWindowReadItAsks) {
    const QString twice = env.writeFile(QStringLiteral("twice.pdb"), areaFile(kTwo));
    ScriptedUi ui;
    OpenDocument(twice);
    QPointer<frmDMA> first = ActiveDocument.data();
    auto changed = kTwo;
    changed[0].comment1 = "Changed elsewhere";
    env.writeFile(QStringLiteral("twice.pdb"), areaFile(changed));

    ui.expectMessage(plat::IDNO, LoadLangString(txt::AlreadyOpenChanged));
    OpenDocument(twice);
    EXPECT_EQ(listWindows().size(), 1u);
    EXPECT_EQ(ActiveDocument.data(), first.data());
    EXPECT_EQ(ui.messages().back().style, plat::MB_YESNO | plat::MB_ICONEXCLAMATION | plat::MB_DEFBUTTON2);

    ui.expectMessage(plat::IDYES, LoadLangString(txt::AlreadyOpenChanged));
    OpenDocument(twice);
    ASSERT_EQ(listWindows().size(), 2u);
    EXPECT_NE(ActiveDocument.data(), first.data());
    EXPECT_EQ(ActiveDocument->localRecord(1).Comment1, "Changed elsewhere");
}

// Another program (a second copy of the program, or another window's Save As) replaced the file after this
// window read it. However it changed (size, modification time, or a new file under the name), a Save asks
// before replacing it; No writes nothing and leaves the window's changes unsaved.
TEST_F(DocumentFilesTest, SavingOverAFileChangedOnDiskAsksFirst) {
    enum Change { OtherSize, SameSizeLaterTime, ReplacedSameSizeAndTime };
    for (const Change change : {OtherSize, SameSizeLaterTime, ReplacedSameSizeAndTime}) {
        for (const int answer : {plat::IDNO, plat::IDYES}) {
            SCOPED_TRACE(testing::Message() << change << " answer " << answer);
            QDir().mkpath(queue());
            const QString path = env.writeFile(QStringLiteral("twice.pdb"), areaFile(kTwo));
            ScriptedUi ui;
            OpenDocument(path);
            frmDMA* w = ActiveDocument.data();
            ASSERT_TRUE(w);
            editFirstLogger(w, "Window one");

            auto theirs = kTwo;
            const FileStamp before = FileStampOf(path);
            if (change == ReplacedSameSizeAndTime) {
                // Same length as the window's file, written beside it and renamed over it with the old time.
                theirs[1].comment1 = "South";
                theirs[1].gridRef = "AB 2234 5679";
                const std::string same = areaFile(theirs);
                ASSERT_EQ(same.size(), static_cast<size_t>(before.size));
                const QString beside = env.writeFile(QStringLiteral("beside.pdb"), same);
                const timespec times[2] = {{0, UTIME_OMIT},
                                           {before.modifiedNs / 1000000000, before.modifiedNs % 1000000000}};
                ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(beside).constData(), times, 0), 0);
                ASSERT_EQ(::rename(QFile::encodeName(beside).constData(), QFile::encodeName(path).constData()), 0);
            } else {
                // Another size, or the same size (one character less in a comment, one more in the other).
                theirs[1].comment1 = change == OtherSize ? "Their much longer text" : "Sout";
                theirs[1].comment2 = change == OtherSize ? "" : "x";
                env.writeFile(QStringLiteral("twice.pdb"), areaFile(theirs));
                if (change == SameSizeLaterTime) {
                    ASSERT_EQ(FileStampOf(path).size, before.size);
                    const timespec times[2] = {{0, UTIME_OMIT}, {before.modifiedNs / 1000000000 + 5, 0}};
                    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
                }
            }
            const std::string theirFile = TestEnv::readFile(path);

            ui.expectMessage(answer, LoadLangString(txt::FileChangedOnDisk));
            EXPECT_EQ(SaveLoggerDocument(w), answer == plat::IDYES);
            ASSERT_EQ(ui.messages().size(), 1u);
            EXPECT_TRUE(ui.messages().back().prompt.endsWith(path));
            if (answer == plat::IDNO) {
                EXPECT_EQ(TestEnv::readFile(path), theirFile);
                EXPECT_TRUE(w->AskForSave);
            } else {
                EXPECT_NE(TestEnv::readFile(path).find("Window one"), std::string::npos);
                EXPECT_FALSE(w->AskForSave);
                // Written by this window, the file is the window's own again: the next save does not ask.
                editFirstLogger(w, "Window one again");
                EXPECT_TRUE(SaveLoggerDocument(w));
                EXPECT_EQ(ui.messages().size(), 1u);
            }
            CloseAllWindows();
            flushDeletes();
        }
    }
}

// The sequence that lost a cut logger: a list opened twice, a logger cut and saved in one window, another cut
// and saved in the other. The second Open brings the first window forward, so both cuts end in the file.
TEST_F(DocumentFilesTest, TwoCutsSavedFromOneFileOpenedTwiceBothStay) {
    auto three = kTwo;
    three.push_back({6433012, "AB 3234 5678", "East", "", "", "", "", "", 0, 0, ""});
    three.push_back({3530829, "AB 4234 5678", "West", "", "", "", "", "", 0, 0, ""});
    QDir().mkpath(queue());
    const QString path = env.writeFile(QStringLiteral("twice.pdb"), areaFile(three));
    // Every message box is scripted: an unexpected one (a question before the second save) fails the test.
    ScriptedUi ui;
    OpenDocument(path);
    OpenDocument(path);
    ASSERT_EQ(listWindows().size(), 1u);
    frmDMA* w = ActiveDocument.data();
    for (const int32_t serial : {6433012, 3530829}) {
        w->MakeVisibleListLine(w->GetLineFromSerial(serial));
        ui.expectMessage(plat::IDYES, plat::vb::formatSerialQ(serial));
        ASSERT_TRUE(w->RemoveRecord());
        w->AskForSave = true;
        ASSERT_TRUE(SaveLoggerDocument(w));
    }
    EXPECT_EQ(ui.messages().size(), 2u);
    ASSERT_EQ(ReadDatabaseFile(path), DbOk);
    EXPECT_EQ(LoggerCount, 2);
}

// Save As (and the first Save of a new list) onto a file another window holds asks first; No writes nothing.
TEST_F(DocumentFilesTest, SavingOntoAFileAnotherWindowHoldsAsksFirst) {
    QDir().mkpath(queue());
    const QString held = env.writeFile(QStringLiteral("held.pdb"), areaFile(kTwo));
    auto mine = kTwo;
    mine[0].comment1 = "Mine";
    const QString source = env.writeFile(QStringLiteral("mine.pdb"), areaFile(mine));
    ScriptedUi ui;
    OpenDocument(held);
    QPointer<frmDMA> holder = ActiveDocument.data();
    OpenDocument(source);
    frmDMA* w = ActiveDocument.data();
    ASSERT_NE(w, holder.data());
    const std::string before = TestEnv::readFile(held);

    ui.expectMessage(plat::IDNO, LoadLangString(txt::FileInOtherWindow));
    EXPECT_FALSE(SaveLoggerFile(w, held, QString()));
    EXPECT_EQ(TestEnv::readFile(held), before);
    EXPECT_EQ(w->windowTitle(), source);

    ui.expectMessage(plat::IDYES, LoadLangString(txt::FileInOtherWindow));
    EXPECT_TRUE(SaveLoggerFile(w, held, QString()));
    EXPECT_NE(TestEnv::readFile(held).find("Mine"), std::string::npos);
    EXPECT_EQ(ui.messages().size(), 2u);
    // The window that held it sees the file changed under it: its own Save asks in turn.
    editFirstLogger(holder, "Holder");
    ui.expectMessage(plat::IDNO, LoadLangString(txt::FileChangedOnDisk));
    EXPECT_FALSE(SaveLoggerDocument(holder));
    EXPECT_NE(TestEnv::readFile(held).find("Mine"), std::string::npos);
}
