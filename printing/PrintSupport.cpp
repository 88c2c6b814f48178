#include "printing/PrintSupport.h"

#include "platform/UiServices.h"
#include "printing/Printer.h"

#include <QCoreApplication>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

#include <memory>

namespace printing {

namespace {

// The dialogs write into the printer they are given, also when the user cancels, so they get a copy of the
// current printer's settings and only the confirmed choices are copied back.
std::unique_ptr<QPrinter> scratchPrinter() {
    PrinterObject& cur = Printer();
    auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (cur.isPdf()) {
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(cur.outputFileName());
    } else {
        p->setOutputFormat(QPrinter::NativeFormat);
        p->setPrinterName(cur.DeviceName());
    }
    p->setPageLayout(cur.qprinter().pageLayout());
    p->setCopyCount(cur.Copies());
    p->setDuplex(cur.qprinter().duplex());
    return p;
}

int orientationOf(const QPrinter& p) {
    return p.pageLayout().orientation() == QPageLayout::Landscape ? PrinterObject::OrientationLandscape
                                                                  : PrinterObject::OrientationPortrait;
}

int duplexOf(const QPrinter& p) {
    switch (p.duplex()) {
    case QPrinter::DuplexLongSide:
        return PrinterObject::DuplexVertical;
    case QPrinter::DuplexShortSide:
        return PrinterObject::DuplexHorizontal;
    case QPrinter::DuplexNone:
        return PrinterObject::DuplexSimplex;
    default:
        return 0; // automatic: the printer keeps its own
    }
}

} // namespace

bool ShowPrinterDialog(QWidget* owner, int flags) {
    auto scratch = scratchPrinter();
    QPrintDialog dialog(scratch.get(), owner);
    dialog.setOptions(dialog.options() | QAbstractPrintDialog::PrintDialogOptions(flags));
    if (plat::ui().execDialog(&dialog) != QDialog::Accepted)
        return false;

    PrinterObject& cur = Printer();
    QString chosen;
    if (scratch->outputFormat() == QPrinter::PdfFormat) {
        chosen = PrinterObject::PdfDeviceName;
        if (!scratch->outputFileName().isEmpty())
            cur.setOutputFileName(scratch->outputFileName());
    } else {
        chosen = scratch->printerName();
    }
    // The choice is compared without regard to case, and the last installed printer of that name wins.
    const QString wanted = chosen.toUpper();
    if (!chosen.isEmpty() && wanted != cur.DeviceName()) {
        QString match;
        for (const QString& name : InstalledPrinters()) {
            if (name.toUpper() == wanted)
                match = name;
        }
        if (!match.isEmpty())
            cur.selectDevice(match);
    }
    QCoreApplication::processEvents();
    cur.setCopies(scratch->copyCount());
    if (const int d = duplexOf(*scratch))
        cur.setDuplex(d);
    cur.setOrientation(orientationOf(*scratch));
    return true;
}

void ShowPageSetupDialog(QWidget* owner) {
    auto scratch = scratchPrinter();
    QPageSetupDialog dialog(scratch.get(), owner);
    if (plat::ui().execDialog(&dialog) != QDialog::Accepted)
        return;
    Printer().setOrientation(orientationOf(*scratch));
}

} // namespace printing
