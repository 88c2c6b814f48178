#include "core/DatabaseFile.h"

#include "core/DMAModule.h"
#include "core/Shared.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/VbRuntime.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

QString g_lastWriteError;
FileStamp g_lastReadStamp;

FileStamp stampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.exists = true;
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.size = static_cast<int64_t>(st.st_size);
    stamp.modifiedNs = (static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000) + st.st_mtim.tv_nsec;
    return stamp;
}

// The field unit expects these two lines byte for byte; the commas of the first one belong to its banner.
constexpr std::string_view kFieldUnitBanner = "Brenholt Rovemark V1.00,,,,,,,,,,,,,,,,,,,,,,,,,,,,,";
constexpr std::string_view kFieldUnitTitles =
    "Serial , GridRef, Comment1, Comment2, Deployed, Received, Date, Status, Level, Spread, Date, Status, Level, "
    "Spread, Date, Status, Level, Spread, Date, Status, Level, Spread, Date, Status, Level, Spread, Date, Status, "
    "Level, Spread";

// Field limits of the reader (characters after trimming and quote removal).
constexpr int kSerialLimit = 8;
constexpr int kGridRefLimit = 13;
constexpr int kDateLimit = 10;
constexpr int kNumberLimit = 2;
constexpr int kNoLimit = -1;

// Characters up to the first CR or LF (all of them when there is none).
size_t lineLength(const char* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf))));
        if (mask != 0)
            return i + static_cast<size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < n && p[i] != '\r' && p[i] != '\n')
        ++i;
    return i;
}

// One field as the splitter hands it out: blanks trimmed, one leading and then one trailing double quote
// removed, cut to maxLength characters (-1: no limit). Quoted and bare fields alternate along a line, so
// the quotes are taken off without a branch.
inline std::string_view cleanField(std::string_view f, int maxLength) {
    const char* p = f.data();
    size_t n = f.size();
    while (n != 0 && *p == ' ') {
        ++p;
        --n;
    }
    while (n != 0 && p[n - 1] == ' ')
        --n;
    if (n != 0) {
        const size_t lead = *p == '"' ? 1 : 0;
        p += lead;
        n -= lead;
        n -= n != 0 && p[n - 1] == '"' ? 1 : 0;
    }
    if (maxLength >= 0 && n > static_cast<size_t>(maxLength))
        n = static_cast<size_t>(maxLength);
    return std::string_view(p, n);
}

// Puts a field into a record's text. The record's strings keep their room from file to file, so this is a
// copy into place (clear and append take the short path that assign's overlap checks do not). Always inlined:
// a call per field costs the reader more than the copy.
[[gnu::always_inline]] inline void setText(std::string& to, std::string_view text) {
    const size_t n = text.size();
    if (n <= 16 && n == to.size()) {
        // A short text (a date, a status) as long as the one it replaces, as dates always are: copied over it
        // in two overlapping words, without a call.
        char* d = to.data();
        const char* s = text.data();
        if (n >= 8) {
            std::uint64_t head = 0;
            std::uint64_t tail = 0;
            std::memcpy(&head, s, 8);
            std::memcpy(&tail, s + n - 8, 8);
            std::memcpy(d, &head, 8);
            std::memcpy(d + n - 8, &tail, 8);
        } else if (n >= 4) {
            std::uint32_t head = 0;
            std::uint32_t tail = 0;
            std::memcpy(&head, s, 4);
            std::memcpy(&tail, s + n - 4, 4);
            std::memcpy(d, &head, 4);
            std::memcpy(d + n - 4, &tail, 4);
        } else if (n != 0) {
            d[0] = s[0];
            d[n / 2] = s[n / 2];
            d[n - 1] = s[n - 1];
        }
        return;
    }
    to.clear();
    to.append(text.data(), n);
}

// A field taken as a number and rounded into a 16- or 32-bit integer; false when it does not fit. Plain
// digit runs, nearly every number in these files, are read directly; everything else goes through the
// shared number reader.
template <typename Int> bool fieldNumberSlow(std::string_view s, Int* out);

template <typename Int> inline bool fieldNumber(std::string_view s, Int* out) {
    if (s.size() == 1 || s.size() == 2) {
        // One or two digits: nearly every level and spread.
        const unsigned d0 = static_cast<unsigned char>(s[0]) - static_cast<unsigned>('0');
        const unsigned d1 = s.size() == 2 ? static_cast<unsigned char>(s[1]) - static_cast<unsigned>('0') : 0U;
        if (d0 <= 9 && d1 <= 9) {
            *out = static_cast<Int>(s.size() == 2 ? d0 * 10 + d1 : d0);
            return true;
        }
    }
    return fieldNumberSlow(s, out);
}

