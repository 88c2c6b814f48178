#include "documents/frmMain.h"

#include "core/DatabaseFile.h"
#include "core/MergeReadings.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "core/Startup.h"
#include "core/frmSplash.h"
#include "documents/AmblewayImport.h"
#include "documents/DocumentFiles.h"
#include "documents/MainCommands.h"
#include "documents/PrintSeams.h"
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/Twips.h"
#include "platform/WindowRegistry.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <vector>

std::function<long long()> frmMain::localEpochSeconds = [] {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toSecsSinceEpoch() + now.offsetFromUtc();
};

namespace {

enum LangText {
    TxtNoLoggerWindow = 129,
    TxtMainCaption = 256,
    TxtLoggerFilter = 310,
    TxtTextFilter = 311,
    TxtMergeEmptyList = 313,
    TxtMergeTitle = 314,
    TxtMergeFileType = 316,
    TxtOpenTitle = 318,
    TxtSaveTitle = 319,
    TxtNoHelpFile = 328,
    TxtSaveAsTitle = 329,
    TxtSaveEmptyList = 330,
    TxtExportEmptyList = 331,
    TxtExportTitle = 332,
    TxtTextSaveFailed = 335,
    TxtTextLoadFailed = 336,
    TxtOverwriteQuestion = 337,
};

using Handler = void (*)(frmMain&, int index);
using Available = bool (*)();

enum class Kind { Menu, EndMenu, Item, Separator };

// One row of the menu tree: menus open a level, items carry their handler. An item whose command another
// part of the program provides names the test of that provision; until it holds the item stays disabled.
struct MenuEntry {
    Kind kind;
    const char* name;
    const char* caption; // design caption, kept when the text number is 0
    int text;
    const char* shortcut;
    Handler handler;
    Available available;
    int index;
    bool checkable;
    bool checked;
};

struct ToolEntry {
    const char* key; // nullptr: a separator
    const char* tooltip;
    int text;
    const char* themeIcon;
    const char* bundledIcon;
    Handler handler;
    Available available;
};

#define ON(f) [](frmMain& m, int) { m.f(); }
#define ONI(f) [](frmMain& m, int i) { m.f(i); }
#define HOOK(field) [] { return static_cast<bool>(maincmd::hooks().field); }

constexpr MenuEntry M(const char* name, const char* caption, int text) {
    return {Kind::Menu, name, caption, text, "", nullptr, nullptr, -1, false, false};
}
constexpr MenuEntry End() {
    return {Kind::EndMenu, "", "", 0, "", nullptr, nullptr, -1, false, false};
}
constexpr MenuEntry Bar(const char* name) {
    return {Kind::Separator, name, "-", 0, "", nullptr, nullptr, -1, false, false};
}
constexpr MenuEntry I(const char* name, const char* caption, int text, const char* key, Handler h,
                      Available avail = nullptr, int index = -1, bool checkable = false, bool checked = false) {
    return {Kind::Item, name, caption, text, key, h, avail, index, checkable, checked};
}

bool printingProvided() {
    return static_cast<bool>(printing::createPrintSetup);
}
bool pageSetupProvided() {
    return static_cast<bool>(printing::pageSetup);
}
bool recordEditorProvided() {
    return static_cast<bool>(maincmd::hooks().ShowRecordEditor);
}

const std::vector<MenuEntry>& menuTable() {
    static const std::vector<MenuEntry> table = {
        M("mnuFile", "&File", 258),
        I("mnuFileNew", "&New", 259, "Ctrl+N", ON(mnuFileNew_Click)),
        I("mnuFileNewWin", "New, from current &Window...", 260, "", ON(mnuFileNewWin_Click), HOOK(NewWindowCommand)),
        Bar("mnuFileBar11"),
        I("mnuFileOpen", "&Open...", 262, "Ctrl+O", ON(mnuFileOpen_Click)),
        I("mnuFileMerge", "Add &most recent patrol to...", 263, "", ON(mnuFileMerge_Click), HOOK(MergeReadings)),
        I("mnuMergeByRDGrid", "Merge by Coordinate Reference", 661, "", ON(mnuMergeByRDGrid_Click),
          HOOK(MergeReadingsByRDGrid)),
        Bar("mnuFileBar0"),
        I("mnuFileSave", "&Save", 264, "Ctrl+S", ON(mnuFileSave_Click)),
        I("mnuFileSaveAs", "Save &As...", 265, "Ctrl+A", ON(mnuFileSaveAs_Click)),
        I("mnuFileImport", "&Import Ambleway File", 518, "", ON(mnuFileImport_Click)),
        I("mnuFileExport", "&Export...", 266, "", ON(mnuFileExport_Click)),
        Bar("mnuFileBar5"),
        I("mnuFileClose", "&Close", 267, "", ON(mnuFileClose_Click)),
        Bar("mnuFileBar1"),
        I("mnuFilePageSetup", "Page Set&up...", 268, "", ON(mnuFilePageSetup_Click), pageSetupProvided),
        I("mnuFilePrint", "&Print...", 269, "Ctrl+P", ON(mnuFilePrint_Click), printingProvided),
        Bar("mnuFileBar3"),
        I("mnuFileMRU", "", 0, "", ONI(mnuFileMRU_Click), nullptr, 1),
        I("mnuFileMRU", "", 0, "", ONI(mnuFileMRU_Click), nullptr, 2),
        I("mnuFileMRU", "", 0, "", ONI(mnuFileMRU_Click), nullptr, 3),
        I("mnuFileMRU", "", 0, "", ONI(mnuFileMRU_Click), nullptr, 4),
        Bar("mnuFileBar4"),
        I("mnuFileExit", "E&xit", 270, "", ON(mnuFileExit_Click)),
        End(),

        M("mnuEdit", "&Edit", 271),
        I("mnuEditCut", "Cu&t", 272, "", ON(mnuEditCut_Click), HOOK(CutRecords)),
        I("mnuEditCopy", "&Copy", 273, "Ctrl+C", ON(mnuEditCopy_Click), HOOK(CopyRecords)),
        I("mnuEditPaste", "&Paste", 274, "Ctrl+V", ON(mnuEditPaste_Click), HOOK(PasteRecords)),
        End(),

        M("mnuSearch", "&Search", 275),
        I("mnuSearchrFind", "&Find...", 276, "", ON(mnuSearchrFind_Click), HOOK(FindCommand)),
        I("mnuSearchFindNext", "Find &Next", 277, "F3", ON(mnuSearchFindNext_Click), HOOK(FindNextCommand)),
        Bar("mnuSearch0"),
        I("mnuSearchCatalogue", "For serial number in files...", 278, "", ON(mnuSearchCatalogue_Click),
          HOOK(createCatalogue)),
        End(),

        M("mnuLogger", "&Logger", 279),
        I("mnuLoggerAdd", "&Add...", 280, "", ON(mnuLoggerAdd_Click), HOOK(AddLoggerCommand)),
        I("mnuLoggerRemove", "&Remove", 281, "", ON(mnuLoggerRemove_Click), HOOK(RemoveLoggerCommand)),
        I("mnuLoggerChangeSerial", "&Change Serial...", 282, "", ON(mnuLoggerChangeSerial_Click),
          HOOK(ChangeSerialCommand)),
        I("mnuLoggerChangeDeployDate", "Change &Deploy date...", 283, "", ON(mnuLoggerChangeDeployDate_Click),
          HOOK(ChangeDeployDateCommand)),
        Bar("mnuLogger0"),
        I("mnuLoggerFill", "F&ill...", 284, "", ON(mnuLoggerFill_Click), HOOK(FillCommand)),
        I("mnuUpdateAllAddInfo", "&Update All Additional Information", 648, "", ON(mnuUpdateAllAddInfo_Click)),
        End(),

        M("mnuRovemark", "&Rovemark", 285),
        M("mnuRovemarkFrom", "&Receive from Rovemark", 286),
        I(
            "mnuRovemarkFromSome", "Selection", 287, "F5",
            [](frmMain&, int) { maincmd::hooks().mnuRovemarkFromSome_Click(); }, HOOK(mnuRovemarkFromSome_Click)),
        I(
            "mnuRovemarkFromAll", "All", 288, "Shift+F5",
            [](frmMain&, int) { maincmd::hooks().mnuRovemarkFromAll_Click(); }, HOOK(mnuRovemarkFromAll_Click)),
        End(),
        M("mnuRovemarkTo", "Send to Rovemark", 289),
        I(
            "mnuRovemarkToSome", "Selection", 287, "F9",
            [](frmMain&, int) { maincmd::hooks().mnuRovemarkToSome_Click(); }, HOOK(mnuRovemarkToSome_Click)),
        I(
            "mnuRovemarkToAll", "All", 288, "Shift+F9",
            [](frmMain&, int) { maincmd::hooks().mnuRovemarkToAll_Click(); }, HOOK(mnuRovemarkToAll_Click)),
        End(),
        Bar("mnuRovemarkBar0"),
        I(
            "mnuRovemarkOptions", "&Options...", 290, "",
            [](frmMain&, int) { maincmd::hooks().mnuRovemarkOptions_Click(); }, HOOK(mnuRovemarkOptions_Click)),
        Bar("mnuRovemarkBar1"),
        M("mnuRovemark2", "Rovemark PDA", 637),
        I(
            "mnuRovemarkUploadDMA", "PC to PDA", 617, "",
            [](frmMain&, int) { maincmd::hooks().mnuRovemarkUploadDMA_Click(); }, HOOK(mnuRovemarkUploadDMA_Click)),
        I(
            "mnuRovemarkDownloadPatrol", "PDA to PC", 618, "",
            [](frmMain&, int) { maincmd::hooks().mnuRovemarkDownloadPatrol_Click(); },
            HOOK(mnuRovemarkDownloadPatrol_Click)),
        I(
            "mnuRovemarkSyncPDA", "Synchronise PDA", 668, "",
            [](frmMain&, int) { maincmd::hooks().mnuRovemarkSyncPDA_Click(); }, HOOK(mnuRovemarkSyncPDA_Click)),
        End(),
        End(),

        M("mnuView", "&View", 291),
        I("mnuViewEditor", "&Editor", 292, "F8", ON(mnuViewEditor_Click), recordEditorProvided),
        I("mnuViewLogger", "&Logger", 0, "", ON(mnuViewLogger_Click)),
        I("mnuViewToolbar", "&Toolbar", 293, "", ON(mnuViewToolbar_Click), nullptr, -1, true, true),
        I("mnuViewStatusBar", "Status &Bar", 294, "", ON(mnuViewStatusBar_Click), nullptr, -1, true, true),
        Bar("mnuView2"),
        I("mnuViewRefreshList", "&Refresh List", 295, "F12", ON(mnuViewRefreshList_Click)),
        I("mnuViewAutoSize", "AutoSize", 296, "", ON(mnuViewAutoSize_Click), HOOK(AutoSizeColumns), -1, true),
        Bar("mnuView1"),
        M("mnuViewShow", "&Show", 297),
        I("mnuViewShowOption", "All", 288, "F2", ONI(mnuViewShowOption_Click), HOOK(AutoSizeColumns), 0),
        I("mnuViewShowOption", "Serial", 158, "", ONI(mnuViewShowOption_Click), HOOK(AutoSizeColumns), 1),
        I("mnuViewShowOption", "Grid ref", 298, "", ONI(mnuViewShowOption_Click), HOOK(AutoSizeColumns), 2),
        I("mnuViewShowOption", "Deployed", 162, "", ONI(mnuViewShowOption_Click), HOOK(AutoSizeColumns), 3),
        I("mnuViewShowOption", "Received", 163, "", ONI(mnuViewShowOption_Click), HOOK(AutoSizeColumns), 4),
        I("mnuViewShowOption", "Comment 1", 299, "", ONI(mnuViewShowOption_Click), HOOK(AutoSizeColumns), 5),
        I("mnuViewShowOption", "Comment 2", 300, "", ONI(mnuViewShowOption_Click), HOOK(AutoSizeColumns), 6),
        I("mnuViewShowOption", "Date", 164, "", ONI(mnuViewShowOption_Click), HOOK(AutoSizeColumns), 7),
        End(),
        M("mnuViewHide", "&Hide", 301),
        I("mnuViewHideOption", "All", 288, "", ONI(mnuViewHideOption_Click), HOOK(AutoSizeColumns), 0),
        I("mnuViewHideOption", "Serial", 158, "", ONI(mnuViewHideOption_Click), HOOK(AutoSizeColumns), 1),
        I("mnuViewHideOption", "Grid ref", 298, "", ONI(mnuViewHideOption_Click), HOOK(AutoSizeColumns), 2),
        I("mnuViewHideOption", "Deployed", 162, "", ONI(mnuViewHideOption_Click), HOOK(AutoSizeColumns), 3),
        I("mnuViewHideOption", "Received", 163, "", ONI(mnuViewHideOption_Click), HOOK(AutoSizeColumns), 4),
        I("mnuViewHideOption", "Comment 1", 299, "", ONI(mnuViewHideOption_Click), HOOK(AutoSizeColumns), 5),
        I("mnuViewHideOption", "Comment 2", 300, "", ONI(mnuViewHideOption_Click), HOOK(AutoSizeColumns), 6),
        I("mnuViewHideOption", "Date", 164, "", ONI(mnuViewHideOption_Click), HOOK(AutoSizeColumns), 7),
        End(),
        End(),

        M("mnuSarnic", "&Sarnic", 588),
        I("mnuSarnicSetup", "&Setup...", 589, "", ON(mnuSarnicSetup_Click), HOOK(createSarnicSetup)),
        End(),

        M("mnuWindow", "&Window", 302),
        I("mnuWindowCascade", "&Cascade", 303, "", ON(mnuWindowCascade_Click)),
        I("mnuWindowTileHorizontal", "Tile &Horizontal", 304, "", ON(mnuWindowTileHorizontal_Click)),
        I("mnuWindowTileVertical", "Tile &Vertical", 305, "", ON(mnuWindowTileVertical_Click)),
        I("mnuWindowArrangeIcons", "&Arrange Icons", 306, "", ON(mnuWindowArrangeIcons_Click)),
        Bar("mnuFileBar12"),
        I("mnuWindowFollowMouse", "&Follow mouse", 498, "", ON(mnuWindowFollowMouse_Click), nullptr, -1, true),
        End(),

        M("mnuHelp", "&Help", 307),
        I("mnuHelpContents", "&Contents", 308, "F1", ON(mnuHelpContents_Click)),
        Bar("mnuHelpBar0"),
        I("mnuHelpAbout", "&About ", 309, "", ON(mnuHelpAbout_Click)),
        End(),
    };
    return table;
}

bool mapProvided() {
    return maincmd::hooks().mapViewAvailable;
}

const std::vector<ToolEntry>& toolTable() {
    static const std::vector<ToolEntry> table = {
        {"New", "New", 317, "document-new", ":/icons/new.png", ON(mnuFileNew_Click), nullptr},
        {"Open", "Open", 318, "document-open", ":/icons/open.png", ON(mnuFileOpen_Click), nullptr},
        {"Save", "Save", 319, "document-save", ":/icons/save.png", ON(mnuFileSave_Click), nullptr},
        {},
        {"Print", "Print", 320, "document-print", ":/icons/print.png", ON(mnuFilePrint_Click), printingProvided},
        {},
        {"Cut", "Cut", 321, "edit-cut", ":/icons/cut.png", ON(mnuEditCut_Click), HOOK(CutRecords)},
        {"Copy", "Copy", 322, "edit-copy", ":/icons/copy.png", ON(mnuEditCopy_Click), HOOK(CopyRecords)},
        {"Paste", "Paste", 323, "edit-paste", ":/icons/paste.png", ON(mnuEditPaste_Click), HOOK(PasteRecords)},
        {},
        {"Back", "Previous Page", 326, "go-up", ":/icons/back.png", nullptr, nullptr},
        {"Forward", "Next Page", 327, "go-down", ":/icons/forward.png", nullptr, nullptr},
        {},
        {"from_rovemark", "Receive all from Rovemark", 324, "", ":/icons/from_rovemark.png",
         [](frmMain&, int) { maincmd::hooks().mnuRovemarkFromAll_Click(); }, HOOK(mnuRovemarkFromAll_Click)},
        {"to_rovemark", "Send all to Rovemark", 325, "", ":/icons/to_rovemark.png",
         [](frmMain&, int) { maincmd::hooks().mnuRovemarkToAll_Click(); }, HOOK(mnuRovemarkToAll_Click)},
        {},
        {"From PDA", "From PDA", 618, "", ":/icons/from_pda.png",
         [](frmMain&, int) { maincmd::hooks().mnuRovemarkDownloadPatrol_Click(); },
         HOOK(mnuRovemarkDownloadPatrol_Click)},
        {"To PDA", "To PDA", 617, "", ":/icons/to_pda.png",
         [](frmMain&, int) { maincmd::hooks().mnuRovemarkUploadDMA_Click(); }, HOOK(mnuRovemarkUploadDMA_Click)},
        {"Synchronise PDA", "Synchronise PDA", 668, "", ":/icons/sync_pda.png",
         [](frmMain&, int) { maincmd::hooks().mnuRovemarkSyncPDA_Click(); }, HOOK(mnuRovemarkSyncPDA_Click)},
        {},
        {"AddVordalin", "", 499, "list-add", ":/icons/add_logger.png",
         [](frmMain&, int) { maincmd::hooks().AddLoggerCommand(); }, HOOK(AddLoggerCommand)},
        {"gps", "Start GPS", 660, "", ":/icons/gps.png", ON(ShowMapOfList), mapProvided},
    };
    return table;
}

#undef ON
#undef ONI
#undef HOOK

QString itemKey(const MenuEntry& e) {
    return e.index >= 0 ? QStringLiteral("%1(%2)").arg(QLatin1String(e.name)).arg(e.index) : QLatin1String(e.name);
}

QIcon toolIcon(const ToolEntry& e) {
    const QIcon bundled(QString::fromLatin1(e.bundledIcon));
    if (!*e.themeIcon)
        return bundled;
    return QIcon::fromTheme(QString::fromLatin1(e.themeIcon), bundled);
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    Q_INIT_RESOURCE(frmMain);
    setObjectName(QStringLiteral("frmMain"));
    plat::windows::add(this, QStringLiteral("frmMain"));
    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("MDIClient"));
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QLinearGradient background(0, 0, 0, 900);
    background.setColorAt(0, QColor(0x4d, 0x6f, 0x8f));
    background.setColorAt(1, QColor(0x23, 0x3a, 0x52));
    mdiArea_->setBackground(QBrush(background));
    setCentralWidget(mdiArea_);
    setAcceptDrops(true);

