#include "printing/ReportModel.h"

#include "core/Shared.h"
#include "lang/LangText.h"
#include "platform/TextCodec.h"
#include "platform/VbRuntime.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace printing {

QString FixedWidthText(const QString& text, int width) {
    if (width <= 0)
        return QString();
    if (text.size() >= width)
        return text.left(width);
    return QString(width - text.size(), u' ') + text;
}

int ZoomedFontSize(double fontSize, int zoomPercent) {
    // Half to even, as the size was always rounded: 4.5 gives 4, 5.5 gives 6.
    const double scaled = std::nearbyint(fontSize * (zoomPercent / 100.0));
    const int size = static_cast<int>(std::clamp(scaled, -32768.0, 32767.0));
    return size < 1 ? 1 : size;
}

ReportTexts ReportTexts::load() {
    ReportTexts t;
    t.statusWarning = LoadLangString(txt::Warning).toUpper();
    t.statusLeak = LoadLangString(txt::Leak).toUpper();
    t.statusNotInLeak = LoadLangString(txt::NoLeak).toUpper();
    t.selPrefix = LoadLangString(txt::SelectionPrefix);
    t.selAll = LoadLangString(txt::SelectionAll);
    t.selWarning = LoadLangString(txt::SelectionWarning);
    t.selLeak = LoadLangString(txt::SelectionLeak);
    t.selNotInLeak = LoadLangString(txt::SelectionNotInLeak);
    t.selHistory = LoadLangString(txt::SelectionHistory);
    t.selLatest = LoadLangString(txt::SelectionLatest);
    t.selSummary = LoadLangString(txt::SelectionSummary);
    t.headSerial = LoadLangString(txt::HeadSerial);
    t.headGridRef = LoadLangString(txt::HeadGridRef);
    t.headDeployed = LoadLangString(txt::HeadDeployed);
    t.headReceived = LoadLangString(txt::HeadReceived);
    t.headComment1 = LoadLangString(txt::HeadComment1);
    t.headComment2 = LoadLangString(txt::HeadComment2);
    t.headInformation = LoadLangString(txt::AdditionalInformation);
    t.headReadings = LoadLangString(txt::HeadReadings);
    t.headHistory = LoadLangString(txt::HeadHistory);
    t.titleName = LoadLangString(txt::TitleBeforeName);
    t.titleDate = LoadLangString(txt::TitleBeforeDate);
    t.titleSelection = LoadLangString(txt::TitleBeforeSelection);
    t.titlePage = LoadLangString(txt::TitleBeforePage);
    t.titleSummary = LoadLangString(txt::TitleSummary);
    t.commentLine = LoadLangString(txt::CommentLine);
    t.progressPages = LoadLangString(txt::ProgressPages);
    t.progressRow = LoadLangString(txt::ProgressRow);
    t.progressReading = LoadLangString(txt::ProgressReading);
    return t;
}

bool StatusSelected(const ReportOptions& o, const ReportTexts& t, QString& status) {
    status = status.trimmed().toUpper();
    if (o.all)
        return true;
    return (o.warning && status == t.statusWarning) || (o.leak && status == t.statusLeak) ||
           (o.notInLeak && status == t.statusNotInLeak);
}

bool AnyStatusSelected(const ReportOptions& o) {
    return o.all || o.warning || o.leak || o.notInLeak;
}

QString SelectionDescription(const ReportOptions& o, const ReportTexts& t) {
    QString s = t.selPrefix;
    if (o.all) {
        s += t.selAll;
    } else {
        if (o.warning)
            s += t.selWarning;
        if (o.leak)
            s += t.selLeak;
        if (o.notInLeak)
            s += t.selNotInLeak;
    }
    if (o.summary)
        s += t.selSummary;
    else
        s += o.history ? t.selHistory : t.selLatest;
    return s;
}

