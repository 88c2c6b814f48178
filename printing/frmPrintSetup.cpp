#include "printing/frmPrintSetup.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/SmallDialogs.h"
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/UiServices.h"
#include "platform/WidgetNames.h"
#include "printing/PrintSupport.h"
#include "printing/Printer.h"
#include "printing/frmPrintPreview.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace printing {

// --- the list window as a source ---------------------------------------------------------------------------

int ListWindowSource::rowCount() const {
    if (!list_)
        return 0;
    return std::min<int>(list_->RecordCount, list_->rowCount());
}

QString ListWindowSource::rowText(int position, int column) const {
    return list_ ? list_->rowText(position, column) : QString();
}

const LoggerRecord& ListWindowSource::rowRecord(int position) const {
    static const LoggerRecord kBlank;
    return list_ ? list_->localRecord(list_->rowRecordIndex(position)) : kBlank;
}

int ListWindowSource::numHistories() const {
    return list_ ? list_->NumHistories : 0;
}

QString ListWindowSource::name() const {
    return list_ ? list_->DMAName : QString();
}

// --- dialog --------------------------------------------------------------------------------------------------

namespace {

constexpr const char* kAlwaysOn = "ALWAYSON";
constexpr int kPumpIntervalMs = 40;

struct StoredBox {
    const char* key;
    QCheckBox* frmPrintSetup::*box;
    int def;
};
// In the order OK saves them.
const StoredBox kStoredBoxes[] = {
    {"ChkGridRef", &frmPrintSetup::ChkGridRef, 0},   {"ChkDeployed", &frmPrintSetup::ChkDeployed, 0},
    {"ChkReceived", &frmPrintSetup::ChkReceived, 0}, {"ChkComment1", &frmPrintSetup::ChkComment1, 0},
    {"ChkComment2", &frmPrintSetup::ChkComment2, 0}, {"ChkHist", &frmPrintSetup::ChkHist, 0},
    {"ChkAll", &frmPrintSetup::ChkAll, 1},           {"ChkWarning", &frmPrintSetup::ChkWarning, 0},
    {"ChkLeak", &frmPrintSetup::ChkLeak, 0},         {"ChkNotInLeak", &frmPrintSetup::ChkNotInLeak, 0},
    {"ChkSummary", &frmPrintSetup::ChkSummary, 0},
};

using plat::widgets::named;

// A stored Boolean word ("True"/"False", any case, or a number); anything else leaves the value as it was.
void readStoredBool(const QString& key, bool& value) {
    const QString text = GetSettingText(key, QString()).trimmed();
    if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        value = true;
    else if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        value = false;
    else if (bool ok = false; text.toInt(&ok), ok)
        value = text.toInt() != 0;
}

QString boolWord(bool v) {
    return v ? QStringLiteral("True") : QStringLiteral("False");
}

// Lines of one page are gathered and drawn on the printer when the page is complete.
class PrinterSink final : public ReportSink {
public:
    explicit PrinterSink(const PageLayout& layout) : layout_(layout) {}
    void printLine(int page, const ReportLine& line) override {
        Q_UNUSED(page);
        if (failed)
            return;
        // The job starts with the first line, as a report with no lines sends nothing.
        if (!Printer().painter()) {
            failed = true;
            return;
        }
        lines_.push_back(line);
    }
    void newPage(int page) override {
        Q_UNUSED(page);
        if (failed)
            return;
        flush();
        if (!Printer().NewPage())
            failed = true;
    }
    void flush() {
        if (!lines_.empty() && Printer().jobActive())
            PaintPage(*Printer().painter(), layout_, lines_);
        lines_.clear();
    }
    bool failed = false;

private:
    const PageLayout& layout_;
    std::vector<ReportLine> lines_;
};

// Cancel and progress of a run: window events run now and then (often enough for the Cancel button, seldom
// enough not to slow a long report), and the status bar tells where the run is.
class DialogRunControl final : public RunControl {
public:
    DialogRunControl(frmPrintSetup& dialog, const ReportTexts& texts, const PrinterSink* sink)
        : dialog_(dialog), texts_(texts), sink_(sink) {
        clock_.start();
    }
    bool cancelled() override {
        if (dialog_.pumpEvents) {
            dialog_.pumpEvents();
        } else if (clock_.elapsed() >= kPumpIntervalMs) {
            clock_.restart();
            showProgress();
            QCoreApplication::processEvents();
        }
        return dialog_.CancelFlag || (sink_ && sink_->failed);
    }
    void progress(int page, int row, int reading) override {
        page_ = page;
        row_ = row;
        reading_ = reading;
        if (dialog_.pumpEvents)
            showProgress();
    }

private:
    void showProgress() {
        if (row_ == 0)
            return;
        QString s = texts_.progressPages + QString::number(page_ - 1) + texts_.progressRow + QString::number(row_);
        if (reading_ > 0)
            s += texts_.progressReading + QString::number(reading_);
        ShowStatusText(s);
    }
    frmPrintSetup& dialog_;
    const ReportTexts& texts_;
    const PrinterSink* sink_;
    QElapsedTimer clock_;
    int page_ = 1, row_ = 0, reading_ = 0;
};

} // namespace