    buildMenus();
    buildToolBar();
    buildStatusBar();
    SetDocumentArea(mdiArea_);
    documents::frame = this;
    maincmd::setHooksListener([this] { refreshCommandState(); });
    Form_Load();
}

frmMain::~frmMain() {
    maincmd::setHooksListener(nullptr);
    if (documents::frame == this)
        documents::frame = nullptr;
    plat::windows::remove(this);
}

void frmMain::buildMenus() {
    std::vector<QMenu*> stack;
    for (const MenuEntry& e : menuTable()) {
        switch (e.kind) {
        case Kind::Menu: {
            QMenu* m = stack.empty() ? menuBar()->addMenu(QString::fromUtf8(e.caption))
                                     : stack.back()->addMenu(QString::fromUtf8(e.caption));
            m->setObjectName(QLatin1String(e.name));
            m->menuAction()->setObjectName(QLatin1String(e.name));
            // The separators around the recent files meet while the list is empty: show one.
            m->setSeparatorsCollapsible(true);
            menus_.insert(QLatin1String(e.name), m);
            stack.push_back(m);
            break;
        }
        case Kind::EndMenu:
            stack.pop_back();
            break;
        case Kind::Separator: {
            QAction* a = stack.back()->addSeparator();
            a->setObjectName(QLatin1String(e.name));
            break;
        }
        case Kind::Item: {
            QAction* a = stack.back()->addAction(QString::fromUtf8(e.caption));
            a->setObjectName(itemKey(e));
            if (*e.shortcut)
                a->setShortcut(QKeySequence(QString::fromLatin1(e.shortcut)));
            a->setCheckable(e.checkable);
            a->setChecked(e.checked);
            const Handler h = e.handler;
            const int index = e.index;
            connect(a, &QAction::triggered, this, [this, h, index] { h(*this, index); });
            items_.insert(itemKey(e), a);
            break;
        }
        }
    }
    for (int i = 1; i <= 4; ++i) {
        mnuFileMRU[i] = items_.value(QStringLiteral("mnuFileMRU(%1)").arg(i));
        mnuFileMRU[i]->setVisible(false);
    }
    mnuFileExit = items_.value(QStringLiteral("mnuFileExit"));
    mnuWindowFollowMouse = items_.value(QStringLiteral("mnuWindowFollowMouse"));
    mnuViewAutoSize = items_.value(QStringLiteral("mnuViewAutoSize"));
    windowMenu_ = menus_.value(QStringLiteral("mnuWindow"));
    connect(windowMenu_, &QMenu::aboutToShow, this, &frmMain::rebuildWindowList);
}

