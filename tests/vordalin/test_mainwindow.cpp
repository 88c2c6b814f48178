// The main window: menus, toolbar, status bar, command state and shut-down.
#include "MainWindowFixture.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "core/frmSplash.h"
#include "documents/DocumentFiles.h"
#include "documents/MaskedEdit.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/Twips.h"
#include "platform/WindowRegistry.h"
#include "vordalin/CommandTable.h"
#include "vordalin/frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>

namespace {

class MainWindowTest : public MainWindowFixture {
protected:
    frmDMA* openArea(const QString& name = QStringLiteral("area.pdb"), int32_t serial = 1100001) {
        ScriptedUi ui;
        OpenDocument(
            env.writeFile(name, areaFile({{serial, "AB 1234 5678", "North", "", "2023/01/02", "", "", "", 0, 0, ""}})));
        return ActiveDocument;
    }
    // The main window as the user has it: the active window, so the keyboard and the focus reach it.
    void activateMain() {
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == main.get(); }, 2000));
    }
};

TEST_F(MainWindowTest, MenusCarryTheLanguageCaptionsAndShortcuts) {
    QStringList titles;
    for (QAction* a : main->menuBar()->actions())
        titles << a->text();
    QStringList expected;
    for (int n : {txt::File, txt::Edit, txt::Search, txt::Logger, txt::Rovemark, txt::View, txt::Sarnic, txt::Window,
                  txt::Help})
        expected << LoadLangString(n);
    EXPECT_EQ(titles, expected);
    EXPECT_EQ(main->windowTitle(), LoadLangString(txt::MainCaption));

    const std::pair<const char*, const char*> shortcuts[] = {
        {"mnuFileNew", "Ctrl+N"},           {"mnuFileOpen", "Ctrl+O"},
        {"mnuFileSave", "Ctrl+S"},          {"mnuFileSaveAs", "Ctrl+A"},
        {"mnuFilePrint", "Ctrl+P"},         {"mnuEditCut", ""},
        {"mnuEditCopy", "Ctrl+C"},          {"mnuEditPaste", "Ctrl+V"},
        {"mnuSearchFindNext", "F3"},        {"mnuRovemarkFromSome", "F5"},
        {"mnuRovemarkFromAll", "Shift+F5"}, {"mnuRovemarkToSome", "F9"},
        {"mnuRovemarkToAll", "Shift+F9"},   {"mnuViewEditor", "F8"},
        {"mnuViewRefreshList", "F12"},      {"mnuViewShowOption(0)", "F2"},
        {"mnuViewHideOption(0)", ""},       {"mnuHelpContents", "F1"},
    };
    for (const auto& [name, key] : shortcuts) {
        QAction* a = main->menuItem(QLatin1String(name));
        ASSERT_TRUE(a) << name;
        EXPECT_EQ(a->shortcut(), QKeySequence(QLatin1String(key))) << name;
    }

    const std::pair<const char*, QString> captions[] = {
        {"mnuFileImport", LoadLangString(txt::ImportAmblewayFile)},
        {"mnuMergeByRDGrid", LoadLangString(txt::MergeByCoordinateReference)},
        {"mnuViewLogger", QStringLiteral("&Logger")},
        {"mnuViewShowOption(3)", LoadLangString(txt::Deployed)},
        {"mnuSarnicSetup", LoadLangString(txt::Setup)},
        {"mnuWindowFollowMouse", LoadLangString(txt::FollowMouse)},
    };
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(main->menuItem(QLatin1String(name))->text(), caption) << name;
    EXPECT_EQ(main->menu(QStringLiteral("mnuRovemark2"))->title(), LoadLangString(txt::RovemarkPda));
    for (int i = 1; i <= 4; ++i)
        EXPECT_FALSE(main->mnuFileMRU[i]->isVisible());
}

