#pragma once
// The serial search window: a list of serial numbers, a folder, and the area files of that folder that hold
// any of the serials; chosen results open as logger list windows.
#include "platform/FormClose.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// Folder browsing shared with the options dialog: the drive list holds the mounted volumes, the folder list
// the parent entry ".." and the subfolders of the folder shown.
void FillDriveList(QComboBox* drives, const QString& folder);
void FillFolderList(QListWidget* folders, const QString& folder);
// The folder a folder-list entry leads to from folder.
QString FolderOfEntry(const QString& folder, const QListWidgetItem* entry);
// The folder itself when it exists, else its nearest existing parent, else the home folder.
QString ExistingFolder(const QString& anyPath);

// The window's lists outlive it for the rest of the run; this forgets them, as a new run of the program would.
void ForgetCatalogueState();

class frmCatalogue : public plat::Form<QDialog> {
    Q_OBJECT
public:
    explicit frmCatalogue(QWidget* parent = nullptr);
    ~frmCatalogue() override;

    QLineEdit* TxtSerial = nullptr;
    QListWidget* ListSer = nullptr;
    QPushButton* cmdAddSerial = nullptr;
    QPushButton* cmdRemoveSer = nullptr;
    QPushButton* cmdClearSer = nullptr;
    QLabel* LblSerial = nullptr;
    QComboBox* Drive1 = nullptr;
    QListWidget* Dir1 = nullptr;
    QListWidget* File1 = nullptr;
    QPushButton* cmdFind = nullptr;
    QListWidget* List_found = nullptr;
    QPushButton* CmdOpen = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;

    QString folder() const { return folder_; }
    bool searching() const { return searching_; }

    void LoadResources();
    void TxtSerial_Change();
    void cmdAddSerial_Click();
    void cmdRemoveSer_Click();
    void cmdClearSer_Click();
    void cmdFind_Click();
    void CmdOpen_Click();
    void Command1_Click();
    void cmdCancel_Click();
    void Drive1_Change();
    // Shows folder in the folder and file lists (the folder list was moved to it).
    void Dir1_Change(const QString& folder);

protected:
    // Closing the window stops a search that is running.
    void Form_Unload() override;

private:
    void Form_Load();
    QStringList serials() const;
    void showFound();
    void setListButtonsEnabled(bool enabled);

    QString folder_;
    QStringList found_;
    bool searching_ = false;
    bool cancelRequested_ = false;
};

// The window's caption while it shows the given folder: what it is for, then the folder.
QString CatalogueTitle(const QString& folder);