void frmMain::buildToolBar() {
    tbToolBar = addToolBar(QStringLiteral("tbToolBar"));
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setMovable(false);
    tbToolBar->setIconSize(QSize(24, 24));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const ToolEntry& e : toolTable()) {
        if (!e.key) {
            tbToolBar->addSeparator();
            continue;
        }
        const QString key = QString::fromLatin1(e.key);
        QAction* a = tbToolBar->addAction(toolIcon(e), QString::fromUtf8(e.tooltip));
        a->setData(key);
        a->setObjectName(QStringLiteral("tb_") + key);
        a->setToolTip(QString::fromUtf8(e.tooltip));
        buttons_.insert(key, a);
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this,
            [this](QAction* a) { tbToolBar_ButtonClick(a->data().toString()); });
}

void frmMain::buildStatusBar() {
    statusBar()->setObjectName(QStringLiteral("sbStatusBar"));
    statusPanel_ = new QLabel(QStringLiteral("Status"), this);
    statusPanel_->setObjectName(QStringLiteral("sbStatusBarPanel1"));
    datePanel_ = new QLabel(this);
    datePanel_->setObjectName(QStringLiteral("sbStatusBarPanel2"));
    timePanel_ = new QLabel(this);
    timePanel_->setObjectName(QStringLiteral("sbStatusBarPanel3"));
    for (QLabel* l : {statusPanel_, datePanel_, timePanel_}) {
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
        l->setContentsMargins(4, 0, 4, 0);
    }
    datePanel_->setAlignment(Qt::AlignCenter);
    timePanel_->setAlignment(Qt::AlignCenter);
    statusBar()->addWidget(statusPanel_, 1);
    statusBar()->addPermanentWidget(datePanel_);
    statusBar()->addPermanentWidget(timePanel_);
    // The date and time panels keep themselves current, as the status bar control of the desktop did.
    clock_ = new QTimer(this);
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, &frmMain::updateClock);
    clock_->start();
    updateClock();
}

