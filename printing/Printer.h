#pragma once
// The program's current printer: the one object every print job of the program goes through (reports, the
// map, the direct-link windows). It is a real printer of the system or the built-in "PDF" printer, which
// writes a PDF file; the printer and page setup dialogs change it and it lasts until the program ends.
//
// A job starts with the first thing drawn (painter()), moves on with NewPage() and ends with EndDoc() (sent)
// or KillDoc() (discarded). A PDF is written to a temporary file beside the target and renamed over it only
// by EndDoc, so a cancelled or failed job never leaves a half-written file or destroys an older one.
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <memory>

class QPainter;
class QPrinter;
class QTextDocument;
class QWidget;

namespace printing {

class PrinterObject {
public:
    static constexpr int OrientationPortrait = 1;
    static constexpr int OrientationLandscape = 2;
    // Duplex settings: 1 one-sided, 2 long edge, 3 short edge.
    static constexpr int DuplexSimplex = 1;
    static constexpr int DuplexVertical = 2;
    static constexpr int DuplexHorizontal = 3;
    static inline const QString PdfDeviceName = QStringLiteral("PDF");
    // The margins of every side of a page of the PDF printer, in millimetres (half an inch).
    static constexpr double PdfMarginMm = 12.7;

    PrinterObject();
    ~PrinterObject();
    PrinterObject(const PrinterObject&) = delete;
    PrinterObject& operator=(const PrinterObject&) = delete;

    // The device: a system printer's name, or "PDF".
    QString DeviceName() const;
    bool isPdf() const;
    // Makes a printer of InstalledPrinters() current; false (nothing changed) when there is none of that name.
    bool selectDevice(const QString& deviceName);
    // The file the PDF printer writes; empty until chosen.
    QString outputFileName() const;
    void setOutputFileName(const QString& path);

    int Orientation() const;
    void setOrientation(int orientation);
    int Copies() const;
    void setCopies(int copies);
    int Duplex() const;
    void setDuplex(int duplex);

    // Device units per inch, and the printable area of a page in device units.
    int resolution() const;
    QRectF printableArea() const;

    // The job. painter() starts it when none runs; nullptr when it cannot start (no PDF file chosen, the
    // device refuses, a job is running elsewhere).
    QPainter* painter();
    bool jobActive() const;
    // Page number within the running job (1 before and at the first page).
    int Page() const;
    bool NewPage();
    // Ends the job; true when the job went out (or nothing was drawn). A PDF lands at outputFileName().
    bool EndDoc();
    void KillDoc();
    // The last job's error in words, for a message ("" after a good job).
    QString lastError() const;

    // Prints a whole text document as its own job (the text document window's print).
    bool printDocument(const QTextDocument& document, bool selectionOnly = false);

    // The printer itself, for code that needs what this object does not offer. Settings made on it stay.
    QPrinter& qprinter();
    const QPrinter& qprinter() const;

private:
    struct Job;
    void applyDevice(const QString& deviceName);
    bool beginTempOutput();
    bool finishTempOutput(bool keep);

    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<Job> job_;
    QString deviceName_;
    QString pdfTarget_;
    QString error_;
};

// The program-wide current printer.
PrinterObject& Printer();

// The printers the user can choose: those of the system, then "PDF".
QStringList InstalledPrinters();

// What a job on the PDF printer does with a file of the chosen name that is already there.
enum class ExistingPdf {
    Replace, // the job replaces it (the caller has asked, or the file is the caller's own)
    Ask,     // the user is asked first: Yes replaces it, No asks for another file
};

// Before a job on the PDF printer: asks the user for the file (save dialog) when none is chosen yet, and, as
// `existing` says, whether a file of that name may be replaced. False when the user cancelled (nothing is
// printed then); true at once for other printers.
bool PrepareOutput(QWidget* parent, ExistingPdf existing = ExistingPdf::Replace);

} // namespace printing