frmPrintSetup::frmPrintSetup(QWidget* parent, frmDMA* list, frmDocument* textDocument)
    : QDialog(parent), source_(list), textDocument_(textDocument) {
    setObjectName(QStringLiteral("frmPrintSetup"));
    setWindowTitle(QStringLiteral("Print"));

    FrameRec = new QGroupBox(QStringLiteral("Logger info"), this);
    FrameRec->setObjectName(QStringLiteral("FrameRec"));
    ChkGridRef = named(new QCheckBox(QStringLiteral("Grid Ref."), FrameRec), "ChkGridRef");
    ChkDeployed = named(new QCheckBox(QStringLiteral("Deployed"), FrameRec), "ChkDeployed");
    ChkReceived = named(new QCheckBox(QStringLiteral("Received"), FrameRec), "ChkReceived");
    ChkComment1 = named(new QCheckBox(QStringLiteral("Comment 1"), FrameRec), "ChkComment1");
    ChkComment2 = named(new QCheckBox(QStringLiteral("Comment 2"), FrameRec), "ChkComment2");
    chkInformation = named(new QCheckBox(QStringLiteral("Information"), FrameRec), "chkInformation");
    auto* recLayout = new QVBoxLayout(FrameRec);
    for (QWidget* w : {ChkGridRef, ChkDeployed, ChkReceived, ChkComment1, ChkComment2, chkInformation})
        recLayout->addWidget(w);
    recLayout->addStretch(1);

    Fr2dummy = new QGroupBox(QStringLiteral("By status"), this);
    Fr2dummy->setObjectName(QStringLiteral("Fr2dummy"));
    ChkAll = named(new QCheckBox(QStringLiteral("All Loggers"), Fr2dummy), "ChkAll");
    ChkLeak = named(new QCheckBox(QStringLiteral("Leak"), Fr2dummy), "ChkLeak");
    ChkWarning = named(new QCheckBox(QStringLiteral("Warning"), Fr2dummy), "ChkWarning");
    ChkNotInLeak = named(new QCheckBox(QStringLiteral("Not in Leak"), Fr2dummy), "ChkNotInLeak");
    auto* statusLayout = new QVBoxLayout(Fr2dummy);
    for (QWidget* w : {ChkAll, ChkLeak, ChkWarning, ChkNotInLeak})
        statusLayout->addWidget(w);
    statusLayout->addStretch(1);

    ChkHist = named(new QCheckBox(QStringLiteral("Include history"), this), "ChkHist");
    ChkSummary = named(new QCheckBox(QStringLiteral("Summary report"), this), "ChkSummary");
    CmdSelectDates = named(new QPushButton(QStringLiteral("Select Dates..."), this), "CmdSelectDates");
    LblComment = new QLabel(QStringLiteral("Comment"), this);
    LblComment->setObjectName(QStringLiteral("LblComment"));
    TxtComment = new QLineEdit(this);
    TxtComment->setObjectName(QStringLiteral("TxtComment"));
    LblComment->setBuddy(TxtComment);
    lblFont = new QLabel(this);
    lblFont->setObjectName(QStringLiteral("lblFont"));
    // The dialog's buttons take Enter while they have the focus, as a dialog's buttons do; otherwise OK does.
    CmdPreview = named(new QPushButton(QStringLiteral("P&review..."), this), "CmdPreview");
    FontButton = named(new QPushButton(QStringLiteral("Font..."), this), "FontButton");
    PrinterButton = named(new QPushButton(QStringLiteral("&Printer..."), this), "PrinterButton");
    OKButton = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    CancelButton = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
    OKButton->setProperty("tag", QString::fromLatin1(kAlwaysOn));
    CancelButton->setProperty("tag", QString::fromLatin1(kAlwaysOn));
    OKButton->setDefault(true);

    auto* options = new QGridLayout;
    options->addWidget(FrameRec, 0, 0, 3, 1);
    options->addWidget(Fr2dummy, 0, 1);
    options->addWidget(ChkHist, 1, 1);
    auto* summaryRow = new QHBoxLayout;
    summaryRow->addWidget(ChkSummary);
    summaryRow->addWidget(CmdSelectDates);
    options->addLayout(summaryRow, 2, 1);
    auto* commentRow = new QHBoxLayout;
    commentRow->addWidget(LblComment);
    commentRow->addWidget(TxtComment, 1);
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(lblFont, 1);
    fontRow->addWidget(FontButton);
    fontRow->addWidget(PrinterButton);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CmdPreview);
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(options);
    layout->addLayout(commentRow);
    layout->addLayout(fontRow);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    connect(ChkAll, &QCheckBox::clicked, this, &frmPrintSetup::ChkAll_Click);
    connect(ChkSummary, &QCheckBox::clicked, this, &frmPrintSetup::ChkSummary_Click);
    connect(OKButton, &QPushButton::clicked, this, &frmPrintSetup::OKButton_Click);
    connect(CmdPreview, &QPushButton::clicked, this, &frmPrintSetup::CmdPreview_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmPrintSetup::CancelButton_Click);
    connect(PrinterButton, &QPushButton::clicked, this, &frmPrintSetup::PrinterButton_Click);
    connect(FontButton, &QPushButton::clicked, this, &frmPrintSetup::FontButton_Click);
    connect(CmdSelectDates, &QPushButton::clicked, this, &frmPrintSetup::CmdSelectDates_Click);

    Form_Load();
}

