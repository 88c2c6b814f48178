#include "printing/Printer.h"

#include "core/Shared.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/UiServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>
#include <QUuid>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace printing {

namespace {
// The PDF writer does not report a failed write (a full disc, a file size limit, an I/O error): it ends
// "successfully" with a cut-off file. So what it left is checked before it may replace anything: a whole
// PDF starts with its header and ends with the end-of-file mark, and is on the disc before the rename.
bool WholePdfOnDisc(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 16 || file.read(5) != "%PDF-")
        return false;
    const qint64 tail = std::min<qint64>(file.size(), 1024);
    if (!file.seek(file.size() - tail) || !file.read(tail).contains("%%EOF"))
        return false;
    return ::fsync(file.handle()) == 0;
}
} // namespace

struct PrinterObject::Job {
    QPainter painter;
    int page = 1;
    QString tempFile; // the PDF being written, renamed over the target by EndDoc
};

PrinterObject::PrinterObject() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    const QPrinterInfo def = QPrinterInfo::defaultPrinter();
    applyDevice(def.isNull() ? PdfDeviceName : def.printerName());
}

PrinterObject::~PrinterObject() {
    if (job_)
        KillDoc();
}

QPrinter& PrinterObject::qprinter() {
    return *printer_;
}
const QPrinter& PrinterObject::qprinter() const {
    return *printer_;
}

QString PrinterObject::DeviceName() const {
    return deviceName_;
}

bool PrinterObject::isPdf() const {
    return deviceName_ == PdfDeviceName;
}

void PrinterObject::applyDevice(const QString& name) {
    deviceName_ = name;
    if (name == PdfDeviceName) {
        printer_->setOutputFormat(QPrinter::PdfFormat);
        printer_->setOutputFileName(pdfTarget_);
        // A file has no unprintable edge, so without margins of its own the lines would start at the very
        // edge of the paper: the page keeps the margins a printed page has.
        printer_->setPageMargins(QMarginsF(PdfMarginMm, PdfMarginMm, PdfMarginMm, PdfMarginMm),
                                 QPageLayout::Millimeter);
    } else {
        printer_->setOutputFormat(QPrinter::NativeFormat);
        printer_->setPrinterName(name);
    }
}

bool PrinterObject::selectDevice(const QString& name) {
    if (job_ || !InstalledPrinters().contains(name))
        return false;
    applyDevice(name);
    return true;
}

QString PrinterObject::outputFileName() const {
    return pdfTarget_;
}

void PrinterObject::setOutputFileName(const QString& path) {
    pdfTarget_ = path;
    if (isPdf() && !job_)
        printer_->setOutputFileName(path);
}

int PrinterObject::Orientation() const {
    return printer_->pageLayout().orientation() == QPageLayout::Landscape ? OrientationLandscape : OrientationPortrait;
}

void PrinterObject::setOrientation(int orientation) {
    if (orientation == OrientationPortrait || orientation == OrientationLandscape)
        printer_->setPageOrientation(orientation == OrientationLandscape ? QPageLayout::Landscape
                                                                         : QPageLayout::Portrait);
}

int PrinterObject::Copies() const {
    return printer_->copyCount();
}

void PrinterObject::setCopies(int copies) {
    if (copies >= 1)
        printer_->setCopyCount(copies);
}

int PrinterObject::Duplex() const {
    switch (printer_->duplex()) {
    case QPrinter::DuplexLongSide:
        return DuplexVertical;
    case QPrinter::DuplexShortSide:
        return DuplexHorizontal;
    default:
        return DuplexSimplex;
    }
}

void PrinterObject::setDuplex(int duplex) {
    switch (duplex) {
    case DuplexSimplex:
        printer_->setDuplex(QPrinter::DuplexNone);
        break;
    case DuplexVertical:
        printer_->setDuplex(QPrinter::DuplexLongSide);
        break;
    case DuplexHorizontal:
        printer_->setDuplex(QPrinter::DuplexShortSide);
        break;
    default:
        break;
    }
}

int PrinterObject::resolution() const {
    return printer_->resolution();
}

QRectF PrinterObject::printableArea() const {
    return printer_->pageRect(QPrinter::DevicePixel);
}

bool PrinterObject::beginTempOutput() {
    if (!isPdf())
        return true;
    if (pdfTarget_.isEmpty()) {
        error_ = QStringLiteral("No PDF file has been chosen.");
        return false;
    }
    const QFileInfo target(pdfTarget_);
    if (!target.dir().exists()) {
        error_ = QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(target.absolutePath()));
        return false;
    }
    job_->tempFile = target.absolutePath() + u'/' + u'.' + target.fileName() + u'.' +
                     QUuid::createUuid().toString(QUuid::Id128).left(12) + QStringLiteral(".part");
    printer_->setOutputFileName(job_->tempFile);
    return true;
}

