// The report options dialog: stored choices, its checks, the date chooser, the font, and reports printed to
// PDF and read back with pdftotext.
#include "PrintFixtures.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/SmallDialogs.h"
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"
#include "printing/PrintCommands.h"
#include "printing/Printer.h"
#include "printing/frmPrintSetup.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace printing;

namespace {

// Height in points of the first word pdftotext finds on the first page.
double firstWordHeight(const QString& path) {
    const QString html = runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    const QRegularExpression word(
        QStringLiteral("<word xMin=\"[0-9.]+\" yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"([0-9.]+)\""));
    const QRegularExpressionMatch m = word.match(html);
    return m.hasMatch() ? m.captured(2).toDouble() - m.captured(1).toDouble() : 0;
}

class PrintSetupTest : public ::testing::Test, public PrintTest {
protected:
    QString setting(const QString& key) const {
        return plat::settings::get(plat::appTitle(), QStringLiteral("Settings"), key);
    }
    static const std::vector<LoggerRecord>& three() {
        static const std::vector<LoggerRecord> loggers = {
            makeLogger(1012345,
                       {{"2024/03/01", "Leak", 45, 6}, {"2024/02/01", "No leak", 12, 8}, {"2024/01/01", "Leak", 50, 9}},
                       "AB 1234 5678", "Main Street", "", "2023/10/01", "2024/03/02", "by the hydrant"),
            makeLogger(2000002, {{"2024/03/01", "No leak", 10, 9}, {"2024/02/01", "No leak", 11, 9}}, "CD 0001 0002",
                       "Mill Lane", "", "2023/10/02", "2024/03/02"),
            makeLogger(3000003, {{"2024/03/01", "Warning", 30, 12}, {"2024/02/01", "Leak", 44, 7}}, "EF 1111 2222",
                       "Park Road", "", "2023/10/03", "2024/03/02"),
        };
        return loggers;
    }
};

TEST_F(PrintSetupTest, FirstUseDefaultsAndStoredChoicesComeBack) {
    frmDMA* list = makeList(three());
    {
        frmPrintSetup d(nullptr, list);
        EXPECT_EQ(d.windowTitle(), LoadLangString(txt::PrintCaption));
        EXPECT_TRUE(d.ChkAll->isChecked());
        for (QCheckBox* b : {d.ChkGridRef, d.ChkDeployed, d.ChkReceived, d.ChkComment1, d.ChkComment2, d.ChkWarning,
                             d.ChkLeak, d.ChkNotInLeak, d.ChkHist, d.ChkSummary})
            EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
        EXPECT_EQ(d.FontDialog, ReportFont{});
        EXPECT_EQ(d.PrnZoom, 100);
        EXPECT_FALSE(d.ChkLeak->isEnabled()); // status boxes are off while "All" is ticked
        EXPECT_FALSE(d.CmdSelectDates->isEnabled());
        EXPECT_TRUE(d.CmdPreview->isEnabled());
        EXPECT_GT(d.LinesPerPage, 20);

        d.ChkGridRef->setChecked(true);
        d.ChkHist->setChecked(true);
        d.ChkAll->setChecked(false);
        d.ChkAll_Click();
        EXPECT_TRUE(d.ChkLeak->isEnabled());
        d.ChkLeak->setChecked(true);
        d.OKButton_Click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }
    EXPECT_EQ(setting("ChkGridRef"), "1");
    EXPECT_EQ(setting("ChkAll"), "0");
    EXPECT_EQ(setting("ChkLeak"), "1");
    EXPECT_EQ(setting("ChkSummary"), "0");
    SaveSettingText(QStringLiteral("FontSize"), QStringLiteral("11.5"));
    SaveSettingText(QStringLiteral("FontBold"), QStringLiteral("True"));
    SaveSettingText(QStringLiteral("FontItalic"), QStringLiteral("maybe")); // unreadable: left as it was
    frmPrintSetup again(nullptr, list);
    EXPECT_TRUE(again.ChkGridRef->isChecked());
    EXPECT_TRUE(again.ChkHist->isChecked());
    EXPECT_FALSE(again.ChkAll->isChecked());
    EXPECT_TRUE(again.ChkLeak->isChecked());
    EXPECT_DOUBLE_EQ(again.FontDialog.size, 11.5);
    EXPECT_TRUE(again.FontDialog.bold);
    EXPECT_FALSE(again.FontDialog.italic);
}

TEST_F(PrintSetupTest, CaptionsComeFromTheLanguageFile) {
    frmPrintSetup d(nullptr, makeList(three()));
    const std::pair<QAbstractButton*, int32_t> buttons[] = {
        {d.CmdSelectDates, txt::SelectDates},
        {d.ChkSummary, txt::SummaryReport},
        {d.ChkAll, txt::All},
        {d.ChkLeak, txt::LeakStatusLeak},
        {d.ChkWarning, txt::LeakStatusWarning},
        {d.ChkNotInLeak, txt::NotInLeak},
        {d.ChkHist, txt::IncludeHistory},
        {d.CmdPreview, txt::Preview},
        {d.FontButton, txt::FontButton},
        {d.ChkComment2, txt::SecondCommentOption},
        {d.ChkComment1, txt::FirstCommentOption},
        {d.ChkReceived, txt::Received},
        {d.ChkDeployed, txt::Deployed},
        {d.ChkGridRef, txt::GridRefCaption},
        {d.OKButton, txt::Ok},
        {d.CancelButton, txt::Cancel},
        {d.PrinterButton, txt::PrinterButton},
        {d.chkInformation, txt::AdditionalInformation},
    };
    for (const auto& [button, text] : buttons) {
        EXPECT_FALSE(LoadLangString(text).isEmpty()) << text;
        EXPECT_EQ(button->text(), LoadLangString(text)) << button->objectName().toStdString();
    }
    EXPECT_EQ(d.Fr2dummy->title(), LoadLangString(txt::ByStatus));
    EXPECT_EQ(d.FrameRec->title(), LoadLangString(txt::LoggerInfo));
    EXPECT_EQ(d.LblComment->text(), LoadLangString(txt::CommentLabel));
}

TEST_F(PrintSetupTest, OkRefusesWithoutStatusOrDatesAndSavesNothing) {
    frmDMA* list = makeList(three());
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    d.ChkAll->setChecked(false);
    d.ChkGridRef->setChecked(true);
    ui.expectMessage(plat::IDOK, LoadLangString(txt::NoStatusChosen));
    d.OKButton_Click();
    EXPECT_EQ(setting("ChkGridRef"), QString());

    d.ChkAll->setChecked(true);
    d.ChkSummary->setChecked(true);
    d.ChkSummary_Click();
    EXPECT_TRUE(d.CmdSelectDates->isEnabled());
    ui.expectMessage(plat::IDOK, LoadLangString(txt::NoDatesChosen));
    d.OKButton_Click();
    ui.expectMessage(plat::IDOK, LoadLangString(txt::NoDatesChosen));
    d.CmdPreview_Click();
    EXPECT_EQ(setting("ChkGridRef"), QString());
    EXPECT_FALSE(QFileInfo::exists(pdfPath()));
    d.ChkSummary->setChecked(false);
    d.ChkSummary_Click();
    EXPECT_FALSE(d.CmdSelectDates->isEnabled());
}

TEST_F(PrintSetupTest, DateChooserOffersEachDateOnceNewestFirstAndKeepsTheTicksInListOrder) {
    frmDMA* list = makeList({makeLogger(1, {{"01/05/08", "Leak", 1, 1}, {"12/04/08", "Leak", 1, 1}}),
                             makeLogger(2, {{"01/05/08", "Leak", 1, 1}})});
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    ui.expectDialog([](QDialog* dialog) {
        auto* sel = qobject_cast<frmSelection*>(dialog);
        EXPECT_NE(sel, nullptr);
        EXPECT_EQ(sel->windowTitle(), LoadLangString(txt::DateChooserTitle));
        EXPECT_EQ(sel->TreeViewSelect->topLevelItemCount(), 2);
        EXPECT_EQ(sel->TreeViewSelect->topLevelItem(0)->text(0), "12/04/08");
        EXPECT_EQ(sel->TreeViewSelect->topLevelItem(1)->text(0), "01/05/08");
        for (int i = 0; i < 2; ++i)
            sel->TreeViewSelect->topLevelItem(i)->setCheckState(0, Qt::Checked);
        return int(QDialog::Accepted);
    });
    d.CmdSelectDates_Click();
    EXPECT_EQ(d.DateList, (QStringList{"12/04/08", "01/05/08"}));

    // A list without dated readings shows no chooser and leaves no dates.
    frmPrintSetup empty(nullptr, makeList({makeLogger(3)}));
    empty.CmdSelectDates_Click();
    EXPECT_EQ(empty.DateCount(), 0);
}

TEST_F(PrintSetupTest, ReportByLoggerOnPaperShowsChosenFieldsAndFilteredReadings) {
    frmDMA* list = makeList(three(), QStringLiteral("north.pdb"));
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    d.ChkGridRef->setChecked(true);
    d.ChkComment1->setChecked(true);
    d.ChkHist->setChecked(true);
    d.ChkAll->setChecked(false);
    d.ChkLeak->setChecked(true);
    d.TxtComment->setText(QStringLiteral("spring survey"));
    d.OKButton_Click();
    EXPECT_EQ(status.last(), QString());

    const QStringList pages = pdfPages(pdfPath());
    ASSERT_EQ(pages.size(), 1);
    const QStringList lines = textLines(pages[0]);
    ASSERT_GE(lines.size(), 6);
    EXPECT_TRUE(lines[0].contains("north.pdb")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(squeezed(LoadLangString(txt::TitleBeforePage)) + " 1")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], squeezed(LoadLangString(txt::CommentLine) + "spring survey"));
    EXPECT_TRUE(
        lines[2].startsWith(squeezed(LoadLangString(txt::HeadSerial) + " " + LoadLangString(txt::HeadGridRef))));
    // Leak readings only, in list and reading order; the logger part is printed once per logger.
    EXPECT_EQ(lines.mid(3), (QStringList{
                                "01012345 12345678 Main Street 2024/03/01LE 45 6 1",
                                "2024/01/01LE 50 9 3",
                                "03000003 11112222 Park Road 2024/02/01LE 44 7 2",
                            }));
}

