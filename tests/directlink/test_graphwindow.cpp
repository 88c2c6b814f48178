// The histogram and live-level windows, the histogram file, and capture and fitted printing.
#include "SarnicFixture.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "directlink/CaptureRoutines.h"
#include "directlink/frmSarnicGraph.h"
#include "directlink/frmSarnicSensor.h"
#include "lang/LangText.h"
#include "platform/AtomicFile.h"
#include "platform/Twips.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <sys/resource.h>

using namespace directlink;
using Fault = SarnicSimulator::Fault;

namespace {
class GraphWindow : public SarnicFixture {
protected:
    void SetUp() override {
        SarnicFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        DefaultPath = dir.path() + u'/';
    }
    QString text(int id) { return LoadLangString(id); }
    std::unique_ptr<frmSarnicGraph> load() {
        connect();
        auto f = std::make_unique<frmSarnicGraph>();
        EXPECT_TRUE(f->Form_Load());
        return f;
    }
    int px(double twipsY) { return plat::twips::toPixelsY(twipsY); }
    QTemporaryDir dir;
};

std::string readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}
} // namespace

TEST_F(GraphWindow, DrawsTheHistogramOnItsScaleAndTheHistory) {
    sim->with([](auto& s) {
        s.histogram.fill(0);
        s.histogram[40] = 2048;
        s.history[0] = 0xB2; // current entry: level 50 with the leak bit, spread 5 with the "*" bit
        s.history[1] = 0x85;
        s.history[22] = 0x10;
        s.history[23] = 0x02;
        s.serial = 3000001;
    });
    auto f = load();
    ASSERT_TRUE(f->Plotted);
    EXPECT_EQ(f->windowTitle(), text(txt::GraphCaption));
    EXPECT_EQ(f->lblSerialNumber->text(), text(txt::GraphSerialNumber) + ": 03000001");
    EXPECT_EQ(f->lblY[4]->text(), "50 % ");
    EXPECT_EQ(f->lblY[10]->text(), "125 % ");
    EXPECT_EQ(f->lblY[0]->text(), "0 % ");
    EXPECT_EQ(f->shpBar[40]->height(), px(5000) - px(1800)) << "3200 twips: the top grid line is 1.25 x max";
    EXPECT_EQ(f->shpBar[40]->geometry().bottom() + 1, px(5000));
    EXPECT_EQ(f->shpBar[39]->height(), 0);
    EXPECT_EQ(f->lbldB[10]->text(), "100");
    EXPECT_EQ(f->lblLevel[11]->text(), "50");
    EXPECT_EQ(f->lblSpread[11]->text(), "5");
    EXPECT_EQ(f->lblHistoryLeak[11]->text(), text(txt::Leak) + "*");
    EXPECT_EQ(f->lblLevel[0]->text(), "16");
    EXPECT_EQ(f->lblHistoryLeak[0]->text(), text(txt::NoLeak));
    EXPECT_TRUE(f->shpBar[40]->isVisibleTo(f.get()));
}

TEST_F(GraphWindow, ScaleRulesAndTheEmptyHistogram) {
    HistogramCounts zero{};
    EXPECT_EQ(GraphMaximum(zero), 0);
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(GraphYLabelText(0, i), "0 % ");
    EXPECT_EQ(GraphBarHeight(0, 0), 0);
    EXPECT_DOUBLE_EQ(GraphBarHeight(500, 1000), 1600);
    EXPECT_DOUBLE_EQ(GraphBarHeight(1000, 1000), 3200);

    sim->with([](auto& s) { s.histogram.fill(0); });
    auto f = load();
    for (QFrame* bar : f->shpBar)
        EXPECT_EQ(bar->height(), 0);
}

TEST_F(GraphWindow, FailedReadsCloseOrLeaveOnlyTheCaptions) {
    connect();
    sim->setFault(Fault::Drop, 100, 1);
    frmSarnicGraph closed;
    ui.expectMessage(plat::IDOK, text(txt::LinkFailed));
    EXPECT_FALSE(closed.Form_Load());

    connect();
    sim->setFault(Fault::Drop, 100, 7);
    frmSarnicGraph captionsOnly;
    ui.expectMessage(plat::IDOK, text(txt::LinkFailed)); // the logger went during the graph: said, not a blank
    EXPECT_TRUE(captionsOnly.Form_Load());
    EXPECT_EQ(ui.messages().size(), 2u);
    EXPECT_FALSE(captionsOnly.Plotted);
    EXPECT_FALSE(captionsOnly.shpBar[0]->isVisibleTo(&captionsOnly));
    EXPECT_EQ(captionsOnly.cmdSave->text(), text(txt::SaveButton));
}