TEST_F(MainWindowTest, ToolbarButtonsHaveIconsAndTooltips) {
    const std::pair<const char*, int> buttons[] = {
        {"New", txt::NewButtonTip},
        {"Open", txt::OpenTitle},
        {"Save", txt::SaveTitle},
        {nullptr, 0},
        {"Print", txt::PrintCaption},
        {nullptr, 0},
        {"Cut", txt::Cut},
        {"Copy", txt::CopyButtonTip},
        {"Paste", txt::PasteButtonTip},
        {nullptr, 0},
        {"Back", txt::PreviousPage},
        {"Forward", txt::NextPage},
        {nullptr, 0},
        {"from_rovemark", txt::ReceiveAllFromRovemark},
        {"to_rovemark", txt::SendAllToRovemark},
        {nullptr, 0},
        {"From PDA", txt::PdaToPc},
        {"To PDA", txt::PcToPda},
        {"Synchronise PDA", txt::SynchronisePda},
        {nullptr, 0},
        {"AddVordalin", txt::AddLogger},
        {"gps", txt::StartGps},
    };
    const QList<QAction*> actions = main->tbToolBar->actions();
    ASSERT_EQ(actions.size(), 22);
    for (int i = 0; i < 22; ++i) {
        const auto& [key, text] = buttons[i];
        SCOPED_TRACE(i + 1);
        if (!key) {
            EXPECT_TRUE(actions[i]->isSeparator());
            continue;
        }
        EXPECT_EQ(actions[i]->data().toString(), QLatin1String(key));
        EXPECT_EQ(actions[i]->toolTip(), LoadLangString(text));
        EXPECT_FALSE(actions[i]->icon().isNull());
        EXPECT_FALSE(actions[i]->icon().pixmap(24, 24).isNull());
    }
}