TEST_F(PrintSetupTest, SummaryOnPaperHasOneLinePerLoggerAndOneColumnPerDate) {
    frmDMA* list = makeList(three());
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    d.ChkSummary->setChecked(true);
    d.DateList = {QStringLiteral("2024/03/01"), QStringLiteral("2024/01/01")};
    d.OKButton_Click();
    const QStringList pages = pdfPages(pdfPath());
    ASSERT_EQ(pages.size(), 1);
    const QStringList lines = textLines(pages[0]);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[0].endsWith(squeezed(LoadLangString(txt::TitleSummary))));
    EXPECT_EQ(lines[2], squeezed(LoadLangString(txt::HeadSerial)) + " 2024/01/01 2024/03/01");
    EXPECT_EQ(lines[3], "01012345 L 50 9 L 45 6");
    EXPECT_EQ(lines[4], "02000002 . N 10 9");
    EXPECT_EQ(lines[5], "03000003 . W 30 12");
}

TEST_F(PrintSetupTest, LongReportRepeatsTheHeadingOnEveryPageAndHasThePagesTheLineCountGives) {
    frmDMA* list = makeList(generatedArea(kMaxLoggers, 2));
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    const int l = d.LinesPerPage;
    ASSERT_GT(l, 12);
    d.OKButton_Click();
    // One line per logger: the first page holds l - 7 of them, every later page l - 5.
    const int expected = 1 + (kMaxLoggers - (l - 7) + (l - 5) - 1) / (l - 5);
    const QStringList pages = pdfPages(pdfPath());
    ASSERT_EQ(pages.size(), expected);
    for (int p = 0; p < pages.size(); ++p) {
        const QStringList lines = textLines(pages[p]);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_TRUE(lines[0].endsWith(squeezed(LoadLangString(txt::TitleBeforePage)) + " " + QString::number(p + 1)))
            << lines[0].toStdString();
        EXPECT_EQ(lines.size(), p == 0 ? l - 7 + 3 : (p + 1 < pages.size() ? l - 5 + 3 : lines.size()));
    }
    EXPECT_TRUE(textLines(pages.last()).last().startsWith("01007000 "));
}

