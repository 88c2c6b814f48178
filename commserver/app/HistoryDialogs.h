#pragma once
#include <QDialog>
#include <QTimer>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "commserver/app/CServerWindow.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The History Log window with its two companions: the event-type choice and the detail of one event.

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
