#pragma once
// The auto-import watcher: a window that stays hidden for the whole run and polls Rovemark/AutoImport, where
// the PDA auto-sync drops the files it fetched. When .CSV files are there (and the main window is not
// minimised) it comes up over the main window, lists them and lets the user import them (move them into
// Rovemark/From and open them as logger list windows) or discard them.
#include <QDialog>
#include <QPointer>
#include <QStringList>

class QListWidget;
class QPushButton;
class QTimer;

class frmAutoSyncWatcher : public QDialog {
    Q_OBJECT
public:
    // mainWindow: the window the watcher comes up over and whose minimised state holds it back.
    explicit frmAutoSyncWatcher(QWidget* mainWindow);
    ~frmAutoSyncWatcher() override;

    QListWidget* lstImportFiles = nullptr;
    QPushButton* cmdImport = nullptr;
    QPushButton* cmdClose = nullptr;
    QTimer* tmrCheckFolder = nullptr;
    QTimer* tmrListFiles = nullptr;

    QString WatchPattern;
    QStringList LastFileList;

    void tmrCheckFolder_Timer();
    void tmrListFiles_Timer();
    void cmdImport_Click();
    void cmdClose_Click();

    // 1 shows the watcher (returning once it is hidden again); any other value hides it.
    void ShowWatcher(int mode);
    // Names (without folder) of the files matching the pattern, in listing order.
    static QStringList ListImportFiles(const QString& pattern);
    static bool SameFileList(const QStringList& newList, const QStringList& oldList);
    void FillImportList(const QStringList& names);
    // True when the user cancelled over files that already exist in Rovemark/From.
    bool CheckImportNameClashes();
    QStringList MoveImportFiles();

    // The folders the watcher works between, as they exist on disk in whatever letter case.
    static QString ImportFolder();
    static QString TargetFolder();

    // Escape: the same as closing the frame.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    // unloadMode 0: the user closed the window frame.
    void Form_QueryUnload(bool& cancel, int unloadMode);
    bool mayComeUp() const;

    QPointer<QWidget> mainWindow_;
    bool showing_ = false;
};

// Loads the one watcher hidden; its folder check starts at once. It lives as long as the main window.
frmAutoSyncWatcher* StartAutoSyncWatcher(QWidget* mainWindow);