void frmMain::updateClock() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    datePanel_->setText(locale.toString(now.date(), QLocale::ShortFormat));
    timePanel_->setText(locale.toString(now.time(), QLocale::ShortFormat));
}

void frmMain::Form_Load() {
    LoadResources();
    const QString keys[] = {QStringLiteral("MainLeft"), QStringLiteral("MainTop"), QStringLiteral("MainWidth"),
                            QStringLiteral("MainHeight")};
    double v[4] = {};
    bool complete = true;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = GetSettingText(keys[i], QString()).toDouble(&ok);
        complete = complete && ok;
    }
    if (complete) {
        resize(plat::twips::toPixelsX(v[2]), plat::twips::toPixelsY(v[3]));
        move(plat::twips::toPixelsX(v[0]), plat::twips::toPixelsY(v[1]));
    } else {
        SetDefaultMainSize(this);
        CentreForm(this);
    }
    loggerFileFilter_ = FileFilterFromText(LoadLangString(TxtLoggerFilter));
    textDocumentFilter_ = FileFilterFromText(LoadLangString(TxtTextFilter));
    PDASupportCreated = false;
    refreshCommandState();
}

void frmMain::LoadResources() {
    setWindowTitle(LoadLangString(TxtMainCaption));
    for (const ToolEntry& e : toolTable()) {
        if (!e.key)
            continue;
        QAction* a = buttons_.value(QString::fromLatin1(e.key));
        const QString tip = LoadLangString(e.text);
        a->setToolTip(tip);
        a->setText(tip);
    }
    for (const MenuEntry& e : menuTable()) {
        if (e.text == 0 || (e.kind != Kind::Menu && e.kind != Kind::Item))
            continue;
        const QString caption = LoadLangString(e.text);
        if (e.kind == Kind::Menu)
            menus_.value(QLatin1String(e.name))->setTitle(caption);
        else
            items_.value(itemKey(e))->setText(caption);
    }
}