namespace {

// Logger columns after the serial: list column, width, whether chosen.
struct LoggerColumn {
    int column;
    int width;
    bool ReportOptions::*chosen;
};
constexpr LoggerColumn kLoggerColumns[] = {
    {1, 14, &ReportOptions::gridRef},  {2, 14, &ReportOptions::deployed}, {3, 14, &ReportOptions::received},
    {4, 21, &ReportOptions::comment1}, {5, 21, &ReportOptions::comment2}, {10, 21, &ReportOptions::information},
};
constexpr int kSerialWidth = 14;
constexpr int kDateCellWidth = 11;
constexpr int kReadingWidth = 12 + 2 + 3 + 2; // date, status, level, spread
constexpr int kReadingNumberWidth = 1 + 2;    // a blank, the reading number

} // namespace

QString ColumnHeaderLine(const ReportOptions& o, const ReportTexts& t) {
    const QString* heads[] = {&t.headGridRef,  &t.headDeployed, &t.headReceived,
                              &t.headComment1, &t.headComment2, &t.headInformation};
    QString line = FixedWidthText(t.headSerial, kSerialWidth);
    for (size_t c = 0; c < std::size(kLoggerColumns); ++c) {
        if (o.*(kLoggerColumns[c].chosen))
            line += FixedWidthText(*heads[c], kLoggerColumns[c].width);
    }
    if (o.summary) {
        for (qsizetype k = o.dates.size() - 1; k >= 0; --k)
            line += FixedWidthText(o.dates[k], kDateCellWidth);
    } else {
        line += t.headReadings;
        if (o.history)
            line += t.headHistory;
    }
    return line;
}

QString WidestColumnLine(const ReportOptions& o, const ReportTexts& t, int numHistories) {
    qsizetype cells = kSerialWidth;
    for (const LoggerColumn& c : kLoggerColumns) {
        if (o.*(c.chosen))
            cells += c.width;
    }
    if (o.summary) {
        cells += o.dates.size() * kDateCellWidth;
    } else {
        cells += kReadingWidth;
        // The reading number follows only when more than one reading set is printed.
        if (o.history && std::clamp(numHistories, 0, kMaxReadings) > 1)
            cells += kReadingNumberWidth;
    }
    const QString header = ColumnHeaderLine(o, t);
    return header.size() >= cells ? header : QString(cells, u'0');
}

int InDateList(const QStringList& dates, const QString& date) {
    const qsizetype i = dates.indexOf(date);
    return i < 0 ? 0 : static_cast<int>(i) + 1;
}

QStringList ReadingDatesForChooser(const ReportSource& source) {
    QSet<QString> seen;
    QStringList dates;
    const int rows = source.rowCount();
    const int histories = std::clamp(source.numHistories(), 0, kMaxReadings);
    for (int i = 1; i <= rows; ++i) {
        const LoggerRecord& r = source.rowRecord(i);
        for (int j = 1; j <= histories; ++j) {
            const std::string& raw = r.ReadingDate[static_cast<size_t>(j)];
            if (raw.empty())
                continue;
            const QString d = plat::fromAnsi(raw).trimmed();
            if (!d.isEmpty() && !seen.contains(d)) {
                seen.insert(d);
                dates << d;
            }
        }
    }
    std::sort(dates.begin(), dates.end(), [](const QString& a, const QString& b) { return a > b; });
    return dates;
}

int LinesPerPageFor(double pageHeight, double lineHeight) {
    if (!(lineHeight > 0) || !(pageHeight > 0))
        return -10;
    return static_cast<int>(std::floor(pageHeight / lineHeight)) - 10;
}

void CollectingSink::printLine(int page, const ReportLine& line) {
    const size_t index = static_cast<size_t>(page - firstPage);
    if (pages.size() <= index)
        pages.resize(index + 1);
    pages[index].push_back(line);
}

