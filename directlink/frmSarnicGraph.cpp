#include "directlink/frmSarnicGraph.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "directlink/CaptureRoutines.h"
#include "directlink/frmSarnicRead.h"
#include "lang/LangText.h"
#include "platform/AtomicFile.h"
#include "platform/QtUi.h"
#include "platform/Twips.h"
#include "platform/UiServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>

#include <cmath>

using namespace directlink;

namespace directlink {

std::int32_t GraphMaximum(const HistogramCounts& counts) {
    std::int32_t max = 0;
    for (std::int32_t c : counts)
        if (c > max)
            max = c;
    return max;
}

QString GraphYLabelText(std::int32_t maximum, int i) {
    const double percent = maximum * 1.25 * i / 10.0 / 20.48;
    return QString::number(std::llround(percent)) + QStringLiteral(" % ");
}

double GraphBarHeight(std::int32_t count, std::int32_t maximum) {
    if (maximum == 0)
        return 0;
    return count * 4000.0 / maximum / 1.25;
}

QString HistoryLeakText(std::uint8_t spread, std::uint8_t level) {
    QString text = LoadLangString((level & 0x80) ? txt::Leak : txt::NoLeak);
    if (spread & 0x80)
        text += u'*';
    return text;
}

QByteArray HistogramCsv(const HistogramCounts& counts) {
    QByteArray out;
    for (int i = 0; i < 100; ++i)
        out += QByteArray::number(i) + ',' + QByteArray::number(counts[i]) + "\r\n";
    return out;
}

bool SaveHistogramCsv(const QString& path, const HistogramCounts& counts, QString* error) {
    const QByteArray bytes = HistogramCsv(counts);
    return plat::writeFileAtomically(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
                                     error);
}

} // namespace directlink

namespace {
// Plot in twips of the client area.
constexpr double kPlotLeft = 1000, kPlotTop = 1000, kPlotWidth = 7500, kPlotHeight = 4000, kBase = 5000;
constexpr double kHistoryTop = 5650, kHistoryLeft = 120, kHistoryWidth = 8760, kHistoryHeight = 1700;
constexpr double kColumnLeft = 960, kColumnStep = 400, kDivider = 5280;
constexpr double kFormWidth = 9000, kFormHeight = 8400;

QFrame* makeFrame(QWidget* parent, const QString& colour) {
    auto* f = new QFrame(parent);
    f->setAutoFillBackground(true);
    f->setStyleSheet(QStringLiteral("background-color: %1; border: none;").arg(colour));
    return f;
}

QLabel* makeLabel(QWidget* parent, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* l = new QLabel(parent);
    l->setAlignment(align);
    return l;
}
} // namespace

void frmSarnicGraph::place(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(plat::twips::toPixelsX(left), plat::twips::toPixelsY(top),
                   std::max(0, plat::twips::toPixelsX(width)), std::max(0, plat::twips::toPixelsY(height)));
}

