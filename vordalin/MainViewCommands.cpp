// The main window's Edit, Search, View, Window and Help menus, the toolbar's own keys and the map command.
#include "vordalin/frmMain.h"

#include "vordalin/SubsystemCommands.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "core/Startup.h"
#include "core/frmSplash.h"
#include "documents/LoggerCommands.h"
#include "documents/MergeCommands.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/WindowRegistry.h"
#include "vordalin/CommandTable.h"

#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QToolBar>

#include <algorithm>
#include <vector>

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

// Tiles the windows in the order they were made: place(i, count, area) gives the i-th of count windows its
// rectangle in the area's visible part.
template <class Place> void tileWindows(QMdiArea* mdiArea, Place place) {
    const auto windows = arrangeable(mdiArea);
    if (windows.empty())
        return;
    const QSize area = mdiArea->viewport()->size();
    const int count = static_cast<int>(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        windows[i]->showNormal();
        windows[i]->setGeometry(place(static_cast<int>(i), count, area));
    }
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
    tileWindows(mdiArea_, [](int i, int count, QSize area) {
        const int band = area.height() / count;
        return QRect(0, i * band, area.width(), band);
    });
}

void frmMain::mnuWindowTileVertical_Click() {
    // Each window takes the full height and a column of the width, side by side.
    tileWindows(mdiArea_, [](int i, int count, QSize area) {
        const int column = area.width() / count;
        return QRect(i * column, 0, column, area.height());
    });
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
    for (const cmd::ToolEntry& e : cmd::toolTable()) {
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
