#pragma once
#include <QDialog>

#include <string>

#include "commserver/app/CServerWindow.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The Settings window and its Advanced Link Settings: what the operator changes, written to the settings file.

// Port, display mode, modem type, security level and user-table folder; saving reopens the port.
class CSettingsDlg : public CServerWindow {
    Q_OBJECT
public:
    explicit CSettingsDlg(CCommsServerApp& app);
    void OnOK();
    // False when security is to be on with a user tables folder that is missing or lacks the table, and the
    // user chose not to save so.
    bool SecurityFolderAccepted();
    void OnAdvanced();
    // The user-table folder as typed, without one trailing "\" (or "/"): how it is checked and stored.
    std::string TypedUserTablesFolder() const;

    QComboBox* cboPort;
    QComboBox* cboDisplayMode;
    QComboBox* cboModem;
    QComboBox* cboSecurity;
    QLabel* lblSecurity;
    QLineEdit* txtUserTables;
    QLabel* lblUserTables;
    QLabel* lblSerialDevices; // the serial devices of this computer
    QGroupBox* grpSecurity;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QPushButton* cmdAdvanced;
};

// Link timers, special mode, phantom DSR and the test modes (modal).
class CAdvancedDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAdvancedDlg(CCommsServerApp& app, QWidget* parent = nullptr);
    void OnReset();
    void accept() override;

    QSpinBox* txtGetTimer;
    QSpinBox* txtReceiveTimer;
    QSpinBox* txtAckTimer;
    QSpinBox* txtSendTimer;
    QSpinBox* txtOpticalDelay;
    QComboBox* cboSpecialMode;
    QCheckBox* chkPhantomDSR;
    QGroupBox* grpTestMode;
    QCheckBox* chkCorruptData;
    QCheckBox* chkLostData;
    QLineEdit* txtTxCorrupted;
    QLineEdit* txtRxCorrupted;
    QLineEdit* txtDiscarded;
    QPushButton* cmdReset;

private:
    CCommsServerApp& app_;
};