TEST_F(MainWindowTest, EveryCommandIsWiredAndEnabled) {
    const char* now[] = {"mnuFileNew",
                         "mnuFileNewWin",
                         "mnuFileOpen",
                         "mnuFileMerge",
                         "mnuMergeByRDGrid",
                         "mnuFileSave",
                         "mnuFileSaveAs",
                         "mnuFileImport",
                         "mnuFileExport",
                         "mnuFileClose",
                         "mnuFileExit",
                         "mnuEditCut",
                         "mnuEditCopy",
                         "mnuEditPaste",
                         "mnuSearchrFind",
                         "mnuSearchFindNext",
                         "mnuSearchCatalogue",
                         "mnuLoggerAdd",
                         "mnuLoggerRemove",
                         "mnuLoggerChangeSerial",
                         "mnuLoggerChangeDeployDate",
                         "mnuLoggerFill",
                         "mnuUpdateAllAddInfo",
                         "mnuRovemarkOptions",
                         "mnuViewEditor",
                         "mnuViewLogger",
                         "mnuViewAutoSize",
                         "mnuViewShowOption(0)",
                         "mnuViewHideOption(7)",
                         "mnuViewRefreshList",
                         "mnuWindowCascade",
                         "mnuHelpContents",
                         "mnuHelpAbout",
                         "mnuFilePageSetup",
                         "mnuFilePrint",
                         "mnuRovemarkFromSome",
                         "mnuRovemarkFromAll",
                         "mnuRovemarkToSome",
                         "mnuRovemarkToAll",
                         "mnuRovemarkUploadDMA",
                         "mnuRovemarkDownloadPatrol",
                         "mnuRovemarkSyncPDA",
                         "mnuSarnicSetup"};
    for (const char* name : now)
        EXPECT_TRUE(main->menuItem(QLatin1String(name))->isEnabled()) << name;
    for (const char* key : {"New", "Open", "Save", "Print", "Cut", "Copy", "Paste", "Back", "Forward", "from_rovemark",
                            "to_rovemark", "From PDA", "To PDA", "Synchronise PDA", "AddVordalin", "gps"})
        EXPECT_TRUE(main->toolButton(QLatin1String(key))->isEnabled()) << key;

    // A built command's button works on the active list window: Cut takes the selected logger out.
    frmDMA* doc = openArea();
    doc->ListViewDMA->selectionModel()->select(doc->ListViewDMA->model()->index(0, 0),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ScriptedUi ui;
    ui.expectMessage(plat::IDYES, LoadLangString(txt::RemoveQuestion));
    main->toolButton(QStringLiteral("Cut"))->trigger();
    EXPECT_EQ(doc->RecordCount, 0);

    // The buttons of the exchange parts reach their commands: here the outside programs they start are
    // missing from the (test's) program folder, and each says so.
    ui.expectMessage(plat::IDOK, LoadLangString(txt::TransferProgramNotFound));
    main->toolButton(QStringLiteral("from_rovemark"))->trigger();
    ui.expectMessage(plat::IDOK, LoadLangString(txt::SyncUtilityMissing));
    main->toolButton(QStringLiteral("Synchronise PDA"))->trigger();
}

TEST_F(MainWindowTest, InteractSwitchesTheWholeInterfaceOffAndOn) {
    frmDMA* doc = openArea();
    const char* switched[] = {"mnuFile",     "mnuEdit", "mnuSearch", "mnuLogger",
                              "mnuRovemark", "mnuView", "mnuWindow", "mnuHelp"};
    main->Interact(false);
    EXPECT_FALSE(main->tbToolBar->isEnabled());
    for (const char* name : switched)
        EXPECT_FALSE(main->menu(QLatin1String(name))->menuAction()->isEnabled()) << name;
    EXPECT_FALSE(main->isEnabled());
    EXPECT_FALSE(doc->isEnabled());

    main->Interact(true);
    EXPECT_TRUE(main->tbToolBar->isEnabled());
    for (const char* name : switched)
        EXPECT_TRUE(main->menu(QLatin1String(name))->menuAction()->isEnabled()) << name;
    EXPECT_TRUE(main->isEnabled());
    EXPECT_TRUE(doc->isEnabled());
    EXPECT_TRUE(main->menuItem(QStringLiteral("mnuFilePrint"))->isEnabled());
}

TEST_F(MainWindowTest, StatusBarShowsTextDateAndTime) {
    EXPECT_EQ(main->statusText(), QStringLiteral("Status"));
    ShowStatusText(QStringLiteral("Loading"));
    EXPECT_EQ(main->statusText(), QStringLiteral("Loading"));
    EXPECT_FALSE(main->dateText().isEmpty());
    EXPECT_FALSE(main->timeText().isEmpty());
    EXPECT_EQ(main->statusBar()->findChildren<QLabel*>().size(), 3);

    main->menuItem(QStringLiteral("mnuViewStatusBar"))->trigger();
    EXPECT_FALSE(main->statusBar()->isVisible());
    main->menuItem(QStringLiteral("mnuViewToolbar"))->trigger();
    EXPECT_FALSE(main->tbToolBar->isVisible());
    main->menuItem(QStringLiteral("mnuViewToolbar"))->trigger();
    EXPECT_TRUE(main->tbToolBar->isVisible());
}

TEST_F(MainWindowTest, ViewLoggerTakesOnlyAFreshSerialWithoutAsking) {
    frmMain::localEpochSeconds = [] { return 1000000LL; };
    struct Case {
        const char* stored;
        bool asks;
    };
    const Case cases[] = {
        {"999989:01100001", false}, // 11 seconds old
        {"999988:01100001", true},  // 12 seconds old
        {"01100001", true},         {"999995:0110:0001", true}, {"soon:01100001", true}, {"999995:", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        SaveSettingText(QStringLiteral("SerialNumberToView"), QLatin1String(c.stored));
        ScriptedUi ui;
        if (c.asks) {
            ui.expectInput(QString());
        } else {
            // The serial goes to the search of the Vordhub folder, which this program folder lacks.
            ui.expectMessage(plat::IDOK, QStringLiteral("Vordhub"));
        }
        main->mnuViewLogger_Click();
        if (c.asks) {
            EXPECT_EQ(ui.inputPrompts(), QStringList{QStringLiteral("Enter Serial Number")});
        }
    }
}

TEST_F(MainWindowTest, HelpAboutAndSerialSearchAreModal) {
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::NoHelpFile));
    main->menuItem(QStringLiteral("mnuHelpContents"))->trigger();
    EXPECT_EQ(ui.messages().back().title, main->windowTitle());
    EXPECT_EQ(ui.messages().back().style, plat::MB_ICONASTERISK);

    int delay = 0;
    ui.expectDialog([&](QDialog* d) {
        if (auto* splash = qobject_cast<frmSplash*>(d))
            delay = splash->SplashDelay;
        return 0;
    });
    main->menuItem(QStringLiteral("mnuHelpAbout"))->trigger();
    EXPECT_EQ(delay, 32767);

    // The serial search is modal too.
    bool shown = false;
    ui.expectDialog([&](QDialog* d) {
        shown = d->objectName() == QStringLiteral("frmCatalogue");
        return 0;
    });
    main->menuItem(QStringLiteral("mnuSearchCatalogue"))->trigger();
    EXPECT_TRUE(shown);
}

TEST_F(MainWindowTest, ToolbarPagingActsOnlyOnAListWindow) {
    ScriptedUi ui;
    auto* text = new frmDocument;
    ShowDocumentWindow(text);
    main->tbToolBar_ButtonClick(QStringLiteral("Back"));    // a text window: nothing happens
    main->tbToolBar_ButtonClick(QStringLiteral("nothing")); // no such key: nothing happens
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(main->toolButton(QStringLiteral("Back"))->isEnabled());
}

