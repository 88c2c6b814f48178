#include "commserver/TransferJournal.h"

#include "commserver/FileSteps.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace comms {

namespace {

using filesteps::folderParts;
using filesteps::sameFile;
using filesteps::splitComponents;

// A journal holds the notes of one transfer: a few lines of at most two paths each.
constexpr off_t kMaxJournalSize = 64 * 1024;
constexpr std::size_t kMaxLine = 2 * PATH_MAX + 128;

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

bool startsWithNoCase(const std::string& s, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (s.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// One note a line, the path last: a backslash and a line break in a name are written as "\\" and "\n".
std::string escapePath(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string unescapePath(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
            out += text[i] == 'n' ? '\n' : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept {
        std::swap(fd_, o.fd_);
        return *this;
    }
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_;
};

std::string joinComponents(const std::vector<std::string>& parts, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i)
        out += (out.empty() ? "" : "/") + parts[i];
    return out;
}

// The folder below dir that rel names, reached without following a link at any step: openat2 confined to
// dir where the kernel has it, else one component at a time.
Fd openBeneath(int dir, const std::vector<std::string>& parts, std::size_t from, std::size_t to) {
    if (from == to)
        return Fd(::fcntl(dir, F_DUPFD_CLOEXEC, 0));
    const std::string rel = joinComponents(parts, from, to);
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, dir, rel.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != EINVAL && errno != E2BIG))
        return Fd(static_cast<int>(fd));
    Fd cur(::fcntl(dir, F_DUPFD_CLOEXEC, 0));
    for (std::size_t i = from; i < to && cur.ok(); ++i) {
        if (parts[i] == "." || parts[i] == "..") {
            errno = EXDEV;
            return Fd();
        }
        cur = Fd(::openat(cur.get(), parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return cur;
}

// Where a path a journal names lies: its folder (opened from one of the offered folders, no link followed)
// and its last name. why says what kept it out of reach.
struct Place {
    Fd dir;
    std::string name;
    std::string why;
    bool gone = false; // its folder no longer exists: nothing there to undo
};

Place locate(const std::string& path, const std::vector<std::string>& roots) {
    Place place;
    if (path.empty() || path[0] != '/') {
        place.why = "not a full path";
        return place;
    }
    const std::vector<std::string> parts = splitComponents(path, '/');
    for (const auto& p : parts) {
        if (p == "." || p == "..") {
            place.why = "outside the offered folders";
            return place;
        }
    }
    // The longest offered folder the path begins with, as it was given or with its links resolved.
    std::vector<std::string> best;
    std::string bestRoot;
    bool found = false;
    for (const auto& root : roots) {
        std::vector<std::vector<std::string>> forms = {folderParts(root)};
        if (char* real = ::realpath(root.c_str(), nullptr)) {
            forms.push_back(folderParts(real));
            std::free(real);
        }
        for (const auto& form : forms) {
            if (parts.size() > form.size() && std::equal(form.begin(), form.end(), parts.begin()) &&
                (!found || form.size() > best.size())) {
                best = form;
                bestRoot = root;
                found = true;
            }
        }
    }
    if (!found) {
        place.why = "outside the offered folders";
        return place;
    }
    const Fd root(::open(bestRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!root.ok()) {
        place.gone = true;
        return place;
    }
    place.dir = openBeneath(root.get(), parts, best.size(), parts.size() - 1);
    if (!place.dir.ok()) {
        if (errno == ENOENT)
            place.gone = true;
        else
            place.why = "reached only through a link";
        return place;
    }
    place.name = parts.back();
    return place;
}

// Opens the file a journal names without following a link and without waiting on it: regular files only.
Fd openNoted(const Place& place, int flags, struct stat& st) {
    Fd fd(::openat(place.dir.get(), place.name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.ok() && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)))
        return Fd();
    return fd;
}

std::string format(const char* what, const std::string& path) {
    return std::string(what) + ": " + path;
}

// Reads exactly n bytes at offset (fewer only at the end of the file).
bool readAt(int fd, char* buf, std::size_t n, off_t offset, std::size_t& got) {
    got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, buf + got, n - got, offset + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return false;
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

// True when the bytes of file from offset on are the first bytes of copy.
bool tailIsPrefixOf(int file, off_t offset, off_t length, int copy) {
    char a[8192];
    char b[8192];
    off_t done = 0;
    while (done < length) {
        const std::size_t want = static_cast<std::size_t>(std::min<off_t>(length - done, sizeof a));
        std::size_t gotA = 0;
        std::size_t gotB = 0;
        if (!readAt(file, a, want, offset + done, gotA) || !readAt(copy, b, want, done, gotB) || gotA != want ||
            gotB != want || std::memcmp(a, b, want) != 0)
            return false;
        done += static_cast<off_t>(want);
    }
    return true;
}

struct Note {
    char kind = 0;
    unsigned long long dev = 0, ino = 0;
    long long size = 0, length = 0;
    unsigned saved = 0, readOnly = 0;
    std::string copy;
    std::string path;
};

bool parseNote(const std::string& line, Note& note) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "T") {
        note.kind = 'T';
    } else if (kind == "A") {
        note.kind = 'A';
        if (!(fields >> note.dev >> note.ino >> note.size >> note.length >> note.copy))
            return false;
    } else if (kind == "M") {
        note.kind = 'M';
        if (!(fields >> note.dev >> note.ino >> std::oct >> note.saved >> note.readOnly >> std::dec))
            return false;
    } else {
        return false;
    }
    std::string rest;
    std::getline(fields >> std::ws, rest);
    note.path = unescapePath(rest);
    return !note.path.empty();
}

// The place of the file a note names, or nothing to do: a path out of reach is left alone, which the history
// says, and a folder that no longer exists has nothing left to undo.
std::optional<Place> reach(const Note& note, const std::vector<std::string>& roots,
                           const TransferJournal::Report& report) {
    Place place = locate(note.path, roots);
    if (!place.why.empty()) {
        report(format(("Recovery: Left Alone (" + place.why + ")").c_str(), note.path), false);
        return std::nullopt;
    }
    if (place.gone)
        return std::nullopt;
    return place;
}

void removeTemporary(const Note& note, const std::vector<std::string>& roots, const TransferJournal::Report& report) {
    std::optional<Place> reached = reach(note, roots, report);
    if (!reached)
        return;
    Place& place = *reached;
    // Only a file of the server's own naming is ever removed from what a journal says.
    struct stat st {};
    if (!startsWith(place.name, kUploadTemporaryPrefix)) {
        report(format("Recovery: Left Alone (not a server's working file)", note.path), false);
        return;
    }
    if (::fstatat(place.dir.get(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISREG(st.st_mode)) {
        report(format("Recovery: Left Alone (not a regular file)", note.path), false);
        return;
    }
    if (::unlinkat(place.dir.get(), place.name.c_str(), 0) == 0)
        report(format("Recovery: Partial Upload Removed", note.path), true);
}

void undoAppend(const Note& note, int journalFolder, const std::vector<std::string>& roots,
                const TransferJournal::Report& report) {
    std::optional<Place> reached = reach(note, roots, report);
    if (!reached)
        return;
    Place& place = *reached;
    struct stat st {};
    Fd file = openNoted(place, O_RDWR, st);
    if (!file.ok() || !sameFile(st, note.dev, note.ino)) {
        if (file.ok() || errno != ENOENT)
            report(format("Recovery: Left Alone (not the file noted)", note.path), false);
        return;
    }
    if (st.st_size == note.size)
        return;
    if (st.st_size < note.size || st.st_size - note.size > note.length) {
        report(format("Recovery: Left Alone (grown past the server's appendix)", note.path), false);
        return;
    }
    struct stat cst {};
    Fd copy;
    if (startsWith(note.copy, kUploadTemporaryPrefix) && note.copy.find('/') == std::string::npos)
        copy = Fd(::openat(journalFolder, note.copy.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!copy.ok() || ::fstat(copy.get(), &cst) != 0 || !S_ISREG(cst.st_mode) || cst.st_size != note.length) {
        report(format("Recovery: Left Alone (the received copy is missing)", note.path), false);
        return;
    }
    // Half an appendix would pass for the whole: the file goes back to the length it had, but only when what
    // follows is the server's own; another writer's bytes after it stay.
    if (!tailIsPrefixOf(file.get(), static_cast<off_t>(note.size), st.st_size - static_cast<off_t>(note.size),
                        copy.get())) {
        report(format("Recovery: Left Alone (not the server's appendix)", note.path), false);
        return;
    }
    if (::ftruncate(file.get(), static_cast<off_t>(note.size)) == 0) {
        ::fsync(file.get());
        report(format("Recovery: Appendix Removed", note.path), true);
    }
}

// Gives a file its write permission back when it is still the file noted and still has the permissions the
// transfer gave it: a file replaced or changed by someone else since is left alone. Nothing but the write
// bits the transfer took is ever given.
bool restoreMode(const Place& place, const Note& note) {
    struct stat st {};
    const Fd file = openNoted(place, O_RDONLY, st);
    if (!file.ok() || !sameFile(st, note.dev, note.ino) || (st.st_mode & 07777) != note.readOnly)
        return false;
    return ::fchmod(file.get(), static_cast<mode_t>(note.readOnly | (note.saved & 0222))) == 0;
}

void giveModeBack(const Note& note, const std::vector<std::string>& roots, const TransferJournal::Report& report) {
    std::optional<Place> reached = reach(note, roots, report);
    if (!reached)
        return;
    Place& place = *reached;
    if ((note.saved & ~0222u & 07777u) != note.readOnly || (note.saved & ~07777u) != 0) {
        report(format("Recovery: Left Alone (permissions the transfer did not take)", note.path), false);
        return;
    }
    if (restoreMode(place, note)) {
        report(format("Recovery: Permissions Given Back", note.path), true);
        return;
    }
    place.name += ".dl";
    if (restoreMode(place, note))
        report(format("Recovery: Permissions Given Back", note.path + ".dl"), true);
}

// Why a file named like a journal is not one this server's user wrote; empty when it is.
std::string untrusted(const struct stat& st) {
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (st.st_uid != ::geteuid())
        return "not owned by the server's user";
    if (st.st_mode & 022)
        return "writable by others";
    if (st.st_nlink != 1)
        return "has other names";
    if (st.st_size > kMaxJournalSize)
        return "too large";
    return {};
}

std::atomic<unsigned> g_journalSerial{0};

} // namespace

bool IsServerWorkFile(const std::string& fileName) {
    return startsWithNoCase(fileName, kUploadTemporaryPrefix) || startsWithNoCase(fileName, kJournalPrefix);
}

TransferJournal::~TransferJournal() {
    Close();
}

void TransferJournal::Recover(const std::string& text, const std::string& folder,
                              const std::vector<std::string>& offered, const Report& given) {
    const Report report = given ? given : [](const std::string&, bool) {};
    std::vector<std::string> roots = {folder};
    roots.insert(roots.end(), offered.begin(), offered.end());
    const Fd journalFolder(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::vector<Note> temporaries;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        Note note;
        if (line.size() > kMaxLine || !parseNote(line, note))
            continue;
        if (note.kind == 'T')
            temporaries.push_back(note); // after the appends: they compare with the received copies
        else if (note.kind == 'A' && journalFolder.ok())
            undoAppend(note, journalFolder.get(), roots, report);
        else if (note.kind == 'M')
            giveModeBack(note, roots, report);
    }
    for (const auto& note : temporaries)
        removeTemporary(note, roots, report);
}

int TransferJournal::Open(const std::string& folder, const std::vector<std::string>& offered, const Report& report) {
    Close();
    const Report say = report ? report : [](const std::string&, bool) {};
    // Absolute, so that the notes name their files wherever the server's current folder is.
    folder_ = "/" + joinComponents(folderParts(folder), 0, folderParts(folder).size());
    int recovered = 0;
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        error_ = errno;
        return 0;
    }
    if (DIR* d = ::fdopendir(::fcntl(dir, F_DUPFD_CLOEXEC, 0))) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (!startsWith(name, kJournalPrefix))
                continue;
            // Neither followed through a link nor waited on (a FIFO): only a regular file is opened at all.
            struct stat st {};
            std::string why;
            Fd fd;
            if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode))
                why = S_ISLNK(st.st_mode) ? "a link" : "not a regular file";
            else
                fd = Fd(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (why.empty() && !fd.ok())
                why = errno == ELOOP ? "a link" : std::strerror(errno);
            else if (why.empty() && ::fstat(fd.get(), &st) != 0)
                why = std::strerror(errno);
            else if (why.empty())
                why = untrusted(st);
            if (!why.empty()) {
                say("Transfer Journal Left Alone (" + why + "): " + folder + "/" + name, false);
                continue;
            }
            // A server that still runs holds its journal's lock: its changes are its own to settle.
            if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
                continue;
            struct stat named {};
            if (::fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != st.st_dev ||
                named.st_ino != st.st_ino)
                continue;
            std::string text(static_cast<std::size_t>(st.st_size), '\0');
            std::size_t got = 0;
            if (!readAt(fd.get(), text.data(), text.size(), 0, got))
                continue;
            text.resize(got);
            Recover(text, folder, offered, say);
            ::unlinkat(dir, name.c_str(), 0);
            ++recovered;
        }
        ::closedir(d);
    }
    // Another server starting in this folder may take the new file for a dead server's journal between its
    // creation and its lock, and remove it: the journal counts only when the locked file is still the one of that
    // name, or the notes would go to a file nobody reads.
    error_ = 0;
    for (int attempt = 0; attempt < 3 && fd_ < 0; ++attempt) {
        const std::string name = kJournalPrefix + std::to_string(::getpid()) + "-" + std::to_string(g_journalSerial++);
        path_ = folder + "/" + name;
        fd_ = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            error_ = errno;
            continue;
        }
        struct stat held {};
        struct stat named {};
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd_, &held) != 0 ||
            ::fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || held.st_dev != named.st_dev ||
            held.st_ino != named.st_ino) {
            error_ = EAGAIN;
            ::close(fd_);
            fd_ = -1;
        }
    }
    if (fd_ >= 0) {
        error_ = 0;
        ::fsync(dir);
    } else {
        path_.clear();
    }
    ::close(dir);
    content_.clear();
    return recovered;
}