TEST_F(PrintSetupTest, ChosenFontIsSavedAndPrintedAndAWideHeaderIsReported) {
    frmDMA* list = makeList(three());
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    const int linesAt8 = d.LinesPerPage;
    ui.expectDialog([](QDialog* dialog) {
        auto* fd = qobject_cast<QFontDialog*>(dialog);
        EXPECT_NE(fd, nullptr);
        EXPECT_TRUE(fd->testOption(QFontDialog::MonospacedFonts));
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setPointSizeF(12);
        f.setBold(true);
        fd->setCurrentFont(f);
        return int(QDialog::Accepted);
    });
    d.FontButton_Click();
    EXPECT_EQ(setting("FontName"), "DejaVu Sans Mono");
    EXPECT_EQ(setting("FontSize"), "12");
    EXPECT_EQ(setting("FontBold"), "True");
    EXPECT_EQ(setting("FontItalic"), "False");
    EXPECT_LT(d.LinesPerPage, linesAt8);
    d.OKButton_Click();
    EXPECT_TRUE(pdfFonts(pdfPath()).contains("DejaVuSansMono-Bold")) << pdfFonts(pdfPath()).toStdString();

    // Every column at a large size does not fit: the font is kept and the user is told.
    frmPrintSetup wide(nullptr, list);
    for (QCheckBox* b :
         {wide.ChkGridRef, wide.ChkDeployed, wide.ChkReceived, wide.ChkComment1, wide.ChkComment2, wide.chkInformation})
        b->setChecked(true);
    ui.expectDialog([](QDialog* dialog) {
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setPointSizeF(20);
        qobject_cast<QFontDialog*>(dialog)->setCurrentFont(f);
        return int(QDialog::Accepted);
    });
    ui.expectMessage(plat::IDOK, LoadLangString(txt::HeaderTooWide));
    wide.FontButton_Click();
    EXPECT_EQ(setting("FontSize"), "20");
    // A cancelled font dialog changes nothing.
    ui.expectDialog([](QDialog*) { return int(QDialog::Rejected); });
    wide.FontButton_Click();
    EXPECT_EQ(setting("FontSize"), "20");
}