void frmMain::refreshCommandState() {
    for (const MenuEntry& e : menuTable())
        if (e.kind == Kind::Item && e.available)
            items_.value(itemKey(e))->setEnabled(e.available());
    for (const ToolEntry& e : toolTable())
        if (e.key && e.available)
            buttons_.value(QString::fromLatin1(e.key))->setEnabled(e.available());
}

QAction* frmMain::menuItem(const QString& name) const {
    return items_.value(name);
}
QMenu* frmMain::menu(const QString& name) const {
    return menus_.value(name);
}
QAction* frmMain::toolButton(const QString& key) const {
    return buttons_.value(key);
}

// ---------------------------------------------------------------------------------------------------------
// Seams

void frmMain::setFollowMouseChecked(bool checked) {
    mnuWindowFollowMouse->setChecked(checked);
}

QString frmMain::mruCaption(int item) const {
    return item >= 1 && item <= 4 ? mnuFileMRU[item]->text() : QString();
}

void frmMain::setMruCaption(int item, const QString& caption) {
    if (item >= 1 && item <= 4)
        mnuFileMRU[item]->setText(caption);
}

void frmMain::setMruVisible(int item, bool visible) {
    if (item >= 1 && item <= 4)
        mnuFileMRU[item]->setVisible(visible);
}

bool frmMain::isMinimized() const {
    return windowState() & Qt::WindowMinimized;
}

void frmMain::placementTwips(double* left, double* top, double* width, double* height) const {
    const QRect g = frameGeometry();
    *left = plat::twips::fromPixelsX(g.x());
    *top = plat::twips::fromPixelsY(g.y());
    *width = plat::twips::fromPixelsX(g.width());
    *height = plat::twips::fromPixelsY(g.height());
}

void frmMain::showMain() {
    show();
}

void frmMain::setStatusText(const QString& text) {
    statusPanel_->setText(text);
}
QString frmMain::statusText() const {
    return statusPanel_->text();
}
QString frmMain::dateText() const {
    return datePanel_->text();
}
QString frmMain::timeText() const {
    return timePanel_->text();
}

void frmMain::Interact(bool enable) {
    tbToolBar->setEnabled(enable);
    for (const char* name :
         {"mnuFile", "mnuEdit", "mnuSearch", "mnuLogger", "mnuRovemark", "mnuView", "mnuWindow", "mnuHelp"})
        menus_.value(QLatin1String(name))->menuAction()->setEnabled(enable);
    for (QWidget* w : plat::windows::loadedNamed(QStringLiteral("frmDMAEdit")))
        w->setEnabled(enable);
    for (QWidget* w : plat::windows::loaded())
        w->setEnabled(enable);
}

void frmMain::setAutoSizeChecked(bool checked) {
    mnuViewAutoSize->setChecked(checked);
}

void frmMain::AutoSizeColumns(int column, bool show) {
    if (maincmd::hooks().AutoSizeColumns)
        maincmd::hooks().AutoSizeColumns(column, show);
}

// ---------------------------------------------------------------------------------------------------------
// Recent files

void frmMain::ClearMRU() {
    for (int i = 1; i <= 4; ++i) {
        mnuFileMRU[i]->setText(QString());
        mnuFileMRU[i]->setVisible(false);
    }
}

void frmMain::RebuildMruMenu(const QString& path) {
    for (int i = 1; i <= 4; ++i)
        if (mnuFileMRU[i]->text() == path)
            return;
    for (int i = 1; i <= 4; ++i) {
        if (mnuFileMRU[i]->text().isEmpty()) {
            mnuFileMRU[i]->setText(path);
            mnuFileMRU[i]->setVisible(true);
            return;
        }
    }
    for (int i = 4; i > 1; --i)
        mnuFileMRU[i]->setText(mnuFileMRU[i - 1]->text());
    mnuFileMRU[1]->setText(path);
}

void frmMain::mnuFileMRU_Click(int index) {
    const QString caption = mnuFileMRU[index]->text();
    if (caption.isEmpty())
        return;
    OpenDocument(caption);
    SaveDefaultPath(caption);
}

// ---------------------------------------------------------------------------------------------------------
// File commands

QMdiSubWindow* frmMain::activeChild() const {
    return mdiArea_->currentSubWindow();
}

QString frmMain::formNameOfActiveChild() const {
    QMdiSubWindow* child = activeChild();
    return child ? plat::windows::formName(child) : QString();
}

bool frmMain::ConfirmOverwrite(const QString& path) {
    if (!DatabaseFileExists(path))
        return true;
    return plat::ui().messageBox(LoadLangString(TxtOverwriteQuestion) + path + u'?',
                                 plat::MB_YESNO | plat::MB_ICONHAND | plat::MB_DEFBUTTON2,
                                 plat::appTitle()) != plat::IDNO;
}

void frmMain::mnuFileNew_Click() {
    ShowStatusText(QString());
    NewDocument();
}

