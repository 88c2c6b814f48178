// The main window as the program's windows: what the layers below reach through ProgramWindows (status
// text, command state, the recent files, the window's placement and the map's calls back).
#include "vordalin/frmMain.h"

#include "vordalin/SubsystemCommands.h"

#include "documents/LoggerCommands.h"
#include "platform/Twips.h"
#include "platform/WindowRegistry.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QToolBar>

#include <algorithm>
#include <vector>

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

void frmMain::mapRefreshLoggers() {
    MapRefreshLoggers();
}

void frmMain::mapUpdateSerial(QString& oldSerial, QString& newSerial) {
    MapUpdateSerial(oldSerial, newSerial);
}
