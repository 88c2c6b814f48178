#include "documents/AmblewayImport.h"

#include "core/DMAModule.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"
#include "platform/WindowMessages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <unordered_set>

namespace {

const char* const kServerClass = "Afx:400000:0";
const char* const kServerTitle = "Quarn Communications";
const char* const kEmptyDateMask = "    /  /  ";
const char* const kEmptyGridRef = "__ ____ ____";

std::string ascii(const QString& s) {
    return s.toLatin1().toStdString();
}

// Upper case that keeps every character in its place: a full Unicode upper-casing turns "ß" into "SS" and
// would move the 20-character cut of the comment items. Letters outside a-z are blanked later anyway.
QString upperInPlace(const QString& s) {
    QString out = s;
    for (QChar& c : out) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return out;
}

} // namespace

QString ConvertImportDate(const QString& s) {
    // Right(s, 4) & Mid(s, 3, 4) & Left(s, 2): 25/12/2011 becomes 2011/12/25.
    const QString t = s.right(4) + s.mid(2, 4) + s.left(2);
    for (QChar c : t)
        if (c.unicode() > 0x7f)
            return QLatin1String(kEmptyDateMask);
    return IsValidDate(ascii(t)) ? t : QLatin1String(kEmptyDateMask);
}

QString CleanImportText(const QString& s) {
    QString out = s;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        const bool keep = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == ',' ||
                          u == '-' || u == '.' || u == '/';
        if (!keep)
            c = u' ';
    }
    return out;
}

