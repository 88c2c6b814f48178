#include "MergeReadings.h"

#include "DMAModule.h"
#include "DatabaseFile.h"
#include "Shared.h"
#include "VariStack.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <memory>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>

bool MergeByRDGrid = false;

namespace {

// Texts for the outcomes that must never pass silently: no backup, too many loggers, a failed write.

// "DMA_North.pdb" and "North.pdb" name the same area: the prefix is dropped, ignoring its case.
QString AreaName(const QString& path) {
    QString title = FileTitle(path);
    if (title.left(4).toUpper() == QStringLiteral("DMA_"))
        title = title.mid(4);
    return title;
}

bool NamesAgree(IMergeWindow& window, const QString& path, const QString& question) {
    if (AreaName(window.DMAName()) == AreaName(path))
        return true;
    return plat::ui().messageBox(question, plat::MB_OKCANCEL, plat::appTitle()) != plat::IDCANCEL;
}

// The steps every merge starts with; false when the merge must not go on.
IMergeWindow* CommonStart(IMergeHost& host, const QString& path, bool byCoordinate) {
    IMergeWindow* window = host.ActiveWindow();
    host.Interact(false);
    if (window == nullptr) {
        host.Interact(true);
        ShowMessage(LoadLangString(txt::NoDocument));
        return nullptr;
    }
    if (path == window->Caption()) {
        host.Interact(true);
        ShowMessage(LoadLangString(txt::SameFile));
        return nullptr;
    }
    const QString windowTitle = FileTitle(window->DMAName());
    const QString pathTitle = FileTitle(path);
    const QString question =
        byCoordinate ? QStringLiteral("Most recent patrol (") + pathTitle + QStringLiteral(")\nand destination (") +
                           windowTitle + QStringLiteral(")\nfilenames do not match, continue?")
                     : QStringLiteral("Most recent patrol (") + windowTitle + QStringLiteral(") and destination (") +
                           pathTitle + QStringLiteral(") filenames do not match, continue?");
    if (!NamesAgree(*window, path, question)) {
        host.Interact(true);
        return nullptr;
    }
    return window;
}

// Ends a merge that stopped before writing: nothing may stay pending for the next one.
void Abandon(IMergeHost& host, int text, const QString& value) {
    PendingStack().Clean();
    host.Interact(true);
    if (text != 0)
        ShowMessage(LoadLangString(text) + value);
}

// Appends the pending loggers, makes the backup beside the destination and writes it. Each step that fails
// stops the rest, with its own message, so the old file is never replaced without a backup and success is
// never announced for a file that was not written. backupName is empty when there was no file to back up.
bool WriteMerged(IMergeHost& host, IMergeWindow& window, const QString& destination, QString* backupName) {
    VariStack& pending = PendingStack();
    if (LoggerCount + pending.Count > kMaxLoggers) {
        Abandon(host, txt::TooMany, QString::number(LoggerCount + pending.Count));
        return false;
    }
    if (!pending.IsEmpty())
        AppendPendingRecords(window);

    backupName->clear();
    const QString localDestination = plat::resolvePath(destination);
    if (QFileInfo::exists(localDestination)) {
        // The backup is written as every other file is, so a full disk is seen here and named.
        // It is a copy of the user's file: it gets the file's permissions (one only its owner may read stays
        // so), and it never replaces a file that has taken the free name meanwhile.
        const QString backup = MakeBackupName(destination);
        std::string bytes;
        QString reason;
        plat::AtomicFile copy(backup.isEmpty() ? QString() : plat::resolvePath(backup));
        struct stat source {};
        if (::stat(QFile::encodeName(localDestination).constData(), &source) == 0)
            copy.setNewFileMode(source.st_mode);
        const bool copied = !backup.isEmpty() && plat::readFileBytes(localDestination, bytes) && copy.open() &&
                            copy.write(bytes) && copy.commit(true);
        reason = copy.errorText();
        if (!copied) {
            Abandon(host, txt::BackupFailed,
                    (backup.isEmpty() ? destination : backup) + (reason.isEmpty() ? QString() : u'\n' + reason));
            return false;
        }
        *backupName = backup;
    }

    const int32_t code = WriteDatabaseFile(destination, false, false);
    if (code != DbOk) {
        Abandon(host, txt::WriteFailed, DatabaseWriteFailureText(code, destination));
        return false;
    }
    if (!backupName->isEmpty())
        ShowMessage(LoadLangString(txt::BackupSaved) + *backupName);
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Blanks, an optional sign, digits with at most one point (at least one digit), an optional exponent, blanks.
// A plain scan: a coordinate text can be as long as the line allows, and a backtracking matcher recursed once
// per character on such texts.
bool IsNumericText(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    auto isDigit = [&](size_t k) { return k < n && text[k] >= '0' && text[k] <= '9'; };
    while (i < n && IsBlank(text[i]))
        ++i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (isDigit(i)) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (isDigit(i)) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t k = i + 1;
        if (k < n && (text[k] == '+' || text[k] == '-'))
            ++k;
        if (!isDigit(k))
            return false;
        while (isDigit(k))
            ++k;
        i = k;
    }
    while (i < n && IsBlank(text[i]))
        ++i;
    return i == n;
}

} // namespace

