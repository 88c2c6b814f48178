// Ambleway files: one line into a logger list window, and the whole import through the communications server.
#include "DocumentFixtures.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/AmblewayImport.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "platform/AtomicFile.h"
#include "platform/WindowMessages.h"
#include "platform/WindowRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::vector<FixtureLogger> kArea = {
    {1100001, "AB 1234 5678", "North", "51.5/-0.12", "2023/01/02", "2023/03/04", "2023/02/01", "L", 40, 10, "note"},
    {1100002, "AB 2234 5678", "South", "", "2023/01/03", "", "", "", 0, 0, ""},
};

class AmblewayTest : public ::testing::Test, public DocumentTest {
protected:
    void SetUp() override {
        ScriptedUi ui;
        OpenDocument(env.writeFile(QStringLiteral("area.pdb"), areaFile(kArea)));
        ASSERT_TRUE(ActiveDocument);
        doc = ActiveDocument;
    }
    void TearDown() override {
        CloseAllWindows();
        flushDeletes();
    }
    QStringList row(int position) const {
        QStringList cells;
        for (int c = 0; c < 11; ++c)
            cells << doc->rowText(position, c);
        return cells;
    }
    frmDMA* doc = nullptr;
};

TEST_F(AmblewayTest, KindOneLineAddsALogger) {
    ScriptedUi ui;
    EXPECT_TRUE(ImportAmblewayLine(*doc, QStringLiteral("1,1234567,x,25/12/2011,y,Main St,By hydrant,ok,1"), 1));
    EXPECT_EQ(doc->RecordCount, 3);
    EXPECT_EQ(doc->rowCount(), 3);
    EXPECT_EQ(doc->rowKey(3), QStringLiteral("3x"));
    EXPECT_EQ(row(3), (QStringList{"01234567", "________", "2011/12/25", "", "MAIN ST", "BY HYDRANT", "", "", " 0",
                                   " 0", "OK"}));
    EXPECT_EQ(doc->localRecord(3).GridRef, "__ ____ ____");
    EXPECT_TRUE(doc->AskForSave);
    EXPECT_EQ(status.last(),
              LoadLangString(txt::SerialPrefix) + QStringLiteral("01234567 ") + LoadLangString(txt::RecordImported));
    EXPECT_TRUE(ui.messages().empty());
}

// Letters outside a-z keep their place: the comment is cut at its 20th character as it was received.
TEST_F(AmblewayTest, UpperCasingKeepsEveryCharacterInItsPlace) {
    ScriptedUi ui;
    EXPECT_TRUE(
        ImportAmblewayLine(*doc, QStringLiteral("1,1234567,x,25/12/2011,y,Großer Weg 1234567890,Straße,ok,1"), 1));
    const LoggerRecord& rec = doc->localRecord(3);
    EXPECT_EQ(rec.Comment1, "GRO ER WEG 123456789");
    EXPECT_EQ(rec.Comment2, "STRA E");
}

// A new logger sorted in above the selected row leaves the selection, and the commands, on the same logger.
TEST_F(AmblewayTest, ANewLoggerInASortedListKeepsTheSelectedLogger) {
    ScriptedUi ui;
    doc->MakeVisibleListLine(2); // 01100002, as a click selects it
    doc->ListViewDMA_ItemClick(2);
    doc->ListViewDMA_ColumnClick(1);
    ASSERT_EQ(doc->rowText(doc->SelLine, 0), QStringLiteral("01100002"));
    EXPECT_TRUE(ImportAmblewayLine(*doc, QStringLiteral("1,9000000,x,25/12/2011,y,a,b,c,1"), 1));
    EXPECT_EQ(doc->rowText(1, 0), QStringLiteral("09000000"));
    EXPECT_EQ(doc->rowText(doc->SelLine, 0), QStringLiteral("01100002"));
    const QModelIndexList shown = doc->ListViewDMA->selectionModel()->selectedRows();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown.front().row() + 1, doc->SelLine);
}

