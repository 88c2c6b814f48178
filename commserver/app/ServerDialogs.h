#pragma once
#include <QDialog>
#include <QTimer>

#include <array>
#include <cstdint>

#include "commserver/app/CServerWindow.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;

// The server's windows. Controls keep the names of their roles so that tests can drive them.

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

// Which types and outcomes of events a mask selects (modal).
class CEventTypesDlg : public QDialog {
    Q_OBJECT
public:
    CEventTypesDlg(int mask, const QString& title, QWidget* parent = nullptr);
    // The mask the boxes make (bit 0x800 is never set).
    int Mask() const;

    QCheckBox* chkSuccess;
    QCheckBox* chkFailure;
    std::array<QCheckBox*, 9> chkTypes; // in the order of kTypeBits

    static constexpr std::array<int, 9> kTypeBits = {0x004, 0x080, 0x100, 0x008, 0x020, 0x010, 0x040, 0x200, 0x400};
};

class CEventDetailDlg : public QDialog {
    Q_OBJECT
public:
    CEventDetailDlg(const QString& time, const QString& text, QWidget* parent = nullptr);
    QLineEdit* txtTime;
    QLineEdit* txtText;
};

// The last 100 events through the view filter, refreshed every 2 s while Auto Refresh runs.
class CHistoryDlg : public CServerWindow {
    Q_OBJECT
public:
    explicit CHistoryDlg(CCommsServerApp& app);
    // Rebuilds the list when the ring changed since the last build (or always when forced).
    void Rebuild(bool force = false);
    void OnStartStopLog();
    void OnLogEvents();
    void OnLogFile();
    void OnDisplay();
    void OnAutoRefresh();
    void OnDetail(int row);
    void ShowLogButton();

    QLabel* lblFilter;
    QListWidget* lstEvents;
    QPushButton* cmdFinish;
    QPushButton* cmdStartStopLog;
    QPushButton* cmdLogEvents;
    QPushButton* cmdLogFile;
    QPushButton* cmdDisplay;
    QPushButton* cmdRefresh;
    QPushButton* cmdAutoRefresh;
    QTimer refreshTimer;

private:
    std::uint32_t shownCounter_ = 0;
    std::vector<std::pair<QString, QString>> shown_; // time and text of each listed line
};

// The link counters, the modem lines and the throughput, refreshed every 250 ms.
class CDiagnosticsDlg : public CServerWindow {
    Q_OBJECT
public:
    explicit CDiagnosticsDlg(CCommsServerApp& app);
    void Refresh();
    void OnReset();
    // Bytes per second over the five one-second totals (oldest first): four seconds lie between them.
    static double Rate(const std::array<std::uint32_t, 5>& history);

    std::array<QLineEdit*, 19> txtCounters;
    std::array<QLabel*, 4> lamps; // Carrier Detect, DSR, CTS, Ring Indicator
    QLabel* lblDsr;
    QSlider* sldTx;
    QSlider* sldRx;
    QLabel* lblTxPercent;
    QLabel* lblRxPercent;
    QPushButton* cmdReset;
    QTimer refreshTimer;

    static constexpr int kSliderMax = 1920;

private:
    std::uint32_t shownChange_ = 0xFFFFFFFFu;
    std::array<std::uint32_t, 19> shown_{};
};

class CRs232Dlg : public CServerWindow {
    Q_OBJECT
public:
    explicit CRs232Dlg(CCommsServerApp& app);
    void Refresh();
    std::array<QLineEdit*, 4> txtErrors;
    QPushButton* cmdReset;
    QTimer refreshTimer;

private:
    std::uint32_t shownChange_ = 0xFFFFFFFFu;
};

// The line's parameters, and what the link does now: its status, the user logged on, the file being moved
// and the bytes that went each way. The live part follows the worker's notifications and a 250 ms timer.
class CLinkInfoDlg : public CServerWindow {
    Q_OBJECT
public:
    explicit CLinkInfoDlg(CCommsServerApp& app);
    void Refresh();
    void OnStatusChanged() override { RefreshLink(); }
    void RefreshLink();
    QLineEdit* txtBaud;
    QLineEdit* txtDataBits;
    QLineEdit* txtParity;
    QLineEdit* txtStopBits;
    QLineEdit* txtDriver;
    QLineEdit* txtStatus;
    QLineEdit* txtUser;
    QLineEdit* txtFile;
    QProgressBar* prgFile;
    QLineEdit* txtRxBytes;
    QLineEdit* txtTxBytes;
    QTimer refreshTimer;
};

// One line of what the link does and a progress bar during transfers.
class CActivityDlg : public CServerWindow {
    Q_OBJECT
public:
    explicit CActivityDlg(CCommsServerApp& app);
    void OnStatusChanged() override;
    // The whole name up to 30 characters, else its first 7, "..." and its last 20.
    static QString ShortName(const QString& name);

    QLabel* lblStatus;
    QProgressBar* prgTransfer;
};

class CAboutDlg : public CServerWindow {
    Q_OBJECT
public:
    explicit CAboutDlg(CCommsServerApp& app);
    QLabel* lblProduct;
    QLabel* lblVersion;
};

// The start-up picture, which ends itself after 1.5 s (modal).
class CBannerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBannerDlg(QWidget* parent = nullptr);
};