frmSarnicGraph::frmSarnicGraph(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSarnicGraph"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFixedSize(plat::twips::toPixelsX(kFormWidth), plat::twips::toPixelsY(kFormHeight));

    lblSerialNumber = makeLabel(this);
    lblVersionNumber = makeLabel(this);
    lblDate = makeLabel(this);
    lblStatus = makeLabel(this);
    place(lblSerialNumber, 200, 150, 4200, 300);
    place(lblVersionNumber, 4600, 150, 4200, 300);
    place(lblDate, 200, 500, 4200, 300);
    place(lblStatus, 4600, 500, 4200, 300);

    shpBackground = makeFrame(this, QStringLiteral("#f3f6fa"));
    place(shpBackground, kPlotLeft, kPlotTop, kPlotWidth, kPlotHeight);
    for (int i = 0; i <= 10; ++i) {
        linHoriz[i] = makeFrame(this, QStringLiteral("#9aa5b1"));
        place(linHoriz[i], 900, kBase - 400 * i, 7700, 15);
        lblY[i] = makeLabel(this, Qt::AlignRight | Qt::AlignVCenter);
        linVert[i] = makeFrame(this, QStringLiteral("#c9d1da"));
        place(linVert[i], kPlotLeft + 750 * i, kPlotTop, 15, kPlotHeight);
        lbldB[i] = makeLabel(this);
        lbldB[i]->setText(QString::number(10 * i));
        place(lbldB[i], kPlotLeft + 750 * i - 50, 5005, 450, 250);
    }
    lblXAxis = makeLabel(this, Qt::AlignCenter);
    lblXAxis->setText(QStringLiteral("dB (0 to 99)"));
    place(lblXAxis, kPlotLeft, 5250, kPlotWidth, 300);
    for (int i = 0; i < 100; ++i)
        shpBar[i] = makeFrame(this, QStringLiteral("#1f5f99"));

    frameLoggerHistory = new QGroupBox(this);
    place(frameLoggerHistory, kHistoryLeft, kHistoryTop, kHistoryWidth, kHistoryHeight);
    lblLevels = makeLabel(frameLoggerHistory);
    lblSpreads = makeLabel(frameLoggerHistory);
    lblHistoryStatus = makeLabel(frameLoggerHistory);
    place(lblLevels, 100, 450, 850, 300);
    place(lblSpreads, 100, 750, 850, 300);
    place(lblHistoryStatus, 100, 1050, 850, 300);
    lblCurrent = makeLabel(frameLoggerHistory, Qt::AlignCenter);
    place(lblCurrent, kDivider + 20, 180, 1000, 270);
    lineCurrent = makeFrame(frameLoggerHistory, QStringLiteral("#5b6773"));
    place(lineCurrent, kDivider, 200, 15, 1400);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    for (int j = 0; j < 12; ++j) {
        lblLevel[j] = makeLabel(frameLoggerHistory, Qt::AlignCenter);
        lblSpread[j] = makeLabel(frameLoggerHistory, Qt::AlignCenter);
        lblHistoryLeak[j] = makeLabel(frameLoggerHistory, Qt::AlignHCenter | Qt::AlignTop);
        lblHistoryLeak[j]->setWordWrap(true);
        lblHistoryLeak[j]->setFont(small);
        const double left = kColumnLeft + kColumnStep * j + (j == 11 ? 80 : 0);
        place(lblLevel[j], left, 450, kColumnStep, 300);
        place(lblSpread[j], left, 750, kColumnStep, 300);
        place(lblHistoryLeak[j], left - 20, 1050, kColumnStep + 40, 600);
    }
    lblSecondaryVerificationRequired = makeLabel(this);
    place(lblSecondaryVerificationRequired, 200, kHistoryTop + kHistoryHeight + 60, 8600, 300);

    cmdCopy = new QPushButton(this);
    cmdPrint = new QPushButton(this);
    cmdSave = new QPushButton(this);
    cmdClose = new QPushButton(this);
    const std::array<QPushButton*, 4> buttons{cmdCopy, cmdPrint, cmdSave, cmdClose};
    for (int k = 0; k < 4; ++k)
        place(buttons[k], 3300 + 1400 * k, 7800, 1300, 420);
    connect(cmdCopy, &QPushButton::clicked, this, &frmSarnicGraph::cmdCopy_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &frmSarnicGraph::cmdPrint_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmSarnicGraph::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmSarnicGraph::cmdClose_Click);

    setWindowTitle(LoadLangString(txt::GraphCaption));
    plat::fitCaption(this);
    lblSerialNumber->setText(LoadLangString(txt::GraphSerialNumber));
    lblVersionNumber->setText(LoadLangString(txt::GraphVersion));
    lblDate->setText(LoadLangString(txt::GraphDate));
    lblStatus->setText(LoadLangString(txt::GraphStatus));
    frameLoggerHistory->setTitle(LoadLangString(txt::HistoryFrame));
    lblLevels->setText(LoadLangString(txt::GraphLevels));
    lblSpreads->setText(LoadLangString(txt::GraphSpreads));
    lblHistoryStatus->setText(LoadLangString(txt::BadStatus));
    lblCurrent->setText(LoadLangString(txt::GraphCurrent));
    lblSecondaryVerificationRequired->setText(LoadLangString(txt::SecondaryVerification));
    cmdCopy->setText(LoadLangString(txt::CopyButton));
    cmdPrint->setText(LoadLangString(txt::PrintButton));
    cmdSave->setText(LoadLangString(txt::SaveButton));
    cmdClose->setText(LoadLangString(txt::CloseButton));
    setPlotVisible(false);
    shpBackground->lower();
}

void frmSarnicGraph::setPlotVisible(bool on) {
    for (int i = 0; i <= 10; ++i) {
        linHoriz[i]->setVisible(on);
        lblY[i]->setVisible(on);
        linVert[i]->setVisible(on);
    }
    for (QFrame* b : shpBar)
        b->setVisible(on);
    for (int j = 0; j < 12; ++j) {
        lblLevel[j]->setVisible(on);
        lblSpread[j]->setVisible(on);
        lblHistoryLeak[j]->setVisible(on);
    }
}