TEST_F(MainWindowTest, ShutDownAsksForEachChangedWindowAndCancelKeepsEverything) {
    frmDMA* doc = openArea();
    doc->AskForSave = true;
    main->RebuildMruMenu(QStringLiteral("/data/north.pdb"));
    // A tool window that only hides itself when closed does not hold the program up.
    struct HidingTool : QWidget {
        void closeEvent(QCloseEvent* e) override {
            e->ignore();
            hide();
        }
    } tool;
    plat::windows::add(&tool, QStringLiteral("frmDMAEdit"));
    tool.show();
    {
        ScriptedUi ui;
        ui.expectMessage(plat::IDCANCEL, LoadLangString(txt::SavePrompt));
        EXPECT_FALSE(main->close());
        EXPECT_TRUE(main->isVisible());
        EXPECT_TRUE(ActiveDocument);
        EXPECT_EQ(GetSettingText(QStringLiteral("MRU1"), QString()), QStringLiteral("/data/north.pdb"));
    }
    {
        ScriptedUi ui;
        ui.expectMessage(plat::IDNO, LoadLangString(txt::SavePrompt));
        main->menuItem(QStringLiteral("mnuFileExit"))->trigger();
        EXPECT_EQ(ui.messages().size(), 1u); // the second pass finds no list window
        EXPECT_FALSE(main->isVisible());
        EXPECT_FALSE(tool.isVisible());
    }
    flushDeletes();
    EXPECT_FALSE(ActiveDocument);
}

// The windows' save questions come after the settings were saved at the start of the shut-down: a file saved
// from one of them is among the recent files kept for the next run all the same.
TEST_F(MainWindowTest, AFileSavedFromTheExitQuestionIsAmongTheRecentFilesKept) {
    QDir().mkpath(env.path(QStringLiteral("rovemark/autoexport"))); // the PDA queue takes a copy of each save
    frmDMA* doc = openArea(QStringLiteral("kept.pdb"));
    ASSERT_TRUE(doc);
    doc->AskForSave = true;
    ScriptedUi ui;
    ui.expectMessage(plat::IDYES, LoadLangString(txt::SavePrompt));
    EXPECT_TRUE(main->close());
    EXPECT_EQ(GetSettingText(QStringLiteral("MRU1"), QString()), env.path(QStringLiteral("kept.pdb")));
}

// The Window menu numbers the open windows as on Windows: the first nine are chosen with their digit, the
// tenth with its 0, the others with the pointer. A path keeps its "&" and a long one is shortened in its
// middle, so neither that menu nor the recent files reach past the screen; a recent file still opens by its
// whole path.
TEST_F(MainWindowTest, WindowAndRecentFileMenusShowEveryPathWithinTheScreen) {
    QString folder;
    while (folder.size() < 600)
        folder += QStringLiteral("leak survey %1/").arg(folder.size());
    std::vector<frmDMA*> lists;
    for (int i = 1; i <= 11; ++i)
        lists.push_back(openArea(folder + QStringLiteral("north & south %1.pdb").arg(i), 1100000 + i));
    const int screenWidth = QGuiApplication::primaryScreen()->availableGeometry().width();

    QMenu* windowMenu = main->menu(QStringLiteral("mnuWindow"));
    emit windowMenu->aboutToShow();
    QStringList entries;
    for (QAction* a : windowMenu->actions())
        if (a->text().endsWith(QStringLiteral(".pdb")))
            entries << a->text();
    ASSERT_EQ(entries.size(), 11);
    for (int i = 1; i <= 11; ++i) {
        const QString number = i <= 9    ? QStringLiteral("&%1 ").arg(i)
                               : i == 10 ? QStringLiteral("1&0 ")
                                         : QStringLiteral("11 ");
        EXPECT_TRUE(entries[i - 1].startsWith(number)) << entries[i - 1].toStdString();
        EXPECT_TRUE(entries[i - 1].endsWith(QStringLiteral("north && south %1.pdb").arg(i)))
            << entries[i - 1].toStdString();
    }
    EXPECT_LE(windowMenu->sizeHint().width(), screenWidth);

    const QString longPath = lists.front()->windowTitle();
    ASSERT_GT(longPath.size(), 600);
    main->ClearMRU();
    main->RebuildMruMenu(longPath);
    EXPECT_LE(main->menu(QStringLiteral("mnuFile"))->sizeHint().width(), screenWidth);
    EXPECT_EQ(main->mruCaption(1), longPath);
    lists.front()->AskForSave = false;
    lists.front()->close();
    flushDeletes();
    ScriptedUi ui;
    main->mnuFileMRU[1]->trigger();
    ASSERT_TRUE(ActiveDocument);
    EXPECT_EQ(ActiveDocument->windowTitle(), longPath);
}