TEST_F(GraphWindow, SaveWritesTheHistogramWholeOrNotAtAll) {
    auto f = load();
    const auto hist = sim->state().histogram;
    std::string expected;
    for (int i = 0; i < 100; ++i)
        expected += std::to_string(i) + "," + std::to_string(hist[i]) + "\r\n";

    const QString path = dir.filePath("histogram.csv");
    ui.expectSaveFile(dir.filePath("histogram"));
    f->cmdSave->click();
    EXPECT_EQ(readAll(path), expected) << "\".csv\" added to a name without one";
    EXPECT_EQ(ui.fileRequests().back().folder, DefaultPath);

    // Overwrite refused: the old file stays as it was.
    QFile::remove(path);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    ui.expectSaveFile(path).expectMessage(plat::IDNO, "File already exists.  Overwrite?");
    f->cmdSave->click();
    EXPECT_EQ(readAll(path), "old contents");
    ui.expectSaveFile("");
    f->cmdSave->click();

    // The disk fills up halfway through (a file-size limit stands for it): said so, and the old file is whole.
    {
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit tight = old;
        tight.rlim_cur = 100;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
        ui.expectSaveFile(path).expectMessage(plat::IDYES, "Overwrite");
        ui.expectMessage(plat::IDOK, text(txt::HistogramSaveFailed));
        f->cmdSave->click();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(readAll(path), "old contents");
        // The message ends with the system's reason.
        EXPECT_TRUE(ui.messages().back().prompt.endsWith(plat::systemErrorText(EFBIG)));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"histogram.csv"})
            << "no temporary left";
    }
    ui.expectSaveFile(path).expectMessage(plat::IDYES, "Overwrite");
    f->cmdSave->click();
    EXPECT_EQ(readAll(path), expected);
}

TEST_F(GraphWindow, CopyPutsTheWindowAndTheCountsOnTheClipboard) {
    auto f = load();
    f->cmdCopy->click();
    const QImage image = QGuiApplication::clipboard()->image();
    const auto hist = sim->state().histogram;
    QString csv;
    for (int i = 0; i < 100; ++i)
        csv += QString("%1,%2\r\n").arg(i).arg(hist[i]);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), csv);
    EXPECT_EQ(image.size(), f->size() * f->devicePixelRatio());
    // The bars are in the picture: the colour of the tallest bar's middle is not the background's.
    const QFrame* bar = f->shpBar[30];
    const QPoint mid = bar->geometry().center();
    EXPECT_NE(image.pixelColor(mid), image.pixelColor(QPoint(5, 5)));
}

