// The current printer: PDF jobs that land only when finished, and the printer and page setup dialogs.
#include "PrintFixtures.h"
#include "printing/PrintSupport.h"
#include "printing/Printer.h"

#include <QDir>
#include <QFile>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <sys/resource.h>

using namespace printing;

namespace {

class PrinterTest : public ::testing::Test, public PrintTest {
protected:
    QStringList leftovers() const {
        return QDir(env.programDir()).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden);
    }
};

TEST_F(PrinterTest, PdfJobLandsOnEndDocAndKillDocKeepsTheOlderFile) {
    PrinterObject& p = Printer();
    ASSERT_TRUE(p.isPdf());
    env.writeFile(QStringLiteral("report.pdf"), "older");

    QPainter* painter = p.painter();
    ASSERT_NE(painter, nullptr);
    painter->drawText(QPointF(100, 200), QStringLiteral("first page"));
    EXPECT_EQ(p.Page(), 1);
    ASSERT_TRUE(p.NewPage());
    EXPECT_EQ(p.Page(), 2);
    // While the job runs the target is untouched.
    EXPECT_EQ(TestEnv::readFile(pdfPath()), "older");
    p.KillDoc();
    EXPECT_FALSE(p.jobActive());
    EXPECT_EQ(TestEnv::readFile(pdfPath()), "older");
    EXPECT_TRUE(leftovers().isEmpty());

    painter = p.painter();
    ASSERT_NE(painter, nullptr);
    painter->drawText(QPointF(100, 200), QStringLiteral("Hello paper"));
    ASSERT_TRUE(p.EndDoc()) << p.lastError().toStdString();
    EXPECT_TRUE(leftovers().isEmpty());
    const QStringList pages = pdfPages(pdfPath());
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains("Hello paper"));
    // An EndDoc with nothing drawn sends nothing.
    EXPECT_TRUE(p.EndDoc());
}

// A file size limit stands for a full disc: the writer's writes fail part-way and it does not say so.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(PrinterTest, AWriteThatFailsKeepsTheOlderPdfAndSaysSo) {
    PrinterObject& p = Printer();
    ASSERT_TRUE(p.isPdf());
    QTextDocument document;
    document.setPlainText(QStringLiteral("A report that does not fit on the disc.\n").repeated(40));
    struct Case {
        const char* job;
        std::function<bool()> print;
    } cases[] = {{"printDocument", [&] { return p.printDocument(document); }},
                 {"painter", [&] {
                      QPainter* painter = p.painter();
                      if (!painter)
                          return false;
                      painter->drawText(QPointF(100, 200), QStringLiteral("Hello paper"));
                      return p.EndDoc();
                  }}};
    for (const Case& c : cases) {
        env.writeFile(QStringLiteral("report.pdf"), "older");
        bool printed = true;
        {
            FileSizeLimit full(2048);
            printed = c.print();
        }
        EXPECT_FALSE(printed) << c.job;
        EXPECT_FALSE(p.lastError().isEmpty()) << c.job;
        EXPECT_TRUE(TestEnv::readFile(pdfPath()) == "older") << c.job << ": the older file was replaced";
        EXPECT_TRUE(leftovers().isEmpty()) << c.job;
        // With room on the disc the same job lands.
        EXPECT_TRUE(c.print()) << c.job << ": " << p.lastError().toStdString();
        EXPECT_EQ(pdfPages(pdfPath()).size(), 1) << c.job;
    }
}

TEST_F(PrinterTest, JobCannotStartWithoutAPdfFileOrFolder) {
    PrinterObject& p = Printer();
    p.setOutputFileName(QString());
    EXPECT_EQ(p.painter(), nullptr);
    EXPECT_FALSE(p.lastError().isEmpty());
    p.setOutputFileName(env.path(QStringLiteral("missing/folder/x.pdf")));
    EXPECT_EQ(p.painter(), nullptr);
    EXPECT_FALSE(p.jobActive());

    // The program asks for the file when none was chosen; cancelling that stops the job.
    p.setOutputFileName(QString());
    {
        ScriptedUi ui;
        ui.expectSaveFile(QString());
        EXPECT_FALSE(PrepareOutput(nullptr));
        ui.expectSaveFile(pdfPath());
        EXPECT_TRUE(PrepareOutput(nullptr));
    }
    EXPECT_EQ(p.outputFileName(), pdfPath());
}