VariStack& PendingStack() {
    static std::unique_ptr<VariStack> stack;
    if (!stack)
        stack = std::make_unique<VariStack>();
    return *stack;
}

QString MakeBackupName(const QString& path) {
    // Beyond this many backups something is wrong with the folder; the caller reports that no backup could
    // be made instead of searching on.
    constexpr int kLastBackupNumber = 99999;
    for (int n = 0; n <= kLastBackupNumber; ++n) {
        const QString candidate = path + u'.' + (n < 1000 ? plat::vb::zeroPad(n, 3) : QString::number(n));
        if (!QFileInfo::exists(plat::resolvePath(candidate)))
            return candidate;
    }
    return QString();
}

void AppendPendingRecords(IMergeWindow& window) {
    VariStack& pending = PendingStack();
    while (!pending.IsEmpty()) {
        const long k = VariNumber(pending.Pop());
        window.GetLocalRecByIndex(0, static_cast<int16_t>(k));
        ++LoggerCount;
        LoggerTable[static_cast<size_t>(LoggerCount)] = LoggerTable[0];
    }
    pending.Clean();
}

void InsertNewestReading(int d, int s) {
    LoggerRecord& dest = LoggerTable[static_cast<size_t>(d)];
    const LoggerRecord& src = LoggerTable[static_cast<size_t>(s)];
    for (int k = kMaxReadings; k >= 2; --k) {
        dest.ReadingDate[k] = dest.ReadingDate[k - 1];
        dest.ReadingStatus[k] = dest.ReadingStatus[k - 1];
        dest.Level[k] = dest.Level[k - 1];
        dest.Spread[k] = dest.Spread[k - 1];
    }
    dest.ReadingDate[1] = src.ReadingDate[1];
    dest.ReadingStatus[1] = src.ReadingStatus[1];
    dest.Level[1] = src.Level[1];
    dest.Spread[1] = src.Spread[1];
    dest.Received = FormatReceivedTime(src.Received);

    // A latitude/longitude pair ("51.50000/-0.12000") from the field replaces the stored coordinate.
    const std::string& c2 = src.Comment2;
    if (c2.size() >= 9) {
        const size_t dot = c2.find('.');
        const size_t p = dot == std::string::npos ? 0 : dot + 1; // 1-based, 0 when none
        const size_t from = p + 6;                               // 1-based start of the search
        const size_t slash = from <= c2.size() ? c2.find('/', from - 1) : std::string::npos;
        const size_t at = slash == std::string::npos ? 0 : slash + 1;
        if (at == 7 || at == 9 || at == 10 || at == 11)
            dest.Comment2 = c2;
    }
}

bool SameNewestReading(int a, int b) {
    const LoggerRecord& x = LoggerTable[static_cast<size_t>(a)];
    const LoggerRecord& y = LoggerTable[static_cast<size_t>(b)];
    return x.ReadingDate[1] == y.ReadingDate[1] && x.ReadingStatus[1] == y.ReadingStatus[1] &&
           x.Level[1] == y.Level[1] && x.Spread[1] == y.Spread[1];
}

void ClearLoggerTable() {
    for (int i = 1; i <= kMaxLoggers; ++i)
        ClearLoggerRecord(LoggerTable[static_cast<size_t>(i)]);
}

std::string FormatReceivedTime(const std::string& text) {
    if (text.empty() || text.size() >= 7)
        return text;
    const std::string last4 = text.size() > 4 ? text.substr(text.size() - 4) : text;
    const std::string last2 = text.size() > 2 ? text.substr(text.size() - 2) : text;
    return text.substr(0, 2) + ':' + last4.substr(0, 2) + ':' + last2;
}

std::string FormatReadingDate(const std::string& text) {
    if (text.empty())
        return text;
    if (text.size() >= 5 && text[4] == '/')
        return text;
    const size_t L = text.size();
    if (L < 8) // too short to hold a day, a month and a year: left as it is
        return text;
    return text.substr(6) + '/' + text.substr(L - 7, 2) + '/' + text.substr(0, L - 8);
}

