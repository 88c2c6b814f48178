#include "documents/frmMain.h"

#include "core/Settings.h"
#include "core/Startup.h"
#include "platform/Twips.h"
#include "platform/WindowRegistry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>

frmMain::frmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    plat::windows::add(this, QStringLiteral("frmMain"));
    mdiArea_ = new QMdiArea(this);
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    for (int i = 1; i <= 4; ++i) {
        mnuFileMRU[i] = file->addAction(QString());
        mnuFileMRU[i]->setObjectName(QStringLiteral("mnuFileMRU%1").arg(i));
        mnuFileMRU[i]->setVisible(false);
    }
    file->addSeparator();
    mnuFileExit = file->addAction(tr("E&xit"));
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);

    QMenu* window = menuBar()->addMenu(tr("&Window"));
    window->setObjectName(QStringLiteral("mnuWindow"));
    mnuWindowFollowMouse = window->addAction(tr("&Follow Mouse"));
    mnuWindowFollowMouse->setObjectName(QStringLiteral("mnuWindowFollowMouse"));
    mnuWindowFollowMouse->setCheckable(true);
    connect(mnuWindowFollowMouse, &QAction::toggled, this, [](bool on) { WindowFollowMouse = on; });

    statusPanel_ = new QLabel(this);
    statusBar()->addWidget(statusPanel_, 1);
    Form_Load();
}

frmMain::~frmMain() { plat::windows::remove(this); }

void frmMain::Form_Load()
{
    setWindowTitle(QStringLiteral("Vordalin"));
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
}

void frmMain::setFollowMouseChecked(bool checked) { mnuWindowFollowMouse->setChecked(checked); }

QString frmMain::mruCaption(int item) const
{
    return item >= 1 && item <= 4 ? mnuFileMRU[item]->text() : QString();
}

void frmMain::setMruCaption(int item, const QString& caption)
{
    if (item >= 1 && item <= 4)
        mnuFileMRU[item]->setText(caption);
}

void frmMain::setMruVisible(int item, bool visible)
{
    if (item >= 1 && item <= 4)
        mnuFileMRU[item]->setVisible(visible);
}

bool frmMain::isMinimized() const { return windowState() & Qt::WindowMinimized; }

void frmMain::placementTwips(double* left, double* top, double* width, double* height) const
{
    const QRect g = frameGeometry();
    *left = plat::twips::fromPixelsX(g.x());
    *top = plat::twips::fromPixelsY(g.y());
    *width = plat::twips::fromPixelsX(g.width());
    *height = plat::twips::fromPixelsY(g.height());
}

void frmMain::showMain() { show(); }

void frmMain::setStatusText(const QString& text) { statusPanel_->setText(text); }
QString frmMain::statusText() const { return statusPanel_->text(); }

bool frmMain::ShutDown()
{
    if (shutDownDone_)
        return true;
    SaveSettings();
    // Every other loaded window goes, in load order; one that refuses (its save question was cancelled)
    // stops the shut-down so nothing unsaved is lost.
    for (QWidget* w : plat::windows::loaded()) {
        if (w == this)
            continue;
        if (!w->close())
            return false;
    }
    for (QMdiSubWindow* sub : mdiArea_->subWindowList())
        if (!sub->close())
            return false;
    shutDownDone_ = true;
    return true;
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (ShutDown())
        event->accept();
    else
        event->ignore();
}

void frmMain::mnuFileExit_Click() { close(); }