frmPrintSetup::~frmPrintSetup() = default;

void frmPrintSetup::LoadResources() {
    setWindowTitle(LoadLangString(txt::PrintCaption));
    CmdSelectDates->setText(LoadLangString(txt::SelectDates));
    ChkSummary->setText(LoadLangString(txt::SummaryReport));
    Fr2dummy->setTitle(LoadLangString(txt::ByStatus));
    ChkAll->setText(LoadLangString(txt::All));
    ChkLeak->setText(LoadLangString(txt::LeakStatusLeak));
    ChkWarning->setText(LoadLangString(txt::LeakStatusWarning));
    ChkNotInLeak->setText(LoadLangString(txt::NotInLeak));
    ChkHist->setText(LoadLangString(txt::IncludeHistory));
    CmdPreview->setText(LoadLangString(txt::Preview));
    FontButton->setText(LoadLangString(txt::FontButton));
    FrameRec->setTitle(LoadLangString(txt::LoggerInfo));
    ChkComment2->setText(LoadLangString(txt::SecondCommentOption));
    ChkComment1->setText(LoadLangString(txt::FirstCommentOption));
    ChkReceived->setText(LoadLangString(txt::Received));
    ChkDeployed->setText(LoadLangString(txt::Deployed));
    ChkGridRef->setText(LoadLangString(txt::GridRefCaption));
    OKButton->setText(LoadLangString(txt::Ok));
    CancelButton->setText(LoadLangString(txt::Cancel));
    PrinterButton->setText(LoadLangString(txt::PrinterButton));
    LblComment->setText(LoadLangString(txt::CommentLabel));
}

