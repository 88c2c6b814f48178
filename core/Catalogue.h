#pragma once
// The search for serial numbers across the area files of a folder, apart from its window: the serial list
// rules, the scan of the logger table and the loop over the files.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// True when a logger 1..LoggerCount of the table has this serial.
bool ScanGlobalForMatch(int32_t serial);

// The numeric value of a serial entry (its leading number; none gives 0).
double SerialEntryValue(const QString& text);
// A value shown as eight digits with leading zeros (a fraction rounded).
QString FormatSerialEntry(double value);
// Adds the serial in text to the list unless an entry of the same value is there. True when added.
bool AddSerialEntry(QStringList& serials, const QString& text);
// Appends path unless the very same text is listed already. True when added.
bool AddFoundFile(QStringList& found, const QString& path);
// The full path of a file listed in folder ("/" joins them unless the folder already ends with one).
QString CatalogueFilePath(const QString& folder, const QString& fileName);

// Called before each file is read (index 0-based) and after each serial is checked (path empty); returning
// false stops the search.
using CatalogueProgress = std::function<bool(int index, int total, const QString& path)>;

struct CatalogueOutcome {
    bool found = false;     // at least one file holds one of the serials
    bool cancelled = false; // the progress callback stopped the search
};

// Reads each file into the logger table and adds those that hold one of the serials to found. Files that
// cannot be read are skipped. IgnoreFileErrs is True during the search and restored afterwards.
CatalogueOutcome FindSerialsInFiles(const QString& folder, const QStringList& files, const QStringList& serials,
                                    QStringList& found, const CatalogueProgress& progress = {});