namespace {

bool unusedSlot(const LoggerRecord& r, size_t slot) {
    return r.ReadingDate[slot].empty() && r.ReadingStatus[slot].empty() && r.Level[slot] == 0 && r.Spread[slot] == 0;
}

// One run: the page rule, the heading and the font state that the heading switches.
class Run {
public:
    Run(const ReportOptions& o, const ReportSource& s, const ReportTexts& t, const RunRequest& r, ReportSink& sink,
        RunControl& control)
        : o_(o), src_(s), t_(t), req_(r), sink_(sink), control_(control) {
        style_ = (o.font.bold ? StyleBold : 0) | (o.font.italic ? StyleItalic : 0) |
                 (o.font.underline ? StyleUnderline : 0) | (o.font.strikethru ? StyleStrikethru : 0);
        header_ = ColumnHeaderLine(o, t);
        const QDate d = r.today;
        titleHead_ = t.titleName + s.name() + t.titleDate +
                     QStringLiteral("%1-%2-%3")
                         .arg(d.month(), 2, 10, QChar(u'0'))
                         .arg(d.day(), 2, 10, QChar(u'0'))
                         .arg(d.year(), 4, 10, QChar(u'0')) +
                     t.titleSelection + SelectionDescription(o, t) + t.titlePage;
    }

    RunOutcome byLogger();
    RunOutcome byDate();

private:
    bool wanted() const { return page_ >= req_.firstPage && page_ <= req_.lastPage; }
    // True when the run has passed the pages asked for.
    bool pastWindow() const { return page_ > req_.lastPage; }

    void print(const QString& text) {
        if (wanted())
            sink_.printLine(page_, ReportLine{text, style_});
    }
    void heading() {
        if (!wanted()) // nothing of a skipped page's heading is needed
            return;
        const uint8_t kept = style_;
        style_ |= StyleBold;
        QString title = titleHead_ + QString::number(page_);
        if (o_.summary)
            title += t_.titleSummary;
        print(title);
        style_ = (style_ & ~StyleBold) | (kept & StyleBold);
        print(QString());
        style_ |= StyleItalic;
        print(t_.commentLine + o_.comment);
        style_ &= ~StyleItalic; // off, whatever the chosen font had
        print(QString());
        const uint8_t underline = style_ & StyleUnderline;
        style_ |= StyleUnderline;
        print(header_);
        style_ = (style_ & ~StyleUnderline) | underline;
        print(QString());
    }
    void pageRule() {
        ++counter_;
        if (counter_ >= req_.linesPerPage) {
            ++page_;
            if (wanted())
                sink_.newPage(page_);
            heading();
            counter_ = 5;
        }
    }
    void startFirstPage() {
        page_ = 1;
        heading();
        counter_ = 7;
    }
    QString loggerPart(int position, const QString& serialText) const {
        QString part = FixedWidthText(serialText, kSerialWidth);
        for (const LoggerColumn& c : kLoggerColumns) {
            if (o_.*(c.chosen))
                part += FixedWidthText(src_.rowText(position, c.column), c.width);
        }
        return part;
    }
    RunOutcome outcome(RunResult r) const { return {r, page_}; }

