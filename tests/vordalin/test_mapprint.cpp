// The map window's File > Print as the program runs it: one job on the current printer, here the PDF
// printer, read back with poppler; and what a failed or abandoned job leaves behind (nothing).
#include "MainWindowFixture.h"
#include "TestEnv.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "mapview/frmGps.h"
#include "printing/Printer.h"
#include "vordalin/SubsystemCommands.h"
#include "vordalin/frmMain.h"

#include <QDir>
#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Width and height in points of the first page, from pdfinfo (0 x 0 when it cannot read the file).
QSizeF pageSize(const QString& pdf) {
    const auto m =
        QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+)")).match(runTool("pdfinfo", {pdf}));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

class MapPrintTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        env.copyMapTemplates();
        printing::PrinterObject& p = printing::Printer();
        p.selectDevice(printing::PrinterObject::PdfDeviceName);
        p.setOutputFileName(env.path(QStringLiteral("map.pdf")));
        p.setOrientation(printing::PrinterObject::OrientationPortrait);
        p.setCopies(2);
        p.qprinter().setPageSize(QPageSize(QPageSize::A4));
        mapview::SetMapPrinter(PrintMapJob); // as the program's start-up hands it over
    }
    void TearDown() override {
        mapview::SetMapPrinter(nullptr);
        if (mapview::frmGps* map = mapview::frmGps::instance())
            map->close();
        flushDeletes();
        printing::Printer().KillDoc();
        printing::Printer().setOutputFileName(QString());
        printing::Printer().setCopies(1);
        MainWindowFixture::TearDown();
    }
    mapview::frmGps* openMap() {
        OpenDocument(env.writeFile(
            QStringLiteral("harbour.pdb"),
            areaFile(
                {{1200001, "AB 1234 5678", "Quay", "52.000000/4.300000", "2024/01/02", "", "", "N", 40, 25, ""},
                 {1200002, "AB 1234 5679", "Dock", "52.004000/4.306000", "2024/01/02", "", "", "L", 40, 24, ""}})));
        main->ShowMapOfList();
        mapview::frmGps* map = mapview::frmGps::instance();
        return map && map->loaded() ? map : nullptr;
    }
    // Files the job left in the folder besides the ones the test made (temporary parts above all).
    QStringList leftovers() const {
        QStringList names =
            QDir(env.path(QString()))
                .entryList({QStringLiteral("*.part"), QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
        return names;
    }
};

TEST_F(MapPrintTest, PrintsOnePageInTheMapsOrientationWithTheListName) {
    mapview::frmGps* map = openMap();
    ASSERT_TRUE(map);
    const QString pdf = env.path(QStringLiteral("map.pdf"));
    struct Case {
        QAction* choice;
        bool landscape;
    };
    for (const Case& c : {Case{map->mnuLandscape, true}, Case{map->mnuPortrait, false}}) {
        SCOPED_TRACE(c.landscape ? "landscape" : "portrait");
        QFile::remove(pdf);
        c.choice->trigger();
        map->mnuPrint_Click();
        ASSERT_TRUE(QFile::exists(pdf));
        EXPECT_TRUE(runTool("pdfinfo", {pdf}).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\b"))));
        const QSizeF size = pageSize(pdf);
        ASSERT_FALSE(size.isEmpty());
        EXPECT_EQ(size.width() > size.height(), c.landscape) << size.width() << " x " << size.height();
        EXPECT_TRUE(runTool("pdftotext", {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                        .contains(QStringLiteral("harbour.pdb")));
        // The map's choices were for its job only: the printer keeps the setup dialogs' orientation and copies.
        EXPECT_EQ(printing::Printer().Orientation(), printing::PrinterObject::OrientationPortrait);
        EXPECT_EQ(printing::Printer().Copies(), 2);
        EXPECT_FALSE(printing::Printer().jobActive());
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(u' ').toStdString();
    }
}

TEST_F(MapPrintTest, AFailedOrAbandonedJobLeavesNoFileAndKeepsAnOlderOne) {
    mapview::frmGps* map = openMap();
    ASSERT_TRUE(map);
    printing::PrinterObject& printer = printing::Printer();
    {
        // The folder of the PDF is gone: the user is told why, and nothing is written.
        const QString nowhere = env.path(QStringLiteral("gone/map.pdf"));
        printer.setOutputFileName(nowhere);
        ScriptedUi ui;
        ui.expectMessage(plat::IDOK, LoadLangString(txt::MapPrintFailed));
        map->mnuPrint_Click();
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_TRUE(ui.messages()[0].prompt.contains(QStringLiteral("does not exist")));
        EXPECT_FALSE(QFile::exists(nowhere));
    }
    {
        // No PDF file chosen yet: the program asks; cancelled, nothing is printed and nothing said.
        printer.setOutputFileName(QString());
        ScriptedUi ui;
        ui.expectSaveFile(QString());
        map->mnuPrint_Click();
        EXPECT_TRUE(ui.messages().empty());
        EXPECT_TRUE(printer.outputFileName().isEmpty());
    }
    const QString pdf = env.writeFile(QStringLiteral("older.pdf"), "%PDF-1.4 older\n");
    printer.setOutputFileName(pdf);
    {
        // A PDF of that name is there: the user is asked before it is replaced; No and no other name prints
        // nothing.
        ScriptedUi ui;
        ui.expectMessage(plat::IDNO, LoadLangString(txt::OverwriteQuestion));
        ui.expectSaveFile(QString());
        map->mnuPrint_Click();
        EXPECT_EQ(TestEnv::readFile(pdf), "%PDF-1.4 older\n");
    }
    // The page cannot be drawn to the end: the job is dropped, the older file of that name stays as it was.
    {
        ScriptedUi ui;
        ui.expectMessage(plat::IDYES, LoadLangString(txt::OverwriteQuestion));
        EXPECT_THROW(PrintMapJob(QStringLiteral("harbour.pdb"), 1, 1,
                                 [](QPainter&, const QRectF&) { throw std::runtime_error("drawing failed"); }),
                     std::runtime_error);
    }
    EXPECT_FALSE(printer.jobActive());
    EXPECT_EQ(TestEnv::readFile(pdf), "%PDF-1.4 older\n");
    EXPECT_EQ(printer.Orientation(), printing::PrinterObject::OrientationPortrait);
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(u' ').toStdString();
}

} // namespace