TEST_F(PrinterTest, PrinterDialogAppliesOnlyAConfirmedChoice) {
    PrinterObject& p = Printer();
    p.setCopies(1);
    ScriptedUi ui;
    // Cancelled: even what the dialog wrote into its printer is dropped.
    ui.expectDialog([](QDialog* d) {
        auto* dialog = qobject_cast<QPrintDialog*>(d);
        EXPECT_NE(dialog, nullptr);
        dialog->printer()->setCopyCount(4);
        dialog->printer()->setPageOrientation(QPageLayout::Landscape);
        return int(QDialog::Rejected);
    });
    EXPECT_FALSE(ShowPrinterDialog(nullptr, 0));
    EXPECT_EQ(p.Copies(), 1);
    EXPECT_EQ(p.Orientation(), PrinterObject::OrientationPortrait);

    const QString other = env.path(QStringLiteral("other.pdf"));
    ui.expectDialog([&](QDialog* d) {
        auto* dialog = qobject_cast<QPrintDialog*>(d);
        EXPECT_EQ(dialog->printer()->outputFormat(), QPrinter::PdfFormat);
        EXPECT_EQ(dialog->printer()->outputFileName(), pdfPath());
        dialog->printer()->setCopyCount(3);
        dialog->printer()->setPageOrientation(QPageLayout::Landscape);
        dialog->printer()->setOutputFileName(other);
        return int(QDialog::Accepted);
    });
    EXPECT_TRUE(ShowPrinterDialog(nullptr, 0));
    EXPECT_TRUE(p.isPdf());
    EXPECT_EQ(p.outputFileName(), other);
    EXPECT_EQ(p.Copies(), 3);
    EXPECT_EQ(p.Orientation(), PrinterObject::OrientationLandscape);
    p.setCopies(1);
}

TEST_F(PrinterTest, PageSetupTakesTheOrientationButNotTheMargins) {
    PrinterObject& p = Printer();
    const QMarginsF margins = p.qprinter().pageLayout().margins(QPageLayout::Millimeter);
    ScriptedUi ui;
    ui.expectDialog([](QDialog* d) {
        auto* dialog = qobject_cast<QPageSetupDialog*>(d);
        EXPECT_NE(dialog, nullptr);
        dialog->printer()->setPageOrientation(QPageLayout::Landscape);
        dialog->printer()->setPageMargins(QMarginsF(40, 40, 40, 40), QPageLayout::Millimeter);
        return int(QDialog::Rejected);
    });
    ShowPageSetupDialog(nullptr);
    EXPECT_EQ(p.Orientation(), PrinterObject::OrientationPortrait);

    ui.expectDialog([](QDialog* d) {
        auto* dialog = qobject_cast<QPageSetupDialog*>(d);
        dialog->printer()->setPageOrientation(QPageLayout::Landscape);
        dialog->printer()->setPageMargins(QMarginsF(40, 40, 40, 40), QPageLayout::Millimeter);
        return int(QDialog::Accepted);
    });
    ShowPageSetupDialog(nullptr);
    EXPECT_EQ(p.Orientation(), PrinterObject::OrientationLandscape);
    EXPECT_EQ(p.qprinter().pageLayout().margins(QPageLayout::Millimeter), margins);
    p.setOrientation(PrinterObject::OrientationPortrait);
}

TEST_F(PrinterTest, ThePdfPrintersPagesKeepTheirTextInsideTheMargins) {
    PrinterObject& p = Printer();
    // Choosing the PDF printer gives the page its margins, whatever the page had before (the fixture's own).
    p.qprinter().setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    p.selectDevice(PrinterObject::PdfDeviceName);
    for (const int orientation : {PrinterObject::OrientationPortrait, PrinterObject::OrientationLandscape}) {
        SCOPED_TRACE(orientation);
        p.setOrientation(orientation);
        QPainter* painter = p.painter();
        ASSERT_NE(painter, nullptr);
        painter->drawText(QPointF(0, painter->fontMetrics().ascent()), QStringLiteral("corner"));
        ASSERT_TRUE(p.EndDoc());
        const QString html = runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdfPath(), "-"});
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"")).match(html);
        ASSERT_TRUE(m.hasMatch()) << html.toStdString();
        const double margin = PrinterObject::PdfMarginMm / 25.4 * 72;
        EXPECT_GE(m.captured(1).toDouble(), margin - 0.5);
        EXPECT_GE(m.captured(2).toDouble(), margin - 0.5);
    }
    p.setOrientation(PrinterObject::OrientationPortrait);
}

TEST_F(PrinterTest, PdfIsAlwaysAmongTheInstalledPrinters) {
    EXPECT_EQ(InstalledPrinters().last(), PrinterObject::PdfDeviceName);
    EXPECT_FALSE(Printer().selectDevice(QStringLiteral("no such printer")));
    EXPECT_TRUE(Printer().isPdf());
}

} // namespace