    const ReportOptions& o_;
    const ReportSource& src_;
    const ReportTexts& t_;
    const RunRequest& req_;
    ReportSink& sink_;
    RunControl& control_;
    QString header_;
    QString titleHead_;
    uint8_t style_ = 0;
    int counter_ = 1;
    int page_ = 0;
};

RunOutcome Run::byLogger() {
    const int rows = src_.rowCount();
    const int histories = std::clamp(src_.numHistories(), 0, kMaxReadings);
    const int sets = o_.history ? histories : 1;
    const bool numbered = sets > 1;
    for (int i = 1; i <= rows; ++i) {
        if (counter_ == 1)
            startFirstPage();
        const LoggerRecord& rec = src_.rowRecord(i);
        QString part; // made when a line of this logger is printed on a page asked for
        bool first = true;
        int printed = 0;
        for (int j = 1; j <= sets; ++j) {
            const auto s = static_cast<size_t>(j);
            // A list keeps room for fifty readings. With every status chosen each slot is printed, so a logger
            // that has no readings yet still has its line; a slot never filled shows blank reading columns, not
            // zeros. A chosen status never matches an unused slot: it prints nothing.
            const bool unused = unusedSlot(rec, s);
            if (unused && !o_.all) {
                if (control_.cancelled())
                    return outcome(RunResult::Cancelled);
                continue;
            }
            QString status = plat::fromAnsi(rec.ReadingStatus[s]);
            if (StatusSelected(o_, t_, status)) {
                control_.progress(page_, i, j);
                ++printed;
                if (wanted()) {
                    if (part.isNull())
                        part = loggerPart(i, src_.rowText(i, 0));
                    QString line = first ? part : QString(part.size(), u' ');
                    if (unused) {
                        line += QString(kReadingWidth, u' ');
                    } else {
                        line += FixedWidthText(plat::fromAnsi(rec.ReadingDate[s]), 12);
                        line += FixedWidthText(status, 2);
                        line += FixedWidthText(QString::number(rec.Level[s]), 3);
                        line += FixedWidthText(QString::number(rec.Spread[s]), 2);
                    }
                    if (numbered)
                        line += u' ' + FixedWidthText(QString::number(j), 2);
                    print(line);
                }
                first = false;
                pageRule();
                if (pastWindow())
                    return outcome(RunResult::Stopped);
            }
            if (control_.cancelled())
                return outcome(RunResult::Cancelled);
        }
        if (printed > 1) {
            print(QString());
            pageRule();
            if (pastWindow())
                return outcome(RunResult::Stopped);
        }
    }
    return outcome(RunResult::Completed);
}

RunOutcome Run::byDate() {
    const int rows = src_.rowCount();
    const int histories = std::clamp(src_.numHistories(), 0, kMaxReadings);
    const int count = static_cast<int>(o_.dates.size());
    const QString emptyCell = QStringLiteral(" .         ");
    for (int i = 1; i <= rows; ++i) {
        if (counter_ == 1)
            startFirstPage();
        const LoggerRecord& rec = src_.rowRecord(i);
        QString datePart;
        if (wanted()) {
            datePart.reserve(count * kDateCellWidth);
            for (int k = 0; k < count; ++k)
                datePart += emptyCell;
        }
        bool found = false;
        for (int j = 1; j <= histories; ++j) {
            const auto s = static_cast<size_t>(j);
            const int k = InDateList(o_.dates, plat::fromAnsi(rec.ReadingDate[s]));
            if (!(o_.all || k > 0))
                continue;
            QString status = plat::fromAnsi(rec.ReadingStatus[s]);
            if (!StatusSelected(o_, t_, status))
                continue;
            found = true;
            if (k > 0 && wanted()) {
                const QString cell = FixedWidthText(u' ' + FixedWidthText(status, 1) + u' ' +
                                                        FixedWidthText(QString::number(rec.Level[s]), 3) + u' ' +
                                                        FixedWidthText(QString::number(rec.Spread[s]), 2),
                                                    kDateCellWidth);
                datePart.replace((count - k) * kDateCellWidth, kDateCellWidth, cell);
            }
        }
        if (found) {
            // The summary prints the serial from the record in eight digits, whatever the list shows.
            if (wanted())
                print(loggerPart(i, plat::vb::formatSerialQ(
                                        static_cast<int32_t>(std::llround(plat::vb::Val(src_.rowText(i, 0)))))) +
                      datePart);
            control_.progress(page_, i, 0);
            pageRule();
            if (pastWindow())
                return outcome(RunResult::Stopped);
        }
        if (control_.cancelled())
            return outcome(RunResult::Cancelled);
    }
    return outcome(RunResult::Completed);
}

} // namespace

RunOutcome RunReport(const ReportOptions& options, const ReportSource& source, const ReportTexts& texts,
                     const RunRequest& request, ReportSink& sink, RunControl& control) {
    Run run(options, source, texts, request, sink, control);
    return options.summary ? run.byDate() : run.byLogger();
}

} // namespace printing
