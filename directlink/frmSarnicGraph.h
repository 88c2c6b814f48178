#pragma once
// The noise histogram window: the logger's identity, clock and leak status, its 100-bin noise histogram as a
// bar chart on a fixed grid, and its last 12 (level, spread) entries. The window can be copied, printed and
// its histogram saved as a comma-separated file; none of these talk to the logger again.
#include <QByteArray>
#include <QDateTime>
#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>

#include "directlink/SarnicComms.h"

class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

namespace directlink {
// The largest count (0 when every count is 0).
std::int32_t GraphMaximum(const HistogramCounts& counts);
// Caption of Y label i (0 bottom .. 10 top): the grid line's share of 2048 counts in per cent, rounded, then " % ".
QString GraphYLabelText(std::int32_t maximum, int i);
// Height in twips of a bar; the tallest bar is 3200 high, so the top grid line (4000) stands for 1.25 x max.
double GraphBarHeight(std::int32_t count, std::int32_t maximum);
// The leak text of one history entry: language text 185 when bit 7 of the level is set, 186 when clear, and
// "*" after it when bit 7 of the spread is set.
QString HistoryLeakText(std::uint8_t spread, std::uint8_t level);
// The histogram file: 100 lines "i,count" ended by CR LF, bins 0 to 99, no header.
QByteArray HistogramCsv(const HistogramCounts& counts);
// Writes the file whole or not at all: an existing file keeps its old contents when the write fails.
bool SaveHistogramCsv(const QString& path, const HistogramCounts& counts, QString* error);
} // namespace directlink

class frmSarnicGraph : public QDialog {
    Q_OBJECT
public:
    explicit frmSarnicGraph(QWidget* parent = nullptr);

    // Reads the logger and draws; false (after the failure message) when the identity, clock or leak status
    // could not be read and the window must not open.
    bool Form_Load();
    void cmdCopy_Click();
    void cmdPrint_Click();
    void cmdSave_Click();
    void cmdClose_Click();

    QLabel* lblSerialNumber = nullptr;
    QLabel* lblVersionNumber = nullptr;
    QLabel* lblDate = nullptr;
    QLabel* lblStatus = nullptr;
    QFrame* shpBackground = nullptr;
    std::array<QFrame*, 11> linHoriz{};
    std::array<QLabel*, 11> lblY{};
    std::array<QFrame*, 11> linVert{};
    std::array<QLabel*, 11> lbldB{};
    QLabel* lblXAxis = nullptr;
    std::array<QFrame*, 100> shpBar{};
    QGroupBox* frameLoggerHistory = nullptr;
    QLabel* lblLevels = nullptr;
    QLabel* lblSpreads = nullptr;
    QLabel* lblHistoryStatus = nullptr;
    QLabel* lblCurrent = nullptr;
    std::array<QLabel*, 12> lblLevel{};
    std::array<QLabel*, 12> lblSpread{};
    std::array<QLabel*, 12> lblHistoryLeak{};
    QFrame* lineCurrent = nullptr;
    QLabel* lblSecondaryVerificationRequired = nullptr;
    QPushButton* cmdCopy = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdClose = nullptr;

    // Window state, read once at load.
    directlink::HistogramCounts Counts{};
    directlink::HistoryBytes Levels{};
    directlink::HistoryBytes Spreads{};
    std::int16_t FirmwareMajor = 0;
    std::int16_t FirmwareMinor = 0;
    QString Serial;
    QString LeakStatus;
    QDateTime Clock;
    // True once the histogram and history were read and drawn.
    bool Plotted = false;

private:
    void place(QWidget* w, double left, double top, double width, double height);
    void setPlotVisible(bool on);
};
