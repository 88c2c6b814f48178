#pragma once
// The report options dialog: which logger columns and readings the report holds, by logger or by reading date,
// the report font and the printer; OK prints, Preview shows the report in the preview window. It prints the
// logger list it was opened on, or, when opened on a text document window, that document.
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "printing/PagePainter.h"
#include "printing/ReportModel.h"

#include <QDialog>
#include <QPointer>
#include <QRect>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace printing {

// A logger list window as a report source: its rows in list order, each with its own record.
class ListWindowSource final : public ReportSource {
public:
    explicit ListWindowSource(frmDMA* list) : list_(list) {}
    int rowCount() const override;
    QString rowText(int position, int column) const override;
    const LoggerRecord& rowRecord(int position) const override;
    int numHistories() const override;
    QString name() const override;

private:
    QPointer<frmDMA> list_;
};

class frmPrintSetup : public QDialog {
    Q_OBJECT
public:
    // The dialog's result when the user asked for the preview: the caller shows it and opens the dialog again.
    static constexpr int PreviewRequested = 2;

    // list: the logger list to print (may be null); textDocument: set when the main window's active child is
    // a text document window, which is then printed instead.
    frmPrintSetup(QWidget* parent, frmDMA* list, frmDocument* textDocument = nullptr);
    ~frmPrintSetup() override;

    // Public state read by the preview and the report runs.
    bool CancelFlag = false;
    bool PrintToPrinter = false; // the surface of the last run: paper (true) or the preview
    int FormPageNo = 1;
    int LinesPerPage = 0;
    int PrnZoom = 100;
    QStringList DateList; // chosen reading dates; DateCount is its size
    int DateCount() const { return static_cast<int>(DateList.size()); }
    ReportFont FontDialog; // the chosen report font

    QGroupBox* FrameRec = nullptr;
    QCheckBox* ChkGridRef = nullptr;
    QCheckBox* ChkDeployed = nullptr;
    QCheckBox* ChkReceived = nullptr;
    QCheckBox* ChkComment1 = nullptr;
    QCheckBox* ChkComment2 = nullptr;
    QCheckBox* chkInformation = nullptr;
    QGroupBox* Fr2dummy = nullptr;
    QCheckBox* ChkAll = nullptr;
    QCheckBox* ChkWarning = nullptr;
    QCheckBox* ChkLeak = nullptr;
    QCheckBox* ChkNotInLeak = nullptr;
    QCheckBox* ChkHist = nullptr;
    QCheckBox* ChkSummary = nullptr;
    QPushButton* CmdSelectDates = nullptr;
    QLabel* LblComment = nullptr;
    QLineEdit* TxtComment = nullptr;
    QLabel* lblFont = nullptr; // shows the chosen font
    QPushButton* CmdPreview = nullptr;
    QPushButton* FontButton = nullptr;
    QPushButton* PrinterButton = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

    // The options as the controls show them now.
    ReportOptions Options() const;
    const ReportSource& Source() const { return source_; }
    frmDocument* TextDocument() const { return textDocument_; }
    // The report font measured on the current printer (the same layout paper and preview use).
    const PageLayout& Layout() const { return layout_; }

    // The reports on the printer. Both return when the run has ended, was cancelled (the dialog is closed
    // then) or could not start or finish (the user has been told; the dialog stays).
    void DoPrint();
    void DoPrintDate();

    void SetFont();
    int SetFontZoomFactor() const; // the report font size at the preview zoom
    void ScrollZoom_Change() {}
    void LoadResources();
    // True when the widest line of the chosen columns fits the printable width of the printer's page.
    bool ColumnsFitPage() const;
    void EnableControls(bool enable);
    void EnableStatusChecks();
    bool AnyStatusSelected() const;

    void OKButton_Click();
    void CmdPreview_Click();
    void CancelButton_Click();
    void PrinterButton_Click();
    void FontButton_Click();
    void CmdSelectDates_Click();
    void ChkAll_Click() { EnableStatusChecks(); }
    void ChkSummary_Click();

    // Runs the preview window modally (after the dialog returned PreviewRequested).
    void ShowPreview();

    // Called where a running report lets pending window events run; tests replace it to press Cancel.
    std::function<void()> pumpEvents;

    void Form_Activate();
    void Form_QueryUnload(bool& cancel) { cancel = false; }
    void Form_Unload() {}

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override { CancelButton_Click(); }

private:
    void Form_Load();
    void saveCheckBoxes() const;
    // Before a report goes to paper or the preview: warns when its lines will be cut off; false when the user
    // went back to change the choices.
    bool acceptCutLines();
    enum class Outcome { Printed, Cancelled, Failed };
    Outcome printReport();
    Outcome printTextDocument();
    Outcome print();

    ListWindowSource source_;
    QPointer<frmDocument> textDocument_;
    PageLayout layout_;
    QRect placeBeforePreview_; // the dialog's inside on the screen when it made way for the preview
};

} // namespace printing
