#pragma once
#include <QDialog>
#include <QTimer>

#include "commserver/app/CServerWindow.h"

class QLabel;
class QLineEdit;
class QProgressBar;

// Link Information and Activity: what the link does now, as the worker's notifications tell it.

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