template <typename Int> bool fieldNumberSlow(std::string_view s, Int* out) {
    if (!s.empty() && s.size() <= 9) {
        int64_t v = 0;
        size_t k = 0;
        for (; k < s.size(); ++k) {
            const unsigned d = static_cast<unsigned char>(s[k]) - static_cast<unsigned>('0');
            if (d > 9)
                break;
            v = v * 10 + d;
        }
        if (k == s.size()) {
            if (v > std::numeric_limits<Int>::max())
                return false;
            *out = static_cast<Int>(v);
            return true;
        }
    }
    const double value = plat::vb::Val(s);
    if constexpr (sizeof(Int) == 2)
        return plat::vb::toInt16(value, out);
    else
        return plat::vb::toInt32(value, out);
}

// A logger line uses its first 209 fields at most (two more before the coordinate repair, and in a CSV
// export the commas of its additional information); the rest only count. Keeping no more bounds the memory
// a line of nothing but commas can take.
constexpr size_t kKeptFields = 212 + 256;

// The first fields of a line stay as they are in the file until the reader has repaired them (a coordinate
// cut at its decimal commas, doubled quotes).
constexpr size_t kRepairedFields = 6;

// The fields of one line: the first kKeptFields of them, and how many there are in all.
struct LineFields {
    std::array<std::string_view, kKeptFields> at;
    size_t kept = 0;
    size_t total = 0;

    std::string_view operator[](size_t k) const { return k < kept ? at[k] : std::string_view(); }
    // Removes fields [from, from + count) of the kept ones.
    void erase(size_t from, size_t count) {
        std::copy(at.begin() + static_cast<std::ptrdiff_t>(from + count),
                  at.begin() + static_cast<std::ptrdiff_t>(kept), at.begin() + static_cast<std::ptrdiff_t>(from));
        kept -= count;
        total -= count;
    }
};

// Cuts the line that starts at p (n characters of data left) at every comma, quotes not protecting commas,
// up to its end (the first CR or LF, or the end of the data), and returns the line's length. One pass finds
// both the commas and the end. Always inlined into the reader's loop: it runs once a line.
[[gnu::always_inline]] inline size_t splitLine(const char* p, size_t n, LineFields& fields) {
    fields.kept = 0;
    fields.total = 0;
    size_t start = 0;
    auto cut = [&](size_t at) {
        if (fields.total < kKeptFields)
            fields.at[fields.total] = std::string_view(p + start, at - start);
        ++fields.total;
        start = at + 1;
    };
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen characters at a time: fields are short, so a call per field would cost more than the scan.
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        auto commas = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, comma)));
        const auto ends = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf))));
        if (ends != 0)
            commas &= (ends & (0U - ends)) - 1; // only the commas before the line's end
        while (commas != 0) {
            cut(i + static_cast<size_t>(__builtin_ctz(commas)));
            commas &= commas - 1;
        }
        if (ends != 0) {
            const size_t length = i + static_cast<size_t>(__builtin_ctz(ends));
            cut(length);
            fields.kept = std::min(fields.total, kKeptFields);
            return length;
        }
    }
#endif
    for (; i < n && p[i] != '\r' && p[i] != '\n'; ++i) {
        if (p[i] == ',')
            cut(i);
    }
    cut(i);
    fields.kept = std::min(fields.total, kKeptFields);
    return i;
}

void appendNumber(std::string& out, long long value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, static_cast<size_t>(res.ptr - buf));
}

void appendString(std::string& out, std::string_view text) {
    out += '"';
    out += text;
    out += '"';
}

void appendStringItem(std::string& out, std::string_view text) {
    appendString(out, text);
    out += ',';
}

// Room that one number item and one string item need besides the string's own characters.
constexpr size_t kNumberRoom = 12; // sign, ten digits, comma
constexpr size_t kStringRoom = 3;  // two quotes, comma

// Puts a logger line down in room made for it beforehand.
struct ItemCursor {
    char* p;
    void ch(char c) { *p++ = c; }
    void raw(std::string_view s) {
        std::memcpy(p, s.data(), s.size());
        p += s.size();
    }
    // A line break inside an item would end the logger's line early and make the whole file unreadable:
    // it is written as a blank.
    void text(std::string_view s) {
        char* start = p;
        raw(s);
        for (char* q = start; q != p; ++q) {
            if (*q == '\r' || *q == '\n')
                *q = ' ';
        }
    }
    void item(std::string_view s) {
        ch('"');
        text(s);
        ch('"');
        ch(',');
    }
    void number(long long v) { p = std::to_chars(p, p + kNumberRoom, v).ptr; }
};

