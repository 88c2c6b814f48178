// The File menu on real files: new, open, save, save as, export, close, the recent files and dropped files.
#include "MainWindowFixture.h"
#include "core/DatabaseFile.h"
#include "core/MergeReadings.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/AmblewayImport.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/WindowRegistry.h"
#include "vordalin/frmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

const std::vector<FixtureLogger> kArea = {
    {1100001, "AB 1234 5678", "North", "", "2023/01/02", "", "2023/02/01", "L", 40, 10, "note"},
    {1100002, "AB 2234 5678", "South", "", "2023/01/03", "", "", "", 0, 0, ""},
};

class FileCommandsTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        area = env.writeFile(QStringLiteral("area.pdb"), areaFile(kArea));
        QDir().mkpath(env.path(QStringLiteral("rovemark/autoexport"))); // the PDA queue takes a copy of each save
    }
    frmDMA* open(const QString& path) {
        ScriptedUi ui;
        ui.expectOpenFile(path);
        main->mnuFileOpen_Click();
        return ActiveDocument;
    }
    QStringList mru() const {
        QStringList out;
        for (int i = 1; i <= 4; ++i)
            out << (main->mnuFileMRU[i]->isVisible() ? main->mruCaption(i) : QStringLiteral("-"));
        return out;
    }
    static frmDMA* newest() {
        return static_cast<frmDMA*>(plat::windows::loadedNamed(QStringLiteral("frmDMA")).back());
    }
    static int loggersIn(const QString& path) { return ReadDatabaseFile(path) == DbOk ? LoggerCount : -1; }
    QString area;
};

