// The preview window: the same pages as paper, zoom steps, moving through the report, closing, and the
// dialog's way to the preview and back.
#include "PrintFixtures.h"
#include "core/Shared.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "printing/PrintCommands.h"
#include "printing/Printer.h"
#include "printing/frmPrintPreview.h"
#include "printing/frmPrintSetup.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace printing;

namespace {

class PreviewTest : public ::testing::Test, public PrintTest {
protected:
    // Non-blank lines of a preview page, squeezed like pdftotext's.
    static QStringList previewLines(frmPrintPreview& preview, int page) {
        QStringList out;
        for (const ReportLine& l : preview.pageLines(page)) {
            const QString s = squeezed(l.text);
            if (!s.isEmpty())
                out << s;
        }
        return out;
    }
};

TEST_F(PreviewTest, PreviewShowsThePagesThatComeOutOfThePrinter) {
    frmDMA* list = makeList(generatedArea(150, 4));
    ScriptedUi ui;
    for (bool summary : {false, true}) {
        SCOPED_TRACE(summary ? "summary" : "by logger");
        frmPrintSetup d(nullptr, list);
        d.ChkHist->setChecked(true);
        d.ChkGridRef->setChecked(true);
        d.ChkComment1->setChecked(true);
        d.ChkAll->setChecked(false);
        d.ChkLeak->setChecked(true);
        d.ChkWarning->setChecked(true);
        d.TxtComment->setText(QStringLiteral("check"));
        if (summary) {
            d.ChkSummary->setChecked(true);
            d.DateList = {QStringLiteral("2024/01/03"), QStringLiteral("2024/01/01")};
        }
        frmPrintPreview preview(d);
        if (summary) // the report of the first round is there: the user lets the summary replace it
            ui.expectMessage(plat::IDYES, LoadLangString(txt::OverwriteQuestion) + pdfPath() + u'?');
        d.OKButton_Click();
        const QStringList pages = pdfPages(pdfPath());
        ASSERT_GT(pages.size(), summary ? 1 : 3);
        ASSERT_EQ(preview.pageCount(), pages.size());
        for (int p = 1; p <= pages.size(); ++p) {
            const QStringList paper = textLines(pages[p - 1]);
            const QStringList shown = previewLines(preview, p);
            ASSERT_FALSE(shown.isEmpty());
            EXPECT_EQ(shown.first(), paper.first()) << "page " << p;
            EXPECT_EQ(shown.last(), paper.last()) << "page " << p;
            EXPECT_EQ(shown.size(), paper.size()) << "page " << p;
        }
    }
}

TEST_F(PreviewTest, ZoomStepsStayBetweenTenAndTwoHundredAndReturnToTheTop) {
    frmDMA* list = makeList(generatedArea(200, 1));
    frmPrintSetup d(nullptr, list);
    frmPrintPreview preview(d);
    EXPECT_EQ(preview.windowTitle(), "Print Preview - 100%");
    const QSize full = preview.PrintImage->size();
    preview.CmdPgDn_Click();
    EXPECT_LT(preview.TopY, 0);
    for (int i = 0; i < 5; ++i)
        preview.Command_ZoomIn_Click();
    EXPECT_EQ(d.PrnZoom, 50);
    EXPECT_EQ(preview.windowTitle(), "Print Preview - 50%");
    EXPECT_EQ(preview.TopY, 0);
    EXPECT_NEAR(preview.PrintImage->width(), full.width() / 2.0, 1.0);
    for (int i = 0; i < 10; ++i)
        preview.Command_ZoomIn_Click();
    EXPECT_EQ(d.PrnZoom, 10);
    EXPECT_FALSE(preview.Command_ZoomIn->isEnabled());
    d.PrnZoom = 190;
    preview.Command_ZoomOut_Click();
    preview.Command_ZoomOut_Click();
    EXPECT_EQ(d.PrnZoom, 200);
    // The lines per page do not follow the zoom: the pages stay those of paper.
    EXPECT_EQ(preview.pageLines(1).size(), frmPrintPreview(d).pageLines(1).size());
}

TEST_F(PreviewTest, ButtonsMoveByHalfPicturesAndWholePagesWithinTheReport) {
    frmDMA* list = makeList(generatedArea(300, 1));
    frmPrintSetup d(nullptr, list);
    frmPrintPreview preview(d);
    const int pages = preview.pageCount();
    ASSERT_GE(pages, 3);
    EXPECT_EQ(preview.currentPage(), 1);
    preview.CmdPgUp_Click();
    EXPECT_EQ(preview.TopY, 0);
    preview.CmdLinesUp_Click();
    EXPECT_EQ(preview.TopY, 0);
    preview.CmdPgDn_Click();
    EXPECT_EQ(preview.currentPage(), 2);
    EXPECT_DOUBLE_EQ(preview.TopY, -preview.PageHeight());
    preview.CmdLinesDown_Click();
    EXPECT_DOUBLE_EQ(preview.TopY, -preview.PageHeight() - preview.PrintImage->height() * 0.5);
    for (int i = 0; i < pages + 3; ++i)
        preview.CmdPgDn_Click();
    EXPECT_EQ(preview.currentPage(), pages);
    EXPECT_FALSE(preview.CmdPgDn->isEnabled());
    preview.CmdHome_Click();
    EXPECT_EQ(preview.TopY, 0);
    EXPECT_FALSE(preview.CmdPgUp->isEnabled());
}

// The keys of a long report: Page Down and Up by a page, End to the last page at once, Home back to the first.
TEST_F(PreviewTest, KeysMoveByPagesAndHomeAndEndReachTheEnds) {
    frmDMA* list = makeList(generatedArea(300, 1));
    frmPrintSetup d(nullptr, list);
    frmPrintPreview preview(d);
    const int pages = preview.pageCount();
    ASSERT_GE(pages, 3);
    const struct {
        Qt::Key key;
        int page;
    } steps[] = {{Qt::Key_PageDown, 2},       {Qt::Key_End, pages}, {Qt::Key_PageDown, pages},
                 {Qt::Key_PageUp, pages - 1}, {Qt::Key_Home, 1},    {Qt::Key_End, pages}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.key);
        QTest::keyClick(preview.PrintImage, step.key);
        EXPECT_EQ(preview.currentPage(), step.page);
    }
    EXPECT_FALSE(preview.CmdPgDn->isEnabled());
}