QString statusNumberText(const QString& prefix, long long number) {
    return prefix + QString::number(number);
}

// Walks a file line by line; CR LF, a lone CR and a lone LF all end a line, and an ending at the very end
// of the file does not start another line. The file goes through a window small enough to stay in the
// processor's cache while its lines are taken apart, read into it directly; a longer line widens it.
class FileLines {
public:
    FileLines() = default;
    FileLines(const FileLines&) = delete;
    FileLines& operator=(const FileLines&) = delete;
    ~FileLines() {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool open(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        return fd_ >= 0 && grow(kWindow);
    }
    // The file as it was when opened: what a later save compares the file on disk with.
    FileStamp stamp() const {
        struct stat st {};
        return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? stampOf(st) : FileStamp{};
    }
    // True when a read from the file failed.
    bool failed() const { return failed_; }
    bool atEnd() { return pos_ == end_ && !fill(); }

    bool next(std::string_view& line) { return take(line, true); }
    // The next line, left to be taken again by next().
    bool peek(std::string_view& line) { return take(line, false); }

    // The next line cut into fields by split(begin, size), which returns the line's length.
    template <typename Split> bool next(Split&& split, size_t& length) {
        const char* begin = nullptr;
        return take(split, begin, length, true);
    }

private:
    static constexpr size_t kWindow = size_t{128} * 1024;

    struct Free {
        void operator()(char* p) const { std::free(p); }
    };

    bool take(std::string_view& line, bool advance) {
        const char* begin = nullptr;
        size_t length = 0;
        if (!take([](const char* p, size_t n) { return lineLength(p, n); }, begin, length, advance))
            return false;
        line = std::string_view(begin, length);
        return true;
    }

    // Scans the next line with scan(begin, size), which returns its length, once the window holds all of it
    // and the character after a CR that ends it.
    template <typename Scan> bool take(Scan&& scan, const char*& begin, size_t& length, bool advance) {
        for (;;) {
            if (pos_ == end_ && !fill())
                return false;
            char* const p = bytes_.get() + pos_;
            const size_t left = end_ - pos_;
            length = scan(p, left);
            const bool whole = eof_ || (length < left && !(length + 1 == left && p[length] == '\r'));
            if (!whole) {
                if (!fill() && failed_)
                    return false;
                continue;
            }
            begin = p;
            if (advance) {
                pos_ += length;
                if (pos_ < end_)
                    pos_ += bytes_.get()[pos_] == '\r' && pos_ + 1 < end_ && bytes_.get()[pos_ + 1] == '\n' ? 2 : 1;
            }
            return true;
        }
    }

    // Moves what is left of the window to its start and reads more behind it; false at the end of the file
    // or on a failed read.
    bool fill() {
        if (eof_)
            return false;
        if (pos_ != 0) {
            std::memmove(bytes_.get(), bytes_.get() + pos_, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
        }
        if (end_ == room_ && !grow(room_ * 2))
            return stop(true);
        for (;;) {
            const ssize_t got = ::read(fd_, bytes_.get() + end_, room_ - end_);
            if (got > 0) {
                end_ += static_cast<size_t>(got);
                return true;
            }
            if (got == 0)
                return stop(false);
            if (errno != EINTR)
                return stop(true);
        }
    }

    bool stop(bool failure) {
        eof_ = true;
        failed_ = failed_ || failure;
        return false;
    }

    bool grow(size_t room) {
        char* bigger = static_cast<char*>(std::realloc(bytes_.get(), room));
        if (bigger == nullptr)
            return false;
        static_cast<void>(bytes_.release());
        bytes_.reset(bigger);
        room_ = room;
        return true;
    }

    int fd_ = -1;
    std::unique_ptr<char, Free> bytes_;
    size_t room_ = 0;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

// True for a line that holds nothing or only blanks (spaces, tabs): it names no logger and is skipped, as
// a trailing line of blanks left by an editor must not make the whole file unreadable.
bool isBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool isFieldUnitTitles(std::string_view line) {
    if (!line.empty() && line.front() == '"')
        line.remove_prefix(1);
    return line.substr(0, kFieldUnitTitles.size()) == kFieldUnitTitles;
}

// The column-text line the writer puts under the field unit's titles: its first field is a text where every
// logger line has a serial number.
bool isColumnTextLine(std::string_view line) {
    const std::string_view first = cleanField(line.substr(0, line.find(',')), kNoLimit);
    if (first.empty())
        return false;
    const char c = first.front();
    return !(c >= '0' && c <= '9') && c != '-' && c != '+' && c != '.';
}

// The column titles of a CSV export: the six logger titles, the additional information title, then ten
// groups of the four reading titles (date, status, level, spread). The database layout has the ten groups
// right after the six titles and the additional information title last. The check goes by the titles'
// places, not their wording, so an export written under another language file is known as well.
bool isCsvExportTitles(std::string_view line) {
    constexpr size_t kGroups = 10;
    constexpr size_t kFirstGroup = 7;
    std::array<std::string_view, kFirstGroup + (4 * kGroups)> titles;
    size_t count = 0;
    while (count < titles.size()) {
        const size_t comma = line.find(',');
        titles[count++] = cleanField(line.substr(0, comma), kNoLimit);
        if (comma == std::string_view::npos)
            break;
        line.remove_prefix(comma + 1);
    }
    if (count < titles.size())
        return false;
    for (size_t k = kFirstGroup + 4; k < titles.size(); ++k) {
        if (titles[k] != titles[k - 4])
            return false;
    }
    // In the database layout the seventh title begins the first group, so it repeats four places on.
    return titles[kFirstGroup - 1] != titles[kFirstGroup + 3];
}

// The steps of readLoggers below run once a line (or once a field) and are always inlined into its loop: left to
// itself the compiler stops inlining in a function this large, and a call per line costs the reader about a
// tenth of its speed (bench_dbfile BM_ReadDatabaseFile).

// LinesRead is 16 bits wide, like the line numbers in the messages built from it: false when it is full.
[[gnu::always_inline]] inline bool countLine() {
    if (LinesRead == std::numeric_limits<int16_t>::max())
        return false;
    ++LinesRead;
    return true;
}

// What the lines before the loggers said.
enum class Header { Failed, NothingAfterTitles, Loggers };

// Reads the banner and, after a versioned one, the column titles (and the field unit's line of column texts
// under them). A CSV export carries the additional information right after the six logger fields, before the
// readings: *csvExport says so.
Header readHeader(FileLines& lines, bool* csvExport) {
    *csvExport = false;
    std::string_view line;
    if (!lines.next(line) || !countLine())
        return Header::Failed;
    if (line.find('V') == std::string_view::npos)
        return Header::Loggers;
    // A versioned banner is followed by the column titles, sometimes after an empty line.
    if (!lines.next(line) || !countLine())
        return Header::Failed;
    if (isBlankLine(line) && (!lines.next(line) || !countLine()))
        return Header::Failed;
    *csvExport = isCsvExportTitles(line);
    // Under its titles the field unit's layout carries a line of column texts, which names no logger.
    if (isFieldUnitTitles(line)) {
        std::string_view texts;
        if (lines.peek(texts) && isColumnTextLine(texts)) {
            static_cast<void>(lines.next(texts));
            if (!countLine())
                return Header::Failed;
        }
    }
    if (lines.atEnd())
        return lines.failed() ? Header::Failed : Header::NothingAfterTitles;
    return Header::Loggers;
}

// "Reading line N" in the status bar. The text is put together in one string kept for the whole file: the
// number replaces the last one in place, and the language text is looked up at the first line only.
class LineStatus {
public:
    [[gnu::always_inline]] void show(int16_t line) {
        if (!haveText_) {
            text_ = LoadLangString(txt::ReadingLine);
            prefix_ = text_.size();
            text_.reserve(prefix_ + 8);
            haveText_ = true;
        }
        char digits[8];
        const auto written = std::to_chars(digits, digits + sizeof digits, line);
        text_.truncate(prefix_);
        text_.append(QLatin1StringView(digits, static_cast<qsizetype>(written.ptr - digits)));
        ShowStatusText(text_);
    }

private:
    bool haveText_ = false;
    QString text_;
    qsizetype prefix_ = 0;
};

// A coordinate written with decimal commas (51,5/-0,12) arrives as three fields when it was not quoted at
// both ends; joins them back with points into joined. Returns how many leading fields are to be cleaned
// before use (fewer after a join); nullopt for a line too short to be a logger.
[[gnu::always_inline]] inline std::optional<size_t> repairDecimalCommas(LineFields& fields, std::string& joined) {
    size_t repaired = kRepairedFields;
    const std::string_view f3 = fields[3];
    if (!f3.empty() && !(f3.front() == '"' && f3.back() == '"')) {
        if (fields.total < 6)
            return std::nullopt;
        joined.assign(f3);
        joined += '.';
        joined += fields[4];
        joined += '.';
        joined += fields[5];
        fields.at[3] = joined;
        fields.erase(4, 2);
        repaired -= 2;
    }
    return repaired;
}

// Grid reference and comment 1 sometimes arrive with their quotes doubled; then the first `repaired` fields
// are cleaned. Every field is cleaned once: these here, the others where they are used, which is also where
// the limits are applied.
[[gnu::always_inline]] inline void cleanRepairedFields(LineFields& fields, size_t repaired) {
    for (size_t k = 1; k <= 2; ++k) {
        const std::string_view f = fields[k];
        if (f.size() >= 2 && f.substr(0, 2) == "\"\"" && f.substr(f.size() - 2) == "\"\"")
            fields.at[k] = f.substr(1, f.size() - 2);
    }
    for (size_t k = 0; k < std::min(fields.kept, repaired); ++k)
        fields.at[k] = cleanField(fields.at[k], kNoLimit);
}

// In a CSV export the additional information comes seventh and is written whole, commas and all: the writer
// puts exactly fifty reading groups and an empty field after it, so any fields beyond those belong to it.
// Takes those fields out of the line (leaving the database layout) and returns them joined (in joined when
// there are several).
[[gnu::always_inline]] inline std::string_view takeExportComments(LineFields& fields, std::string& joined) {
    if (fields.kept <= 6)
        return {};
    constexpr size_t kExportFields = 6 + 1 + (4 * kMaxReadings) + 1;
    const size_t extra = fields.total > kExportFields ? fields.total - kExportFields : 0;
    const size_t taken = std::min(1 + extra, fields.kept - 6);
    std::string_view comments = fields[6];
    if (taken > 1) {
        joined.assign(comments);
        for (size_t k = 7; k < 6 + taken; ++k) {
            joined += ',';
            joined += fields[k];
        }
        comments = joined;
    }
    fields.erase(6, taken);
    fields.total -= 1 + extra - taken;
    return comments;
}

// The status texts the field unit's letters W, L and N stand for; looked up once per file, and only when the
// letters are mapped.
using StatusTexts = std::array<std::string, 3>;

// Fills the record from the line's fields; false when the serial, a level or a spread is no number. The first
// `repaired` fields are clean already; exportComments (CSV export only) is the additional information.
[[gnu::always_inline]] inline bool fillRecord(LoggerRecord& rec, const LineFields& fields, size_t repaired,
                                              bool csvExport, std::string_view exportComments,
                                              const StatusTexts& statusTexts) {
    const size_t fieldCount = fields.total;
    const int readings = fieldCount < 6 ? 0 : static_cast<int>(std::min<size_t>((fieldCount - 6) / 4, kMaxReadings));

    auto field = [&](int k, int maxLength) -> std::string_view {
        const auto at = static_cast<size_t>(k);
        const std::string_view f = fields[at];
        if (at >= repaired)
            return cleanField(f, maxLength);
        return maxLength >= 0 && f.size() > static_cast<size_t>(maxLength) ? f.substr(0, static_cast<size_t>(maxLength))
                                                                           : f;
    };

    int32_t serial = 0;
    if (!fieldNumber(field(0, kSerialLimit), &serial))
        return false;
    rec.Serial = serial;
    setText(rec.GridRef, field(1, kGridRefLimit));
    setText(rec.Comment1, field(2, kNoLimit));
    setText(rec.Comment2, field(3, kNoLimit));
    setText(rec.Deployed, field(4, kDateLimit));
    setText(rec.Received, field(5, kDateLimit));
    int k = 6;
    for (int slot = 1; slot <= readings; ++slot, k += 4) {
        const auto s = static_cast<size_t>(slot);
        setText(rec.ReadingDate[s], field(k, kDateLimit));
        const std::string_view status = field(k + 1, kNoLimit);
        if (FieldUnitFormat) {
            switch (StatusLetter(status)) {
            case 'W':
                rec.ReadingStatus[s] = statusTexts[0];
                break;
            case 'L':
                rec.ReadingStatus[s] = statusTexts[1];
                break;
            case 'N':
                rec.ReadingStatus[s] = statusTexts[2];
                break;
            default:
                rec.ReadingStatus[s].clear();
            }
        } else {
            setText(rec.ReadingStatus[s], status);
        }
        if (!fieldNumber(field(k + 2, kNumberLimit), &rec.Level[s]) ||
            !fieldNumber(field(k + 3, kNumberLimit), &rec.Spread[s]))
            return false;
    }
    for (int slot = readings + 1; slot <= kMaxReadings; ++slot) {
        const auto s = static_cast<size_t>(slot);
        rec.ReadingDate[s].clear();
        rec.ReadingStatus[s].clear();
        rec.Level[s] = 0;
        rec.Spread[s] = 0;
    }
    if (csvExport)
        setText(rec.UserComments, cleanField(exportComments, kUserCommentsLimit));
    else
        setText(rec.UserComments, field(k, kUserCommentsLimit));
    // Records that break the field checks are kept as read: the user corrects them in the editor.
    return true;
}

// The record after n is brought towards the cache while the next line is split: the table is too large to
// stay there, and its texts' sizes are read before they are written.
[[gnu::always_inline]] inline void prefetchRecordAfter(int n) {
    if (static_cast<size_t>(n) + 1 < LoggerTable.size()) {
        const char* next = reinterpret_cast<const char*>(&LoggerTable[static_cast<size_t>(n) + 1]);
        for (size_t at = 0; at < sizeof(LoggerRecord); at += 64)
            __builtin_prefetch(next + at, 1);
    }
}

// Everything the reader does after it knows the file is there; false on any failure while reading.
bool readLoggers(const QString& path, int* count, bool* nothingAfterTitles) {
    *nothingAfterTitles = false;
    FileLines lines;
    if (!lines.open(plat::resolvePath(path)))
        return false;
    g_lastReadStamp = lines.stamp();

    bool csvExport = false;
    switch (readHeader(lines, &csvExport)) {
    case Header::Failed:
        return false;
    case Header::NothingAfterTitles:
        *nothingAfterTitles = true;
        return true;
    case Header::Loggers:
        break;
    }

    StatusTexts statusTexts; // W, L, N
    if (FieldUnitFormat) {
        statusTexts[0] = LoadLangAnsi(StatusLetterTextNumber('W'));
        statusTexts[1] = LoadLangAnsi(StatusLetterTextNumber('L'));
        statusTexts[2] = LoadLangAnsi(StatusLetterTextNumber('N'));
    }

    LineStatus status;
    LineFields fields;
    std::string joinedComment2;
    std::string joinedComments;
    int n = 0;
    size_t length = 0;
    while (lines.next([&](const char* p, size_t left) { return splitLine(p, left, fields); }, length)) {
        if (!countLine())
            return false;
        status.show(LinesRead);
        if (length == 0 || (fields.total == 1 && isBlankLine(fields[0])))
            continue;
        if (fields.total < 4)
            return false;

        const std::optional<size_t> repaired = repairDecimalCommas(fields, joinedComment2);
        if (!repaired)
            return false;
        cleanRepairedFields(fields, *repaired);
        const std::string_view exportComments =
            csvExport ? takeExportComments(fields, joinedComments) : std::string_view();

        if (++n > kMaxLoggers)
            return false;
        if (!fillRecord(LoggerTable[static_cast<size_t>(n)], fields, *repaired, csvExport, exportComments, statusTexts))
            return false;
        prefetchRecordAfter(n);
    }
    if (lines.failed())
        return false;
    *count = n;
    return true;
}

} // namespace

bool DatabaseFileExists(const QString& path) {
    return !plat::findFirstFile(path).isEmpty();
}

FileStamp FileStampOf(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(plat::resolvePath(path)).constData(), &st) != 0)
        return {};
    return stampOf(st);
}