void frmMain::mnuFileNewWin_Click() {
    if (maincmd::hooks().NewWindowCommand)
        maincmd::hooks().NewWindowCommand();
}

void frmMain::mnuFileOpen_Click() {
    ShowStatusText(QString());
    dlgCommonDialog.parent = this;
    dlgCommonDialog.title = LoadLangString(TxtOpenTitle);
    if (ForceNewPath)
        dlgCommonDialog.folder = plat::toLocalPath(ForcePath);
    dlgCommonDialog.fileName = QStringLiteral("*.csv");
    dlgCommonDialog.filter = loggerFileFilter_;
    const QString name = plat::ui().openFileName(dlgCommonDialog);
    if (name.isEmpty())
        return;
    dlgCommonDialog.fileName = name;
    const QString ending = name.right(4).toLower();
    if (ending == QStringLiteral(".csv") || ending == QStringLiteral(".pdb"))
        OpenDocument(name);
    else
        OpenTextDocument(name);
}

void frmMain::OpenTextDocument(const QString& path) {
    auto* window = new frmDocument;
    if (!window->LoadFile(path)) {
        delete window;
        ShowMessage(LoadLangString(TxtTextLoadFailed) + path, 0);
        return;
    }
    window->setWindowTitle(path);
    ShowDocumentWindow(window);
}

bool frmMain::SaveDocumentAs(QString& name, int titleText) {
    auto* document = qobject_cast<frmDocument*>(activeChild());
    if (!document)
        return false;
    dlgCommonDialog.parent = this;
    dlgCommonDialog.fileName = name;
    dlgCommonDialog.title = LoadLangString(titleText);
    dlgCommonDialog.filter = textDocumentFilter_;
    const QString chosen = plat::ui().saveFileName(dlgCommonDialog);
    if (chosen.isEmpty())
        return false;
    dlgCommonDialog.fileName = chosen;
    name = chosen;
    if (!document->SaveFile(name)) {
        ShowMessage(LoadLangString(TxtTextSaveFailed) + name, 0);
        return false;
    }
    document->setWindowTitle(name);
    document->AskForSave = false;
    return true;
}

bool frmMain::SaveActiveTextDocument(int titleText) {
    if (formNameOfActiveChild() != QStringLiteral("frmDocument"))
        return false;
    QString name = activeChild()->windowTitle();
    if (ConfirmOverwrite(name))
        SaveDocumentAs(name, titleText);
    return true;
}

bool frmMain::RequireLoggerWindow() {
    if (IsDocumentValid(ActiveDocument))
        return true;
    ShowMessage(LoadLangString(TxtNoLoggerWindow), 0);
    return false;
}

void frmMain::mnuFileSave_Click() {
    ShowStatusText(QString());
    if (!activeChild())
        return;
    if (SaveActiveTextDocument(TxtSaveTitle))
        return;
    if (!RequireLoggerWindow())
        return;
    // Asks for a name when the window has no file yet, writes it and adds it to the recent files.
    SaveLoggerDocument(ActiveDocument);
}

void frmMain::mnuFileSaveAs_Click() {
    ShowStatusText(QString());
    if (!activeChild())
        return;
    if (SaveActiveTextDocument(TxtSaveAsTitle))
        return;
    if (!RequireLoggerWindow())
        return;
    frmDMA* document = ActiveDocument;
    if (document->RecordCount < 1) {
        ShowMessage(LoadLangString(TxtSaveEmptyList), 0);
        return;
    }
    QString prefix;
    if (document->NeverBeenSaved && ForceNewPath) {
        prefix = ForcePath;
        if (!prefix.endsWith(u'\\') && !prefix.endsWith(u'/'))
            prefix += u'\\';
    } else if (document->AskForSave) {
        prefix = DefaultPath;
    }
    const QString name = document->AskForSave ? document->DMAName : document->windowTitle();
    dlgCommonDialog.parent = this;
    dlgCommonDialog.fileName = plat::toLocalPath(prefix + name);
    dlgCommonDialog.title = LoadLangString(TxtSaveAsTitle);
    dlgCommonDialog.folder = ForceNewPath ? plat::toLocalPath(ForcePath) : plat::programDir();
    dlgCommonDialog.filter = loggerFileFilter_;
    const QString chosen = plat::ui().saveFileName(dlgCommonDialog);
    if (chosen.isEmpty())
        return;
    dlgCommonDialog.fileName = chosen;
    SaveDefaultPath(chosen);
    if (!ConfirmOverwrite(chosen))
        return;
    // Only a file that was written joins the recent files.
    if (SaveLoggerFile(document, chosen, QString()))
        RebuildMruMenu(chosen);
}

void frmMain::mnuFileExport_Click() {
    ShowStatusText(QString());
    if (!RequireLoggerWindow())
        return;
    frmDMA* document = ActiveDocument;
    if (document->RecordCount < 1) {
        ShowMessage(LoadLangString(TxtExportEmptyList), 0);
        return;
    }
    dlgCommonDialog.parent = this;
    dlgCommonDialog.fileName = document->AskForSave ? document->DMAName : document->windowTitle();
    dlgCommonDialog.title = LoadLangString(TxtExportTitle);
    dlgCommonDialog.filter = QStringLiteral("*.csv");
    const QString chosen = plat::ui().saveFileName(dlgCommonDialog);
    if (chosen.isEmpty())
        return;
    dlgCommonDialog.fileName = chosen;
    // The export is written under the chosen name with ".csv" added, a name the file dialog never saw: an
    // existing file of that name is confirmed before it is replaced, and the recent files get that name.
    const QString written = chosen + QStringLiteral(".csv");
    if (!ConfirmOverwrite(written))
        return;
    if (SaveLoggerFile(document, chosen, QStringLiteral(".csv")))
        RebuildMruMenu(written);
}

void frmMain::mnuFileClose_Click() {
    ShowStatusText(QString());
    if (!activeChild())
        return;
    if (SaveActiveTextDocument(TxtSaveTitle))
        return;
    if (!RequireLoggerWindow())
        return;
    ActiveDocument->close();
}