TEST_F(PreviewTest, EscapeClosesThePreviewAndTheDialogComesBack) {
    frmDMA* list = makeList(generatedArea(5, 1));
    ScriptedUi ui;
    int step = 0;
    ui.expectDialog([&](QDialog* dialog) {
        auto* d = qobject_cast<frmPrintSetup*>(dialog);
        EXPECT_NE(d, nullptr);
        d->ChkGridRef->setChecked(true);
        d->CmdPreview_Click();
        ++step;
        return d->result();
    });
    ui.expectDialog([&](QDialog* dialog) {
        auto* p = qobject_cast<frmPrintPreview*>(dialog);
        EXPECT_NE(p, nullptr);
        p->show();
        EXPECT_TRUE(p->isVisible());
        QTest::keyClick(p->PrintImage, Qt::Key_Escape);
        EXPECT_FALSE(p->isVisible());
        ++step;
        return p->result();
    });
    ui.expectDialog([&](QDialog* dialog) {
        auto* d = qobject_cast<frmPrintSetup*>(dialog);
        // The choices made before the preview are still there.
        EXPECT_TRUE(d->ChkGridRef->isChecked());
        d->CancelButton->click();
        ++step;
        return d->result();
    });
    ShowPrintSetup(nullptr, list);
    EXPECT_EQ(step, 3);
    EXPECT_FALSE(QFileInfo::exists(pdfPath()));
}

// Pictures of the dialog and the preview for the documentation; written only when a folder is named.
TEST_F(PreviewTest, Screenshots) {
    const QString dir = qEnvironmentVariable("VORD_SCREENSHOT_DIR");
    if (dir.isEmpty())
        GTEST_SKIP() << "VORD_SCREENSHOT_DIR not set";
    frmDMA* list = makeList(generatedArea(60, 6), QStringLiteral("riverside.pdb"));
    frmPrintSetup d(nullptr, list);
    d.ChkGridRef->setChecked(true);
    d.ChkComment1->setChecked(true);
    d.ChkHist->setChecked(true);
    d.TxtComment->setText(QStringLiteral("Spring survey, zone 4"));
    d.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(d.grab().save(dir + QStringLiteral("/report-options.png")));
    d.PrnZoom = 80;
    frmPrintPreview preview(d);
    preview.resize(900, 900);
    preview.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(preview.grab().save(dir + QStringLiteral("/print-preview.png")));
    d.PrnZoom = 100;
    Printer().setOutputFileName(dir + QStringLiteral("/sample-report.pdf"));
    d.OKButton_Click();
}

} // namespace
