#pragma once
#include <QDialog>
#include <QTimer>

#include <array>
#include <cstdint>

#include "commserver/app/CServerWindow.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// Port Diagnostics and RS232 Error Statistics: the link's counters, modem lines and throughput.

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