TEST_F(AmblewayTest, LinesOfTheWrongShapeAreRefusedSilently) {
    const QString lines[] = {
        QString(),
        QStringLiteral("1,1234567,x,25/12/2011,y,Main St,By hydrant,ok,0"),
        QStringLiteral("1,1234567,x,25/12/2011,y,Main St,By hydrant,ok,1,extra"),
        QStringLiteral(" 1,1234567,x,25/12/2011,y,Main St,By hydrant,ok,1"),
        QStringLiteral("1,1234567,x,25/12/2011,y,Main St,By hydrant,ok,1 "),
        QStringLiteral("3,1234567,x,25/12/2011,y,Main St,By hydrant,ok,1"),
        QStringLiteral("2,1234567,x,y,z,25/12/2011,w,c1,c2,info"),
        QStringLiteral("1,99999999999,x,25/12/2011,y,a,b,c,1"), // beyond a 32-bit integer
    };
    ScriptedUi ui;
    for (const QString& line : lines) {
        EXPECT_FALSE(ImportAmblewayLine(*doc, line, 4)) << line.toStdString();
    }
    EXPECT_EQ(doc->RecordCount, 2);
    EXPECT_FALSE(doc->AskForSave);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(AmblewayTest, InvalidSerialIsReportedWithItsLineNumber) {
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK);
    EXPECT_FALSE(ImportAmblewayLine(*doc, QStringLiteral("2,13000001,a,b,c,01/02/2011,d,e,f,g,1"), 7));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].prompt, QStringLiteral("13000001") + LoadLangString(txt::InvalidSerialOnLine) + u'7' +
                                           LoadLangString(txt::InvalidSerialLineEnd) +
                                           LoadLangString(txt::InvalidSerial));
    EXPECT_EQ(ui.messages()[0].style, 0);
    EXPECT_EQ(doc->RecordCount, 2);
}

TEST_F(AmblewayTest, KindTwoLineReplacesAnExistingLoggerWhole) {
    ScriptedUi ui;
    const QString info(300, u'i');
    EXPECT_TRUE(ImportAmblewayLine(
        *doc, QStringLiteral("2,1100001,a,b,c,31/02/2011,d,%1,caf\u00c9 #9,%2,1").arg(QString(30, u'c'), info), 2));
    EXPECT_EQ(doc->RecordCount, 2);
    const LoggerRecord& r = doc->localRecord(1);
    EXPECT_EQ(r.GridRef, "__ ____ ____");
    EXPECT_EQ(r.Deployed, "2011/02/31");
    EXPECT_EQ(r.Received, "");
    EXPECT_EQ(r.ReadingDate[1], "");
    EXPECT_EQ(r.Level[1], 0);
    EXPECT_EQ(r.Comment1, std::string(20, 'C'));
    EXPECT_EQ(r.Comment2, "CAF   9");
    EXPECT_EQ(r.UserComments, std::string(255, 'I'));
    EXPECT_EQ(doc->rowText(1, 1), QStringLiteral("________"));

    // A kind "1" line keeps only 20 characters of the additional information.
    EXPECT_TRUE(ImportAmblewayLine(*doc, QStringLiteral("1,1100002,x,,y,a,b,%1,1").arg(info), 3));
    EXPECT_EQ(doc->localRecord(2).UserComments, std::string(20, 'I'));
    EXPECT_EQ(doc->localRecord(2).Deployed, "");
}

TEST_F(AmblewayTest, AFullWindowTakesNoNewLogger) {
    std::vector<FixtureLogger> many(kMaxLoggers);
    for (int i = 0; i < kMaxLoggers; ++i)
        many[static_cast<size_t>(i)].serial = 1000000 + i;
    {
        ScriptedUi ui;
        OpenDocument(env.writeFile(QStringLiteral("full.pdb"), areaFile(many)));
    }
    frmDMA* full = ActiveDocument;
    ASSERT_EQ(full->RecordCount, kMaxLoggers);
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::LoggerLimit));
    EXPECT_FALSE(ImportAmblewayLine(*full, QStringLiteral("1,1234567,x,,y,a,b,c,1"), 1));
    EXPECT_EQ(full->RecordCount, kMaxLoggers);
    EXPECT_EQ(full->rowCount(), kMaxLoggers);
    // A logger the window already has is still replaced.
    EXPECT_TRUE(ImportAmblewayLine(*full, QStringLiteral("1,1000005,x,,y,a,b,c,1"), 2));
}