TEST_F(FileCommandsTest, OpenChoosesTheWindowByTheEndingOfTheName) {
    env.writeFile(QStringLiteral("notes.log"), "Patrol notes\r\n");
    struct Case {
        QString file;
        const char* form;
    };
    const Case cases[] = {{area, "frmDMA"},
                          {env.path(QStringLiteral("AREA2.PDB")), "frmDMA"},
                          {env.path(QStringLiteral("notes.log")), "frmDocument"}};
    QFile::copy(area, env.path(QStringLiteral("AREA2.PDB")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        ScriptedUi ui;
        ui.expectOpenFile(c.file);
        main->mnuFileOpen_Click();
        ASSERT_EQ(ui.fileRequests().size(), 1u);
        EXPECT_EQ(ui.fileRequests()[0].title, LoadLangString(txt::OpenTitle));
        EXPECT_EQ(ui.fileRequests()[0].fileName, QStringLiteral("*.csv"));
        QMdiSubWindow* child = main->mdiArea()->currentSubWindow();
        ASSERT_TRUE(child);
        EXPECT_EQ(plat::windows::formName(child), QLatin1String(c.form));
        EXPECT_EQ(child->windowTitle(), c.file);
    }
    // Opening changes neither the recent files nor the default folder; a cancelled dialog does nothing.
    EXPECT_EQ(mru(), (QStringList{"-", "-", "-", "-"}));
    ScriptedUi ui;
    ui.expectOpenFile(QString());
    main->mnuFileOpen_Click();
    EXPECT_EQ(main->mdiArea()->subWindowList().size(), 3);
    // The next Open starts in the folder of the last file used, also after a cancelled dialog.
    ASSERT_EQ(ui.fileRequests().size(), 1u);
    EXPECT_EQ(ui.fileRequests()[0].folder, QFileInfo(cases[2].file).absolutePath());
    ui.expectOpenFile(QString());
    main->mnuFileOpen_Click();
    EXPECT_EQ(ui.fileRequests().back().folder, QFileInfo(cases[2].file).absolutePath());
}

TEST_F(FileCommandsTest, NewSaveAndSaveAsWriteFilesAndFillTheRecentFiles) {
    frmDMA* doc = open(area);
    ASSERT_TRUE(doc);
    ASSERT_TRUE(ImportAmblewayLine(*doc, QStringLiteral("1,1234567,x,,y,a,b,c,1"), 1));
    {
        ScriptedUi ui; // a window with a file is saved without a dialog
        main->menuItem(QStringLiteral("mnuFileSave"))->trigger();
        EXPECT_TRUE(ui.fileRequests().empty());
    }
    EXPECT_FALSE(doc->AskForSave);
    EXPECT_EQ(loggersIn(area), 3);
    EXPECT_EQ(mru(), (QStringList{area, "-", "-", "-"}));

    const QString copy = env.path(QStringLiteral("copy.pdb"));
    {
        ScriptedUi ui;
        ui.expectSaveFile(copy);
        main->mnuFileSaveAs_Click();
        EXPECT_EQ(ui.fileRequests()[0].title, LoadLangString(txt::SaveAsTitle));
        EXPECT_EQ(ui.fileRequests()[0].fileName, area); // no unsaved changes: the window's own file
    }
    EXPECT_EQ(loggersIn(copy), 3);
    EXPECT_EQ(doc->windowTitle(), copy);
    EXPECT_EQ(DefaultPath, env.programDir() + u'/');
    EXPECT_EQ(mru(), (QStringList{area, copy, "-", "-"}));

    // Save As onto an existing file asks first; No leaves that file alone.
    const QByteArray before = QByteArray::fromStdString(TestEnv::readFile(area));
    ImportAmblewayLine(*doc, QStringLiteral("1,1234568,x,,y,a,b,c,1"), 1);
    {
        ScriptedUi ui;
        ui.expectSaveFile(area);
        ui.expectMessage(plat::IDNO, LoadLangString(txt::OverwriteQuestion) + area + u'?');
        main->mnuFileSaveAs_Click();
        EXPECT_EQ(ui.messages()[0].style, plat::MB_YESNO | plat::MB_ICONHAND | plat::MB_DEFBUTTON2);
    }
    EXPECT_EQ(QByteArray::fromStdString(TestEnv::readFile(area)), before);

    // A new window has no file: Save asks for a name.
    main->menuItem(QStringLiteral("mnuFileNew"))->trigger();
    newest()->ListViewDMA_GotFocus();
    ImportAmblewayLine(*ActiveDocument, QStringLiteral("1,1234567,x,,y,a,b,c,1"), 1);
    const QString fresh = env.path(QStringLiteral("fresh.pdb"));
    {
        ScriptedUi ui;
        ui.expectSaveFile(fresh);
        main->mnuFileSave_Click();
    }
    EXPECT_EQ(loggersIn(fresh), 1);
    EXPECT_EQ(mru(), (QStringList{area, copy, fresh, "-"}));
}

// A name chosen without an extension is saved as a ".pdb" file, which Open's filter and the serial search find;
// an existing file of the final name is confirmed once, by the command (the dialog itself does not ask).
TEST_F(FileCommandsTest, SavedNamesWithoutAnExtensionGetPdbAndAnExistingFileIsConfirmed) {
    main->menuItem(QStringLiteral("mnuFileNew"))->trigger();
    frmDMA* fresh = newest();
    fresh->ListViewDMA_GotFocus();
    ASSERT_TRUE(ImportAmblewayLine(*fresh, QStringLiteral("1,1234567,x,,y,a,b,c,1"), 1));
    const QString newarea = env.path(QStringLiteral("newarea"));
    {
        ScriptedUi ui; // Save of a list that never had a file
        ui.expectSaveFile(newarea);
        main->mnuFileSave_Click();
        ASSERT_EQ(ui.fileRequests().size(), 1u);
        EXPECT_EQ(ui.fileRequests()[0].defaultSuffix, QStringLiteral("pdb"));
    }
    EXPECT_EQ(loggersIn(newarea + QStringLiteral(".pdb")), 1);
    EXPECT_FALSE(QFile::exists(newarea));
    EXPECT_EQ(fresh->windowTitle(), newarea + QStringLiteral(".pdb"));
    EXPECT_EQ(mru(), (QStringList{newarea + QStringLiteral(".pdb"), "-", "-", "-"}));

    const QString other = env.path(QStringLiteral("other"));
    {
        ScriptedUi ui;
        ui.expectSaveFile(other);
        main->mnuFileSaveAs_Click();
        EXPECT_EQ(ui.fileRequests()[0].defaultSuffix, QStringLiteral("pdb"));
    }
    EXPECT_EQ(loggersIn(other + QStringLiteral(".pdb")), 1);
    EXPECT_EQ(fresh->windowTitle(), other + QStringLiteral(".pdb"));

    // "area" names the existing area.pdb: Save As asks about that file, once; No writes nothing.
    const std::string before = TestEnv::readFile(area);
    {
        ScriptedUi ui;
        ui.expectSaveFile(env.path(QStringLiteral("area")));
        ui.expectMessage(plat::IDNO, LoadLangString(txt::OverwriteQuestion) + area + u'?');
        main->mnuFileSaveAs_Click();
    }
    EXPECT_EQ(TestEnv::readFile(area), before);

    // Save of a new list onto an existing file asks too; No leaves the file and the list unsaved.
    main->menuItem(QStringLiteral("mnuFileNew"))->trigger();
    frmDMA* second = newest();
    second->ListViewDMA_GotFocus();
    ASSERT_TRUE(ImportAmblewayLine(*second, QStringLiteral("1,7654321,x,,y,a,b,c,1"), 1));
    {
        ScriptedUi ui;
        ui.expectSaveFile(area);
        ui.expectMessage(plat::IDNO, LoadLangString(txt::OverwriteQuestion) + area + u'?');
        main->mnuFileSave_Click();
    }
    EXPECT_EQ(TestEnv::readFile(area), before);
    EXPECT_TRUE(second->NeverBeenSaved);
    // Yes replaces it.
    {
        ScriptedUi ui;
        ui.expectSaveFile(area);
        ui.expectMessage(plat::IDYES, LoadLangString(txt::OverwriteQuestion) + area + u'?');
        main->mnuFileSave_Click();
    }
    EXPECT_EQ(loggersIn(area), 1);
    EXPECT_FALSE(second->NeverBeenSaved);
}

TEST_F(FileCommandsTest, ExportWritesCsvAndListsTheNameAsChosen) {
    frmDMA* doc = open(area);
    const QString written = area + QStringLiteral(".csv");
    {
        ScriptedUi ui;
        ui.expectSaveFile(area); // the proposed name: the window's own file
        main->mnuFileExport_Click();
        EXPECT_EQ(ui.fileRequests()[0].fileName, area);
        EXPECT_EQ(ui.fileRequests()[0].title, LoadLangString(txt::ExportTitle));
    }
    EXPECT_EQ(loggersIn(written), 2);
    EXPECT_FALSE(doc->AskForSave);
    EXPECT_EQ(doc->windowTitle(), area);
    // The recent files get the name as chosen, never the CSV file: that one would reopen as an area file.
    EXPECT_EQ(mru(), (QStringList{area, "-", "-", "-"}));

    // Exporting onto an existing export asks first; No writes nothing and lists nothing.
    const std::string before = TestEnv::readFile(written);
    ImportAmblewayLine(*doc, QStringLiteral("1,1234567,x,,y,a,b,c,1"), 1);
    {
        ScriptedUi ui;
        ui.expectSaveFile(area);
        ui.expectMessage(plat::IDNO, LoadLangString(txt::OverwriteQuestion) + written + u'?');
        main->mnuFileExport_Click();
    }
    EXPECT_EQ(TestEnv::readFile(written), before);

    // The export opens again as a logger file, whatever the letter case of its ending.
    const QString upper = env.path(QStringLiteral("AREA.CSV"));
    ASSERT_TRUE(QFile::rename(written, upper));
    frmDMA* reopened = open(upper);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->RecordCount, 2);
}

