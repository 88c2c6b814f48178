#include "Catalogue.h"

#include "DMAModule.h"
#include "DatabaseFile.h"
#include "Settings.h"
#include "platform/VbRuntime.h"

#include <cmath>

bool ScanGlobalForMatch(int32_t serial) {
    for (int i = 1; i <= LoggerCount; ++i) {
        if (LoggerTable[static_cast<size_t>(i)].Serial == serial)
            return true;
    }
    return false;
}

double SerialEntryValue(const QString& text) {
    return plat::vb::Val(text);
}

QString FormatSerialEntry(double value) {
    const double rounded = std::round(value);
    int32_t serial = 0;
    if (plat::vb::toInt32(rounded, &serial))
        return plat::vb::formatSerialQ(serial);
    return QString::number(rounded, 'f', 0);
}

namespace {
// The value an entry is matched with; false when it cannot be a serial at all.
bool EntrySerial(const QString& text, int32_t* serial) {
    return plat::vb::toInt32(SerialEntryValue(text), serial);
}
} // namespace

bool AddSerialEntry(QStringList& serials, const QString& text) {
    const double value = SerialEntryValue(text);
    const QString shown = FormatSerialEntry(value);
    for (const QString& entry : serials) {
        // Entries compare by value, so 0000123 and 123 are the same serial.
        if (FormatSerialEntry(SerialEntryValue(entry)) == shown)
            return false;
    }
    serials.append(shown);
    return true;
}

bool AddFoundFile(QStringList& found, const QString& path) {
    if (found.contains(path, Qt::CaseSensitive))
        return false;
    found.append(path);
    return true;
}

QString CatalogueFilePath(const QString& folder, const QString& fileName) {
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder + fileName;
    return folder + u'/' + fileName;
}

CatalogueOutcome FindSerialsInFiles(const QString& folder, const QStringList& files, const QStringList& serials,
                                    QStringList& found, const CatalogueProgress& progress) {
    CatalogueOutcome outcome;
    const bool savedIgnore = IgnoreFileErrs;
    IgnoreFileErrs = true;
    const int total = static_cast<int>(files.size());
    for (int f = 0; f < total && !outcome.cancelled; ++f) {
        const QString path = CatalogueFilePath(folder, files.at(f));
        if (progress && !progress(f, total, path)) {
            outcome.cancelled = true;
            break;
        }
        if (ReadDatabaseFile(path) != DbOk)
            continue;
        for (const QString& entry : serials) {
            int32_t serial = 0;
            if (EntrySerial(entry, &serial) && ScanGlobalForMatch(serial)) {
                outcome.found = true;
                AddFoundFile(found, path);
            }
            if (progress && !progress(f, total, QString())) {
                outcome.cancelled = true;
                break;
            }
        }
    }
    IgnoreFileErrs = savedIgnore;
    return outcome;
}