TEST(AmblewayText, DatesAndCharacters) {
    ensureApplication();
    const std::pair<QString, QString> dates[] = {
        {"25/12/2011", "2011/12/25"}, {"25-12-2011", "    /  /  "}, {"01/13/2011", "    /  /  "},
        {"01/01/1969", "    /  /  "}, {"31/02/2011", "2011/02/31"}, {"", ""},
    };
    for (const auto& [in, out] : dates)
        EXPECT_EQ(ConvertImportDate(in), out) << in.toStdString();
    EXPECT_EQ(CleanImportText(QStringLiteral("A-b.c/d,9 \u00c9#_!")), QStringLiteral("A-b.c/d,9     "));

    const std::pair<std::string, std::vector<std::string>> splits[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\nb\r\n", {"a\nb"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
    };
    for (const auto& [data, lines] : splits)
        EXPECT_EQ(SplitImportLines(data), lines);
}

// ---------------------------------------------------------------------------------------------------------
// The whole import, with our stand-in for the communications server started as "./quendar32".

// The communications server's window, as its stand-in registers it too.
const char* const kServerClass = "Afx:400000:0";
const char* const kServerTitle = "Quarn Communications";

// With a server that registers its window, answers the "press OK when the remote unit has finished" message
// only once that window can be found (or a few seconds have passed), as a user would wait for the transfer.
// What the user does while a message is up can be scripted too (afterAnswer gets each prompt once answered).
class ImportUi : public ScriptedUi {
public:
    bool serverRegisters = false;
    std::function<void(const QString& prompt)> afterAnswer;
    int messageBox(const QString& prompt, int style, const QString& title) override {
        if (serverRegisters && prompt == LoadLangString(txt::PressOkWhenDone))
            waitForWindow(kServerClass, kServerTitle, 10000);
        const int answer = ScriptedUi::messageBox(prompt, style, title);
        if (afterAnswer)
            afterAnswer(prompt);
        return answer;
    }
};

class AmblewayImportTest : public AmblewayTest {
protected:
    void SetUp() override {
        AmblewayTest::SetUp();
        oldCwd_ = QDir::currentPath();
        QDir::setCurrent(cwd_.path());
        qputenv("VORD_WINDOWS_DIR", QFile::encodeName(windows_.path()));
        qputenv("VORD_FAKESERVER_LOG", QFile::encodeName(log()));
        QDir().mkpath(folder());
        // The stored setting keeps its Windows spelling; the import finds the folder of that name here.
        AmblewayPath = QStringLiteral("C:") + QString(folder()).replace(u'/', u'\\');
    }
    void TearDown() override {
        // A server that was never closed ends itself; do not leave it registered for the next test.
        if (const auto w = plat::winmsg::findWindow(kServerClass, kServerTitle))
            plat::winmsg::postMessage(w, plat::winmsg::WM_CLOSE);
        QDir::setCurrent(oldCwd_);
        qunsetenv("VORD_WINDOWS_DIR");
        qunsetenv("VORD_FAKESERVER_LOG");
        AmblewayPath = QStringLiteral("C:\\tessaly\\qdata");
        AmblewayTest::TearDown();
    }
    void installServer(const QString& program) const {
        ASSERT_TRUE(QFile::link(program, cwd_.filePath(QStringLiteral("quendar32"))));
    }
    static QString fakeServer() { return QCoreApplication::applicationDirPath() + QStringLiteral("/fakeserver"); }
    QString folder() const { return cwd_.filePath(QStringLiteral("tessaly/qdata")); }
    QString log() const { return windows_.filePath(QStringLiteral("server.log")); }
    void write(const QString& name, const std::string& bytes) const {
        QFile f(folder() + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    // The messages the server recorded, once it has ended (or after a bounded wait).
    QString serverLog() const {
        waitForWindowGone(kServerClass, kServerTitle);
        QFile f(log());
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }

    QTemporaryDir cwd_;
    QTemporaryDir windows_;
    QString oldCwd_;
};

const std::string kFile = "1,1234567,x,25/12/2011,y,Main St,By hydrant,ok,1\r\n"
                          "garbage\r\n"
                          "2,13000001,a,b,c,01/02/2011,d,e,f,g,1\r\n"
                          "2,2200002,a,b,c,01/02/2011,d,East,West,info,1\r\n";

TEST_F(AmblewayImportTest, ClosesTheServerImportsEveryLineAndKeepsTheFileAsBak) {
    installServer(fakeServer());
    write(QStringLiteral("area7.txt"), kFile);
    write(QStringLiteral("area7.bak"), "old backup");
    write(QStringLiteral("zz.txt"), "1,3300003,x,,y,a,b,c,1\r\n");
    ImportUi ui;
    ui.serverRegisters = true;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::PressOkWhenDone));
    ui.expectMessage(plat::IDOK, QStringLiteral(" on line 3"));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::ImportDone));
    ImportAmblewayFile();

    EXPECT_EQ(serverLog(), QStringLiteral("31\n16\n"));
    EXPECT_EQ(doc->RecordCount, 4);
    EXPECT_EQ(doc->rowText(3, 0), QStringLiteral("01234567"));
    EXPECT_EQ(doc->rowText(4, 0), QStringLiteral("02200002"));
    EXPECT_EQ(doc->rowText(4, 4), QStringLiteral("EAST"));
    EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("/area7.txt")));
    EXPECT_EQ(TestEnv::readFile(folder() + QStringLiteral("/area7.bak")), kFile);
    EXPECT_TRUE(QFile::exists(folder() + QStringLiteral("/zz.txt"))); // one file per run
}