TEST_F(FileCommandsTest, CommandsWithoutAUsableWindow) {
    struct Case {
        const char* item;
        bool withEmptyWindow;
        int text; // 0: no message
    };
    const Case cases[] = {
        {"mnuFileSave", false, txt::NoDocument},       {"mnuFileSaveAs", false, txt::NoDocument},
        {"mnuFileClose", false, txt::NoDocument},      {"mnuFilePrint", false, txt::NoDocument},
        {"mnuFileExport", false, txt::NoDocument},     {"mnuFileImport", false, txt::NoDocument},
        {"mnuFileSaveAs", true, txt::SaveEmptyList},   {"mnuFileSave", true, txt::SaveEmptyList},
        {"mnuFileExport", true, txt::ExportEmptyList},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.item) + (c.withEmptyWindow ? " (empty window)" : ""));
        if (c.withEmptyWindow && !ActiveDocument) {
            NewDocument();
            newest()->ListViewDMA_GotFocus();
        }
        ScriptedUi ui;
        if (c.text)
            ui.expectMessage(plat::IDOK, LoadLangString(c.text));
        main->menuItem(QLatin1String(c.item))->trigger();
        EXPECT_EQ(ui.messages().size(), c.text ? 1u : 0u);
        EXPECT_TRUE(ui.fileRequests().empty());
    }
}

