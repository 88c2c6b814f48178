// The report lines without any window: cells, status filter, heading, page rule, both reports, cancel.
#include "PrintFixtures.h"
#include "core/Shared.h"
#include "lang/LangText.h"
#include "printing/ReportModel.h"
#include "printing/frmPrintSetup.h"

#include <gtest/gtest.h>

using namespace printing;

namespace {

class ReportModelTest : public ::testing::Test, public PrintTest {
protected:
    ReportTexts texts = ReportTexts::load();

    CollectingSink run(const ReportOptions& o, const ReportSource& s, int linesPerPage = 60, int first = 1,
                       int last = INT_MAX, RunOutcome* outcome = nullptr) {
        CollectingSink sink;
        sink.firstPage = first;
        RunRequest r;
        r.linesPerPage = linesPerPage;
        r.today = QDate(2024, 3, 7);
        r.firstPage = first;
        r.lastPage = last;
        RunControl control;
        const RunOutcome out = RunReport(o, s, texts, r, sink, control);
        if (outcome)
            *outcome = out;
        return sink;
    }
    // The body lines of a one-page report (after the six heading lines).
    static QStringList body(const CollectingSink& sink) {
        QStringList out;
        if (sink.pages.empty())
            return out;
        for (size_t i = 6; i < sink.pages[0].size(); ++i)
            out << sink.pages[0][i].text;
        return out;
    }
};

TEST(FixedWidthText, CutsLongTextsAndPadsShortOnesOnTheLeft) {
    struct Case {
        const char* text;
        int width;
        const char* expected;
    } cases[] = {
        {"12345", 2, "12"}, {"7", 3, "  7"}, {"", 4, "    "}, {"abc", 3, "abc"}, {"abc", 0, ""}, {"abc", -1, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FixedWidthText(QString::fromLatin1(c.text), c.width), QString::fromLatin1(c.expected))
            << c.text << " at " << c.width;
}

TEST(ZoomedFontSize, RoundsHalfToEvenAndNeverGoesBelowOne) {
    struct Case {
        double size;
        int zoom;
        int expected;
    } cases[] = {{10, 100, 10}, {10, 150, 15}, {10, 10, 1}, {9, 50, 4}, {11, 50, 6}, {8, 10, 1}, {2, 10, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(ZoomedFontSize(c.size, c.zoom), c.expected) << c.size << " at " << c.zoom;
}

TEST_F(ReportModelTest, StatusFilterComparesInOneCaseAndLeavesTheTrimmedUpperCaseStatus) {
    ReportOptions o;
    o.all = false;
    o.leak = true;
    // The language file writes the status words in mixed case ("Leak"); records may hold any case.
    ASSERT_EQ(LoadLangString(txt::Leak), QStringLiteral("Leak"));
    for (const char* s : {"Leak", "  leak ", "LEAK"}) {
        QString status = QString::fromLatin1(s);
        EXPECT_TRUE(StatusSelected(o, texts, status)) << s;
        EXPECT_EQ(status, QStringLiteral("LEAK"));
    }
    QString warning = QStringLiteral("warning");
    EXPECT_FALSE(StatusSelected(o, texts, warning));
    o.warning = true;
    EXPECT_TRUE(StatusSelected(o, texts, warning));
    QString empty;
    EXPECT_FALSE(StatusSelected(o, texts, empty));
    o.all = true;
    EXPECT_TRUE(StatusSelected(o, texts, empty));
}

TEST_F(ReportModelTest, HeaderLineFollowsTheChosenColumnsAndReversesTheDates) {
    ReportOptions o;
    EXPECT_EQ(ColumnHeaderLine(o, texts), FixedWidthText(texts.headSerial, 14) + texts.headReadings);
    o.history = true;
    o.gridRef = true;
    o.information = true;
    EXPECT_EQ(ColumnHeaderLine(o, texts), FixedWidthText(texts.headSerial, 14) + FixedWidthText(texts.headGridRef, 14) +
                                              FixedWidthText(texts.headInformation, 21) + texts.headReadings +
                                              texts.headHistory);
    o.summary = true;
    o.dates = {QStringLiteral("12/04/08"), QStringLiteral("01/05/08")};
    EXPECT_EQ(ColumnHeaderLine(o, texts), FixedWidthText(texts.headSerial, 14) + FixedWidthText(texts.headGridRef, 14) +
                                              FixedWidthText(texts.headInformation, 21) + "   01/05/08" +
                                              "   12/04/08");
    EXPECT_EQ(SelectionDescription(o, texts), texts.selPrefix + texts.selAll + texts.selSummary);
    o.summary = false;
    o.all = false;
    o.warning = o.notInLeak = true;
    EXPECT_EQ(SelectionDescription(o, texts),
              texts.selPrefix + texts.selWarning + texts.selNotInLeak + texts.selHistory);
}

TEST_F(ReportModelTest, WidestColumnLineIsAsLongAsTheLongestLineTheChoicesPrint) {
    ReportOptions everyColumn;
    everyColumn.gridRef = everyColumn.deployed = everyColumn.comment1 = everyColumn.comment2 = true;
    everyColumn.information = true;
    ReportOptions summary = everyColumn;
    summary.summary = true;
    summary.dates = {QStringLiteral("2024/07/01"), QStringLiteral("2024/06/24"), QStringLiteral("2024/06/17")};
    ReportTexts longHeads = texts;
    longHeads.headReadings = QString(200, u'R');
    struct Case {
        const char* what;
        ReportOptions options;
        bool history;
        int numHistories;
        int length;
    } cases[] = {
        // Serial 14, grid 14, deployed 14, two comments and the information 21 each, the reading 19, its number 3.
        {"every column with the history", everyColumn, true, 50, 127},
        {"one reading set: no reading number", everyColumn, true, 1, 124},
        {"latest reading only", everyColumn, false, 50, 124},
        {"serial only", ReportOptions{}, false, 50, 14 + 19},
        {"summary: eleven characters a date", summary, false, 50, 14 + 14 + 14 + 21 + 21 + 21 + 3 * 11},
    };
    for (Case& c : cases) {
        c.options.history = c.history;
        const QString widest = WidestColumnLine(c.options, texts, c.numHistories);
        EXPECT_EQ(widest.size(), std::max<qsizetype>(c.length, ColumnHeaderLine(c.options, texts).size())) << c.what;
        EXPECT_GE(widest.size(), c.length) << c.what;
        // A header longer than the cells is the widest line.
        EXPECT_EQ(WidestColumnLine(c.options, longHeads, c.numHistories), ColumnHeaderLine(c.options, longHeads))
            << c.what;
    }
}

TEST_F(ReportModelTest, DateListAndChooserOrder) {
    const QStringList dates = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a")};
    EXPECT_EQ(InDateList(dates, QStringLiteral("a")), 1);
    EXPECT_EQ(InDateList(dates, QStringLiteral("b")), 2);
    EXPECT_EQ(InDateList(dates, QStringLiteral("A")), 0);
    VectorSource src({makeLogger(1, {{"01/05/08", "L", 1, 1}, {" 12/04/08", "L", 1, 1}}),
                      makeLogger(2, {{"01/05/08", "N", 1, 1}, {"", "N", 0, 0}, {"2009/01/01", "W", 1, 1}})});
    EXPECT_EQ(ReadingDatesForChooser(src),
              (QStringList{QStringLiteral("2009/01/01"), QStringLiteral("12/04/08"), QStringLiteral("01/05/08")}));
}

TEST_F(ReportModelTest, HeadingHasSixLinesWithTheirStyles) {
    ReportOptions o;
    o.font.italic = true;
    o.comment = QStringLiteral("north zone");
    VectorSource src({makeLogger(5, {{"2024/01/02", "Leak", 40, 5}})}, 1, QStringLiteral("town.pdb"));
    const CollectingSink sink = run(o, src);
    ASSERT_EQ(sink.pages.size(), 1u);
    const auto& p = sink.pages[0];
    ASSERT_EQ(p.size(), 7u);
    EXPECT_EQ(p[0].text, texts.titleName + "town.pdb" + texts.titleDate + "03-07-2024" + texts.titleSelection +
                             SelectionDescription(o, texts) + texts.titlePage + "1");
    EXPECT_EQ(p[0].style, StyleBold | StyleItalic);
    EXPECT_EQ(p[2].text, texts.commentLine + "north zone");
    EXPECT_EQ(p[2].style, StyleItalic);
    EXPECT_EQ(p[4].text, ColumnHeaderLine(o, texts));
    EXPECT_EQ(p[4].style, StyleUnderline);
    for (int i : {1, 3, 5})
        EXPECT_TRUE(p[static_cast<size_t>(i)].text.isEmpty());
    // Italic is switched off by the heading, whatever the chosen font had.
    EXPECT_EQ(p[6].style, 0);
}

TEST_F(ReportModelTest, ReportByLoggerPrintsFilteredReadingsUnderOneLoggerPart) {
    ReportOptions o;
    o.all = false;
    o.leak = true;
    o.history = true;
    o.comment1 = true;
    VectorSource src(
        {
            makeLogger(
                5,
                {{"2024/01/03", "leak", 40, 5}, {"2024/01/02", "No leak", 10, 5}, {"2024/01/01", " Leak", 9999, 123}},
                "AB 1234 5678", "Main St"),
            makeLogger(7, {{"2024/01/03", "No leak", 1, 1}}, "AB 1234 5678", "Mill"), // nothing passes: not printed
            makeLogger(9, {{"2024/01/03", "LEAK", 7, 2}}, "AB 1234 5678", "Park"),
        },
        3);
    const QString part5 = FixedWidthText("00000005", 14) + FixedWidthText("Main St", 21);
    const QString part9 = FixedWidthText("00000009", 14) + FixedWidthText("Park", 21);
    // The status is the record's word in upper case, cut to its two-character cell.
    EXPECT_EQ(body(run(o, src)), (QStringList{
                                     part5 + "  2024/01/03LE 40 5  1",
                                     QString(part5.size(), u' ') + "  2024/01/01LE99912  3",
                                     QString(),
                                     part9 + "  2024/01/03LE  7 2  1",
                                 }));
    // Reading 1 only: no reading numbers, no empty lines.
    o.history = false;
    o.all = true;
    EXPECT_EQ(body(run(o, src)),
              (QStringList{part5 + "  2024/01/03LE 40 5",
                           FixedWidthText("00000007", 14) + FixedWidthText("Mill", 21) + "  2024/01/03NO  1 1",
                           part9 + "  2024/01/03LE  7 2"}));
    // With every status and the history, every slot of the list prints, used or not, and an empty line
    // follows each logger.
    o.history = true;
    const QStringList every = body(run(o, VectorSource({src.rowRecord(2), src.rowRecord(3)}, kMaxReadings), 1000));
    EXPECT_EQ(every.size(), 2 * (kMaxReadings + 1));
    // No status box ticked: the first heading alone.
    o.all = false;
    o.leak = false;
    const CollectingSink none = run(o, src);
    ASSERT_EQ(none.pages.size(), 1u);
    EXPECT_EQ(none.pages[0].size(), 6u);
    // No rows: nothing at all.
    RunOutcome out;
    EXPECT_TRUE(run(o, VectorSource({})).pages.empty());
    run(o, VectorSource({}), 60, 1, INT_MAX, &out);
    EXPECT_EQ(out.pages, 0);
}

TEST_F(ReportModelTest, EveryStatusPrintsLoggersWithoutReadingsAndUnusedSlotsBlank) {
    // Logger 6 is new: no readings at all. Logger 5 has reading 1 only; the list keeps three slots.
    VectorSource src({makeLogger(5, {{"2024/01/03", "Leak", 40, 5}}), makeLogger(6)}, 3);
    const QString part5 = FixedWidthText("00000005", 14);
    const QString part6 = FixedWidthText("00000006", 14);
    const QString pad(part5.size(), u' ');
    const QString blank(12 + 2 + 3 + 2, u' '); // date, status, level and spread cells
    struct Case {
        const char* what;
        bool all, leak, history;
        QStringList lines;
    };
    const Case cases[] = {
        {"every status, reading 1", true, false, false, {part5 + "  2024/01/03LE 40 5", part6 + blank}},
        {"every status with history",
         true,
         false,
         true,
         {part5 + "  2024/01/03LE 40 5  1", pad + blank + "  2", pad + blank + "  3", QString(), part6 + blank + "  1",
          pad + blank + "  2", pad + blank + "  3", QString()}},
        {"a chosen status, reading 1", false, true, false, {part5 + "  2024/01/03LE 40 5"}},
        {"a chosen status with history", false, true, true, {part5 + "  2024/01/03LE 40 5  1"}},
    };
    for (const Case& c : cases) {
        ReportOptions o;
        o.all = c.all;
        o.leak = c.leak;
        o.history = c.history;
        EXPECT_EQ(body(run(o, src)), c.lines) << c.what;
    }
}

TEST_F(ReportModelTest, RowsPrintTheirOwnRecordsAlsoWhenSerialsRepeat) {
    ReportOptions o;
    frmDMA* list =
        makeList({makeLogger(5, {{"2024/01/01", "Leak", 11, 1}}), makeLogger(5, {{"2024/02/02", "Warning", 22, 2}})});
    const ListWindowSource src(list);
    const QStringList lines = body(run(o, src));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith("2024/01/01LE 11 1")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith("2024/02/02WA 22 2")) << lines[1].toStdString();
}

TEST_F(ReportModelTest, SummaryPutsEachReadingInTheCellOfItsDate) {
    ReportOptions o;
    o.summary = true;
    o.all = false;
    o.leak = o.warning = true;
    o.dates = {QStringLiteral("D1"), QStringLiteral("D2"), QStringLiteral("D3"), QStringLiteral("D2")};
    VectorSource src({
        makeLogger(123, {{"D1", " leak", 5, 12}}),
        // Both readings on D2: the higher reading number fills the cell last; D3 does not pass the filter.
        makeLogger(8, {{"D2", "Warning", 1, 1}, {"D2", "Leak", 2345, 678}, {"D3", "No leak", 3, 3}}),
        makeLogger(9, {{"D9", "Leak", 1, 1}}), // not on a chosen date
    });
    const QString empty = " .         ";
    const QStringList lines = body(run(o, src));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], FixedWidthText("00000123", 14) + empty + empty + empty + "   L   5 12");
    // The second D2 of the list never receives a reading.
    EXPECT_EQ(lines[1], FixedWidthText("00000008", 14) + empty + empty + "   L 234 67" + empty);
    // With every status every logger is printed, also with placeholders only.
    o.all = true;
    const QStringList all = body(run(o, src));
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[1], FixedWidthText("00000008", 14) + empty + "   N   3  3" + "   L 234 67" + empty);
    EXPECT_EQ(all[2], FixedWidthText("00000009", 14) + empty + empty + empty + empty);
}