// The communications server itself, as the program folder holds it: started by the import, closed by its
// window messages, gone before the received file is read.
TEST_F(AmblewayImportTest, TheRealServerIsStartedAndClosedAndTheFileImported) {
    installServer(builtProgram("QUENDAR32_PROGRAM"));
    write(QStringLiteral("area7.txt"), kFile);
    ImportUi ui;
    ui.serverRegisters = true;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::PressOkWhenDone));
    ui.expectMessage(plat::IDOK, QStringLiteral(" on line 3"));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::ImportDone));
    ImportAmblewayFile();

    EXPECT_TRUE(waitForWindowGone(kServerClass, kServerTitle));
    EXPECT_EQ(doc->RecordCount, 4);
    EXPECT_EQ(doc->rowText(4, 4), QStringLiteral("EAST"));
    EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("/area7.txt")));
    EXPECT_EQ(TestEnv::readFile(folder() + QStringLiteral("/area7.bak")), kFile);
}

TEST_F(AmblewayImportTest, WithoutAServerWindowSays528AndImportsAnyway) {
    installServer(QStringLiteral("/bin/true"));
    write(QStringLiteral("a.txt"), "1,1234567,x,,y,a,b,c,1\r\n");
    ImportUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::PressOkWhenDone));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::ServerNotFound));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::ImportDone));
    ImportAmblewayFile();
    EXPECT_EQ(doc->RecordCount, 3);
    EXPECT_TRUE(QFile::exists(folder() + QStringLiteral("/a.bak")));
}

// The imported file becomes the backup in one checked rename; where that fails (here a folder holds the
// backup's name) the file stays under its own name and the user is told, since the next import would read it
// again.
TEST_F(AmblewayImportTest, ABackupThatCannotBeMadeIsSaid) {
    installServer(QStringLiteral("/bin/true"));
    write(QStringLiteral("a.txt"), "1,1234567,x,,y,a,b,c,1\r\n");
    ASSERT_TRUE(QDir().mkpath(folder() + QStringLiteral("/a.bak/kept")));
    ImportUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::PressOkWhenDone));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::ServerNotFound));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::ImportDone));
    ui.expectMessage(plat::IDOK, QStringLiteral("The Ambleway file ") + folder() +
                                     QStringLiteral("/a.txt could not be renamed to ") + folder() +
                                     QStringLiteral("/a.bak: ") + plat::systemErrorText(EISDIR));
    ImportAmblewayFile();
    EXPECT_EQ(doc->RecordCount, 3);
    EXPECT_TRUE(QFile::exists(folder() + QStringLiteral("/a.txt")));
    EXPECT_TRUE(QFileInfo(folder() + QStringLiteral("/a.bak/kept")).isDir());
}