TEST_F(FileCommandsTest, CloseUnloadsTheActiveListWindow) {
    frmDMA* doc = open(area);
    ASSERT_TRUE(doc);
    ScriptedUi ui;
    main->mnuFileClose_Click();
    flushDeletes();
    EXPECT_FALSE(ActiveDocument);
    EXPECT_TRUE(main->mdiArea()->subWindowList().isEmpty());
}

TEST_F(FileCommandsTest, RecentFileListRules) {
    struct Case {
        QStringList added;
        QStringList shown;
    };
    const Case cases[] = {
        {{"a", "a"}, {"a", "-", "-", "-"}},
        {{"a", "b", "c"}, {"a", "b", "c", "-"}},
        {{"a", "b", "c", "d", "e"}, {"e", "a", "b", "c"}},
        {{"a", "b", "c", "d", "c"}, {"a", "b", "c", "d"}},
        {{"a", "A"}, {"a", "A", "-", "-"}},
    };
    for (const Case& c : cases) {
        main->ClearMRU();
        for (const QString& p : c.added)
            main->RebuildMruMenu(p);
        EXPECT_EQ(mru(), c.shown) << c.added.join(u' ').toStdString();
    }

    // The list lives in the settings between runs.
    main->ClearMRU();
    main->RebuildMruMenu(area);
    main->RebuildMruMenu(QStringLiteral("/elsewhere/b.pdb"));
    SaveSettings();
    main->ClearMRU();
    LoadSettings();
    EXPECT_EQ(mru(), (QStringList{area, "/elsewhere/b.pdb", "-", "-"}));

    // Choosing an entry opens its file and makes its folder the default one.
    DefaultPath.clear();
    ScriptedUi ui;
    main->mnuFileMRU[1]->trigger();
    ASSERT_TRUE(ActiveDocument);
    EXPECT_EQ(ActiveDocument->windowTitle(), area);
    EXPECT_EQ(DefaultPath, env.programDir() + u'/');
}

TEST_F(FileCommandsTest, DroppedFilesOpenInOrder) {
    const QString second = env.writeFile(QStringLiteral("second.pdb"), areaFile({kArea[1]}));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(area), QUrl::fromLocalFile(second)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);

    ScriptedUi ui;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main.get(), &drop);
    const auto lists = plat::windows::loadedNamed(QStringLiteral("frmDMA"));
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0]->windowTitle(), area);
    EXPECT_EQ(lists[1]->windowTitle(), second);

    // Text is no file list: no drop.
    QMimeData text;
    text.setText(QStringLiteral("area.pdb"));
    QDragEnterEvent textEnter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main.get(), &textEnter);
    EXPECT_FALSE(textEnter.isAccepted());
}

} // namespace