std::vector<std::string> SplitImportLines(const std::string& data) {
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\r') {
            lines.push_back(current);
            current.clear();
            if (i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
        } else {
            current += data[i];
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

namespace {

// Where the fields of an import line are, by its kind; the serial is always the second item.
struct ImportLayout {
    int deployedItem;
    int comment1Item;
    int comment2Item;
    int infoItem;
    int infoLength;
};

// The layout of a line of one of the two kinds, with the right number of items and the closing "1".
std::optional<ImportLayout> importLayout(const QStringList& items) {
    if (items[0] == QStringLiteral("1") && items.size() == 9 && items[8] == QStringLiteral("1"))
        return ImportLayout{3, 5, 6, 7, 20};
    if (items[0] == QStringLiteral("2") && items.size() == 11 && items[10] == QStringLiteral("1"))
        return ImportLayout{5, 7, 8, 9, 255};
    return std::nullopt;
}

// A window closed while the user waited, also one whose deletion is still pending, takes no lines.
bool windowGone(const QPointer<frmDMA>& window) {
    return !window || window->unloaded();
}

// The serial of a line that would bring a logger in, or nullopt for a line that is skipped.
std::optional<int32_t> importSerial(const QString& line) {
    if (line.isEmpty())
        return std::nullopt;
    const QStringList items = upperInPlace(line).split(u',');
    int32_t serial = 0;
    if (!importLayout(items) || !plat::vb::toInt32(plat::vb::Val(items[1]), &serial) || !IsValidSerial(serial))
        return std::nullopt;
    return serial;
}

} // namespace

bool ImportAmblewayLine(frmDMA& window, const QString& line, int32_t lineNumber) {
    if (line.isEmpty())
        return false;
    const QStringList items = upperInPlace(line).split(u',');
    const std::optional<ImportLayout> layout = importLayout(items);
    if (!layout)
        return false;
    const int deployedItem = layout->deployedItem;
    const int comment1Item = layout->comment1Item;
    const int comment2Item = layout->comment2Item;
    const int infoItem = layout->infoItem;
    const int infoLength = layout->infoLength;

    int32_t serial = 0;
    if (!plat::vb::toInt32(plat::vb::Val(items[1]), &serial))
        return false; // too large for the serial field: the line is skipped without a word
    if (!IsValidSerial(serial)) {
        ShowMessage(QString::number(serial) + LoadLangString(txt::InvalidSerialOnLine) + QString::number(lineNumber) +
                        LoadLangString(txt::InvalidSerialLineEnd) + LoadLangString(txt::InvalidSerial),
                    0);
        return false;
    }

    LoggerRecord record;
    record.Serial = serial;
    record.GridRef = kEmptyGridRef;
    record.Deployed = ascii(ConvertImportDate(items[deployedItem]));
    record.Comment1 = ascii(CleanImportText(items[comment1Item].left(20)));
    record.Comment2 = ascii(CleanImportText(items[comment2Item].left(20)));
    record.UserComments = ascii(CleanImportText(items[infoItem].left(infoLength)));

    const int index = window.GetRecFromSerial(serial);
    if (index == 0) {
        // The window can hold no more loggers than an area file and the logger table can take.
        if (!window.RoomFor(1))
            return false;
        window.AppendRecord(record);
    } else if (!window.ReplaceShownRecord(index, record)) {
        return false;
    }
    ShowStatusText(LoadLangString(txt::SerialPrefix) + plat::vb::formatSerialQ(serial) + u' ' +
                   LoadLangString(txt::RecordImported));
    window.AskForSave = true;
    return true;
}

void ImportAmblewayFile() {
    ShowStatusText(QString());
    if (!IsDocumentValid(ActiveDocument)) {
        ShowMessage(LoadLangString(txt::NoDocument), 0);
        return;
    }
    // The lines go to the window that was current when the command started, even if another one is
    // activated while the user waits for the server.
    const QPointer<frmDMA> document = ActiveDocument;

    // The server is started from the current folder, as the installation puts it beside the program's
    // working folder, and is not waited for: the user says when the remote unit has finished.
    qint64 pid = 0;
    if (!QProcess::startDetached(QDir::current().absoluteFilePath(QStringLiteral("quendar32")), {}, QDir::currentPath(),
                                 &pid)) {
        ShowMessage(LoadLangString(txt::ImportFailed) + u' ', 0);
        return;
    }
    if (pid == 0) {
        ShowMessage(LoadLangString(txt::ServerNoTask), 0);
    } else {
        ShowMessage(LoadLangString(txt::PressOkWhenDone), 0);
        const plat::winmsg::WindowHandle server = plat::winmsg::findWindow(kServerClass, kServerTitle);
        if (server != 0) {
            plat::winmsg::postMessage(server, plat::winmsg::WM_CANCELMODE);
            plat::winmsg::postMessage(server, plat::winmsg::WM_CLOSE);
        } else {
            ShowMessage(LoadLangString(txt::ServerNotFound), 0);
        }
    }

    // The list may have been closed while the server ran. Its lines would go with it, so nothing is imported
    // and the file stays where it is for the next import.
    if (windowGone(document)) {
        ShowMessage(LoadLangString(txt::NoDocument), 0);
        return;
    }

    // The stored folder may be a Windows path ("C:\tessaly\qdata"); it names the folder of that spelling on
    // this system, found without regard to letter case.
    const QString folder = plat::resolvePath(AmblewayPath);
    if (!QFileInfo(folder).isDir()) {
        ShowMessage(LoadLangString(txt::ImportFailed) + u' ' + folder, 0);
        return;
    }
    const QStringList files = plat::listFiles(folder, QStringLiteral("*.txt"));
    const QString path = folder + u'/' + files.value(0);
    std::string data;
    if (files.isEmpty() || !plat::readFileBytes(path, data)) {
        ShowMessage(LoadLangString(txt::ImportFailed) + u' ' + path, 0);
        return;
    }
    const QString backup = path.left(path.size() - 3) + QStringLiteral("bak");
    const std::vector<std::string> lines = SplitImportLines(data);

    // A file that would take the window past its limit is refused whole, before any line is imported, and
    // stays where it is for another list.
    std::unordered_set<int32_t> present;
    for (int i = 1; i <= document->RecordCount; ++i)
        present.insert(document->localRecord(i).Serial);
    long fresh = 0;
    for (const std::string& line : lines)
        if (const std::optional<int32_t> serial = importSerial(plat::fromAnsi(line)))
            fresh += present.insert(*serial).second ? 1 : 0;
    if (!document->RoomFor(fresh))
        return;

    int32_t lineNumber = 0;
    for (const std::string& line : lines) {
        ++lineNumber;
        if (windowGone(document))
            break;
        ImportAmblewayLine(*document, plat::fromAnsi(line), lineNumber);
    }
    // A window closed during a line's message took the lines imported so far with it: the file stays.
    if (windowGone(document)) {
        ShowMessage(LoadLangString(txt::NoDocument), 0);
        return;
    }

    ShowMessage(LoadLangString(txt::ImportDone), 0);
    // One rename that replaces an older backup: the file is either still there under its own name or only
    // under the backup's, never neither. A file left under its own name would be read again by the next
    // import, so a failure is said.
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(backup).constData()) != 0) {
        const int error = errno;
        ShowMessage(QStringLiteral("The Ambleway file ") + path + QStringLiteral(" could not be renamed to ") + backup +
                        QStringLiteral(": ") + plat::systemErrorText(error) +
                        QStringLiteral(". Move it away before the next import, which would read it again."),
                    0);
    }
}