bool PrinterObject::finishTempOutput(bool keep) {
    if (!isPdf() || job_->tempFile.isEmpty())
        return true;
    const QString temp = job_->tempFile;
    printer_->setOutputFileName(pdfTarget_);
    if (!keep) {
        QFile::remove(temp);
        return true;
    }
    if (!WholePdfOnDisc(temp)) {
        error_ = QStringLiteral("The PDF file could not be written; %1 was left as it was.")
                     .arg(QDir::toNativeSeparators(pdfTarget_));
        QFile::remove(temp);
        return false;
    }
    // rename() replaces an older file of that name in one step.
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(pdfTarget_).constData()) != 0) {
        error_ = QStringLiteral("The PDF file could not be saved as %1.").arg(QDir::toNativeSeparators(pdfTarget_));
        QFile::remove(temp);
        return false;
    }
    return true;
}

QPainter* PrinterObject::painter() {
    if (job_)
        return &job_->painter;
    error_.clear();
    job_ = std::make_unique<Job>();
    if (!beginTempOutput()) {
        job_.reset();
        return nullptr;
    }
    if (!job_->painter.begin(printer_.get())) {
        error_ = QStringLiteral("The printer %1 could not start the job.").arg(deviceName_);
        finishTempOutput(false);
        job_.reset();
        return nullptr;
    }
    return &job_->painter;
}

bool PrinterObject::jobActive() const {
    return job_ != nullptr;
}

int PrinterObject::Page() const {
    return job_ ? job_->page : 1;
}

bool PrinterObject::NewPage() {
    QPainter* p = painter();
    if (!p)
        return false;
    if (!printer_->newPage())
        return false;
    ++job_->page;
    return true;
}

bool PrinterObject::EndDoc() {
    if (!job_)
        return true;
    const bool ended = job_->painter.end();
    bool ok = finishTempOutput(ended) && ended;
    if (!ended && error_.isEmpty())
        error_ = QStringLiteral("The printer %1 could not finish the job.").arg(deviceName_);
    job_.reset();
    return ok;
}

void PrinterObject::KillDoc() {
    if (!job_)
        return;
    // A PDF job cannot be aborted (the engine refuses); its temporary file is dropped instead.
    if (!isPdf())
        printer_->abort();
    if (job_->painter.isActive())
        job_->painter.end();
    finishTempOutput(false);
    job_.reset();
}

QString PrinterObject::lastError() const {
    return error_;
}

bool PrinterObject::printDocument(const QTextDocument& document, bool selectionOnly) {
    if (job_)
        return false;
    error_.clear();
    job_ = std::make_unique<Job>();
    if (!beginTempOutput()) {
        job_.reset();
        return false;
    }
    const QPrinter::PrintRange range = printer_->printRange();
    printer_->setPrintRange(selectionOnly ? QPrinter::Selection : QPrinter::AllPages);
    document.print(printer_.get());
    printer_->setPrintRange(range);
    const bool ok = finishTempOutput(true);
    job_.reset();
    return ok;
}

PrinterObject& Printer() {
    // Made on first use and kept to the very end: the map and the direct-link windows may print while the
    // program closes. A job still running when the application object goes is discarded, so no temporary
    // file stays behind.
    static PrinterObject* printer = [] {
        auto* p = new PrinterObject;
        qAddPostRoutine([] { Printer().KillDoc(); });
        return p;
    }();
    return *printer;
}

QStringList InstalledPrinters() {
    QStringList names = QPrinterInfo::availablePrinterNames();
    names << PrinterObject::PdfDeviceName;
    return names;
}

namespace {
// The save dialog for the PDF file, starting at the given file (or the home folder).
QString askForPdfFile(QWidget* parent, const QString& current) {
    plat::FileDialogRequest req;
    req.parent = parent;
    req.title = QStringLiteral("Print to PDF");
    if (current.isEmpty()) {
        req.folder = QDir::homePath();
        req.fileName = QStringLiteral("report.pdf");
    } else {
        req.folder = QFileInfo(current).absolutePath();
        req.fileName = QFileInfo(current).fileName();
    }
    req.filter = QStringLiteral("PDF files (*.pdf);;All files (*)");
    req.defaultSuffix = QStringLiteral("pdf");
    return plat::ui().saveFileName(req);
}
} // namespace

bool PrepareOutput(QWidget* parent, ExistingPdf existing) {
    PrinterObject& p = Printer();
    if (!p.isPdf())
        return true;
    // The PDF printer keeps the file it was given for every later job, so a second report would silently
    // take the place of the first one: the user says whether it may, or names another file.
    QString path = p.outputFileName();
    if (path.isEmpty())
        path = askForPdfFile(parent, path);
    while (!path.isEmpty() && existing == ExistingPdf::Ask && QFileInfo::exists(path)) {
        const int answer =
            plat::ui().messageBox(LoadLangString(txt::OverwriteQuestion) + QDir::toNativeSeparators(path) + u'?',
                                  plat::MB_YESNO | plat::MB_ICONQUESTION | plat::MB_DEFBUTTON2, plat::appTitle());
        if (answer == plat::IDYES)
            break;
        path = askForPdfFile(parent, path);
    }
    if (path.isEmpty())
        return false;
    p.setOutputFileName(path);
    return true;
}

} // namespace printing