namespace {

TEST_F(FileCommandsTest, TextDocumentsAreSavedUnderAChosenName) {
    const QString notes = env.writeFile(QStringLiteral("notes.log"), "Patrol notes\r\n");
    {
        ScriptedUi ui;
        ui.expectOpenFile(notes);
        main->mnuFileOpen_Click();
    }
    auto* text = qobject_cast<frmDocument*>(main->mdiArea()->currentSubWindow());
    ASSERT_TRUE(text);

    const QString report = env.path(QStringLiteral("report.rtf"));
    {
        ScriptedUi ui;
        ui.expectMessage(plat::IDYES, LoadLangString(txt::OverwriteQuestion) + notes + u'?');
        ui.expectSaveFile(report);
        main->mnuFileSave_Click();
        EXPECT_EQ(ui.fileRequests()[0].title, LoadLangString(txt::SaveTitle));
        EXPECT_EQ(ui.fileRequests()[0].fileName, notes);
    }
    EXPECT_EQ(text->windowTitle(), report);
    EXPECT_EQ(TestEnv::readFile(report).rfind("{\\rtf", 0), 0u);

    // Close on a text window saves it (after the question) and keeps it open; No ends the command.
    {
        ScriptedUi ui;
        ui.expectMessage(plat::IDNO, LoadLangString(txt::OverwriteQuestion) + report + u'?');
        main->mnuFileClose_Click();
    }
    EXPECT_EQ(main->mdiArea()->subWindowList().size(), 1);

    // A file that cannot be written leaves the caption as it was.
    const QString nowhere = env.path(QStringLiteral("no/such/folder/x.rtf"));
    {
        ScriptedUi ui;
        ui.expectMessage(plat::IDYES);
        ui.expectSaveFile(nowhere);
        ui.expectMessage(plat::IDOK, LoadLangString(txt::TextSaveFailed) + nowhere);
        main->mnuFileSaveAs_Click();
        EXPECT_EQ(ui.fileRequests()[0].title, LoadLangString(txt::SaveAsTitle));
    }
    EXPECT_EQ(text->windowTitle(), report);

    // A text file that cannot be read opens no window.
    const QString missing = env.path(QStringLiteral("missing.log"));
    ScriptedUi ui;
    ui.expectOpenFile(missing);
    ui.expectMessage(plat::IDOK, LoadLangString(txt::TextLoadFailed) + missing);
    main->mnuFileOpen_Click();
    EXPECT_EQ(main->mdiArea()->subWindowList().size(), 1);
}

TEST_F(FileCommandsTest, MergeAsksForAPatrolFileAndHandsItOn) {
    ASSERT_TRUE(main->menuItem(QStringLiteral("mnuFileMerge"))->isEnabled());
    {
        ScriptedUi ui;
        ui.expectMessage(plat::IDOK, LoadLangString(txt::NoDocument));
        main->mnuFileMerge_Click();
    }
    open(area);
    {
        ScriptedUi ui;
        // The chosen file reaches the merge, which asks about the differing area names (the merge by serial
        // names the list window as the patrol, the merge by coordinate the chosen file); cancelled here.
        ui.expectOpenFile(QStringLiteral("/patrol/p1.PDB"));
        ui.expectMessage(plat::IDCANCEL, QStringLiteral("and destination (p1"));
        main->mnuFileMerge_Click();
        EXPECT_EQ(ui.fileRequests()[0].title, LoadLangString(txt::MergeTitle));
        EXPECT_EQ(ui.fileRequests()[0].folder, env.programDir());
        EXPECT_EQ(ui.fileRequests()[0].fileName, QString());
        ui.expectOpenFile(QStringLiteral("/patrol/p2.csv"));
        ui.expectMessage(plat::IDCANCEL, QStringLiteral("Most recent patrol (p2"));
        main->mnuMergeByRDGrid_Click();
        ui.expectOpenFile(QStringLiteral("/patrol/p3.txt"));
        ui.expectMessage(plat::IDOK, LoadLangString(txt::MergeFileType));
        main->mnuFileMerge_Click();
        ui.expectOpenFile(QString());
        main->mnuFileMerge_Click();
    }
    EXPECT_FALSE(MergeByRDGrid);

    NewDocument();
    newest()->ListViewDMA_GotFocus();
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::MergeEmptyList));
    main->mnuFileMerge_Click();
}

TEST_F(FileCommandsTest, MapNeedsACoordinateInEveryRow) {
    // The command checks the list before it starts the map.
    EXPECT_TRUE(main->toolButton(QStringLiteral("gps"))->isEnabled());

    // The second and third loggers have no coordinate: the message names none, the list shows the second.
    auto partly = kArea;
    partly[0].comment2 = "51.5/-0.12";
    partly.push_back(kArea[1]);
    partly.back().serial = 1100003;
    frmDMA* list = open(env.writeFile(QStringLiteral("partly.pdb"), areaFile(partly)));
    ASSERT_TRUE(list);
    list->MakeVisibleListLine(1);
    {
        ScriptedUi ui;
        ui.expectMessage(plat::IDOK,
                         QStringLiteral("Not all records have a valid GPS coordinate.  Unable to display map."));
        main->ShowMapOfList();
        EXPECT_EQ(ui.messages()[0].style, plat::MB_ICONEXCLAMATION);
    }
    EXPECT_EQ(list->SelLine, 2);
    EXPECT_EQ(list->ListViewDMA->currentIndex().row(), 1);

    auto located = kArea;
    located[0].comment2 = "51.5/-0.12";
    located[1].comment2 = "51.6/-0.13";
    open(env.writeFile(QStringLiteral("located.pdb"), areaFile(located)));
    ScriptedUi ui;
    // Every row has a coordinate: the map view starts. Without its template files in the program folder it
    // says it could not.
    ui.expectMessage(plat::IDOK, LoadLangString(txt::MapStartFailed));
    main->ShowMapOfList();
    EXPECT_EQ(ui.messages().size(), 1u);
}

} // namespace