void frmPrintSetup::Form_Load() {
    DateList.clear();
    LoadResources();
    ShowStatusText(QString());
    PrnZoom = 100;
    CmdPreview->setEnabled(!textDocument_);
    for (const StoredBox& s : kStoredBoxes) {
        const long long v = GetSettingInt(QString::fromLatin1(s.key), s.def, -32768, 32767);
        (this->*(s.box))->setChecked(v == 1);
    }
    FontDialog = ReportFont{};
    FontDialog.name = GetSettingText(QStringLiteral("FontName"), FontDialog.name);
    bool ok = false;
    const double size = GetSettingText(QStringLiteral("FontSize"), QString()).trimmed().toDouble(&ok);
    if (ok && size > 0 && size < 1000)
        FontDialog.size = size;
    readStoredBool(QStringLiteral("FontBold"), FontDialog.bold);
    readStoredBool(QStringLiteral("FontItalic"), FontDialog.italic);
    readStoredBool(QStringLiteral("FontStrikethru"), FontDialog.strikethru);
    readStoredBool(QStringLiteral("FontUnderline"), FontDialog.underline);
    SetFont();
    chkInformation->setText(LoadLangString(txt::AdditionalInformation));
    EnableControls(!textDocument_);
    Form_Activate();
}

void frmPrintSetup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Form_Activate();
}

void frmPrintSetup::Form_Activate() {
    EnableStatusChecks();
    CmdSelectDates->setEnabled(ChkSummary->isChecked());
}

void frmPrintSetup::ChkSummary_Click() {
    CmdSelectDates->setEnabled(ChkSummary->isChecked());
}

ReportOptions frmPrintSetup::Options() const {
    ReportOptions o;
    o.gridRef = ChkGridRef->isChecked();
    o.deployed = ChkDeployed->isChecked();
    o.received = ChkReceived->isChecked();
    o.comment1 = ChkComment1->isChecked();
    o.comment2 = ChkComment2->isChecked();
    o.information = chkInformation->isChecked();
    o.all = ChkAll->isChecked();
    o.warning = ChkWarning->isChecked();
    o.leak = ChkLeak->isChecked();
    o.notInLeak = ChkNotInLeak->isChecked();
    o.history = ChkHist->isChecked();
    o.summary = ChkSummary->isChecked();
    o.comment = TxtComment->text();
    o.dates = DateList;
    o.font = FontDialog;
    return o;
}

void frmPrintSetup::SetFont() {
    // Measured on the printer with the chosen size, whatever the preview's zoom: paper and preview break
    // pages at the same lines, and a zoomed preview never shrinks the printout.
    PrinterObject& p = Printer();
    layout_ = MeasurePage(FontDialog, p.qprinter(), p.printableArea());
    LinesPerPage = layout_.linesPerPage;
    QString desc = FontDialog.name + u' ' + QString::number(FontDialog.size);
    if (FontDialog.bold)
        desc += QStringLiteral(", bold");
    if (FontDialog.italic)
        desc += QStringLiteral(", italic");
    lblFont->setText(desc);
}

int frmPrintSetup::SetFontZoomFactor() const {
    return ZoomedFontSize(FontDialog.size, PrnZoom);
}

void frmPrintSetup::EnableControls(bool enable) {
    const QList<QWidget*> controls = {
        FrameRec,   ChkGridRef, ChkDeployed, ChkReceived,   ChkComment1, ChkComment2, chkInformation, Fr2dummy,
        ChkAll,     ChkWarning, ChkLeak,     ChkNotInLeak,  ChkHist,     ChkSummary,  CmdSelectDates, LblComment,
        TxtComment, CmdPreview, FontButton,  PrinterButton, OKButton,    CancelButton};
    for (QWidget* w : controls) {
        if (w == CmdPreview && textDocument_) {
            w->setEnabled(false);
            continue;
        }
        w->setEnabled(w->property("tag").toString() == QLatin1String(kAlwaysOn) ? true : enable);
    }
}

