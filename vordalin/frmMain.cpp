#include "vordalin/frmMain.h"
#include "vordalin/SubsystemCommands.h"

#include "core/DatabaseFile.h"
#include "core/MergeReadings.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "core/Startup.h"
#include "core/frmSplash.h"
#include "documents/AmblewayImport.h"
#include "documents/DocumentFiles.h"
#include "documents/LoggerCommands.h"
#include "documents/MergeCommands.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/Twips.h"
#include "platform/WindowRegistry.h"
#include "vordalin/CommandTable.h"
#include "vordalin/ProgramStart.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QLinearGradient>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QMoveEvent>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <vector>

std::function<long long()> frmMain::localEpochSeconds = [] {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toSecsSinceEpoch() + now.offsetFromUtc();
};

namespace {

using cmd::Kind;
using cmd::MenuEntry;
using cmd::menuTable;
using cmd::ToolEntry;
using cmd::toolTable;

// The widest a path may make a menu, in average characters.
constexpr int kMenuPathChars = 64;

// A path as a menu item shows it: an "&" as itself rather than as a mnemonic, and a long path shortened in its
// middle (its start and its file name stay) so the menu keeps within the screen whatever the folders are called.
QString menuPathText(const QString& path, const QMenu* menu) {
    const QFontMetrics metrics(menu ? menu->font() : QFont());
    int width = metrics.averageCharWidth() * kMenuPathChars;
    if (const QScreen* screen = menu ? menu->screen() : QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width() / 2);
    QString text = metrics.elidedText(path, Qt::ElideMiddle, width);
    return text.replace(u'&', QStringLiteral("&&"));
}

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

frmMain::frmMain(QWidget* parent) : plat::Form<QMainWindow>(parent) {
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
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, &frmMain::childActivated);
    // The area switches windows with Ctrl+Tab itself; Ctrl+F6 does the same, as on Windows.
    auto* nextChild = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F6), this);
    connect(nextChild, &QShortcut::activated, mdiArea_, &QMdiArea::activateNextSubWindow);
    auto* previousChild = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6), this);
    connect(previousChild, &QShortcut::activated, mdiArea_, &QMdiArea::activatePreviousSubWindow);

    buildMenus();
    buildToolBar();
    buildStatusBar();
    SetDocumentArea(mdiArea_);
    Form_Load();
}

frmMain::~frmMain() {
    if (&programWindows() == this)
        RegisterProgramWindows(nullptr);
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
            // An item of a part that is not built yet is shown but never offered.
            a->setEnabled(e.handler != nullptr);
            if (const cmd::Handler h = e.handler) {
                const int index = e.index;
                connect(a, &QAction::triggered, this, [this, h, index] { h(*this, index); });
            }
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
        a->setEnabled(e.handler != nullptr);
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
        // The default size, 9600 by 7200 twips, in the middle of the screen.
        resize(plat::twips::toPixelsX(9600), plat::twips::toPixelsY(7200));
        CentreForm(this);
    }
    // A session that ended maximized stored the whole screen as its size: restored as a normal window that
    // would reach past the screen's edges, the status bar under the task bar.
    fitToScreen();
    loggerFileFilter_ = FileFilterFromText(LoadLangString(txt::LoggerFilter));
    textDocumentFilter_ = FileFilterFromText(LoadLangString(txt::TextFilter));
    PDASupportCreated = false;
}

