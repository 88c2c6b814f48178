#include "commserver/TransferJournal.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace comms {

namespace {

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool sameFile(const struct stat& st, unsigned long long dev, unsigned long long ino) {
    return static_cast<unsigned long long>(st.st_dev) == dev && static_cast<unsigned long long>(st.st_ino) == ino;
}

// Gives a file its permissions back when it is still the file noted and still has the ones the transfer gave
// it: a file replaced or changed by someone else since is left alone.
bool restoreMode(const std::string& path, unsigned long long dev, unsigned long long ino, mode_t saved,
                 mode_t readOnly) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !sameFile(st, dev, ino) ||
        (st.st_mode & 07777) != readOnly)
        return false;
    return ::chmod(path.c_str(), saved) == 0;
}

std::atomic<unsigned> g_journalSerial{0};

} // namespace

bool IsServerWorkFile(const std::string& fileName) {
    return startsWith(fileName, kUploadTemporaryPrefix) || startsWith(fileName, kJournalPrefix);
}

TransferJournal::~TransferJournal() {
    Close();
}

int TransferJournal::Open(const std::string& folder) {
    Close();
    int recovered = 0;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (!startsWith(name, kJournalPrefix))
                continue;
            const std::string path = folder + "/" + name;
            const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0)
                continue;
            // A server that still runs holds its journal's lock: its changes are its own to settle.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && Recover(path)) {
                ::unlink(path.c_str());
                ++recovered;
            }
            ::close(fd);
        }
        ::closedir(d);
    }
    // Another server starting in this folder may take the new file for a dead server's journal between its
    // creation and its lock, and remove it: the journal counts only when the locked file is still the one of that
    // name, or the notes would go to a file nobody reads.
    for (int attempt = 0; attempt < 3 && fd_ < 0; ++attempt) {
        path_ = folder + "/" + kJournalPrefix + std::to_string(::getpid()) + "-" + std::to_string(g_journalSerial++);
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0)
            continue;
        struct stat held {};
        struct stat named {};
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd_, &held) != 0 || ::stat(path_.c_str(), &named) != 0 ||
            held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    if (fd_ < 0) {
        path_.clear();
        return recovered;
    }
    syncFolder(folder);
    content_.clear();
    onDisk_ = true;
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

bool TransferJournal::NoteAppend(const std::string& path, dev_t dev, ino_t ino, off_t size) {
    std::ostringstream line;
    line << "A " << static_cast<unsigned long long>(dev) << ' ' << static_cast<unsigned long long>(ino) << ' '
         << static_cast<long long>(size) << ' ' << escapePath(path) << '\n';
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

bool TransferJournal::Settle() {
    if (content_.empty())
        return true;
    content_.clear();
    return write();
}

bool TransferJournal::note(const std::string& line) {
    if (fd_ < 0)
        return false;
    content_ += line;
    return write();
}

bool TransferJournal::write() {
    if (fd_ < 0)
        return false;
    std::size_t done = 0;
    while (done < content_.size()) {
        const ssize_t n = ::pwrite(fd_, content_.data() + done, content_.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    if (::ftruncate(fd_, static_cast<off_t>(content_.size())) != 0)
        return false;
    return ::fdatasync(fd_) == 0;
}

bool TransferJournal::Recover(const std::string& journalPath) {
    std::ifstream in(journalPath, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "T") {
            std::string rest;
            std::getline(fields >> std::ws, rest);
            const std::string path = unescapePath(rest);
            // Only a file of the server's own naming is ever removed from what a journal says.
            if (startsWith(baseName(path), kUploadTemporaryPrefix))
                ::unlink(path.c_str());
        } else if (kind == "A") {
            unsigned long long dev = 0, ino = 0;
            long long size = 0;
            std::string rest;
            if (!(fields >> dev >> ino >> size))
                continue;
            std::getline(fields >> std::ws, rest);
            const std::string path = unescapePath(rest);
            const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0)
                continue;
            struct stat st {};
            // Half an appendix would pass for the whole: the file goes back to the length it had.
            if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && sameFile(st, dev, ino) && st.st_size > size &&
                ::ftruncate(fd, static_cast<off_t>(size)) == 0)
                ::fsync(fd);
            ::close(fd);
        } else if (kind == "M") {
            unsigned long long dev = 0, ino = 0;
            unsigned saved = 0, readOnly = 0;
            std::string rest;
            if (!(fields >> dev >> ino >> std::oct >> saved >> readOnly >> std::dec))
                continue;
            std::getline(fields >> std::ws, rest);
            const std::string path = unescapePath(rest);
            if (!restoreMode(path, dev, ino, saved, readOnly))
                restoreMode(path + ".dl", dev, ino, saved, readOnly);
        }
    }
    return true;
}

} // namespace comms