void frmPrintSetup::EnableStatusChecks() {
    const bool on = !ChkAll->isChecked();
    ChkWarning->setEnabled(on);
    ChkLeak->setEnabled(on);
    ChkNotInLeak->setEnabled(on);
}

bool frmPrintSetup::ColumnsFitPage() const {
    const QString widest = WidestColumnLine(Options(), ReportTexts::load(), source_.numHistories());
    return TextWidth(layout_, widest) <= layout_.body.width();
}

bool frmPrintSetup::acceptCutLines() {
    if (ColumnsFitPage())
        return true;
    return ShowMessage(LoadLangString(txt::HeaderTooWide), plat::MB_OKCANCEL | plat::MB_ICONEXCLAMATION) == plat::IDOK;
}

bool frmPrintSetup::AnyStatusSelected() const {
    return printing::AnyStatusSelected(Options());
}

void frmPrintSetup::saveCheckBoxes() const {
    for (const StoredBox& s : kStoredBoxes)
        SaveSettingInt(QString::fromLatin1(s.key), (this->*(s.box))->isChecked() ? 1 : 0);
}

void frmPrintSetup::OKButton_Click() {
    // A text document is printed whatever the report boxes say, so their checks do not stand in its way.
    if (!textDocument_) {
        if (!AnyStatusSelected()) {
            ShowMessage(LoadLangString(txt::NoStatusChosen), 0);
            return;
        }
        if (ChkSummary->isChecked() && DateCount() < 1) {
            ShowMessage(LoadLangString(txt::NoDatesChosen), 0);
            return;
        }
        if (!acceptCutLines())
            return;
        saveCheckBoxes();
    }
    PrintToPrinter = true;
    // Both reports go the same way; a cancelled run has closed the dialog already, and after a failure the
    // dialog stays so that the user can choose another printer.
    if (print() == Outcome::Printed)
        done(Accepted);
}

void frmPrintSetup::CmdPreview_Click() {
    if (ChkSummary->isChecked() && DateCount() < 1) {
        ShowMessage(LoadLangString(txt::NoDatesChosen), 0);
        return;
    }
    if (!acceptCutLines())
        return;
    PrintToPrinter = false;
    // Where the dialog is now, without the window manager's frame: it comes back there after the preview.
    placeBeforePreview_ = geometry();
    done(PreviewRequested);
}

void frmPrintSetup::ShowPreview() {
    {
        frmPrintPreview preview(*this, parentWidget());
        plat::ui().execDialog(&preview);
    }
    // Shown again, a dialog is centred on its parent anew, and the window manager then puts its frame where
    // the inside was: the dialog would come back lower than it was. The inside is put back where it was.
    if (placeBeforePreview_.isValid())
        setGeometry(placeBeforePreview_);
}

void frmPrintSetup::CancelButton_Click() {
    CancelFlag = true;
    QDialog::reject();
}

void frmPrintSetup::PrinterButton_Click() {
    ShowPrinterDialog(this, 0);
    SetFont(); // another printer or orientation has another page
}

void frmPrintSetup::FontButton_Click() {
    QFontDialog dialog(this);
    dialog.setOption(QFontDialog::MonospacedFonts);
    dialog.setOption(QFontDialog::ScalableFonts);
    QFont start(FontDialog.name);
    start.setPointSizeF(FontDialog.size);
    start.setBold(FontDialog.bold);
    start.setItalic(FontDialog.italic);
    start.setStrikeOut(FontDialog.strikethru);
    start.setUnderline(FontDialog.underline);
    dialog.setCurrentFont(start);
    if (plat::ui().execDialog(&dialog) != QDialog::Accepted)
        return;
    const QFont f = dialog.currentFont();
    FontDialog.name = f.family();
    if (f.pointSizeF() > 0)
        FontDialog.size = f.pointSizeF();
    FontDialog.bold = f.bold();
    FontDialog.italic = f.italic();
    FontDialog.strikethru = f.strikeOut();
    FontDialog.underline = f.underline();
    SaveSettingText(QStringLiteral("FontName"), FontDialog.name);
    SaveSettingText(QStringLiteral("FontSize"), QString::number(static_cast<float>(FontDialog.size)));
    SaveSettingText(QStringLiteral("FontBold"), boolWord(FontDialog.bold));
    SaveSettingText(QStringLiteral("FontItalic"), boolWord(FontDialog.italic));
    SaveSettingText(QStringLiteral("FontStrikethru"), boolWord(FontDialog.strikethru));
    SaveSettingText(QStringLiteral("FontUnderline"), boolWord(FontDialog.underline));
    SetFont();
    if (!ColumnsFitPage())
        ShowMessage(LoadLangString(txt::HeaderTooWide), 0);
}