std::string CoordinateKey(const std::string& comment2) {
    if (!IsNumericText(comment2))
        return comment2;
    const double v = std::round(std::strtod(comment2.c_str(), nullptr)); // half away from zero, as Format does
    std::string digits = QString::number(std::fabs(v), 'f', 0).toStdString();
    if (digits.size() < 20)
        digits.insert(0, 20 - digits.size(), '0');
    return (v < 0 ? "-" : "") + digits;
}

void MergeReadings(IMergeHost& host, const QString& path) {
    IMergeWindow* window = CommonStart(host, path, false);
    if (window == nullptr)
        return;
    if (plat::isReadOnlyFile(plat::resolvePath(path))) {
        Abandon(host, txt::ReadOnly, QString());
        return;
    }
    if (!host.LoadFileWithReport(path)) {
        Abandon(host, txt::CannotLoad, path);
        return;
    }

    QString report = LoadLangString(txt::ReportHead) + QStringLiteral("\n\n");
    int updated = 0;
    VariStack unmatched;

    // The first logger of each serial in the destination, as a plain scan would find it.
    std::unordered_map<int32_t, int> bySerial;
    bySerial.reserve(static_cast<size_t>(LoggerCount) * 2);
    for (int j = LoggerCount; j >= 1; --j)
        bySerial[LoggerTable[static_cast<size_t>(j)].Serial] = j;

    const int16_t count = window->RecordCount();
    for (int16_t i = 1; i <= count; ++i) {
        window->GetLocalRecByIndex(0, i);
        const auto hit = bySerial.find(LoggerTable[0].Serial);
        if (hit == bySerial.end()) {
            unmatched.Push(static_cast<double>(i));
            continue;
        }
        const int j = hit->second;
        report += QString::number(LoggerTable[0].Serial);
        if (!SameNewestReading(0, j)) {
            InsertNewestReading(j, 0);
            report += LoadLangString(txt::UpdatedMark);
            ++updated;
        }
        report += u'\n';
    }

    if (updated == 0)
        report += LoadLangString(txt::NoneUpdated) + u'\n';
    else
        report += QString::number(updated) + LoadLangString(txt::UpdatedCount) + u'\n';

    VariStack& pending = PendingStack();
    if (!unmatched.IsEmpty()) {
        report += u'\n' + LoadLangString(txt::NewLoggers) + u'\n';
        while (!unmatched.IsEmpty()) {
            const VariValue k = unmatched.Pop();
            pending.Push(k);
            window->GetLocalRecByIndex(0, static_cast<int16_t>(VariNumber(k)));
            report += plat::vb::formatSerialQ(LoggerTable[0].Serial) + u'\n';
        }
        unmatched.Clean();
    }
    report += u'\n' + LoadLangString(txt::ReportEnd);

    // The report tells what the file now holds: a merge that stops before its write shows only why it
    // stopped, never a list of readings that were not added.
    if (!pending.IsEmpty() || updated >= 1) {
        QString backup;
        if (!WriteMerged(host, *window, path, &backup))
            return;
        // The patrol window keeps its own flags: its records were not saved anywhere by this merge.
    }
    host.ShowReport(LoadLangString(txt::MergeReportCaption) + window->DMAName() + QStringLiteral(".log"), report);
    host.Interact(true);
    host.OpenDocument(path);
}