void frmMain::mnuFilePageSetup_Click() {
    ShowPageSetupDialog(this);
}

void frmMain::mnuFilePrint_Click() {
    if (activeChild())
        ShowPrintSetup(this);
}

void frmMain::mergeCommand() {
    ShowStatusText(QString());
    if (!RequireLoggerWindow())
        return;
    if (ActiveDocument->RecordCount < 1) {
        ShowMessage(LoadLangString(TxtMergeEmptyList), 0);
        return;
    }
    dlgCommonDialog.parent = this;
    dlgCommonDialog.title = LoadLangString(TxtMergeTitle);
    dlgCommonDialog.folder = plat::programDir();
    dlgCommonDialog.fileName = QString();
    dlgCommonDialog.filter = loggerFileFilter_;
    const QString name = plat::ui().openFileName(dlgCommonDialog);
    if (name.isEmpty())
        return;
    dlgCommonDialog.fileName = name;
    const QString ending = name.right(4).toLower();
    if (ending != QStringLiteral(".csv") && ending != QStringLiteral(".pdb")) {
        ShowMessage(LoadLangString(TxtMergeFileType), 0);
        return;
    }
    const auto& merge = MergeByRDGrid ? maincmd::hooks().MergeReadingsByRDGrid : maincmd::hooks().MergeReadings;
    if (merge)
        merge(name);
}

void frmMain::mnuFileMerge_Click() {
    mergeCommand();
}

// The merge by coordinate takes the patrol from the chosen file and merges into the active window.
void frmMain::mnuMergeByRDGrid_Click() {
    MergeByRDGrid = true;
    mergeCommand();
    MergeByRDGrid = false;
}

void frmMain::mnuFileImport_Click() {
    ImportAmblewayFile();
}

void frmMain::mnuFileExit_Click() {
    close();
}

// ---------------------------------------------------------------------------------------------------------
// Other menus

void frmMain::mnuEditCut_Click() {
    ShowStatusText(QString());
    if (IsDocumentValid(ActiveDocument) && maincmd::hooks().CutRecords)
        maincmd::hooks().CutRecords(ActiveDocument);
}

void frmMain::mnuEditCopy_Click() {
    ShowStatusText(QString());
    if (IsDocumentValid(ActiveDocument) && maincmd::hooks().CopyRecords)
        maincmd::hooks().CopyRecords(ActiveDocument);
}

void frmMain::mnuEditPaste_Click() {
    ShowStatusText(QString());
    if (IsDocumentValid(ActiveDocument) && maincmd::hooks().PasteRecords)
        maincmd::hooks().PasteRecords(ActiveDocument);
}

namespace {
void runHook(const std::function<void()>& hook) {
    if (hook)
        hook();
}

void runModalHook(const std::function<QDialog*(QWidget*)>& create, QWidget* parent) {
    if (!create)
        return;
    std::unique_ptr<QDialog> dialog(create(parent));
    if (dialog)
        plat::ui().execDialog(dialog.get());
}
} // namespace

void frmMain::mnuSearchrFind_Click() {
    runHook(maincmd::hooks().FindCommand);
}
void frmMain::mnuSearchFindNext_Click() {
    runHook(maincmd::hooks().FindNextCommand);
}
void frmMain::mnuSearchCatalogue_Click() {
    runModalHook(maincmd::hooks().createCatalogue, this);
}
void frmMain::mnuLoggerAdd_Click() {
    runHook(maincmd::hooks().AddLoggerCommand);
}
void frmMain::mnuLoggerRemove_Click() {
    runHook(maincmd::hooks().RemoveLoggerCommand);
}
void frmMain::mnuLoggerChangeSerial_Click() {
    runHook(maincmd::hooks().ChangeSerialCommand);
}
void frmMain::mnuLoggerChangeDeployDate_Click() {
    runHook(maincmd::hooks().ChangeDeployDateCommand);
}
void frmMain::mnuLoggerFill_Click() {
    runHook(maincmd::hooks().FillCommand);
}
void frmMain::mnuUpdateAllAddInfo_Click() {
    UpdateAllAddInfoCommand();
}
void frmMain::mnuViewEditor_Click() {
    runHook(maincmd::hooks().ShowRecordEditor);
}
void frmMain::mnuSarnicSetup_Click() {
    runModalHook(maincmd::hooks().createSarnicSetup, this);
}

void frmMain::mnuViewLogger_Click() {
    QString serial;
    const QStringList parts = GetSettingText(QStringLiteral("SerialNumberToView"), QString()).split(u':');
    if (parts.size() == 2) {
        // Another program leaves the serial here just before it starts us; only a fresh value is meant for
        // this command. A first part that is no number counts as stale.
        bool ok = false;
        const long long written = parts[0].trimmed().toLongLong(&ok);
        if (ok && localEpochSeconds() - written < 12)
            serial = parts[1];
    }
    if (serial.isEmpty()) {
        QString answer;
        if (!plat::ui().inputBox(QStringLiteral("Enter Serial Number"), QStringLiteral("Serial Number"), QString(),
                                 &answer) ||
            answer.isEmpty())
            return;
        serial = answer;
    }
    OpenBySerial(serial);
}

void frmMain::mnuViewToolbar_Click() {
    tbToolBar->setVisible(items_.value(QStringLiteral("mnuViewToolbar"))->isChecked());
}

void frmMain::mnuViewStatusBar_Click() {
    statusBar()->setVisible(items_.value(QStringLiteral("mnuViewStatusBar"))->isChecked());
}

void frmMain::mnuViewRefreshList_Click() {
    if (IsDocumentValid(ActiveDocument))
        ActiveDocument->ReLoad();
}

void frmMain::mnuViewAutoSize_Click() {
    if (!IsDocumentValid(ActiveDocument)) {
        // The item checks itself when clicked; with no list window nothing changes.
        mnuViewAutoSize->setChecked(!mnuViewAutoSize->isChecked());
        return;
    }
    ActiveDocument->AutoSize = !ActiveDocument->AutoSize;
    mnuViewAutoSize->setChecked(ActiveDocument->AutoSize);
    if (ActiveDocument->AutoSize)
        AutoSizeColumns(-1, true);
}

