#pragma once
// Small file steps that the transfers, the remote operations, the journal and the path map share: a path's
// folder and last name, its components, a folder of ours made absolute and clean, a hidden name's random part,
// the system's reason for an event and a folder synced. Internal to the engine.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace comms::filesteps {

// The folder part of a path: "." for a bare name, "/" for a name in the root.
inline std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

inline std::string baseOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The non-empty components of a path between separators.
inline std::vector<std::string> splitComponents(const std::string& path, char sep) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : path) {
        if (c == sep) {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

// A folder of ours as a list of components, absolute (from the current folder) and lexically clean.
inline std::vector<std::string> folderParts(const std::string& folder) {
    std::string abs = folder;
    if (abs.empty() || abs[0] != '/') {
        char cwd[PATH_MAX];
        abs = std::string(::getcwd(cwd, sizeof cwd) ? cwd : "/") + "/" + abs;
    }
    std::vector<std::string> out;
    for (const auto& c : splitComponents(abs, '/')) {
        if (c == ".")
            continue;
        if (c == "..") {
            if (!out.empty())
                out.pop_back();
            continue;
        }
        out.push_back(c);
    }
    return out;
}

// Sixteen hex digits from the kernel's random source, for a hidden name no one can guess.
inline std::string randomHex() {
    std::uint8_t bytes[8] = {};
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

// The reason the system gave, for an event: " (No space left on device)".
inline std::string becauseOf(int error) {
    return " (" + std::error_code(error, std::generic_category()).message() + ")";
}

// Makes a change of names in the folder last through a power cut. 0, or the system's error number (a file
// system that cannot sync a folder is no error).
inline int syncFolder(int folder) {
    if (::fsync(folder) != 0 && errno != EINVAL)
        return errno;
    return 0;
}

// The same for a folder by its path; a folder that cannot be opened is left as it is.
inline int syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const int error = syncFolder(fd);
    ::close(fd);
    return error;
}

// True when the status is of the file a note or a check named.
inline bool sameFile(const struct stat& st, unsigned long long dev, unsigned long long ino) {
    return static_cast<unsigned long long>(st.st_dev) == dev && static_cast<unsigned long long>(st.st_ino) == ino;
}

} // namespace comms::filesteps