TEST_F(PrintSetupTest, ColumnsWiderThanThePageAreWarnedAboutOnOkAndPreview) {
    // Every logger column and the history: 127 characters a reading line, more than A4 portrait holds at 8 pt.
    frmDMA* list = makeList(three());
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    for (QCheckBox* b : {d.ChkGridRef, d.ChkDeployed, d.ChkComment1, d.ChkComment2, d.chkInformation, d.ChkHist})
        b->setChecked(true);
    ASSERT_FALSE(d.ColumnsFitPage());

    // Going back from the warning prints nothing, saves nothing and opens no preview.
    ui.expectMessage(plat::IDCANCEL, LoadLangString(txt::HeaderTooWide));
    d.OKButton_Click();
    ui.expectMessage(plat::IDCANCEL, LoadLangString(txt::HeaderTooWide));
    d.CmdPreview_Click();
    EXPECT_FALSE(QFileInfo::exists(pdfPath()));
    EXPECT_EQ(setting("ChkGridRef"), QString());
    EXPECT_NE(d.result(), frmPrintSetup::PreviewRequested);
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[0].style & 0x0F, plat::MB_OKCANCEL);

    // Going on shows the preview, and prints.
    ui.expectMessage(plat::IDOK, LoadLangString(txt::HeaderTooWide));
    d.CmdPreview_Click();
    EXPECT_EQ(d.result(), frmPrintSetup::PreviewRequested);
    ui.expectMessage(plat::IDOK, LoadLangString(txt::HeaderTooWide));
    d.OKButton_Click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_FALSE(pdfPages(pdfPath()).isEmpty());

    // Landscape holds the same columns: no warning (the scripted user would fail the test on one).
    Printer().setOrientation(PrinterObject::OrientationLandscape);
    frmPrintSetup landscape(nullptr, list);
    for (QCheckBox* b : {landscape.ChkGridRef, landscape.ChkDeployed, landscape.ChkComment1, landscape.ChkComment2,
                         landscape.chkInformation, landscape.ChkHist})
        b->setChecked(true);
    EXPECT_TRUE(landscape.ColumnsFitPage());
    landscape.CmdPreview_Click();
    EXPECT_EQ(landscape.result(), frmPrintSetup::PreviewRequested);
}

TEST_F(PrintSetupTest, ZoomedPreviewDoesNotShrinkThePrintout) {
    frmDMA* list = makeList(three());
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    const int lines = d.LinesPerPage;
    d.PrnZoom = 50;
    d.SetFont();
    EXPECT_EQ(d.LinesPerPage, lines);
    EXPECT_EQ(d.SetFontZoomFactor(), 4);
    d.OKButton_Click();
    // The words on paper are as tall as an 8-point font makes them, not 4 points.
    const double height = firstWordHeight(pdfPath());
    EXPECT_GT(height, 7.0);
    EXPECT_LT(height, 11.0);
}

