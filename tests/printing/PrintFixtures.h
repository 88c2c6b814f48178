#pragma once
// Loggers, list windows and PDF read-back for the printing tests.
#include "ScopedProgramWindows.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "core/DMAModule.h"
#include "documents/DocumentFiles.h"
#include "printing/ReportModel.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class frmDMA;

struct Reading {
    std::string date;
    std::string status;
    int level = 0;
    int spread = 0;
};

LoggerRecord makeLogger(int32_t serial, std::vector<Reading> readings = {}, std::string gridRef = "AB 1234 5678",
                        std::string comment1 = "", std::string comment2 = "", std::string deployed = "",
                        std::string received = "", std::string info = "");

// A generated area: `count` loggers with `readings` readings each (dates 2024/01/01 onwards, statuses cycling
// through the three words).
std::vector<LoggerRecord> generatedArea(int count, int readings);

// The records as a report source (rows in record order), without any window.
class VectorSource final : public printing::ReportSource {
public:
    explicit VectorSource(std::vector<LoggerRecord> records, int histories = kMaxReadings,
                          QString name = QStringLiteral("area.pdb"))
        : records_(std::move(records)), histories_(histories), name_(std::move(name)) {}
    int rowCount() const override { return static_cast<int>(records_.size()); }
    QString rowText(int position, int column) const override;
    const LoggerRecord& rowRecord(int position) const override { return records_[static_cast<size_t>(position - 1)]; }
    int numHistories() const override { return histories_; }
    QString name() const override { return name_; }

private:
    std::vector<LoggerRecord> records_;
    int histories_;
    QString name_;
};

struct StatusRecorder final : DocumentWindows {
    QStringList texts;
    void setStatusText(const QString& text) override { texts << text; }
    QString last() const { return texts.isEmpty() ? QString() : texts.last(); }
};

// Program folder with the shipped English texts, empty settings, a fresh logger table, a status bar, and the
// current printer set to the PDF printer writing into the test's folder.
class PrintTest {
public:
    PrintTest();
    ~PrintTest();
    // A list window holding the records (not shown), named as the page title shows it.
    frmDMA* makeList(const std::vector<LoggerRecord>& records, const QString& name = QStringLiteral("area.pdb"));
    QString pdfPath(const QString& name = QStringLiteral("report.pdf")) const { return env.path(name); }

    TestEnv env;
    StatusRecorder status;
    ScopedProgramWindows registered_{&status};
    std::vector<frmDMA*> lists;
};

// The pages of a PDF as pdftotext -layout gives them (empty when it cannot be read).
QStringList pdfPages(const QString& path);
// The non-blank lines of a page, each with its runs of blanks squeezed to one.
QStringList textLines(const QString& page);
// The fonts pdffonts lists for a PDF.
QString pdfFonts(const QString& path);
// Whitespace squeezed, ends trimmed.
QString squeezed(const QString& text);