void frmPrintSetup::CmdSelectDates_Click() {
    DateList.clear();
    const QStringList dates = ReadingDatesForChooser(source_);
    if (dates.isEmpty())
        return;
    frmSelection selection(this);
    selection.setWindowTitle(LoadLangString(txt::DateChooserTitle));
    selection.TreeViewSelect->clear();
    for (const QString& d : dates) {
        auto* item = new QTreeWidgetItem(selection.TreeViewSelect, QStringList{d});
        item->setData(0, Qt::UserRole, d);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
    plat::ui().execDialog(&selection);
    for (int i = 0; i < selection.TreeViewSelect->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = selection.TreeViewSelect->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            DateList << item->data(0, Qt::UserRole).toString();
    }
}

void frmPrintSetup::DoPrint() {
    print();
}

void frmPrintSetup::DoPrintDate() {
    print();
}

frmPrintSetup::Outcome frmPrintSetup::print() {
    PrintToPrinter = true;
    return textDocument_ ? printTextDocument() : printReport();
}

frmPrintSetup::Outcome frmPrintSetup::printTextDocument() {
    CancelFlag = false;
    if (!textDocument_ || !PrepareOutput(this, ExistingPdf::Ask))
        return Outcome::Failed;
    const bool selection = textDocument_->rtfText->textCursor().hasSelection();
    if (!Printer().printDocument(*textDocument_->rtfText->document(), selection)) {
        ShowMessage(LoadLangString(txt::PrintFailed) + u'\n' + Printer().lastError(), 0);
        return Outcome::Failed;
    }
    return Outcome::Printed;
}

frmPrintSetup::Outcome frmPrintSetup::printReport() {
    CancelFlag = false;
    if (!PrepareOutput(this, ExistingPdf::Ask))
        return Outcome::Failed;
    EnableControls(false);
    OKButton->setEnabled(false);
    SetFont();
    FormPageNo = 1;

    const ReportTexts texts = ReportTexts::load();
    PrinterSink sink(layout_);
    DialogRunControl control(*this, texts, &sink);
    RunRequest request;
    request.linesPerPage = LinesPerPage;
    const RunOutcome out = RunReport(Options(), source_, texts, request, sink, control);
    FormPageNo = std::max(1, out.pages);

    PrinterObject& printer = Printer();
    if (sink.failed) {
        const QString error = printer.lastError();
        printer.KillDoc();
        ShowStatusText(QString());
        ShowMessage(LoadLangString(txt::PrintFailed) + u'\n' + error, 0);
        EnableControls(true);
        OKButton->setEnabled(true);
        EnableStatusChecks();
        return Outcome::Failed;
    }
    if (out.result == RunResult::Cancelled) {
        printer.KillDoc();
        ShowStatusText(QString());
        done(Rejected);
        return Outcome::Cancelled;
    }
    sink.flush();
    const int orientation = printer.Orientation();
    const bool sent = printer.EndDoc();
    printer.setOrientation(orientation);
    ShowStatusText(QString());
    if (!sent)
        ShowMessage(LoadLangString(txt::PrintFailed) + u'\n' + printer.lastError(), 0);
    EnableControls(true);
    OKButton->setEnabled(true);
    EnableStatusChecks();
    return sent ? Outcome::Printed : Outcome::Failed;
}

} // namespace printing
