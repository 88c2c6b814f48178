#pragma once
// What a printed report holds, without any window: the options a user chose, the lines of the report by
// logger and of the summary by reading date, the page heading and the page rule. The report is produced as
// styled text lines handed to a sink page by page, so paper, PDF and the preview all get the same lines.
#include "core/DMAModule.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

namespace printing {

// Cell rule of every report column: a longer text keeps its first `width` characters, a shorter one is
// padded with spaces on the left, so each cell is exactly `width` characters.
QString FixedWidthText(const QString& text, int width);

// A font size scaled by a zoom percentage: rounded half to even, never below 1.
int ZoomedFontSize(double fontSize, int zoomPercent);

struct ReportFont {
    QString name = QStringLiteral("Courier New");
    double size = 8;
    bool bold = false;
    bool italic = false;
    bool strikethru = false;
    bool underline = false;
    bool operator==(const ReportFont&) const = default;
};

// The choices of the report options dialog.
struct ReportOptions {
    bool gridRef = false;
    bool deployed = false;
    bool received = false;
    bool comment1 = false;
    bool comment2 = false;
    bool information = false;
    bool all = true;
    bool warning = false;
    bool leak = false;
    bool notInLeak = false;
    bool history = false;
    bool summary = false;
    QString comment;
    QStringList dates; // the chosen reading dates, in the chooser's order
    ReportFont font;
};

// The logger list a report is made of, row by row in the order the list shows them (positions 1..rowCount).
class ReportSource {
public:
    virtual ~ReportSource() = default;
    virtual int rowCount() const = 0;
    // Column 0 is the serial number as the list shows it; 1..10 the other list columns.
    virtual QString rowText(int position, int column) const = 0;
    // The record the row shows (its own record, also when two rows carry the same serial).
    virtual const LoggerRecord& rowRecord(int position) const = 0;
    virtual int numHistories() const = 0;
    virtual QString name() const = 0; // the file name shown in the page title
};

// The language texts a run uses, read once per run rather than once per reading.
struct ReportTexts {
    QString statusWarning, statusLeak, statusNotInLeak; // upper case
    QString selPrefix, selAll, selWarning, selLeak, selNotInLeak, selHistory, selLatest, selSummary;
    QString headSerial, headGridRef, headDeployed, headReceived, headComment1, headComment2, headInformation;
    QString headReadings, headHistory;
    QString titleName, titleDate, titleSelection, titlePage, titleSummary, commentLine;
    QString progressPages, progressRow, progressReading;
    static ReportTexts load();
};

// True when a reading status passes the status boxes. The status is replaced by its trimmed upper-case form;
// the status words are compared in upper case too, whatever case the language file writes them in.
bool StatusSelected(const ReportOptions& options, const ReportTexts& texts, QString& status);
bool AnyStatusSelected(const ReportOptions& options);
QString SelectionDescription(const ReportOptions& options, const ReportTexts& texts);
QString ColumnHeaderLine(const ReportOptions& options, const ReportTexts& texts);
// The longest line the columns of these options print: the column header, or a reading line (by logger) or a
// logger line (summary) as long as the cells make it, whichever is longer. In a fixed-pitch font its width on
// the page tells whether the chosen columns fit.
QString WidestColumnLine(const ReportOptions& options, const ReportTexts& texts, int numHistories);
// Index 1..count of the first chosen date equal to the text, or 0.
int InDateList(const QStringList& dates, const QString& date);

// The distinct non-empty reading dates of a list (readings 1..numHistories of every row, trimmed), in the
// order the date chooser lists them: descending as text.
QStringList ReadingDatesForChooser(const ReportSource& source);

// One printed line and the font styles it is printed in.
enum LineStyle : uint8_t { StyleBold = 1, StyleItalic = 2, StyleUnderline = 4, StyleStrikethru = 8 };
struct ReportLine {
    QString text;
    uint8_t style = 0;
    bool operator==(const ReportLine&) const = default;
};

// Receives the lines of the pages it asked for.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual void printLine(int page, const ReportLine& line) = 0;
    // The report moves on to a new page (2, 3, ...); only called for pages the sink receives.
    virtual void newPage(int page) { Q_UNUSED(page); }
};

// The user's side of a long run: asked after every reading whether to stop (a window pumps its events here),
// and told where the run is.
class RunControl {
public:
    virtual ~RunControl() = default;
    virtual bool cancelled() { return false; }
    // reading is 0 for the summary report, which reports whole loggers.
    virtual void progress(int page, int row, int reading) {
        Q_UNUSED(page);
        Q_UNUSED(row);
        Q_UNUSED(reading);
    }
};

struct RunRequest {
    int linesPerPage = 60;
    QDate today = QDate::currentDate();
    // Only these pages are handed to the sink; lines of earlier pages are counted, not formatted, and the run
    // stops once it passes lastPage.
    int firstPage = 1;
    int lastPage = INT_MAX;
};

enum class RunResult { Completed, Cancelled, Stopped };

struct RunOutcome {
    RunResult result = RunResult::Completed;
    int pages = 0; // pages begun (0 when nothing was printed)
};

// The report by logger (options.summary false) or by reading date (true), from the first row.
RunOutcome RunReport(const ReportOptions& options, const ReportSource& source, const ReportTexts& texts,
                     const RunRequest& request, ReportSink& sink, RunControl& control);

// Lines per page of a page height and a line height in the same units: the whole lines that fit, less ten.
int LinesPerPageFor(double pageHeight, double lineHeight);

// A sink that keeps every line it gets, page by page (pages[0] is the first page asked for).
class CollectingSink : public ReportSink {
public:
    std::vector<std::vector<ReportLine>> pages;
    int firstPage = 1;
    void printLine(int page, const ReportLine& line) override;
};

} // namespace printing