TEST_F(ReportModelTest, PageRuleGivesTheFirstPageTwoBodyLinesLessAndWindowsMatchTheWholeRun) {
    ReportOptions o;
    std::vector<LoggerRecord> recs;
    for (int i = 1; i <= 20; ++i)
        recs.push_back(makeLogger(i, {{"2024/01/01", "Leak", i, 1}}));
    VectorSource src(recs, 1);
    RunOutcome out;
    const CollectingSink all = run(o, src, 10, 1, INT_MAX, &out);
    EXPECT_EQ(out.pages, 5);
    ASSERT_EQ(all.pages.size(), 5u);
    // Page 1: heading + 3 body lines (counter 7..9); later pages: heading + 5 (counter 5..9).
    const size_t sizes[] = {9, 11, 11, 11, 8};
    for (size_t p = 0; p < 5; ++p) {
        EXPECT_EQ(all.pages[p].size(), sizes[p]) << "page " << p + 1;
        EXPECT_TRUE(all.pages[p][0].text.endsWith(texts.titlePage + QString::number(p + 1)));
    }
    // Asking for one page gives exactly that page of the whole run.
    for (int p = 1; p <= 5; ++p) {
        const CollectingSink one = run(o, src, 10, p, p);
        ASSERT_EQ(one.pages.size(), 1u);
        EXPECT_EQ(one.pages[0], all.pages[static_cast<size_t>(p - 1)]) << "page " << p;
    }
    // Six lines per page or fewer: every body line gets a page of its own.
    const CollectingSink tiny = run(o, VectorSource({recs[0], recs[1], recs[2]}, 1), 6);
    ASSERT_EQ(tiny.pages.size(), 4u);
    EXPECT_EQ(tiny.pages[0].size(), 7u);
    EXPECT_EQ(tiny.pages[3].size(), 6u);
}

TEST_F(ReportModelTest, CancelStopsTheRunAtOnce) {
    struct CancelAfter : RunControl {
        int polls = 0;
        bool cancelled() override { return ++polls >= 3; }
    } control;
    ReportOptions o;
    o.history = true;
    VectorSource src(generatedArea(10, 5), 5);
    CollectingSink sink;
    RunRequest r;
    const RunOutcome out = RunReport(o, src, texts, r, sink, control);
    EXPECT_EQ(out.result, RunResult::Cancelled);
    ASSERT_EQ(sink.pages.size(), 1u);
    EXPECT_EQ(sink.pages[0].size(), 6u + 3u);
}

} // namespace