void MergeReadingsByRDGrid(IMergeHost& host, const QString& path) {
    IMergeWindow* window = CommonStart(host, path, true);
    if (window == nullptr)
        return;

    // The merged list is written to the destination window's file; a window without one gets a name first.
    QString destination = window->Caption();
    if (window->NeverBeenSaved()) {
        plat::FileDialogRequest request;
        request.title = LoadLangString(txt::MergedSaveAsTitle);
        request.fileName = window->DMAName();
        request.filter = QStringLiteral("Logger files (*.pdb);;All files (*)");
        request.defaultSuffix = QStringLiteral("pdb");
        destination = plat::ui().saveFileName(request);
        if (destination.isEmpty()) {
            Abandon(host, 0, QString());
            MergeByRDGrid = false;
            return;
        }
        if (destination == path) {
            Abandon(host, txt::SameFile, QString());
            MergeByRDGrid = false;
            return;
        }
    }
    if (plat::isReadOnlyFile(plat::resolvePath(destination))) {
        Abandon(host, txt::ReadOnly, QString());
        MergeByRDGrid = false;
        return;
    }

    ClearLoggerTable();
    if (!host.LoadFileWithReport(path)) {
        Abandon(host, txt::CannotLoad, path);
        MergeByRDGrid = false;
        return;
    }

    QString report = LoadLangString(txt::ReportHead) + QStringLiteral("\n\n");
    int updated = 0;
    VariStack unmatched;

    // Patrol loggers by coordinate, in table order. Each one is taken by at most one destination logger, and
    // an empty coordinate matches nothing: otherwise several destination loggers would collapse into one
    // patrol record and all but the last would vanish from the file.
    // A logger without a coordinate can only be recognised by its serial: an empty coordinate matches an
    // empty one when the serials are equal, and nothing else.
    std::unordered_map<std::string, std::vector<int>> byKey;
    std::unordered_map<int32_t, std::vector<int>> emptyBySerial;
    for (int j = 1; j <= LoggerCount; ++j) {
        const LoggerRecord& rec = LoggerTable[static_cast<size_t>(j)];
        if (!rec.Comment2.empty())
            byKey[CoordinateKey(rec.Comment2)].push_back(j);
        else
            emptyBySerial[rec.Serial].push_back(j);
    }
    std::unordered_map<std::string, size_t> taken;
    std::unordered_map<int32_t, size_t> takenEmpty;

    const int16_t count = window->RecordCount();
    for (int16_t i = 1; i <= count; ++i) {
        window->GetLocalRecByIndex(0, i);
        int j = 0;
        if (!LoggerTable[0].Comment2.empty()) {
            const std::string key = CoordinateKey(LoggerTable[0].Comment2);
            const auto hit = byKey.find(key);
            size_t& next = taken[key];
            if (hit != byKey.end() && next < hit->second.size())
                j = hit->second[next++];
        } else {
            const auto hit = emptyBySerial.find(LoggerTable[0].Serial);
            size_t& next = takenEmpty[LoggerTable[0].Serial];
            if (hit != emptyBySerial.end() && next < hit->second.size())
                j = hit->second[next++];
        }
        if (j == 0) {
            unmatched.Push(static_cast<double>(i));
            continue;
        }
        // The patrol record's place takes the destination record, with the patrol's reading on top when the
        // newest readings differ.
        LoggerRecord& patrol = LoggerTable[static_cast<size_t>(j)];
        const bool differs = !SameNewestReading(0, j);
        if (differs) {
            patrol.ReadingDate[1] = FormatReadingDate(patrol.ReadingDate[1]);
            InsertNewestReading(0, j);
        }
        patrol = LoggerTable[0];
        if (differs && updated < LoggerCount) {
            report += plat::fromAnsi(patrol.Comment2) + LoadLangString(txt::UpdatedMark) + u'\n';
            ++updated;
        }
    }

    for (int i = 1; i <= LoggerCount; ++i) {
        LoggerRecord& rec = LoggerTable[static_cast<size_t>(i)];
        rec.Received = FormatReceivedTime(rec.Received);
    }

    if (updated == 0)
        report += u'\n' + LoadLangString(txt::NoneUpdated) + u'\n';
    else
        report += u'\n' + QString::number(updated) + LoadLangString(txt::UpdatedCount) + u'\n';

    VariStack& pending = PendingStack();
    if (!unmatched.IsEmpty()) {
        report += QStringLiteral("\nLoggers that were not updated\n");
        while (!unmatched.IsEmpty()) {
            const VariValue k = unmatched.Pop();
            pending.Push(k);
            window->GetLocalRecByIndex(0, static_cast<int16_t>(VariNumber(k)));
            report += plat::fromAnsi(LoggerTable[0].Comment2) + u'\n';
        }
        unmatched.Clean();
    }
    report += u'\n' + LoadLangString(txt::ReportEnd);
    const QString reportCaption = LoadLangString(txt::MergeReportCaption) + window->DMAName() + QStringLiteral(".log");

    // As by serial, the report is shown only once the file holds what it lists.
    const bool written = !pending.IsEmpty() || updated >= 1;
    if (written) {
        QString backup;
        if (!WriteMerged(host, *window, destination, &backup)) {
            MergeByRDGrid = false;
            return;
        }
        window->SetAskForSave(false);
        window->SetNeverBeenSaved(false);
    } else if (!QFileInfo::exists(plat::resolvePath(destination))) {
        // Nothing was written and the window has no file yet: closing it would lose its records.
        host.ShowReport(reportCaption, report);
        host.Interact(true);
        MergeByRDGrid = false;
        return;
    }
    host.ShowReport(reportCaption, report);
    window->Unload();
    host.Interact(true);
    MergeByRDGrid = false;
    host.OpenDocument(destination);
}