// The list window the user sees active is the one the commands act on, however it became active: the one
// left after another was closed, one chosen in the Window menu, one reached with Ctrl+Tab or Ctrl+F6.
TEST_F(MainWindowTest, ActivatingAListWindowMakesItTheCurrentDocument) {
    activateMain();
    frmDMA* north = openArea(QStringLiteral("north.pdb"), 1100001);
    frmDMA* south = openArea(QStringLiteral("south.pdb"), 2200002);
    frmDMA* east = openArea(QStringLiteral("east.pdb"), 3300003);
    ASSERT_TRUE(north && south && east);
    ASSERT_EQ(ActiveDocument, east);

    // File, Close of the active window leaves another active: its list has the focus and Save acts on it.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier); // the File menu, then Close
    ASSERT_TRUE(QApplication::activePopupWidget());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_C);
    flushDeletes();
    QMdiSubWindow* left = main->mdiArea()->activeSubWindow();
    ASSERT_TRUE(left);
    auto* leftList = qobject_cast<frmDMA*>(left);
    ASSERT_TRUE(leftList);
    EXPECT_EQ(ActiveDocument, leftList);
    EXPECT_EQ(QApplication::focusWidget(), leftList->ListViewDMA);
    QDir().mkpath(env.path(QStringLiteral("rovemark/autoexport"))); // the PDA queue takes a copy of each save
    {
        ScriptedUi ui; // a window with a file saves without a dialog or a message
        main->menuItem(QStringLiteral("mnuFileSave"))->trigger();
        EXPECT_TRUE(ui.messages().empty());
    }

    // Closing the current window after its save question: on the desktop the question box still holds the
    // activation while the next window comes forward, so no focus event reaches that window's list.
    QWidget question;
    leftList->AskForSave = true;
    {
        ScriptedUi ui;
        ui.expectMessage(plat::IDNO, LoadLangString(txt::SavePrompt));
        question.show();
        question.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&question));
        main->mnuFileClose_Click();
        flushDeletes();
    }
    ASSERT_EQ(main->mdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(ActiveDocument, qobject_cast<frmDMA*>(main->mdiArea()->activeSubWindow()));
    question.close();
    activateMain();
    frmDMA* reopened = openArea(QStringLiteral("west.pdb"), 4400004);
    ASSERT_TRUE(reopened);
    frmDMA* other = static_cast<frmDMA*>(main->mdiArea()->subWindowList().front());

    // The Window menu: the other list becomes current.
    QMenu* windowMenu = main->menu(QStringLiteral("mnuWindow"));
    emit windowMenu->aboutToShow();
    QAction* entry = nullptr;
    for (QAction* a : windowMenu->actions())
        if (a->text().endsWith(other->windowTitle()))
            entry = a;
    ASSERT_TRUE(entry);
    entry->trigger();
    EXPECT_EQ(main->mdiArea()->activeSubWindow(), other);
    EXPECT_EQ(ActiveDocument, other);
    EXPECT_EQ(QApplication::focusWidget(), other->ListViewDMA);

    // The keyboard, typed into the list that has the focus.
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Tab, Qt::ControlModifier},
                                                              {Qt::Key_F6, Qt::ControlModifier}};
    for (const auto& [key, modifiers] : keys) {
        SCOPED_TRACE(QKeySequence(key | modifiers).toString().toStdString());
        frmDMA* before = ActiveDocument.data();
        QWidget* focus = QApplication::focusWidget();
        ASSERT_TRUE(focus);
        QTest::keyClick(focus, key, modifiers);
        QTest::keyRelease(focus, Qt::Key_Control);
        QMdiSubWindow* now = main->mdiArea()->activeSubWindow();
        ASSERT_TRUE(now);
        EXPECT_NE(now, before);
        EXPECT_EQ(ActiveDocument, qobject_cast<frmDMA*>(now));
        EXPECT_EQ(QApplication::focusWidget(), static_cast<frmDMA*>(now)->ListViewDMA);
    }
}

