#include "vordalin/SubsystemCommands.h"

#include "core/ProgramWindows.h"
#include "core/Shared.h"
#include "directlink/CaptureRoutines.h"
#include "directlink/SarnicMenu.h"
#include "lang/LangText.h"
#include "mapview/MapCommands.h"
#include "platform/UiServices.h"
#include "printing/PrintCommands.h"
#include "printing/Printer.h"
#include "transfer/AutoSyncLaunch.h"
#include "transfer/FieldUnitCommands.h"
#include "transfer/PdaCommands.h"
#include "transfer/frmAutoSyncWatcher.h"
#include "vordalin/frmMain.h"

#include <QMdiArea>
#include <QPainter>
#include <QPicture>
#include <QPointer>
#include <QPrinter>
#include <QRectF>

#include <algorithm>
#include <memory>

namespace {

FieldUnitFrame fieldUnitFrame(frmMain& main) {
    QPointer<frmMain> window = &main;
    return FieldUnitFrame{&main, [window](bool enable) {
                              if (window)
                                  window->Interact(enable);
                          }};
}

// One PDA support object for the life of the main window: it keeps the loaded library and its state
// between commands.
PdaCommands& pdaCommands(frmMain& main) {
    static QPointer<frmMain> owner;
    static std::unique_ptr<PdaCommands> commands;
    if (!commands || owner != &main) {
        commands = std::make_unique<PdaCommands>(&main);
        owner = &main;
        QObject::connect(&main, &QObject::destroyed, [] { commands.reset(); });
    }
    return *commands;
}

} // namespace

namespace cmd {

void ReceiveSomeFromRovemark(frmMain& main, int) {
    ReceiveSomeFromFieldUnit(fieldUnitFrame(main));
}
void ReceiveAllFromRovemark(frmMain& main, int) {
    ReceiveAllFromFieldUnit(fieldUnitFrame(main));
}
void SendSomeToRovemark(frmMain& main, int) {
    SendSomeToFieldUnit(fieldUnitFrame(main));
}
void SendAllToRovemark(frmMain& main, int) {
    SendAllToFieldUnit(fieldUnitFrame(main));
}
void RovemarkOptions(frmMain& main, int) {
    FieldUnitOptions(fieldUnitFrame(main));
}

void UploadToPda(frmMain& main, int) {
    pdaCommands(main).mnuRovemarkUploadDMA_Click();
}
void DownloadFromPda(frmMain& main, int) {
    pdaCommands(main).mnuRovemarkDownloadPatrol_Click();
}
void SynchronisePda(frmMain& main, int) {
    mnuRovemarkSyncPDA_Click(&main);
}

void Print(frmMain& main, int) {
    // The window the commands act on, also while the record editor is the active window.
    QMdiSubWindow* child = main.mdiArea() ? main.mdiArea()->currentSubWindow() : nullptr;
    if (!child) {
        main.RequireLoggerWindow(); // tells the user there is no logger list
        return;
    }
    printing::PrintCommand(&main, child);
}
void PageSetup(frmMain& main, int) {
    printing::PageSetupCommand(&main);
}

void SarnicSetup(frmMain& main, int) {
    directlink::ShowSarnicSetup(&main);
}

} // namespace cmd

void StartSubsystems(frmMain& main) {
    StartAutoSyncWatcher(&main);

    // The map prints through the current printer's job steps like every other print of the program.
    mapview::SetMapPrinter(PrintMapJob);

    // A captured direct-link window is one page, turned to fit, through the printer's own job steps.
    directlink::SetPicturePrinter([](const QPicture& picture) {
        printing::PrinterObject& printer = printing::Printer();
        if (!printing::PrepareOutput(programWindows().mainWidget(), printing::ExistingPdf::Ask))
            return false;
        printer.setOrientation(directlink::FittedOrientation(picture.boundingRect().size()) == QPageLayout::Landscape
                                   ? printing::PrinterObject::OrientationLandscape
                                   : printing::PrinterObject::OrientationPortrait);
        QPainter* painter = printer.painter();
        if (!painter)
            return false;
        directlink::DrawPictureFitted(*painter, printer.printableArea().size(), picture);
        return printer.EndDoc();
    });
}

bool PrintMapJob(const QString& title, int copies, int orientation, const mapview::MapPageDrawer& drawPage) {
    printing::PrinterObject& printer = printing::Printer();
    auto failed = [](const QString& why) {
        ShowMessage(LoadLangString(txt::MapPrintFailed) + u'\n' + why, 0);
        return false;
    };
    // painter() would hand over a job another window has open; the map's page must not end up inside it.
    if (printer.jobActive())
        return failed(QStringLiteral("Another print job is still running."));
    if (!printing::PrepareOutput(programWindows().mainWidget(), printing::ExistingPdf::Ask))
        return false;

    // The map's own choices hold for this job only: the printer keeps what the setup dialogs gave it.
    const int orientationBefore = printer.Orientation();
    const int copiesBefore = printer.Copies();
    const QString docNameBefore = printer.qprinter().docName();
    struct Restore {
        printing::PrinterObject& printer;
        int orientation, copies;
        QString docName;
        ~Restore() {
            printer.setOrientation(orientation);
            printer.setCopies(copies);
            printer.qprinter().setDocName(docName);
        }
    } restore{printer, orientationBefore, copiesBefore, docNameBefore};
    printer.setOrientation(orientation == 1 ? printing::PrinterObject::OrientationLandscape
                                            : printing::PrinterObject::OrientationPortrait);
    printer.setCopies(std::max(1, copies));
    printer.qprinter().setDocName(title);

    QPainter* painter = printer.painter();
    if (!painter)
        return failed(printer.lastError());
    try {
        drawPage(*painter, QRectF(QPointF(0, 0), printer.printableArea().size()));
    } catch (...) {
        printer.KillDoc(); // no half-drawn page goes out, and no half-written PDF stays
        throw;
    }
    if (!printer.EndDoc())
        return failed(printer.lastError());
    return true;
}

void ShowMapWindow() {
    if (!mapview::ShowMapWindow(programWindows().mainWidget()))
        plat::ui().messageBox(
            QStringLiteral("Could not start GPS function, please ensure that MapPoint is installed on your computer."),
            plat::MB_OK, QString());
}

void MapRefreshLoggers() {
    mapview::frmGPS_refreshLoggers();
}

void MapUpdateSerial(QString& oldSerial, QString& newSerial) {
    mapview::frmGPS_UpdateSerial(oldSerial, newSerial);
}