void TransferJournal::Close() {
    if (fd_ < 0)
        return;
    // A journal with notes left stays for the next start to undo them.
    if (content_.empty())
        ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
    path_.clear();
    content_.clear();
}

bool TransferJournal::NoteTemporary(const std::string& path) {
    return note("T " + escapePath(path) + "\n");
}

bool TransferJournal::NoteAppend(const std::string& path, dev_t dev, ino_t ino, off_t size, off_t length,
                                 const std::string& copy) {
    std::ostringstream line;
    line << "A " << static_cast<unsigned long long>(dev) << ' ' << static_cast<unsigned long long>(ino) << ' '
         << static_cast<long long>(size) << ' ' << static_cast<long long>(length) << ' ' << copy << ' '
         << escapePath(path) << '\n';
    return note(line.str());
}

bool TransferJournal::NoteReadOnly(const std::string& path, dev_t dev, ino_t ino, mode_t savedMode,
                                   mode_t readOnlyMode) {
    std::ostringstream line;
    line << "M " << static_cast<unsigned long long>(dev) << ' ' << static_cast<unsigned long long>(ino) << ' '
         << std::oct << static_cast<unsigned>(savedMode) << ' ' << static_cast<unsigned>(readOnlyMode) << std::dec
         << ' ' << escapePath(path) << '\n';
    return note(line.str());
}

bool TransferJournal::SettleBackTo(std::size_t mark) {
    if (mark >= content_.size())
        return true;
    // The earlier notes are a beginning of the file: cutting it there leaves them whole at every moment.
    content_.resize(mark);
    return write();
}

bool TransferJournal::note(const std::string& line) {
    if (fd_ < 0) {
        // The reason the journal could not be made is the reason the note cannot be written.
        if (error_ == 0)
            error_ = EBADF;
        return false;
    }
    const std::size_t mark = content_.size();
    content_ += line;
    if (write())
        return true;
    // A note not on disk is no note: the change it was to protect is not made, and nothing of it is kept.
    const int error = error_;
    content_.resize(mark);
    write();
    error_ = error;
    return false;
}

bool TransferJournal::write() {
    if (fd_ < 0)
        return false;
    std::size_t done = 0;
    while (done < content_.size()) {
        const ssize_t n = ::pwrite(fd_, content_.data() + done, content_.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::ftruncate(fd_, static_cast<off_t>(content_.size())) != 0 || ::fdatasync(fd_) != 0) {
        error_ = errno;
        return false;
    }
    return true;
}

} // namespace comms