// A list that comes up (File, Open, File, New, a merged file) has the keyboard with its first row current:
// Down moves to the second logger and Enter opens the record editor on it, which then has the keyboard.
TEST_F(MainWindowTest, ANewListHasTheKeyboardAndEnterOpensTheEditor) {
    activateMain();
    frmDMAEdit* editor = LoadRecordEditor(main.get());
    const QString area = env.writeFile(QStringLiteral("two.pdb"),
                                       areaFile({{1100001, "AB 1234 5678", "North", "", "", "", "", "", 0, 0, ""},
                                                 {1100002, "AB 2234 5678", "South", "", "", "", "", "", 0, 0, ""}}));
    const std::function<void()> commands[] = {
        [&] {
            ScriptedUi ui;
            ui.expectOpenFile(area);
            main->mnuFileOpen_Click();
        },
        [&] { main->mnuFileNew_Click(); },
        // as a merge opens the merged file (another file: a file already open brings its window forward)
        [&] { OpenDocument(env.writeFile(QStringLiteral("merged.pdb"), TestEnv::readFile(area))); },
    };
    for (const auto& command : commands) {
        command();
        QCoreApplication::processEvents();
        frmDMA* list = qobject_cast<frmDMA*>(main->mdiArea()->currentSubWindow());
        ASSERT_TRUE(list);
        EXPECT_EQ(ActiveDocument, list);
        EXPECT_EQ(QApplication::focusWidget(), list->ListViewDMA);
        if (list->RecordCount < 1)
            continue;
        EXPECT_EQ(list->ListViewDMA->currentIndex().row(), 0);
        QTest::keyClick(list->ListViewDMA, Qt::Key_Down);
        EXPECT_EQ(list->SelLine, 2);
        QTest::keyClick(list->ListViewDMA, Qt::Key_Return);
        EXPECT_TRUE(editor->isVisible());
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == editor; }, 2000));
        EXPECT_EQ(editor->txtSerNum->Text(), QStringLiteral("01100002"));
        editor->hide();
        activateMain();
    }
}

// No key reaches two commands at once. The main window's commands (the command table and its window keys)
// each have a key of their own. While the record editor is the active window its own keys (F12 and the Alt
// keys of its buttons) are its commands, even where a main-window command or menu has the same key: F12 is
// Update there and Refresh List in the list; Alt+S is Update Serial there and opens a menu in the list.
TEST_F(MainWindowTest, NoKeyReachesTwoCommandsAtOnce) {
    std::map<QString, QStringList> mainKeys; // key -> commands of the main window
    for (const cmd::MenuEntry& e : cmd::menuTable())
        if (e.kind == cmd::Kind::Item && *e.shortcut)
            mainKeys[QKeySequence(QString::fromLatin1(e.shortcut)).toString()] << QLatin1String(e.name);
    for (QShortcut* s : main->findChildren<QShortcut*>())
        mainKeys[s->key().toString()] << QStringLiteral("window key");
    for (const auto& [key, commands] : mainKeys)
        EXPECT_EQ(commands.size(), 1) << key.toStdString() << ": " << commands.join(u',').toStdString();

    frmDMAEdit* editor = LoadRecordEditor(main.get());
    std::set<QString> menuKeys; // the menu bar's Alt keys
    for (QAction* a : main->menuBar()->actions())
        menuKeys.insert(QKeySequence::mnemonic(a->text()).toString());
    QStringList editorKeys;
    QStringList shadowed; // the editor's keys that the main window has too
    for (const QKeySequence& key : editor->ownKeys()) {
        EXPECT_FALSE(editorKeys.contains(key.toString())) << key.toString().toStdString();
        editorKeys << key.toString();
        if (mainKeys.count(key.toString()) || menuKeys.count(key.toString()))
            shadowed << key.toString();
    }
    EXPECT_EQ(shadowed, (QStringList{QStringLiteral("F12"), QStringLiteral("Alt+S")}));

    // Pressed in the editor, wherever its focus is, the keys both have run the editor's command.
    activateMain();
    frmDMA* doc = openArea();
    ASSERT_TRUE(doc);
    doc->ListViewDMA->setFocus();
    doc->ListViewDMA_ItemClick(1);
    editor->showEditor();
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == editor; }, 2000));
    QWidget* places[] = {editor->txtComments1, editor->txtComments2, editor->txtUserComments, editor->ListViewEditBox,
                         editor->cmdClose};
    int n = 0;
    for (QWidget* place : places) {
        SCOPED_TRACE(place->objectName().toStdString());
        const QString comment = QStringLiteral("Edited %1").arg(++n);
        editor->txtComments1->setBoxText(comment);
        place->setFocus();
        ShowStatusText(QString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F12);
        EXPECT_EQ(QString::fromLatin1(doc->localRecord(1).Comment1.c_str()), comment);
        EXPECT_NE(main->statusText(), LoadLangString(txt::ListReloaded));

        place->setFocus();
        ScriptedUi ui;
        ui.expectMessage(plat::IDNO, LoadLangString(txt::ChangeSerialQuestion));
        ui.expectMessage(plat::IDOK, LoadLangString(txt::SerialNotChanged));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
        EXPECT_FALSE(QApplication::activePopupWidget());
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        activateMain(); // the messages put the editor away
        editor->showEditor();
        editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == editor; }, 2000));
    }
    // In the list the main window's command runs.
    activateMain();
    doc->ListViewDMA->setFocus();
    editor->txtComments1->setBoxText(QStringLiteral("Not written"));
    QTest::keyClick(doc->ListViewDMA, Qt::Key_F12);
    EXPECT_EQ(main->statusText(), LoadLangString(txt::ListReloaded));
    EXPECT_EQ(QString::fromLatin1(doc->localRecord(1).Comment1.c_str()), QStringLiteral("Edited 5"));
    editor->hide();
}