FileStamp LastReadFileStamp() {
    return g_lastReadStamp;
}

int32_t ReadDatabaseFile(const QString& path) {
    LinesRead = 0;
    g_lastReadStamp = FileStamp{};
    if (!DatabaseFileExists(path))
        return DbNoSuchFile;
    int count = 0;
    bool nothingAfterTitles = false;
    if (!readLoggers(path, &count, &nothingAfterTitles)) {
        // Records already overwritten stay so, but the count keeps describing the previous contents.
        g_lastReadStamp = FileStamp{};
        ShowStatusText(QString());
        return DbReadFailure;
    }
    if (nothingAfterTitles) {
        g_lastReadStamp = FileStamp{};
        return DbNothingAfterTitles;
    }
    LoggerCount = static_cast<int16_t>(count);
    ShowStatusText(QString());
    return DbOk;
}

int32_t WriteDatabaseFile(const QString& path, bool fieldUnitBanner, bool csvColumns) {
    g_lastWriteError.clear();
    auto fail = [](const QString& reason) {
        g_lastWriteError = reason;
        ShowStatusText(QString());
        return static_cast<int32_t>(DbWriteFailure);
    };
    if (LoggerCount > kMaxLoggers)
        return fail(plat::systemErrorText(ERANGE));

    // Texts are looked up once per file, not once per line.
    std::array<std::string, 4> groupTitles;
    if (!FieldUnitFormat) {
        constexpr int32_t kGroupTitleTexts[] = {txt::BadDate, txt::BadStatus, txt::BadLevel, txt::BadSpread};
        for (size_t t = 0; t < groupTitles.size(); ++t)
            groupTitles[t] = LoadLangAnsi(kGroupTitleTexts[t]);
    }

    const int count = LoggerCount > 0 ? LoggerCount : 0;
    std::string out;
    out.reserve(4096 + static_cast<size_t>(count) * 2048);

    if (fieldUnitBanner) {
        appendString(out, kFieldUnitBanner);
        out += "\r\n";
        appendString(out, kFieldUnitTitles);
        out += "\r\n";
    } else {
        out += '"';
        out += FileBanner;
        out += ' ';
        out += FormatVersionPrefix;
        appendNumber(out, plat::versionMinor());
        out += '.';
        appendNumber(out, plat::versionRevision());
        out += "\"\r\n";
        for (int t = 158; t <= 163; ++t)
            appendStringItem(out, LoadLangAnsi(t));
    }
    if (FieldUnitFormat) {
        for (int t : {160, 161, 162, 163, 497})
            appendStringItem(out, LoadLangAnsi(t));
        appendStringItem(out, LoadLangAnsi(txt::Date));
    } else {
        const std::string userCommentsTitle = LoadLangAnsi(txt::AdditionalInformation);
        if (csvColumns)
            appendStringItem(out, userCommentsTitle);
        for (int g = 0; g < 10; ++g) {
            for (const std::string& t : groupTitles)
                appendStringItem(out, t);
        }
        if (!csvColumns)
            appendStringItem(out, userCommentsTitle);
    }
    out += "\r\n";

    const QString loggerText = count > 0 ? LoadLangString(txt::WritingLogger) : QString();
    for (int i = 1; i <= count; ++i) {
        LoggerRecord& rec = LoggerTable[static_cast<size_t>(i)];
        const std::string_view userComments = rec.UserComments;
        // Room for the whole line is made first, then the line is put down with plain copies.
        size_t bound = kNumberRoom + 2 + (kStringRoom * 6) + rec.GridRef.size() + rec.Comment1.size() +
                       rec.Comment2.size() + rec.Deployed.size() + rec.Received.size() + userComments.size();
        for (int slot = 1; slot <= kMaxReadings; ++slot) {
            const auto s = static_cast<size_t>(slot);
            bound += 2 * kStringRoom + 2 * kNumberRoom + rec.ReadingDate[s].size() +
                     (FieldUnitFormat ? 1 : rec.ReadingStatus[s].size());
        }
        const size_t used = out.size();
        out.resize(used + bound);
        ItemCursor cursor{out.data() + used};
        cursor.number(rec.Serial);
        cursor.ch(',');
        cursor.item(rec.GridRef);
        cursor.item(rec.Comment1);
        cursor.item(rec.Comment2);
        cursor.item(rec.Deployed);
        cursor.item(rec.Received);
        if (csvColumns)
            cursor.item(userComments);
        for (int slot = 1; slot <= kMaxReadings; ++slot) {
            const auto s = static_cast<size_t>(slot);
            cursor.item(rec.ReadingDate[s]);
            if (FieldUnitFormat)
                cursor.item(LeakStatus(rec.Level[s], rec.Spread[s]));
            else
                cursor.item(rec.ReadingStatus[s]);
            cursor.number(rec.Level[s]);
            cursor.ch(',');
            cursor.number(rec.Spread[s]);
            cursor.ch(',');
        }
        if (!csvColumns) {
            cursor.ch('"');
            cursor.text(userComments.substr(0, static_cast<size_t>(kUserCommentsLimit)));
            cursor.ch('"');
        }
        cursor.ch('\r');
        cursor.ch('\n');
        out.resize(static_cast<size_t>(cursor.p - out.data()));
        // The table's copy is cut too, so what the window shows matches what a read of the file gives.
        if (rec.UserComments.size() > static_cast<size_t>(kUserCommentsLimit))
            rec.UserComments.resize(static_cast<size_t>(kUserCommentsLimit));
        ShowStatusText(statusNumberText(loggerText, i));
    }

    // The file is replaced by renaming a finished, synced copy over it; the routine refuses what must not be
    // replaced that way (a read-only file, a folder, a device or a pipe).
    const QString target = plat::resolvePath(path);
    QString error;
    if (!plat::writeFileAtomically(target, out, &error))
        return fail(error);
    ShowStatusText(QString());
    return DbOk;
}