TEST_F(AmblewayImportTest, AFileThatWouldPassTheLoggerLimitImportsNothingAndStays) {
    std::vector<FixtureLogger> many(kMaxLoggers - 1);
    for (int i = 0; i < kMaxLoggers - 1; ++i)
        many[static_cast<size_t>(i)].serial = 1000000 + i;
    {
        ScriptedUi ui;
        OpenDocument(env.writeFile(QStringLiteral("nearly.pdb"), areaFile(many)));
    }
    frmDMA* nearly = ActiveDocument;
    ASSERT_EQ(nearly->RecordCount, kMaxLoggers - 1);
    installServer(QStringLiteral("/bin/true"));
    // One known logger and two new ones: one more than the window can take.
    const std::string file = "1,1000005,x,,y,a,b,c,1\r\n1,1234567,x,,y,a,b,c,1\r\n1,2345678,x,,y,a,b,c,1\r\n";
    write(QStringLiteral("a.txt"), file);
    ImportUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::PressOkWhenDone));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::ServerNotFound));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::LoggerLimit));
    ImportAmblewayFile();
    EXPECT_EQ(nearly->RecordCount, kMaxLoggers - 1);
    EXPECT_FALSE(nearly->AskForSave);
    EXPECT_EQ(TestEnv::readFile(folder() + QStringLiteral("/a.txt")), file);
    EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("/a.bak")));
}

TEST_F(AmblewayImportTest, FailuresBeforeTheLinesSay519WithThePathSoFar) {
    struct Case {
        const char* name;
        bool server;
        bool folderExists;
        QString shownPath; // after text 519 and a blank
    };
    const Case cases[] = {
        {"server cannot start", false, true, QString()},
        {"no text file", true, true, folder() + u'/'},
        {"no such folder", true, false, folder()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(cwd_.filePath(QStringLiteral("quendar32")));
        if (c.server)
            installServer(QStringLiteral("/bin/true"));
        if (!c.folderExists)
            QDir(folder()).removeRecursively();
        ImportUi ui;
        if (c.server) {
            ui.expectMessage(plat::IDOK, LoadLangString(txt::PressOkWhenDone));
            ui.expectMessage(plat::IDOK, LoadLangString(txt::ServerNotFound));
        }
        ui.expectMessage(plat::IDOK);
        ImportAmblewayFile();
        EXPECT_EQ(ui.messages().back().prompt, LoadLangString(txt::ImportFailed) + u' ' + c.shownPath);
        EXPECT_EQ(doc->RecordCount, 2);
    }
}

// The list closed while a message is up (waiting for the server, or reporting a bad line) takes no lines, and
// the file stays for the next import.
TEST_F(AmblewayImportTest, AListClosedDuringTheCommandImportsNothingAndTheFileStays) {
    installServer(QStringLiteral("/bin/true"));
    write(QStringLiteral("a.txt"), kFile);
    for (const int closingMessage : {txt::PressOkWhenDone, txt::InvalidSerialOnLine}) {
        SCOPED_TRACE(closingMessage);
        {
            ScriptedUi quiet;
            // A file of its own: the one the fixture opened is held by its window, which would only come forward.
            OpenDocument(env.writeFile(QStringLiteral("closing.pdb"), areaFile(kArea)));
        }
        const QPointer<frmDMA> list = ActiveDocument.data();
        ImportUi ui;
        ui.afterAnswer = [&](const QString& prompt) {
            if (list && prompt.contains(LoadLangString(closingMessage))) {
                list->AskForSave = false;
                list->close();
            }
        };
        ui.expectMessage(plat::IDOK, LoadLangString(txt::PressOkWhenDone));
        ui.expectMessage(plat::IDOK, LoadLangString(txt::ServerNotFound));
        if (closingMessage == txt::InvalidSerialOnLine)
            ui.expectMessage(plat::IDOK, LoadLangString(txt::InvalidSerialOnLine));
        ui.expectMessage(plat::IDOK, LoadLangString(txt::NoDocument));
        ImportAmblewayFile();
        EXPECT_EQ(ui.messages().back().prompt, LoadLangString(txt::NoDocument));
        EXPECT_EQ(TestEnv::readFile(folder() + QStringLiteral("/a.txt")), kFile);
        EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("/a.bak")));
        flushDeletes();
        EXPECT_TRUE(list.isNull());
    }
}

TEST_F(AmblewayImportTest, NeedsAnOpenListWindow) {
    installServer(fakeServer());
    doc->close();
    flushDeletes();
    ASSERT_FALSE(ActiveDocument);
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::NoDocument));
    ImportAmblewayFile();
    EXPECT_EQ(ui.messages().size(), 1u);
}

} // namespace
