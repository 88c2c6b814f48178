#include "core/Shared.h"

#include "core/ProgramWindows.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/UiServices.h"

#include <QFile>
#include <QLocale>

#include <ctime>
#include <sys/stat.h>
#include <unordered_map>

QStringList CommandLineArgs{QString()};
int16_t CommandLineArgCount = 0;

namespace {

const QString kLangFailure = QStringLiteral("Error: Could not open Language File...");
constexpr size_t kNumberField = 3; // a language line: three digits, one separator, the text

// The language file is parsed once and kept while neither the folder nor the file changes, so a changed
// or replaced file still takes effect at the next lookup. A time stamp is only as fine as the file system's
// clock: a file changed within one tick of being read keeps its stamp, so a stamp that was still that recent
// when it was read proves nothing and the file is read again.
struct LangCache {
    QString folder;
    struct timespec folderTime {};
    struct timespec folderListedAt {};
    QString file;
    struct timespec fileTime {};
    struct timespec fileReadAt {};
    off_t fileSize = -1;
    ino_t fileInode = 0;
    bool valid = false;
    std::unordered_map<int32_t, std::string> lines; // number -> whole line
};

LangCache& cache() {
    static LangCache c;
    return c;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// True when stamp lay well before the moment it was looked at, so any later change gets a newer stamp.
bool settled(const timespec& stamp, const timespec& lookedAt) {
    constexpr long long kTickNs = 100'000'000; // coarser than any local file system's time stamps
    const long long s = static_cast<long long>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
    const long long l = static_cast<long long>(lookedAt.tv_sec) * 1'000'000'000 + lookedAt.tv_nsec;
    return s + kTickNs < l;
}

// Returns false when no language file can be read.
bool refreshLanguage() {
    LangCache& c = cache();
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const QString folder = plat::programDir();
    struct stat ds {};
    if (::stat(QFile::encodeName(folder).constData(), &ds) != 0) {
        c.valid = false;
        return false;
    }
    if (!c.valid || c.folder != folder || !sameTime(c.folderTime, ds.st_mtim) ||
        !settled(c.folderTime, c.folderListedAt)) {
        const QStringList names = plat::listFiles(folder, QStringLiteral("lang_*.txt"));
        c.valid = false;
        c.folder = folder;
        c.folderTime = ds.st_mtim;
        c.folderListedAt = now;
        c.file = names.isEmpty() ? QString() : folder + u'/' + names.first();
        c.fileSize = -1;
    }
    if (c.file.isEmpty())
        return false;
    struct stat fs {};
    if (::stat(QFile::encodeName(c.file).constData(), &fs) != 0) {
        c.valid = false;
        c.file.clear();
        c.folderTime = {};
        return false;
    }
    if (c.valid && c.fileSize == fs.st_size && c.fileInode == fs.st_ino && sameTime(c.fileTime, fs.st_mtim) &&
        settled(c.fileTime, c.fileReadAt))
        return true;
    std::string data;
    if (!plat::readFileBytes(c.file, data)) {
        c.valid = false;
        return false;
    }
    c.lines.clear();
    for (std::string_view line : plat::splitLines(data)) {
        // The number field is the first three characters of the line, whatever follows it (the separator
        // may be any character, a digit too). The first line of a number wins.
        if (line.size() < kNumberField)
            continue;
        int32_t id = 0;
        bool digits = true;
        for (size_t k = 0; k < kNumberField; ++k) {
            if (line[k] < '0' || line[k] > '9')
                digits = false;
            id = id * 10 + (line[k] - '0');
        }
        if (digits)
            c.lines.emplace(id, std::string(line));
    }
    c.fileTime = fs.st_mtim;
    c.fileReadAt = now;
    c.fileSize = fs.st_size;
    c.fileInode = fs.st_ino;
    c.valid = true;
    return true;
}

bool lookup(int32_t id, std::string* text) {
    if (id < 0 || !refreshLanguage())
        return false;
    const auto it = cache().lines.find(id);
    if (it == cache().lines.end())
        return false;
    // The number, one separator character, then the text to the end of the line.
    if (it->second.size() < kNumberField + 1)
        return false;
    *text = it->second.substr(kNumberField + 1);
    return true;
}

} // namespace

std::string LoadLangAnsi(int32_t id) {
    std::string text;
    if (!lookup(id, &text)) {
        // The project's own texts come after the shipped range; a site's file written before them still shows
        // them, in English.
        if (id > txt::kLastShippedText)
            for (const auto& [number, english] : txt::kBuiltInEnglish)
                if (number == id)
                    return english;
        ShowMessage(kLangFailure, 0);
        return {};
    }
    return text;
}

QString LoadLangString(int32_t id) {
    return plat::fromAnsi(LoadLangAnsi(id));
}

int ShowMessage(const QString& prompt, int buttons, const QString& title, const QString& helpFile,
                const QString& context) {
    if (programWindows().editorVisible())
        programWindows().hideEditor();
    // With no style bits the title is not used: the box carries the application title. There is no help
    // system here, so the help file and context change nothing.
    Q_UNUSED(helpFile);
    Q_UNUSED(context);
    if (buttons == 0)
        return plat::ui().messageBox(prompt, 0, QString());
    return plat::ui().messageBox(prompt, buttons, title);
}

void ShowStatusText(const QString& text) {
    programWindows().setStatusText(text);
}

void SplitCommandLine(const QStringList& arguments) {
    CommandLineArgs = QStringList{QString()};
    for (const QString& a : arguments)
        CommandLineArgs << a;
    CommandLineArgCount = static_cast<int16_t>(arguments.size());
}

int16_t CountOccurrences(const QString& text, const QString& sought) {
    if (sought.isEmpty())
        return 0;
    int16_t count = 0;
    qsizetype p = text.indexOf(sought, 0, Qt::CaseSensitive);
    while (p >= 0) {
        ++count;
        p = text.indexOf(sought, p + 1, Qt::CaseSensitive);
    }
    return count;
}

QString GetDecimalSeparator() {
    const QByteArray forced = qgetenv("VORD_DECIMAL_SEPARATOR");
    if (!forced.isEmpty())
        return QString::fromUtf8(forced);
    return QLocale::system().decimalPoint();
}

QString ExpandNewlines(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\\n"), QStringLiteral("\r\n"));
    return out;
}

QString TextAfterLast(const QString& text, const QString& separator) {
    if (text.isEmpty() || separator.isEmpty())
        return text;
    const qsizetype p = text.lastIndexOf(separator, -1, Qt::CaseSensitive);
    if (p < 0)
        return text;
    if (p + separator.size() >= text.size())
        return QString();
    return text.mid(p + separator.size());
}

QString FileTitle(const QString& path) {
    if (path.isEmpty())
        return QString();
    // Both separators count: paths arrive in Windows and in Linux spelling.
    QString name = TextAfterLast(path, QStringLiteral(":"));
    name = TextAfterLast(name, QStringLiteral("\\"));
    return TextAfterLast(name, QStringLiteral("/"));
}

QString FormatGridRef(const QString& digits) {
    return QStringLiteral("AA ") + digits.left(4) + u' ' + digits.right(4);
}

QString PadUnderscore(QString& text) {
    while (text.size() < 8)
        text += u'_';
    return text;
}

QString GridRefDigits(const QString& gridRef) {
    QString d = gridRef.mid(3, 4) + gridRef.right(4);
    return PadUnderscore(d);
}
