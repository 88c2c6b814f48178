#pragma once
// The options dialog: fill increment, reading-history editing, loading of bad records, the forced default
// folder, the coordinate system of the comment-2 field, and the field unit's port and connection.
#include <QDialog>
#include <QString>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(QWidget* parent = nullptr);
    ~frmOptions() override;

    QLineEdit* TxtSerialIncr = nullptr;
    QLabel* LblSerialIncr = nullptr;
    QCheckBox* ChkEnableHistoryEdit = nullptr;
    QCheckBox* ChkLoadBadRecs = nullptr;
    QCheckBox* CheckForce = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLineEdit* TxtDefaultPath = nullptr;
    QComboBox* Drive1 = nullptr;
    QListWidget* Dir1 = nullptr;
    QComboBox* cboAddress2 = nullptr;
    QLabel* lblAddress2 = nullptr;
    QGroupBox* FrameComPort = nullptr;
    QLabel* lblSerialDevices = nullptr; // the serial devices of this computer
    std::array<QRadioButton*, 4> OptionComPort{};
    QGroupBox* fraConnectionType = nullptr;
    std::array<QRadioButton*, 2> optConnectionType{};
    QLabel* labNumberToDial = nullptr;
    QLineEdit* mskEdNumberToDial = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    QString folder() const { return folder_; }

    void LoadResources();
    void OptionComPort_Click(int index);
    void optConnectionType_Click(int index);
    void Drive1_Change();
    void Dir1_Change(const QString& folder);
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void Form_Load();

    QString folder_;
};