bool frmSarnicGraph::Form_Load() {
    if (!(LoggerReadVersion(FirmwareMajor, FirmwareMinor) && LoggerReadSerial(Serial) && LoggerReadClock(Clock) &&
          LoggerReadLeakStatus(LeakStatus))) {
        ShowMessage(LoadLangString(txt::LinkFailed));
        return false;
    }
    // Without the histogram or the history the window stays open with its captions only, and the user hears
    // that the logger stopped answering rather than meeting an empty graph.
    if (!LoggerReadGraph(Counts) || !LoggerReadHistory(Levels, Spreads)) {
        ShowMessage(LoadLangString(txt::LinkFailed));
        return true;
    }
    const std::int32_t max = GraphMaximum(Counts);
    const QString sep = QStringLiteral(": ");
    lblSerialNumber->setText(LoadLangString(txt::GraphSerialNumber) + sep + Serial.left(8));
    lblVersionNumber->setText(LoadLangString(txt::GraphVersion) + sep + FormatFirmware(FirmwareMajor, FirmwareMinor));
    lblDate->setText(LoadLangString(txt::GraphDate) + sep + QLocale().toString(Clock.date(), QLocale::ShortFormat));
    lblStatus->setText(LoadLangString(txt::GraphStatus) + sep + LeakStatus);

    const QFontMetrics fm(lblY[0]->font());
    for (int i = 0; i <= 10; ++i) {
        const double y = kBase - 400 * i;
        lblY[i]->setText(GraphYLabelText(max, i));
        const int w = fm.horizontalAdvance(lblY[i]->text()) + 4;
        const int h = fm.height();
        lblY[i]->setGeometry(plat::twips::toPixelsX(900) - w, plat::twips::toPixelsY(y) - h / 2, w, h);
    }
    for (int i = 0; i < 100; ++i) {
        const double height = GraphBarHeight(Counts[i], max);
        // Each bar starts at its own twip position, so rounding never leaves a gap or an overlap between bars.
        const int left = plat::twips::toPixelsX(kPlotLeft + 75 * i);
        const int right = plat::twips::toPixelsX(kPlotLeft + 75 * (i + 1));
        const int bottom = plat::twips::toPixelsY(kBase);
        const int top = plat::twips::toPixelsY(kBase - height);
        shpBar[i]->setGeometry(left, top, right - left, bottom - top);
    }
    for (int j = 0; j < 12; ++j) {
        lblLevel[j]->setText(QString::number(Levels[j] & 0x7F));
        lblSpread[j]->setText(QString::number(Spreads[j] & 0x7F));
        lblHistoryLeak[j]->setText(HistoryLeakText(Spreads[j], Levels[j]));
    }
    setPlotVisible(true);
    for (QFrame* b : shpBar)
        b->raise();
    linHoriz[0]->raise();
    Plotted = true;
    return true;
}

void frmSarnicGraph::cmdCopy_Click() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    // The picture of the window, and beside it the counts as text for programs that take no pictures.
    auto* data = new QMimeData;
    data->setImageData(CaptureFormImage(this).toImage());
    if (Plotted)
        data->setText(QString::fromLatin1(HistogramCsv(Counts)));
    clipboard->setMimeData(data);
}

void frmSarnicGraph::cmdPrint_Click() {
    PrintCapturedPicture(CaptureFormPicture(this));
}

void frmSarnicGraph::cmdSave_Click() {
    plat::FileDialogRequest req;
    req.parent = this;
    req.folder = DefaultPath;
    req.filter = QStringLiteral("Comma-separated (*.csv)");
    req.defaultSuffix = QStringLiteral("csv");
    QString path = plat::ui().saveFileName(req);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    if (QFileInfo::exists(path) &&
        ShowMessage(QStringLiteral("File already exists.  Overwrite?"), plat::MB_YESNO) != plat::IDYES)
        return;
    // Cancelling and refusing to overwrite end silently; a file that could not be written is said so, and an
    // existing one keeps its old contents.
    QString error;
    if (!SaveHistogramCsv(path, Counts, &error))
        ShowMessage(LoadLangString(txt::HistogramSaveFailed) + QDir::toNativeSeparators(path) + QStringLiteral("\n") +
                    error);
}

void frmSarnicGraph::cmdClose_Click() {
    accept();
}