// Window > Cascade: every list window keeps a useful size, each one a step lower and further right than the
// one beneath it, and the one on top stays the current one.
TEST_F(MainWindowTest, CascadeKeepsTheListWindowsLargeAndSteppedDown) {
    main->resize(1000, 760);
    QCoreApplication::processEvents();
    std::vector<frmDMA*> lists;
    for (int i = 0; i < 3; ++i)
        lists.push_back(openArea(QStringLiteral("area%1.pdb").arg(i), 1100001 + i));
    ASSERT_TRUE(lists.back());
    lists[0]->resize(200, 150);
    main->menuItem(QStringLiteral("mnuWindowCascade"))->trigger();
    QCoreApplication::processEvents();
    const QSize area = main->mdiArea()->viewport()->size();
    for (size_t i = 0; i < lists.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(lists[i]->width(), area.width() * 2 / 3);
        EXPECT_GE(lists[i]->height(), area.height() * 2 / 3);
        EXPECT_TRUE(QRect(QPoint(0, 0), area).contains(lists[i]->geometry()));
        if (i > 0) {
            EXPECT_GT(lists[i]->x(), lists[i - 1]->x());
            EXPECT_GT(lists[i]->y(), lists[i - 1]->y());
        }
    }
    EXPECT_EQ(main->mdiArea()->currentSubWindow(), lists.back());
}

// Window > Tile Horizontally and Tile Vertically: the windows in the order they were opened, each a band of the
// area's full width one below the other, or a column of its full height side by side.
TEST_F(MainWindowTest, TilingSharesTheAreaInBandsOrColumns) {
    main->resize(1000, 760);
    QCoreApplication::processEvents();
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(openArea(QStringLiteral("area%1.pdb").arg(i), 1100001 + i));
    const auto windows = main->mdiArea()->subWindowList(QMdiArea::CreationOrder);
    ASSERT_EQ(windows.size(), 2);
    const struct {
        const char* command;
        bool bands;
    } cases[] = {{"mnuWindowTileHorizontal", true}, {"mnuWindowTileVertical", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        main->menuItem(QString::fromLatin1(c.command))->trigger();
        QCoreApplication::processEvents();
        const QSize area = main->mdiArea()->viewport()->size();
        for (int i = 0; i < 2; ++i) {
            const QRect expected = c.bands ? QRect(0, i * (area.height() / 2), area.width(), area.height() / 2)
                                           : QRect(i * (area.width() / 2), 0, area.width() / 2, area.height());
            EXPECT_EQ(windows[i]->geometry(), expected) << i;
        }
    }
}

// View, Toolbar and Status Bar: a list window down to the foot of the window area follows the area as the bars
// go and come back, so no empty band opens below it; a window higher up keeps its size.
TEST_F(MainWindowTest, HidingTheBarsLeavesNoEmptyBandBelowTheLists) {
    main->resize(900, 700);
    QCoreApplication::processEvents();
    frmDMA* full = openArea(QStringLiteral("full.pdb"), 1100001);
    frmDMA* small = openArea(QStringLiteral("small.pdb"), 2200002);
    ASSERT_TRUE(full && small);
    QWidget* viewport = main->mdiArea()->viewport();
    full->setGeometry(QRect(QPoint(0, 0), viewport->size()));
    small->setGeometry(40, 40, 300, 200);
    const struct {
        const char* item;
        bool shown;
    } steps[] = {
        {"mnuViewToolbar", false}, {"mnuViewStatusBar", false}, {"mnuViewToolbar", true}, {"mnuViewStatusBar", true}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.item);
        QAction* item = main->menuItem(QLatin1String(step.item));
        const int before = viewport->height();
        item->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(item->isChecked(), step.shown);
        EXPECT_NE(viewport->height(), before);
        EXPECT_EQ(full->geometry().bottom() + 1, viewport->height());
        EXPECT_EQ(small->geometry(), QRect(40, 40, 300, 200));
    }
}