void frmMain::LoadResources() {
    setWindowTitle(LoadLangString(txt::MainCaption));
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
// The main window's part of ProgramWindows

void frmMain::setFollowMouseChecked(bool checked) {
    mnuWindowFollowMouse->setChecked(checked);
}

// A recent file's item keeps the path as its data and shows it as a menu can (see menuPathText).
QString frmMain::mruCaption(int item) const {
    return item >= 1 && item <= 4 ? mnuFileMRU[item]->data().toString() : QString();
}

void frmMain::setMruCaption(int item, const QString& caption) {
    if (item < 1 || item > 4)
        return;
    mnuFileMRU[item]->setData(caption);
    mnuFileMRU[item]->setText(menuPathText(caption, menu(QStringLiteral("mnuFile"))));
}

void frmMain::setMruVisible(int item, bool visible) {
    if (item >= 1 && item <= 4)
        mnuFileMRU[item]->setVisible(visible);
}

bool frmMain::isMinimized() const {
    return windowState() & Qt::WindowMinimized;
}

void frmMain::placementTwips(double* left, double* top, double* width, double* height) const {
    // Stored as the load restores it: the frame's top-left corner (what move() places) and the size inside
    // the frame (what resize() sets). The frame's outer size restored as the inside would grow the window by
    // its title bar and borders at every start.
    *left = plat::twips::fromPixelsX(pos().x());
    *top = plat::twips::fromPixelsY(pos().y());
    *width = plat::twips::fromPixelsX(size().width());
    *height = plat::twips::fromPixelsY(size().height());
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
    ::AutoSizeColumns(static_cast<int16_t>(column), show);
}

// ---------------------------------------------------------------------------------------------------------
// Recent files

void frmMain::ClearMRU() {
    for (int i = 1; i <= 4; ++i) {
        setMruCaption(i, QString());
        mnuFileMRU[i]->setVisible(false);
    }
}

void frmMain::RebuildMruMenu(const QString& path) {
    for (int i = 1; i <= 4; ++i)
        if (mruCaption(i) == path)
            return;
    for (int i = 1; i <= 4; ++i) {
        if (mruCaption(i).isEmpty()) {
            setMruCaption(i, path);
            mnuFileMRU[i]->setVisible(true);
            return;
        }
    }
    for (int i = 4; i > 1; --i)
        setMruCaption(i, mruCaption(i - 1));
    setMruCaption(1, path);
}

void frmMain::mnuFileMRU_Click(int index) {
    const QString caption = mruCaption(index);
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
    return ::ConfirmOverwrite(path);
}

void frmMain::mnuFileNew_Click() {
    ShowStatusText(QString());
    NewDocument();
}

void frmMain::mnuFileOpen_Click() {
    ShowStatusText(QString());
    dlgCommonDialog.parent = this;
    dlgCommonDialog.title = LoadLangString(txt::OpenTitle);
    if (ForceNewPath)
        dlgCommonDialog.folder = plat::toLocalPath(ForcePath);
    else
        dlgCommonDialog.folder = lastUsedFolder();
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

QString frmMain::lastUsedFolder() const {
    // The folder of the file the last file command chose, else the one a save or a recent file last used.
    for (const QString& path : {dlgCommonDialog.fileName, DefaultPath}) {
        const QString local = plat::toLocalPath(path);
        const qsizetype slash = local.lastIndexOf(u'/');
        if (slash < 0)
            continue;
        const QString folder = slash == 0 ? QStringLiteral("/") : local.left(slash);
        if (QFileInfo(folder).isDir())
            return folder;
    }
    return dlgCommonDialog.folder;
}

void frmMain::OpenTextDocument(const QString& path) {
    auto* window = new frmDocument;
    if (!window->LoadFile(path)) {
        delete window;
        ShowMessage(LoadLangString(txt::TextLoadFailed) + path, 0);
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
    // The name the command came with was confirmed before the dialog; another existing file is asked here.
    if (chosen != name && !ConfirmOverwrite(chosen))
        return false;
    name = chosen;
    if (!document->SaveFile(name)) {
        ShowMessage(LoadLangString(txt::TextSaveFailed) + name, 0);
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

bool frmMain::FileCommandReachesLoggerWindow(int titleText) {
    ShowStatusText(QString());
    // With no window at all the user is told there is no logger list, as Export and Merge tell it.
    if (!activeChild())
        return RequireLoggerWindow();
    if (SaveActiveTextDocument(titleText))
        return false;
    return RequireLoggerWindow();
}

bool frmMain::RequireLoggerWindow() {
    if (IsDocumentValid(ActiveDocument))
        return true;
    ShowMessage(LoadLangString(txt::NoDocument), 0);
    return false;
}

void frmMain::mnuFileSave_Click() {
    if (!FileCommandReachesLoggerWindow(txt::SaveTitle))
        return;
    // Asks for a name when the window has no file yet, writes it and adds it to the recent files.
    SaveLoggerDocument(ActiveDocument);
}

void frmMain::mnuFileSaveAs_Click() {
    if (!FileCommandReachesLoggerWindow(txt::SaveAsTitle))
        return;
    frmDMA* document = ActiveDocument;
    if (document->RecordCount < 1) {
        ShowMessage(LoadLangString(txt::SaveEmptyList), 0);
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
    dlgCommonDialog.title = LoadLangString(txt::SaveAsTitle);
    dlgCommonDialog.folder = ForceNewPath ? plat::toLocalPath(ForcePath) : plat::programDir();
    dlgCommonDialog.filter = loggerFileFilter_;
    dlgCommonDialog.defaultSuffix = QStringLiteral("pdb");
    QString chosen = plat::ui().saveFileName(dlgCommonDialog);
    dlgCommonDialog.defaultSuffix.clear();
    if (chosen.isEmpty())
        return;
    chosen = WithLoggerExtension(chosen);
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
        ShowMessage(LoadLangString(txt::ExportEmptyList), 0);
        return;
    }
    dlgCommonDialog.parent = this;
    dlgCommonDialog.fileName = document->AskForSave ? document->DMAName : document->windowTitle();
    dlgCommonDialog.title = LoadLangString(txt::ExportTitle);
    dlgCommonDialog.filter = QStringLiteral("*.csv");
    const QString chosen = plat::ui().saveFileName(dlgCommonDialog);
    if (chosen.isEmpty())
        return;
    dlgCommonDialog.fileName = chosen;
    // The export is written under the chosen name with ".csv" added, a name the file dialog never saw: an
    // existing file of that name is confirmed before it is replaced. The recent files get the name as chosen:
    // the export itself is in the CSV layout, which reopened as an area file would shift every reading, and a
    // Save would then write that over the file.
    const QString written = chosen + QStringLiteral(".csv");
    if (!ConfirmOverwrite(written))
        return;
    if (SaveLoggerFile(document, chosen, QStringLiteral(".csv")))
        RebuildMruMenu(chosen);
}

void frmMain::mnuFileClose_Click() {
    if (!FileCommandReachesLoggerWindow(txt::SaveTitle))
        return;
    ActiveDocument->close();
}

void frmMain::mergeCommand() {
    ShowStatusText(QString());
    if (!RequireLoggerWindow())
        return;
    if (ActiveDocument->RecordCount < 1) {
        ShowMessage(LoadLangString(txt::MergeEmptyList), 0);
        return;
    }
    dlgCommonDialog.parent = this;
    dlgCommonDialog.title = LoadLangString(txt::MergeTitle);
    dlgCommonDialog.folder = plat::programDir();
    dlgCommonDialog.fileName = QString();
    dlgCommonDialog.filter = loggerFileFilter_;
    const QString name = plat::ui().openFileName(dlgCommonDialog);
    if (name.isEmpty())
        return;
    dlgCommonDialog.fileName = name;
    const QString ending = name.right(4).toLower();
    if (ending != QStringLiteral(".csv") && ending != QStringLiteral(".pdb")) {
        ShowMessage(LoadLangString(txt::MergeFileType), 0);
        return;
    }
    if (MergeByRDGrid)
        MergeReadingsByRDGridCommand(name);
    else
        MergeReadingsCommand(name);
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
    if (IsDocumentValid(ActiveDocument))
        ActiveDocument->CutRecords();
}

void frmMain::mnuEditCopy_Click() {
    ShowStatusText(QString());
    if (IsDocumentValid(ActiveDocument))
        ActiveDocument->CopyRecords();
}

void frmMain::mnuEditPaste_Click() {
    ShowStatusText(QString());
    if (IsDocumentValid(ActiveDocument))
        ActiveDocument->PasteRecords();
}

void frmMain::mnuSearchCatalogue_Click() {
    SearchSerialInFilesCommand(this);
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

namespace {
std::vector<QMdiSubWindow*> arrangeable(QMdiArea* area, QMdiArea::WindowOrder order = QMdiArea::CreationOrder) {
    std::vector<QMdiSubWindow*> out;
    for (QMdiSubWindow* w : area->subWindowList(order))
        if (w->isVisible() && !w->isMinimized())
            out.push_back(w);
    return out;
}
} // namespace

void frmMain::mnuViewToolbar_Click() {
    showBar(tbToolBar, items_.value(QStringLiteral("mnuViewToolbar"))->isChecked());
}

void frmMain::mnuViewStatusBar_Click() {
    showBar(statusBar(), items_.value(QStringLiteral("mnuViewStatusBar"))->isChecked());
}

void frmMain::showBar(QWidget* bar, bool visible) {
    // The window area grows or shrinks by the bar's height. A list window that reached down to the area's
    // foot follows it, so hiding a bar leaves no empty band below the list and showing it hides no rows.
    const int before = mdiArea_->viewport()->height();
    std::vector<QMdiSubWindow*> atFoot;
    for (QMdiSubWindow* w : arrangeable(mdiArea_))
        if (!w->isMaximized() && w->geometry().bottom() + 1 >= before)
            atFoot.push_back(w);
    bar->setVisible(visible);
    if (layout())
        layout()->activate();
    const int change = mdiArea_->viewport()->height() - before;
    if (change == 0)
        return;
    for (QMdiSubWindow* w : atFoot) {
        QRect g = w->geometry();
        g.setHeight(std::max(w->minimumSizeHint().height(), g.height() + change));
        w->setGeometry(g);
    }
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
    // Every window gets the same size, three quarters of the area, each one title bar lower and further right
    // than the one beneath it; the window on top stays on top. (The area's own cascade shrinks every window
    // to its size hint, a list of a few rows and columns.)
    const auto windows = arrangeable(mdiArea_, QMdiArea::StackingOrder);
    if (windows.empty())
        return;
    const QSize area = mdiArea_->viewport()->size();
    QStyleOptionTitleBar option;
    option.initFrom(windows.front());
    const int step =
        std::max(16, windows.front()->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, windows.front()) + 4);
    const QSize size =
        QSize(area.width() * 3 / 4, area.height() * 3 / 4).expandedTo(windows.front()->minimumSizeHint());
    // Past the last place that keeps a window inside the area the steps start again at the corner.
    const int places =
        std::max(1, std::min((area.width() - size.width()) / step, (area.height() - size.height()) / step) + 1);
    for (size_t i = 0; i < windows.size(); ++i) {
        const int offset = static_cast<int>(i) % places * step;
        windows[i]->showNormal();
        windows[i]->setGeometry(offset, offset, size.width(), size.height());
        windows[i]->raise();
    }
}

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
        // As on Windows: the first nine are chosen with their digit, the tenth with its 0, the rest by pointer.
        ++n;
        const QString number = n <= 9    ? QStringLiteral("&%1").arg(n)
                               : n == 10 ? QStringLiteral("1&0")
                                         : QString::number(n);
        QAction* a = windowMenu_->addAction(number + u' ' + menuPathText(w->windowTitle(), windowMenu_));
        a->setCheckable(true);
        a->setChecked(w == mdiArea_->currentSubWindow());
        connect(a, &QAction::triggered, this, [this, w] { mdiArea_->setActiveSubWindow(w); });
        windowListActions_.append(a);
    }
}

void frmMain::childActivated(QMdiSubWindow* child) {
    // A list window the user brings forward (the one left after another was closed, one chosen in the Window
    // menu or reached with the keyboard) is the one the commands act on: its list takes the focus, which
    // makes it the current document, without a click into it.
    auto* list = qobject_cast<frmDMA*>(child);
    if (!list || list->unloaded() || ActiveDocument == list)
        return;
    list->ListViewDMA->setFocus(Qt::OtherFocusReason);
    // While another window of the program is the active one no focus event comes: take the list up directly.
    if (!list->ListViewDMA->hasFocus())
        list->ListViewDMA_GotFocus();
}

void frmMain::mnuHelpContents_Click() {
    // No help file is configured, so the command says so.
    plat::ui().messageBox(LoadLangString(txt::NoHelpFile), plat::MB_ICONASTERISK, windowTitle());
}

void frmMain::mnuHelpAbout_Click() {
    frmSplash splash(this);
    splash.SplashDelay = 32767;
    splash.showModal();
}

void frmMain::tbToolBar_ButtonClick(const QString& key) {
    for (const ToolEntry& e : toolTable()) {
        if (e.key && key == QLatin1String(e.key)) {
            if (e.handler)
                e.handler(*this, -1);
            return;
        }
    }
}

void frmMain::tbBack_Click() {
    if (auto* list = qobject_cast<frmDMA*>(activeChild()))
        list->NextLine();
}

void frmMain::tbForward_Click() {
    if (auto* list = qobject_cast<frmDMA*>(activeChild()))
        list->PrevLine();
}

void frmMain::mapRefreshLoggers() {
    MapRefreshLoggers();
}

void frmMain::mapUpdateSerial(QString& oldSerial, QString& newSerial) {
    MapUpdateSerial(oldSerial, newSerial);
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
            // The first logger without a coordinate becomes the current row, so the user sees which one.
            document->MakeVisibleListLine(static_cast<int16_t>(i));
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

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        MDIForm_Resize();
    else if (event->type() == QEvent::ActivationChange && isActiveWindow())
        MDIForm_Activate();
}

void frmMain::fitToScreen() {
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return;
    const QRect outer = frameGeometry();
    QScreen* screen = QGuiApplication::screenAt(outer.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    // The frame around the window's inside, as far as it is known (none before the window is shown).
    const QSize frame = outer.size() - size();
    const QSize inside(std::min(width(), free.width() - frame.width()),
                       std::min(height(), free.height() - frame.height()));
    if (inside != size() && inside.width() > 0 && inside.height() > 0)
        resize(inside);
    const QSize whole = inside + frame;
    const QPoint place(std::clamp(outer.x(), free.left(), std::max(free.left(), free.right() + 1 - whole.width())),
                       std::clamp(outer.y(), free.top(), std::max(free.top(), free.bottom() + 1 - whole.height())));
    if (place != outer.topLeft())
        move(place);
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    // The frame is known once the window is on screen: fit again with it, now and when the frame has come.
    // A window manager frames the window a while after it is shown, which moves the inside of the window:
    // the first move that comes with a frame fits the window once more.
    fitToScreen();
    fitWithFramePending_ = frameGeometry().size() == size();
    QTimer::singleShot(0, this, &frmMain::fitToScreen);
}

void frmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (fitWithFramePending_ && frameGeometry().size() != size()) {
        fitWithFramePending_ = false;
        QTimer::singleShot(0, this, &frmMain::fitToScreen);
    }
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
    // Saved first, so they are kept even when a window's question stops the shut-down ...
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
    // ... and again once every window has gone: a file saved from a window's question has joined the recent
    // files meanwhile.
    SaveSettings();
    shutDownDone_ = true;
    return true;
}

void frmMain::Form_QueryUnload(bool& cancel) {
    cancel = !ShutDown();
}
