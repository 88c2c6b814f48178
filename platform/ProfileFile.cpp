#include "platform/ProfileFile.h"

#include "platform/AtomicFile.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";

std::string_view trim(std::string_view s) {
    const auto b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos)
        return {};
    const auto e = s.find_last_not_of(kBlanks);
    return s.substr(b, e - b + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    a = trim(a);
    b = trim(b);
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// One line of the file as it stands, with what it means.
struct Line {
    std::string text; // without its line end
    enum Kind { Other, Section, Pair } kind = Other;
    std::string name;  // section or key name
    std::string value;
};

Line plainLine(std::string text) {
    Line l;
    l.text = std::move(text);
    return l;
}

Line classify(std::string text) {
    Line line;
    line.text = std::move(text);
    const std::string_view t = trim(line.text);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return line;
    if (t.front() == '[') {
        const auto close = t.find(']');
        line.kind = Line::Section;
        line.name =
            std::string(trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
        return line;
    }
    const auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return line;
    line.kind = Line::Pair;
    line.name = std::string(trim(t.substr(0, eq)));
    line.value = std::string(trim(t.substr(eq + 1)));
    return line;
}

struct Contents {
    std::vector<Line> lines;
    std::string eol = "\n";
    bool exists = false;
    // A file that is there but could not be read whole: its contents are unknown, so it is never written over.
    std::string unreadable;
};

// The file's bytes; false with the reason when it exists but cannot be read.
bool readAll(const std::string& path, std::string& all, bool& exists, std::string& why) {
    exists = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return true;
        exists = true;
        why = std::strerror(errno);
        return false;
    }
    exists = true;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
        ::close(fd);
        return false;
    }
    char block[65536];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        all.append(block, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

Contents parse(const std::string& all) {
    Contents c;
    c.exists = true;
    if (all.find("\r\n") != std::string::npos)
        c.eol = "\r\n";
    std::size_t pos = 0;
    while (pos < all.size()) {
        auto nl = all.find('\n', pos);
        std::string text = all.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        c.lines.push_back(classify(std::move(text)));
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
    return c;
}

Contents load(const std::string& path) {
    std::string all, why;
    bool exists = false;
    if (!readAll(path, all, exists, why)) {
        Contents c;
        c.exists = true;
        c.unreadable = why.empty() ? std::string("unknown error") : why;
        return c;
    }
    if (!exists)
        return Contents{};
    return parse(all);
}

// Index of the first matching pair, and of the section's header and its last line.
struct Found {
    std::optional<std::size_t> section;
    std::size_t sectionEnd = 0; // one past the section's last non-blank line
    std::optional<std::size_t> pair;
};

Found find(const Contents& c, std::string_view section, std::string_view key) {
    Found f;
    bool inside = false;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        const Line& l = c.lines[i];
        if (l.kind == Line::Section) {
            if (f.section)
                break; // the first matching section ends here
            inside = sameName(l.name, section);
            if (inside) {
                f.section = i;
                f.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inside)
            continue;
        if (!trim(l.text).empty())
            f.sectionEnd = i + 1;
        if (l.kind == Line::Pair && !f.pair && sameName(l.name, key))
            f.pair = i;
    }
    return f;
}

std::string unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

// Replaces the file in one step, through the routine every file of the package is written with: a fresh
// temporary file of an unpredictable name beside it (never a planted link), written, synced and closed, each
// step checked, then renamed over the file with its mode kept.
bool writeAtomically(const std::string& path, const std::string& bytes, std::string& why) {
    AtomicFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (file.open() && file.write(bytes) && file.commit())
        return true;
    why = file.errorText().toStdString();
    return false;
}

} // namespace

void ProfileFile::SetPath(std::string path) {
    std::lock_guard lock(mutex_);
    path_ = std::move(path);
}

std::string ProfileFile::Path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key, std::string_view def) const {
    std::lock_guard lock(mutex_);
    const Contents c = load(path_);
    const Found f = find(c, section, key);
    if (!f.pair)
        return std::string(def);
    return unquote(c.lines[*f.pair].value);
}

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const {
    std::lock_guard lock(mutex_);
    const Contents c = load(path_);
    return find(c, section, key).pair.has_value();
}

int ProfileFile::ParseInt(std::string_view text) {
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long v = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            break;
        v = v * 10 + (ch - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        v = -v;
    if (v > INT_MAX)
        v = INT_MAX;
    return static_cast<int>(v);
}

int ProfileFile::GetInt(std::string_view section, std::string_view key, int def) const {
    std::lock_guard lock(mutex_);
    const Contents c = load(path_);
    const Found f = find(c, section, key);
    if (!f.pair)
        return def;
    return ParseInt(unquote(c.lines[*f.pair].value));
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string clean(value);
    for (char& ch : clean)
        if (ch == '\r' || ch == '\n')
            ch = ' ';
    const std::string_view sec = trim(section);
    const std::string_view k = trim(key);
    if (sec.empty() || k.empty() || sec.find_first_of("]\r\n") != std::string_view::npos ||
        k.find_first_of("=\r\n") != std::string_view::npos || k.front() == '[' || k.front() == ';' ||
        k.front() == '#') {
        std::lock_guard lock(mutex_);
        lastError_ = "a section or key name that cannot be written";
        return false;
    }

    std::lock_guard lock(mutex_);
    Contents c = load(path_);
    if (!c.unreadable.empty()) {
        lastError_ = path_ + " exists but cannot be read (" + c.unreadable + "); it is left as it is";
        return false;
    }
    const Found f = find(c, sec, k);
    if (f.pair) {
        Line& l = c.lines[*f.pair];
        l.text = l.name + "=" + clean;
    } else if (f.section) {
        c.lines.insert(c.lines.begin() + static_cast<std::ptrdiff_t>(f.sectionEnd),
                       plainLine(std::string(k) + "=" + clean));
    } else {
        // A new section follows the file's last line, set off by a blank line as the others are.
        while (!c.lines.empty() && trim(c.lines.back().text).empty())
            c.lines.pop_back();
        if (!c.lines.empty())
            c.lines.push_back(plainLine({}));
        c.lines.push_back(plainLine("[" + std::string(sec) + "]"));
        c.lines.push_back(plainLine(std::string(k) + "=" + clean));
    }
    std::string bytes;
    for (const Line& l : c.lines)
        bytes += l.text + c.eol;
    std::string why;
    if (writeAtomically(path_, bytes, why)) {
        lastError_.clear();
        return true;
    }
    lastError_ = path_ + " cannot be written: " + why;
    return false;
}

std::string ProfileFile::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

bool ProfileFile::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

} // namespace plat
