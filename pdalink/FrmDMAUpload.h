#pragma once
// The upload window: the user picks CSV files on the PC with a drive list, a folder list and a file list;
// the chosen files are copied into the hand-held's import folder.
#include <QDialog>
#include <QString>

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

class FrmDMAUpload : public QDialog {
public:
    explicit FrmDMAUpload(QWidget* parent = nullptr);

    // The caller's texts, set before the window loads.
    QString String626, String632, String633, String634;

    void Form_Load();
    void Drive1_Change();
    void dirFolders_Change();
    void cmdUpload_Click();
    void cmdClose_Click();

    // Copies the PC file FileName to the device's import folder as FileTitle, asking before it replaces a
    // file there. True in every case; a file that reached the device whole counts in FilesCopied.
    bool CopyFileToCeDevice(const QString& FileName, const QString& FileTitle);
    // Needs the session its caller opened.
    void RAPICopyPCFileToCE(const QString& PCSourceFile, const QString& CEDestFile);

    // The folder shown in the folder list; changing it refills the folder and file lists.
    QString folderPath() const { return folderPath_; }
    void setFolderPath(const QString& path);

    QComboBox* Drive1;
    QLabel* lblFolder;
    QListWidget* dirFolders;
    QListWidget* fileListBox;
    QPushButton* cmdUpload;
    QPushButton* cmdClose;
    QGroupBox* Frame1;
    QLabel* lblCopying;
    QLabel* lblFileName;
    QProgressBar* progressBar;

private:
    void fillFolders();
    QString folderPath_;
    int16_t FilesCopied = 0;
};