TEST_F(PrintSetupTest, CancelDuringARunDiscardsTheJobAndClosesTheDialog) {
    frmDMA* list = makeList(generatedArea(400, 10));
    env.writeFile(QStringLiteral("report.pdf"), "older");
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    d.ChkHist->setChecked(true);
    int polls = 0;
    d.pumpEvents = [&] {
        if (++polls == 500) {
            EXPECT_FALSE(d.OKButton->isEnabled());
            EXPECT_TRUE(d.CancelButton->isEnabled());
            EXPECT_FALSE(d.ChkHist->isEnabled());
            EXPECT_FALSE(status.last().isEmpty());
            d.CancelButton->click();
        }
    };
    ui.expectMessage(plat::IDYES, LoadLangString(txt::OverwriteQuestion));
    d.OKButton_Click();
    EXPECT_TRUE(d.CancelFlag);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(status.last(), QString());
    EXPECT_EQ(TestEnv::readFile(pdfPath()), "older");
    EXPECT_TRUE(QDir(env.programDir()).entryList({"*.part"}, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_FALSE(Printer().jobActive());
}

TEST_F(PrintSetupTest, ASecondReportAsksBeforeItReplacesTheFirstPdf) {
    frmDMA* list = makeList(three());
    ScriptedUi ui;
    const QString first = pdfPath();
    const QString second = pdfPath(QStringLiteral("summary.pdf"));
    const QString question = LoadLangString(txt::OverwriteQuestion);
    auto print = [&](bool summary) {
        frmPrintSetup d(nullptr, list);
        d.ChkSummary->setChecked(summary);
        d.DateList = {QStringLiteral("2024/03/01")};
        d.OKButton_Click();
        return d.result();
    };
    EXPECT_EQ(print(false), QDialog::Accepted);
    const std::string report = TestEnv::readFile(first);
    ASSERT_EQ(report.rfind("%PDF", 0), 0u);

    // No: the user names another file, the save dialog starting at the one there is.
    ui.expectMessage(plat::IDNO, question + first + u'?');
    ui.expectSaveFile(second);
    EXPECT_EQ(print(true), QDialog::Accepted);
    EXPECT_EQ(TestEnv::readFile(first), report);
    ASSERT_FALSE(pdfPages(second).isEmpty());
    EXPECT_TRUE(textLines(pdfPages(second)[0])[0].endsWith(squeezed(LoadLangString(txt::TitleSummary))));
    ASSERT_GE(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].style & 0x0F, plat::MB_YESNO);
    EXPECT_EQ(Printer().outputFileName(), second);

    // No, then the save dialog cancelled: nothing is printed and the dialog stays.
    ui.expectMessage(plat::IDNO, question + second + u'?');
    ui.expectSaveFile(QString());
    EXPECT_NE(print(false), QDialog::Accepted);
    EXPECT_TRUE(textLines(pdfPages(second)[0])[0].endsWith(squeezed(LoadLangString(txt::TitleSummary))));

    // Yes: the report takes the summary's place.
    ui.expectMessage(plat::IDYES, question + second + u'?');
    EXPECT_EQ(print(false), QDialog::Accepted);
    EXPECT_FALSE(textLines(pdfPages(second)[0])[0].endsWith(squeezed(LoadLangString(txt::TitleSummary))));
    EXPECT_EQ(TestEnv::readFile(first), report);
}

TEST_F(PrintSetupTest, AReportThatCannotBeWrittenIsReportedAndTheDialogStays) {
    frmDMA* list = makeList(three());
    Printer().setOutputFileName(env.path(QStringLiteral("no/such/folder/report.pdf")));
    ScriptedUi ui;
    frmPrintSetup d(nullptr, list);
    ui.expectMessage(plat::IDOK, LoadLangString(txt::PrintFailed));
    d.OKButton_Click();
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_TRUE(d.OKButton->isEnabled());
    EXPECT_TRUE(d.ChkGridRef->isEnabled());
    EXPECT_FALSE(Printer().jobActive());
}

TEST_F(PrintSetupTest, TextDocumentIsPrintedWhateverTheStoredReportChoices) {
    // Stored choices that would refuse a report: summary without dates, no status.
    SaveSettingText(QStringLiteral("ChkSummary"), QStringLiteral("1"));
    SaveSettingText(QStringLiteral("ChkAll"), QStringLiteral("0"));
    auto* doc = new frmDocument;
    doc->setText(QStringLiteral("Merge report\nLogger 01012345 merged"));
    ScriptedUi ui;
    ui.expectDialog([&](QDialog* dialog) {
        auto* d = qobject_cast<frmPrintSetup*>(dialog);
        EXPECT_NE(d, nullptr);
        EXPECT_FALSE(d->CmdPreview->isEnabled());
        EXPECT_FALSE(d->ChkSummary->isEnabled());
        EXPECT_TRUE(d->OKButton->isEnabled());
        EXPECT_TRUE(d->CancelButton->isEnabled());
        d->OKButton_Click();
        return d->result();
    });
    PrintCommand(nullptr, doc);
    const QStringList pages = pdfPages(pdfPath());
    ASSERT_EQ(pages.size(), 1);
    const QStringList lines = textLines(pages[0]);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.mid(0, 2), (QStringList{"Merge report", "Logger 01012345 merged"}));
    doc->AskForSave = false;
    doc->close();
    // Without an active child window the command does nothing.
    PrintCommand(nullptr, nullptr);
}

} // namespace
