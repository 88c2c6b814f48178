#pragma once
// The auto-sync utility's one window: in one run it sends the queued PC files to the PDA, fetches the PDA's
// exported files, shows what it does and ends by itself.
#include <QWidget>

#include <cstdint>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStatusBar;

class frmAutoSync : public QWidget {
public:
    explicit frmAutoSync(QWidget* parent = nullptr);

    int16_t GetItemCountInBothLists() const;
    // Files of this run that could not be copied (each was said in a message and stays for the next run).
    int FailedCopies() const { return failedCopies_; }
    // True when the run left files behind: a copy failed, a queued name was refused, or CSV files still wait
    // in the PC queue (no device, or the library could not be created).
    bool LeftFilesBehind() const;

    // Shows the window and runs the sync; the run ends the program (the window is closed when it returns).
    void Form_Load();
    void cmdTransfer_Click();

    QLabel* lblUploadFiles;
    QListWidget* lstUploadFiles;
    QLabel* lblDownloadFiles;
    QListWidget* lstDownloadFiles;
    QPushButton* cmdTransfer;
    QProgressBar* ProgressBar1;
    QStatusBar* StatusBar1;

    // The PC queue and drop below the program folder.
    static QString QueueFolder();
    static QString DropFolder();
    // Where queued files whose names no PDA file can hold are moved, out of every later run.
    static QString RefusedFolder();

private:
    void RunAutoSync();
    void MakeSyncFolders();
    void SetSyncCaptions();
    void SetSyncTitle();
    void SetSyncStatus(const QString& text);
    void FillPendingLists();
    static void FillCsvList(QListWidget* listBox, const QStringList& names);
    // Takes the queued CSV names that no PDA file can hold out of the list, each said once and moved aside.
    QStringList RefuseUnsendableNames(const QStringList& names);
    void TransferPending();
    int16_t ResetProgress();
    void UploadPending();
    void DownloadPending();
    void EndProgram();
    int failedCopies_ = 0;
    int refusedNames_ = 0;
};
