#pragma once
// The main program's MDI main window: menus and toolbar (built from the command table, CommandTable.cpp),
// status bar, the window's life and drag and drop of files (frmMain.cpp). It is the program's ProgramWindows,
// the one way the layers below reach the windows (MainProgramWindows.cpp). Its menus' commands: the File menu
// with the recent files, the merge and the import of Ambleway files (MainFileCommands.cpp), and the other menus
// and the toolbar's own keys (MainViewCommands.cpp).
#include "documents/DocumentFiles.h"
#include "platform/FormClose.h"
#include "platform/UiServices.h"

#include <QMainWindow>
#include <QMap>

#include <functional>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolBar;

class frmMain : public plat::Form<QMainWindow>, public DocumentWindows {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    QMdiArea* mdiArea() const { return mdiArea_; }

    // ProgramWindows: the main window's part (the documents and the record editor are DocumentWindows').
    QWidget* mainWidget() override { return this; }
    void setStatusText(const QString& text) override;
    void Interact(bool enable) override;
    void setAutoSizeChecked(bool checked) override;
    void AutoSizeColumns(int column, bool show) override;
    void RebuildMruMenu(const QString& path) override;
    void setFollowMouseChecked(bool checked) override;
    QString mruCaption(int item) const override;
    void setMruCaption(int item, const QString& caption) override;
    void setMruVisible(int item, bool visible) override;
    bool isMinimized() const override;
    bool hasMainWindow() const override { return true; }
    void placementTwips(double* left, double* top, double* width, double* height) const override;
    void mapRefreshLoggers() override;
    void mapUpdateSerial(QString& oldSerial, QString& newSerial) override;

    QString statusText() const;
    QString dateText() const;
    QString timeText() const;

    void ClearMRU();
    void LoadResources();

    // Menu items and menus by their names ("mnuFileOpen", "mnuFile"); nullptr when there is none.
    QAction* menuItem(const QString& name) const;
    QMenu* menu(const QString& name) const;
    // Toolbar buttons by key ("New", "gps"); nullptr when there is none.
    QAction* toolButton(const QString& key) const;
    QToolBar* tbToolBar = nullptr;

    QAction* mnuFileMRU[5] = {};
    QAction* mnuFileExit = nullptr;
    QAction* mnuWindowFollowMouse = nullptr;
    QAction* mnuViewAutoSize = nullptr;

    // Set by the PDA commands once they have created the PDA support object.
    bool PDASupportCreated = false;

    // The shared file dialog: what one command leaves in it, the next command finds there.
    plat::FileDialogRequest dlgCommonDialog;

    // Runs the shut-down; false when a window refused to close (the program keeps running).
    bool ShutDown();

    // Handlers, named as the menu items they serve (items that run a command of a layer below name it in the
    // command table directly).
    void mnuFileNew_Click();
    void mnuFileOpen_Click();
    void mnuFileMerge_Click();
    void mnuMergeByRDGrid_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFileImport_Click();
    void mnuFileExport_Click();
    void mnuFileClose_Click();
    void mnuFileMRU_Click(int index);
    void mnuFileExit_Click();
    void mnuEditCut_Click();
    void mnuEditCopy_Click();
    void mnuEditPaste_Click();
    void mnuSearchCatalogue_Click();
    void mnuViewLogger_Click();
    void mnuViewToolbar_Click();
    void mnuViewStatusBar_Click();
    void mnuViewRefreshList_Click();
    void mnuViewAutoSize_Click();
    void mnuViewShowOption_Click(int index);
    void mnuViewHideOption_Click(int index);
    void mnuWindowCascade_Click();
    void mnuWindowTileHorizontal_Click();
    void mnuWindowTileVertical_Click();
    void mnuWindowArrangeIcons_Click();
    void mnuWindowFollowMouse_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();
    void tbToolBar_ButtonClick(const QString& key);
    void tbBack_Click();
    void tbForward_Click();
    void ShowMapOfList();

    bool ConfirmOverwrite(const QString& path);
    // Saves the active text document window under a name chosen in the save dialog; name gets the path.
    bool SaveDocumentAs(QString& name, int titleText);
    // Saves the active text document window when it is one (true: the command is done).
    bool SaveActiveTextDocument(int titleText);
    // True when a logger list window is current; otherwise says so and gives false.
    bool RequireLoggerWindow();
    // Where File > Open starts: the folder last used for a file.
    QString lastUsedFolder() const;
    // The open dialog for a logger list file, with this title, starting folder and name; the name chosen is kept
    // for the next file dialog. Empty when the user cancelled.
    QString askForLoggerFile(int titleText, const QString& folder, const QString& fileName);
    // The start of Save, Save As and Close: clears the status text; with no window there is nothing to do,
    // and a text document window is saved here (titleText titles its save dialog). True when the command goes
    // on to the current logger list window.
    bool FileCommandReachesLoggerWindow(int titleText);
    void OpenTextDocument(const QString& path);

    // Seconds from 1 January 1970 00:00:00 local time to now; tests replace it.
    static std::function<long long()> localEpochSeconds;

protected:
    void Form_QueryUnload(bool& cancel) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A path as a menu item shows it: an "&" as itself, a long path shortened in its middle.
    static QString menuPathText(const QString& path, const QMenu* menu);
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void Form_Load();
    void MDIForm_Resize();
    // Keeps the whole window, frame and status bar included, on the available part of its screen.
    void fitToScreen();
    // Shows or hides the toolbar or the status bar; list windows at the foot of the window area follow it.
    void showBar(QWidget* bar, bool visible);
    void MDIForm_Activate();
    void updateClock();
    void rebuildWindowList();
    void childActivated(QMdiSubWindow* child);
    QMdiSubWindow* activeChild() const;
    QString formNameOfActiveChild() const;
    void mergeCommand();

    QMdiArea* mdiArea_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QLabel* datePanel_ = nullptr;
    QLabel* timePanel_ = nullptr;
    QTimer* clock_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QList<QAction*> windowListActions_;
    QMap<QString, QAction*> items_;
    QMap<QString, QMenu*> menus_;
    QMap<QString, QAction*> buttons_;
    QString loggerFileFilter_;
    QString textDocumentFilter_;
    bool shutDownDone_ = false;
    // Shown, but not yet fitted to the screen with the frame the window manager puts around the window.
    bool fitWithFramePending_ = false;
};
