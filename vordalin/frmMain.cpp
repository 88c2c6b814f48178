#include "vordalin/frmMain.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/Twips.h"
#include "platform/WindowRegistry.h"
#include "vordalin/CommandTable.h"

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
#include <QMenuBar>
#include <QMimeData>
#include <QMoveEvent>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
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

QString frmMain::statusText() const {
    return statusPanel_->text();
}
QString frmMain::dateText() const {
    return datePanel_->text();
}
QString frmMain::timeText() const {
    return timePanel_->text();
}

namespace {
// The widest a path may make a menu, in average characters.
constexpr int kMenuPathChars = 64;
} // namespace

// A path as a menu item shows it: an "&" as itself rather than as a mnemonic, and a long path shortened in its
// middle (its start and its file name stay) so the menu keeps within the screen whatever the folders are called.
QString frmMain::menuPathText(const QString& path, const QMenu* menu) {
    const QFontMetrics metrics(menu ? menu->font() : QFont());
    int width = metrics.averageCharWidth() * kMenuPathChars;
    if (const QScreen* screen = menu ? menu->screen() : QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width() / 2);
    QString text = metrics.elidedText(path, Qt::ElideMiddle, width);
    return text.replace(u'&', QStringLiteral("&&"));
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