TEST_F(GraphWindow, PrintFitsTheCaptureOnTheCurrentPrinter) {
    // The rule: top-left corner, aspect ratio kept, landscape for a wide picture.
    EXPECT_EQ(FittedOrientation(QSize(100, 100)), QPageLayout::Portrait);
    EXPECT_EQ(FittedOrientation(QSize(200, 100)), QPageLayout::Landscape);
    EXPECT_EQ(FittedPictureRect(QSizeF(800, 1100), QSize(100, 100)), QRectF(0, 0, 800, 800));
    EXPECT_EQ(FittedPictureRect(QSizeF(1100, 800), QSize(200, 100)), QRectF(0, 0, 1100, 550));
    EXPECT_EQ(FittedPictureRect(QSizeF(1100, 800), QSize(100, 200)), QRectF(0, 0, 400, 800));

    sim->with([](auto& s) { s.serial = 3000001; });
    auto f = load();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf =
        qEnvironmentVariableIsSet("DL_KEEP_PDF") ? qEnvironmentVariable("DL_KEEP_PDF") : dir.filePath("graph.pdf");
    printer.setOutputFileName(pdf);
    SetPicturePrinter([&printer](const QPicture& picture) { return PrintPictureFitted(printer, picture); });
    f->cmdPrint->click();
    SetPicturePrinter({});
    ASSERT_TRUE(QFile::exists(pdf));

    // Read back with poppler: one landscape page (the window is wider than high) with the window's texts.
    QProcess info;
    info.start("pdfinfo", {pdf});
    ASSERT_TRUE(info.waitForFinished(30000));
    const QString infoText = QString::fromLocal8Bit(info.readAllStandardOutput());
    EXPECT_TRUE(infoText.contains(QRegularExpression("Pages:\\s+1\\b"))) << infoText.toStdString();
    const auto size = QRegularExpression("Page size:\\s+([0-9.]+) x ([0-9.]+)").match(infoText);
    ASSERT_TRUE(size.hasMatch());
    EXPECT_GT(size.captured(1).toDouble(), size.captured(2).toDouble()) << "landscape";
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(printed.contains(LoadLangString(txt::GraphSerialNumber) + ": 03000001")) << printed.toStdString();
    EXPECT_TRUE(printed.contains("dB (0 to 99)"));
    EXPECT_TRUE(printed.contains(LoadLangString(txt::HistoryFrame)));
    // Fitted: the window's width fills the printable width, so its right-hand buttons are on the page too.
    EXPECT_TRUE(printed.contains(LoadLangString(txt::CloseButton).remove('&')));
}

TEST_F(GraphWindow, TheSensorWindowFollowsTheLevelUntilAReadFails) {
    EXPECT_EQ(NoiseBarValue(48.5f), 97);
    EXPECT_EQ(NoiseBarValue(127.5f), 200);
    connect();
    sim->with([](auto& s) { s.noise = 97; });
    ui.expectDialog([&](QDialog* d) {
        auto* s = qobject_cast<frmSarnicSensor*>(d);
        EXPECT_NE(s, nullptr);
        EXPECT_EQ(s->lblNoiseLevel->text(), " dB");
        s->Form_Activate();
        EXPECT_TRUE(QTest::qWaitFor([&] { return s->lblNoiseLevel->text() == NoiseLevelText(48.5f); }, 5000));
        EXPECT_EQ(s->prgNoiseLevel->value(), 97);
        sim->with([](auto& st) { st.noise = 200; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return s->lblNoiseLevel->text() == NoiseLevelText(100.0f); }, 5000));
        // The logger stops answering: one message, and the polling stops with the last value shown.
        sim->setFault(Fault::Drop, 1000);
        ui.expectMessage(plat::IDOK, LoadLangString(txt::LinkFailed));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !s->Timer1->isActive(); }, 5000));
        // Once the line is quiet and the window's events are through, no read has been asked for since and the
        // last value still shows.
        const std::size_t asked = sim->requests().size();
        EXPECT_TRUE(sim->waitUntilQuiet(5000));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        EXPECT_FALSE(s->Timer1->isActive());
        EXPECT_EQ(sim->requests().size(), asked);
        EXPECT_EQ(s->lblNoiseLevel->text(), NoiseLevelText(100.0f));
        ui.expectMessage(plat::IDOK, LoadLangString(txt::LinkFailed)); // the reason, not a bare "Error"
        s->cmdClose->click();
        return s->result();
    });
    frmSarnicSensor sensor;
    plat::ui().execDialog(&sensor);
    EXPECT_EQ(NoiseLevelText(48.5f), QLocale().toString(48.5) + " dB");
}

TEST_F(GraphWindow, ClosingTheSensorWhileAReadingIsOnItsWayWaitsForIt) {
    connect();
    sim->setLateMs(250);
    sim->setFault(Fault::Late, 1, 11);
    frmSarnicSensor sensor;
    bool closedDuringRead = false;
    QTimer::singleShot(100, [&] {
        sensor.cmdClose->click();
        closedDuringRead = true;
    });
    sensor.Timer1_Timer();
    EXPECT_TRUE(closedDuringRead);
    EXPECT_EQ(sensor.result(), QDialog::Accepted);
    EXPECT_FALSE(sensor.Timer1->isActive());
    EXPECT_EQ(sensor.lblNoiseLevel->text(), NoiseLevelText(48.5f)) << "the late reading still arrived";
}