// With AutoSize on, a list window takes its column widths from its new width when it is maximized,
// restored, or resized by the Window menu's tiling while another window is the current one.
TEST_F(MainWindowTest, AutoSizeFollowsTheWidthAListWindowGets) {
    QCoreApplication::processEvents();
    main->resize(QGuiApplication::primaryScreen()->availableGeometry().size());
    frmDMA* doc = openArea();
    ASSERT_TRUE(doc);
    doc->resize(560, 300);
    QCoreApplication::processEvents();
    main->menuItem(QStringLiteral("mnuViewAutoSize"))->trigger();
    ASSERT_TRUE(doc->AutoSize);
    // The grid column gets a seventh of the list's width (wider than its values at these sizes).
    const auto gridWidthFits = [](frmDMA* list) {
        return list->ListViewDMA->header()->sectionSize(1) == std::lround(list->ListViewDMA->viewport()->width() / 7.0);
    };
    const int before = doc->ListViewDMA->header()->sectionSize(1);
    doc->showMaximized();
    QCoreApplication::processEvents();
    ASSERT_GT(doc->ListViewDMA->viewport()->width(), 700);
    EXPECT_TRUE(gridWidthFits(doc));
    EXPECT_GT(doc->ListViewDMA->header()->sectionSize(1), before);
    doc->showNormal();
    QCoreApplication::processEvents();
    EXPECT_TRUE(gridWidthFits(doc));

    // Two windows with AutoSize on, tiled side by side: each fits its own new width.
    frmDMA* second = openArea(QStringLiteral("second.pdb"), 2200002);
    ASSERT_TRUE(second);
    main->menuItem(QStringLiteral("mnuViewAutoSize"))->trigger();
    ASSERT_TRUE(second->AutoSize);
    main->menuItem(QStringLiteral("mnuWindowTileHorizontal"))->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(gridWidthFits(doc));
    EXPECT_TRUE(gridWidthFits(second));
}

// A session that ended maximized stored the whole screen (and on Windows a few pixels past its edges): the
// next start shows the whole window, status bar included, on the available part of the screen.
TEST_F(MainWindowTest, TheRestoredWindowFitsTheScreen) {
    const ScopedProgramWindows keepMain(main.get()); // whatever the other main windows do to the registration
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        QRect stored; // pixels
    };
    const Case cases[] = {
        {QRect(free.left() - 8, free.top() - 8, free.width() + 16, free.height() + 16)}, // maximized
        {QRect(free.right() - 100, free.bottom() - 50, 640, 480)},                       // past the corner
        {QRect(free.left() + 10, free.top() + 10, 300, 200)},                            // fits: kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.x());
        SaveSettingText(QStringLiteral("MainLeft"), QString::number(plat::twips::fromPixelsX(c.stored.x())));
        SaveSettingText(QStringLiteral("MainTop"), QString::number(plat::twips::fromPixelsY(c.stored.y())));
        SaveSettingText(QStringLiteral("MainWidth"), QString::number(plat::twips::fromPixelsX(c.stored.width())));
        SaveSettingText(QStringLiteral("MainHeight"), QString::number(plat::twips::fromPixelsY(c.stored.height())));
        frmMain restored;
        restored.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(free.contains(restored.frameGeometry()))
            << restored.frameGeometry().x() << ',' << restored.frameGeometry().y() << ' '
            << restored.frameGeometry().width() << 'x' << restored.frameGeometry().height();
        const QRect bar(restored.statusBar()->mapToGlobal(QPoint(0, 0)), restored.statusBar()->size());
        EXPECT_TRUE(free.contains(bar));
        if (free.contains(c.stored)) {
            EXPECT_EQ(restored.frameGeometry().topLeft(), c.stored.topLeft());
            EXPECT_EQ(restored.size(), c.stored.size());
        }
        restored.close();
    }
}

} // namespace
