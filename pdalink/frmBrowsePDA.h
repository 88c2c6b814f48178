#pragma once
// The download window: lists the CSV files waiting in the hand-held's export folder, copies the chosen ones
// into the PC's rovemark\from folder and leaves their paths in DownloadedFileNames for the caller to open.
#include <QDialog>
#include <QString>

class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

class frmBrowsePDA : public QDialog {
public:
    explicit frmBrowsePDA(QWidget* parent = nullptr);

    // The caller's texts, set before the window loads.
    QString String619, String620, String621, String622, String623, String624, String625, String626, String627,
        String628, String630, String634;

    static bool FileExists(const QString& fileName);

    void Form_Load();
    void cmdOpenFile_Click();
    void btnCancel_Click();

    QLabel* Label1;
    QListWidget* listBox;
    QPushButton* cmdOpenFile;
    QPushButton* btnCancel;
    QGroupBox* Frame1;
    QLabel* lblDownloading;
    QLabel* lblFileName;
    QProgressBar* progressBar;

private:
    // One run over the selection; false when it ended early (its message already shown).
    bool downloadSelected(int* downloaded, QStringList* savedPaths);
};