void frmMain::mnuViewShowOption_Click(int index) {
    AutoSizeColumns(index, true);
}
void frmMain::mnuViewHideOption_Click(int index) {
    AutoSizeColumns(index, false);
}

void frmMain::mnuWindowCascade_Click() {
    mdiArea_->cascadeSubWindows();
}

namespace {
std::vector<QMdiSubWindow*> arrangeable(QMdiArea* area) {
    std::vector<QMdiSubWindow*> out;
    for (QMdiSubWindow* w : area->subWindowList())
        if (w->isVisible() && !w->isMinimized())
            out.push_back(w);
    return out;
}
} // namespace

void frmMain::mnuWindowTileHorizontal_Click() {
    // Each window takes the full width and a band of the height, one below the other.
    const auto windows = arrangeable(mdiArea_);
    if (windows.empty())
        return;
    const QSize area = mdiArea_->viewport()->size();
    const int band = area.height() / static_cast<int>(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        windows[i]->showNormal();
        windows[i]->setGeometry(0, static_cast<int>(i) * band, area.width(), band);
    }
}

void frmMain::mnuWindowTileVertical_Click() {
    // Each window takes the full height and a column of the width, side by side.
    const auto windows = arrangeable(mdiArea_);
    if (windows.empty())
        return;
    const QSize area = mdiArea_->viewport()->size();
    const int column = area.width() / static_cast<int>(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        windows[i]->showNormal();
        windows[i]->setGeometry(static_cast<int>(i) * column, 0, column, area.height());
    }
}

void frmMain::mnuWindowArrangeIcons_Click() {
    // Minimized windows line up along the bottom edge, left to right.
    int x = 0;
    const int bottom = mdiArea_->viewport()->height();
    for (QMdiSubWindow* w : mdiArea_->subWindowList()) {
        if (!w->isMinimized())
            continue;
        const QSize s = w->size();
        w->move(x, bottom - s.height());
        x += s.width();
    }
}

void frmMain::mnuWindowFollowMouse_Click() {
    WindowFollowMouse = mnuWindowFollowMouse->isChecked();
}

void frmMain::rebuildWindowList() {
    for (QAction* a : windowListActions_) {
        windowMenu_->removeAction(a);
        a->deleteLater();
    }
    windowListActions_.clear();
    const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList();
    if (windows.isEmpty())
        return;
    windowListActions_.append(windowMenu_->addSeparator());
    int n = 0;
    for (QMdiSubWindow* w : windows) {
        QAction* a = windowMenu_->addAction(QStringLiteral("&%1 %2").arg(++n).arg(w->windowTitle()));
        a->setCheckable(true);
        a->setChecked(w == mdiArea_->currentSubWindow());
        connect(a, &QAction::triggered, this, [this, w] { mdiArea_->setActiveSubWindow(w); });
        windowListActions_.append(a);
    }
}

void frmMain::mnuHelpContents_Click() {
    // No help file is configured, so the command says so.
    plat::ui().messageBox(LoadLangString(TxtNoHelpFile), plat::MB_ICONASTERISK, windowTitle());
}

void frmMain::mnuHelpAbout_Click() {
    frmSplash splash(this);
    splash.SplashDelay = 32767;
    splash.showModal();
}

void frmMain::tbToolBar_ButtonClick(const QString& key) {
    if (key == QStringLiteral("Back") || key == QStringLiteral("Forward")) {
        if (auto* list = qobject_cast<frmDMA*>(activeChild())) {
            if (key == QStringLiteral("Back"))
                list->NextLine();
            else
                list->PrevLine();
        }
        return;
    }
    for (const ToolEntry& e : toolTable()) {
        if (e.key && key == QLatin1String(e.key) && e.handler) {
            if (!e.available || e.available())
                e.handler(*this, -1);
            return;
        }
    }
}

void frmMain::ShowMapOfList() {
    if (!IsDocumentValid(ActiveDocument))
        return;
    frmDMA* document = ActiveDocument;
    const int rows = document->rowCount();
    if (rows < 1)
        return;
    for (int i = 1; i <= rows; ++i) {
        if (!document->rowText(i, 5).contains(u'/')) {
            plat::ui().messageBox(
                QStringLiteral("Not all records have a valid GPS coordinate.  Unable to display map."),
                plat::MB_ICONEXCLAMATION, plat::appTitle());
            return;
        }
    }
    ShowMapWindow();
}

// ---------------------------------------------------------------------------------------------------------
// Window life

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    refreshCommandState();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        MDIForm_Resize();
    else if (event->type() == QEvent::ActivationChange && isActiveWindow())
        MDIForm_Activate();
}

void frmMain::MDIForm_Resize() {
    // The record editor is a window of its own: it follows the main window into and out of the task bar. A
    // hidden editor stays hidden (only its state changes).
    for (QWidget* editor : plat::windows::loadedNamed(QStringLiteral("frmDMAEdit")))
        editor->setWindowState(isMinimized() ? Qt::WindowMinimized : Qt::WindowNoState);
}

void frmMain::MDIForm_Activate() {
    const auto maps = plat::windows::loadedNamed(QStringLiteral("frmGps"));
    if (!maps.empty())
        maps.front()->setFocus();
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void frmMain::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void frmMain::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            OpenDocument(url.toLocalFile());
}

bool frmMain::ShutDown() {
    if (shutDownDone_)
        return true;
    SaveSettings();
    // Every other loaded window goes, in load order. A document window that refuses (its save question was
    // cancelled) stops the shut-down so nothing unsaved is lost; any other window that stays (a tool window
    // that only hides itself) is simply put away.
    for (QWidget* w : plat::windows::loaded()) {
        if (w == this || w->close())
            continue;
        if (qobject_cast<frmDMA*>(w) || qobject_cast<frmDocument*>(w))
            return false;
        w->hide();
    }
    for (QMdiSubWindow* sub : mdiArea_->subWindowList())
        if (!sub->close())
            return false;
    shutDownDone_ = true;
    return true;
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (ShutDown())
        event->accept();
    else
        event->ignore();
}