QString DatabaseErrorText(int32_t code, bool withLine) {
    const int32_t id = (code >= 0 && code <= 8) ? 169 + code : 178;
    QString text = LoadLangString(id);
    // The line number belongs to the last read; after a write it would point at an unrelated file.
    const bool fromReader = code == DbNoSuchFile || code == DbReadFailure || code == DbNothingAfterTitles;
    if (withLine && fromReader && LinesRead >= 1)
        text += QStringLiteral("\r\n") + LoadLangString(txt::TheErrorOccurredAtLine) + QString::number(LinesRead) +
                LoadLangString(txt::OfTheFile);
    return text;
}

std::string SplitCsvField(const std::string& line, int16_t& position, int16_t maxLength) {
    const size_t start = position < 1 ? 0 : static_cast<size_t>(position) - 1;
    if (start >= line.size())
        return {};
    const size_t comma = line.find(',', start);
    const size_t end = comma == std::string::npos ? line.size() : comma;
    const std::string_view field = cleanField(std::string_view(line).substr(start, end - start), maxLength);
    // The next field starts after the comma (a line without one ends as if a comma followed it); a position
    // past the 16-bit range stays at its end.
    const size_t next = comma == std::string::npos ? line.size() + 1 : comma + 2;
    position = next > static_cast<size_t>(std::numeric_limits<int16_t>::max()) ? std::numeric_limits<int16_t>::max()
                                                                               : static_cast<int16_t>(next);
    return std::string(field);
}

