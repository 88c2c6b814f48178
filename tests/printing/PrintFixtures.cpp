#include "PrintFixtures.h"
#include "core/ProgramWindows.h"

#include "documents/frmDMA.h"
#include "printing/Printer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPageLayout>
#include <QPrinter>
#include <QRegularExpression>

LoggerRecord makeLogger(int32_t serial, std::vector<Reading> readings, std::string gridRef, std::string comment1,
                        std::string comment2, std::string deployed, std::string received, std::string info) {
    LoggerRecord r;
    r.Serial = serial;
    r.GridRef = std::move(gridRef);
    r.Comment1 = std::move(comment1);
    r.Comment2 = std::move(comment2);
    r.Deployed = std::move(deployed);
    r.Received = std::move(received);
    r.UserComments = std::move(info);
    for (size_t j = 0; j < readings.size() && j < kMaxReadings; ++j) {
        r.ReadingDate[j + 1] = readings[j].date;
        r.ReadingStatus[j + 1] = readings[j].status;
        r.Level[j + 1] = static_cast<int16_t>(readings[j].level);
        r.Spread[j + 1] = static_cast<int16_t>(readings[j].spread);
    }
    return r;
}

std::vector<LoggerRecord> generatedArea(int count, int readings) {
    static const char* const kStatus[] = {"Leak", "No leak", "Warning"};
    std::vector<LoggerRecord> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 1; i <= count; ++i) {
        std::vector<Reading> rs;
        for (int j = 1; j <= readings; ++j) {
            char date[24];
            std::snprintf(date, sizeof date, "2024/%02d/%02d", 1 + (j - 1) / 28, 1 + (j - 1) % 28);
            rs.push_back({date, kStatus[(i + j) % 3], 20 + (i * 7 + j) % 60, (i + j) % 30});
        }
        char grid[16];
        std::snprintf(grid, sizeof grid, "TQ %04d %04d", i % 10000, (i * 37) % 10000);
        out.push_back(makeLogger(1000000 + i, rs, grid, "Street " + std::to_string(i), "", "2023/12/01", "2024/03/01",
                                 "info " + std::to_string(i)));
    }
    return out;
}

QString VectorSource::rowText(int position, int column) const {
    return LoggerRowText(rowRecord(position), column);
}

PrintTest::PrintTest() {
    ensureApplication();
    InitDatabaseStore();
    LoggerCount = 0;
    printing::PrinterObject& p = printing::Printer();
    p.selectDevice(printing::PrinterObject::PdfDeviceName);
    p.setOutputFileName(pdfPath());
    p.setOrientation(printing::PrinterObject::OrientationPortrait);
    p.qprinter().setPageSize(QPageSize(QPageSize::A4));
    p.qprinter().setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
}

PrintTest::~PrintTest() {
    for (frmDMA* l : lists) {
        l->AskForSave = false;
        l->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    printing::Printer().KillDoc();
    printing::Printer().setOutputFileName(QString());
}

frmDMA* PrintTest::makeList(const std::vector<LoggerRecord>& records, const QString& name) {
    LoggerTable.assign(static_cast<size_t>(kMaxLoggers + 1), LoggerRecord());
    for (size_t i = 0; i < records.size(); ++i)
        LoggerTable[i + 1] = records[i];
    LoggerCount = static_cast<int16_t>(records.size());
    auto* w = new frmDMA;
    w->NumHistories = kMaxReadings;
    w->CopyFrom_DMAModule();
    w->DMAName = name;
    lists.push_back(w);
    return w;
}

QStringList pdfPages(const QString& path) {
    const QString text = runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (text.isEmpty())
        return {};
    QStringList pages = text.split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QString squeezed(const QString& text) {
    return text.simplified();
}

QStringList textLines(const QString& page) {
    QStringList out;
    for (const QString& l : page.split(u'\n')) {
        const QString s = squeezed(l);
        if (!s.isEmpty())
            out << s;
    }
    return out;
}

QString pdfFonts(const QString& path) {
    return runTool(QStringLiteral("pdffonts"), {path});
}