QString BuildLoadReport() {
    ShowStatusText(LoadLangString(txt::CheckingForRepeatedSerialNumbers));
    const int count = LoggerCount > 0 ? (LoggerCount < kMaxLoggers ? LoggerCount : kMaxLoggers) : 0;

    // Serials in the order of their first occurrence, with how many records carry each.
    std::unordered_map<int32_t, size_t> place;
    place.reserve(static_cast<size_t>(count) * 2);
    std::vector<std::pair<int32_t, int>> found;
    found.reserve(static_cast<size_t>(count));
    const QString progressText = count > 0 ? LoadLangString(txt::CheckingLogger) : QString();
    for (int i = 1; i <= count; ++i) {
        const int32_t serial = LoggerTable[static_cast<size_t>(i)].Serial;
        const auto [it, fresh] = place.try_emplace(serial, found.size());
        if (fresh)
            found.emplace_back(serial, 1);
        else
            ++found[it->second].second;
        ShowStatusText(statusNumberText(progressText, i));
    }

    QString report;
    int repeated = 0;
    for (const auto& [serial, carriers] : found) {
        if (carriers < 2)
            continue;
        if (repeated == 0) {
            report = LoadLangString(txt::No) + u'\t' + LoadLangString(txt::SerialPrefix) + u'\t' +
                     LoadLangString(txt::Count) + u'\n';
        }
        ++repeated;
        report += QString::number(repeated) + u'\t' + plat::vb::formatSerialQ(serial) + u'\t' +
                  QString::number(carriers) + u'\n';
    }
    if (repeated == 0) {
        ShowStatusText(statusNumberText(LoadLangString(txt::NoRepeatedSerialNumbersAmong), LoggerCount));
        return {};
    }
    ShowStatusText(statusNumberText(LoadLangString(txt::RepeatedSerialNumbersFound), repeated));
    return report;
}

QString LastWriteErrorText() {
    return g_lastWriteError;
}

QString DatabaseWriteFailureText(int32_t code, const QString& path) {
    QString text = DatabaseErrorText(code, false) + QStringLiteral(":\n") + path;
    if (!g_lastWriteError.isEmpty())
        text += u'\n' + g_lastWriteError;
    return text;
}
