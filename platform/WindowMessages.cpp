#include "platform/WindowMessages.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace plat::winmsg {

namespace {

constexpr std::uint32_t kMagic = 0x314D5756;      // "VWM1"
constexpr std::uint32_t kReplyMagic = 0x524D5756; // "VWMR"
constexpr std::uint32_t kKindPost = 1;
constexpr std::uint32_t kKindSend = 2;
constexpr size_t kHeaderSize = 32;
constexpr size_t kReplySize = 12;
// Far above anything the programs exchange (the largest record is a few kilobytes); a bigger envelope is
// refused rather than allocated.
constexpr std::uint32_t kMaxData = 1u << 20;
// How long a listener keeps a connection open for its peer to hand over an envelope, counted once from the
// moment it takes the connection; and how long a poster has to hand one over.
constexpr int kTransferTimeoutMs = 2000;
// Connections a listener reads at once. Each is dropped at its own deadline, so a peer that stalls or trickles
// its bytes never holds up the others; one past the number is closed at once.
constexpr size_t kMaxOpenConnections = 64;

using Clock = std::chrono::steady_clock;

// Milliseconds until a deadline for poll(): 0 when it has passed.
int msUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

// File descriptor that closes itself.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

bool plainNameChar(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

// Class and title may hold any bytes ("/", "..", "~", control characters); everything but a few safe
// characters is written as %XX, so a name can never leave the folder or split differently when read back.
std::string encodeName(std::string_view s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (plainNameChar(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::optional<std::string> decodeName(std::string_view s) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            if (!plainNameChar(static_cast<unsigned char>(s[i])))
                return std::nullopt;
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size())
            return std::nullopt;
        const int hi = nibble(s[i + 1]);
        const int lo = nibble(s[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string handleText(WindowHandle h) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

struct Entry {
    WindowHandle handle = 0;
    std::string fileName;
    std::string className;
    std::string title;
};

// "<16 hex digits of the handle>~<class>~<title>"; anything else in the folder (temporary names among them)
// is not a window.
std::optional<Entry> parseEntry(const std::string& name) {
    if (name.size() < 18 || name[16] != '~')
        return std::nullopt;
    Entry e;
    for (int i = 0; i < 16; ++i) {
        const char c = name[static_cast<size_t>(i)];
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else
            return std::nullopt;
        e.handle = (e.handle << 4) | static_cast<WindowHandle>(v);
    }
    const size_t sep = name.find('~', 17);
    if (sep == std::string::npos || e.handle == 0)
        return std::nullopt;
    auto cls = decodeName(std::string_view(name).substr(17, sep - 17));
    auto title = decodeName(std::string_view(name).substr(sep + 1));
    if (!cls || !title)
        return std::nullopt;
    e.fileName = name;
    e.className = std::move(*cls);
    e.title = std::move(*title);
    return e;
}

bool pathAddress(const std::string& path, sockaddr_un& addr, socklen_t& len) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

// A socket address for a name inside the folder. A socket address holds little more than 100 bytes, so when the
// full path is longer the folder is reached through its open descriptor instead.
bool socketAddress(int dirFd, const std::string& dir, const std::string& name, sockaddr_un& addr, socklen_t& len) {
    std::string path = dir + "/" + name;
    if (path.size() >= sizeof addr.sun_path)
        path = "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
    return pathAddress(path, addr, len);
}

void setTimeout(int fd, int option, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

// Writes all bytes unless the peer closes, fails or the deadline passes (one deadline for the whole write,
// however the bytes are taken).
bool writeAll(int fd, const void* data, size_t size, Clock::time_point deadline) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (Clock::now() >= deadline)
                return false;
            pollfd pfd{fd, POLLOUT, 0};
            const int r = ::poll(&pfd, 1, msUntil(deadline));
            if (r < 0 && errno != EINTR)
                return false;
            continue;
        }
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly size bytes unless the peer closes, fails or the deadline passes.
bool readAll(int fd, void* data, size_t size, Clock::time_point deadline) {
    auto* p = static_cast<unsigned char*>(data);
    while (size > 0) {
        if (Clock::now() >= deadline)
            return false;
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, msUntil(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        const ssize_t n = ::recv(fd, p, size, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void putU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void putU64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t getU32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
std::uint64_t getU64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

enum class ConnectResult { Connected, Stale, Failed };

ConnectResult connectTo(int dirFd, const std::string& dir, const std::string& name, Fd& out, int timeoutMs) {
    sockaddr_un addr;
    socklen_t len;
    // Names of long classes and titles do not fit a socket address even below the folder's descriptor; the
    // socket file itself, opened as a path, always does.
    Fd pathFd;
    if (!socketAddress(dirFd, dir, name, addr, len)) {
        pathFd = Fd(::openat(dirFd, name.c_str(), O_PATH | O_CLOEXEC | O_NOFOLLOW));
        if (!pathFd)
            return ConnectResult::Failed;
        if (!pathAddress("/proc/self/fd/" + std::to_string(pathFd.get()), addr, len))
            return ConnectResult::Failed;
    }
    Fd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s)
        return ConnectResult::Failed;
    // A full backlog makes connect wait; the send time-out bounds that wait as well as the writes.
    setTimeout(s.get(), SO_SNDTIMEO, timeoutMs);
    for (;;) {
        if (::connect(s.get(), reinterpret_cast<sockaddr*>(&addr), len) == 0) {
            out = std::move(s);
            return ConnectResult::Connected;
        }
        if (errno == EINTR)
            continue;
        // Nobody listens on the file any more: its program ended without removing it.
        return errno == ECONNREFUSED ? ConnectResult::Stale : ConnectResult::Failed;
    }
}

struct Folder {
    std::string path;
    Fd fd;
};

std::optional<Folder> openFolder() {
    Folder f;
    f.path = windowsFolder();
    if (f.path.empty())
        return std::nullopt;
    f.fd = Fd(::open(f.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!f.fd)
        return std::nullopt;
    return f;
}

std::vector<Entry> listEntries(const Folder& folder) {
    std::vector<Entry> entries;
    const int dupFd = ::dup(folder.fd.get());
    if (dupFd < 0)
        return entries;
    DIR* d = ::fdopendir(dupFd);
    if (!d) {
        ::close(dupFd);
        return entries;
    }
    ::rewinddir(d);
    while (dirent* de = ::readdir(d)) {
        if (auto e = parseEntry(de->d_name))
            entries.push_back(std::move(*e));
    }
    ::closedir(d);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.handle > b.handle; });
    return entries;
}

// Connects to a live window; removes the file of a dead one on the way.
bool connectLive(const Folder& folder, const Entry& e, Fd& out, int timeoutMs) {
    switch (connectTo(folder.fd.get(), folder.path, e.fileName, out, timeoutMs)) {
    case ConnectResult::Connected:
        return true;
    case ConnectResult::Stale:
        ::unlinkat(folder.fd.get(), e.fileName.c_str(), 0);
        return false;
    default:
        return false;
    }
}

bool connectHandle(WindowHandle window, Fd& out, int timeoutMs) {
    if (window == 0)
        return false;
    auto folder = openFolder();
    if (!folder)
        return false;
    for (const Entry& e : listEntries(*folder)) {
        if (e.handle == window)
            return connectLive(*folder, e, out, timeoutMs);
    }
    return false;
}

bool writeEnvelope(int fd, std::uint32_t kind, std::uint32_t msg, std::uint64_t wParam, std::uint64_t lParam,
                   std::span<const std::uint8_t> data, Clock::time_point deadline) {
    if (data.size() > kMaxData)
        return false;
    unsigned char header[kHeaderSize];
    putU32(header, kMagic);
    putU32(header + 4, kind);
    putU32(header + 8, msg);
    putU64(header + 12, wParam);
    putU64(header + 20, lParam);
    putU32(header + 28, static_cast<std::uint32_t>(data.size()));
    return writeAll(fd, header, sizeof header, deadline) &&
           (data.empty() || writeAll(fd, data.data(), data.size(), deadline));
}

WindowHandle newHandle() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    const WindowHandle h = static_cast<WindowHandle>(ts.tv_sec) * 1000000000ull + static_cast<WindowHandle>(ts.tv_nsec);
    return h == 0 ? 1 : h;
}

bool ensurePrivateFolder(const std::string& dir, bool ourOwnName) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0) {
        // Our own folder name, left open by someone's umask: close it. A folder that the caller named is
        // not ours to change, so it is refused instead.
        if (!ourOwnName || ::chmod(dir.c_str(), 0700) != 0)
            return false;
    }
    return true;
}

// A folder of ours that nobody else can enter: ours, a real folder (no link) and mode 0700.
bool isPrivateFolder(const std::string& dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 0777) == 0700;
}

// The first, by name, of our private folders base/<prefix>XXXXXX; empty when there is none.
std::string firstPrivateFolder(const std::string& base, const std::string& prefix) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(base.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
                names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        if (isPrivateFolder(base + "/" + name))
            return base + "/" + name;
    }
    return {};
}

} // namespace

std::string fallbackWindowsFolder(const std::string& base) {
    const std::string uid = std::to_string(::geteuid());
    const std::string fixed = base + "/vord-windows-" + uid;
    // The usual name, when it is ours and private; made when it is missing.
    if (::mkdir(fixed.c_str(), 0700) == 0 || errno == EEXIST) {
        if (isPrivateFolder(fixed))
            return fixed;
    }
    // Someone else holds the name (or left it open): our programs meet in a private folder of a name nobody
    // can take from us, the first of ours by name, made when there is none yet.
    const std::string prefix = "vord-windows-" + uid + "-";
    if (std::string found = firstPrivateFolder(base, prefix); !found.empty())
        return found;
    std::string pattern = base + "/" + prefix + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return {};
    // Two programs that started at once may each have made one: both go on in the first, and the other is
    // removed while it is still empty.
    std::string first = firstPrivateFolder(base, prefix);
    if (first != pattern)
        ::rmdir(pattern.c_str());
    return first;
}

std::string windowsFolder() {
    if (const char* env = std::getenv("VORD_WINDOWS_DIR"); env && *env) {
        std::string dir = env;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        return ensurePrivateFolder(dir, false) ? dir : std::string();
    }
    std::string dir;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) {
        struct stat st {};
        if (::stat(run, &st) == 0 && S_ISDIR(st.st_mode))
            dir = std::string(run) + "/vord-windows";
    }
    if (dir.empty())
        return fallbackWindowsFolder("/tmp");
    return ensurePrivateFolder(dir, true) ? dir : std::string();
}

std::vector<WindowHandle> findWindows(std::optional<std::string_view> className,
                                      std::optional<std::string_view> title) {
    std::vector<WindowHandle> found;
    auto folder = openFolder();
    if (!folder)
        return found;
    for (const Entry& e : listEntries(*folder)) {
        if (className && !equalsNoCase(*className, e.className))
            continue;
        if (title && !equalsNoCase(*title, e.title))
            continue;
        Fd probe;
        if (connectLive(*folder, e, probe, kTransferTimeoutMs))
            found.push_back(e.handle);
    }
    return found;
}

WindowHandle findWindow(std::optional<std::string_view> className, std::optional<std::string_view> title) {
    auto folder = openFolder();
    if (!folder)
        return 0;
    for (const Entry& e : listEntries(*folder)) {
        if (className && !equalsNoCase(*className, e.className))
            continue;
        if (title && !equalsNoCase(*title, e.title))
            continue;
        Fd probe;
        if (connectLive(*folder, e, probe, kTransferTimeoutMs))
            return e.handle;
    }
    return 0;
}

bool isWindow(WindowHandle window) {
    Fd probe;
    return connectHandle(window, probe, kTransferTimeoutMs);
}

bool postMessage(WindowHandle window, std::uint32_t msg, std::uint64_t wParam, std::uint64_t lParam,
                 std::span<const std::uint8_t> data) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kTransferTimeoutMs);
    Fd s;
    if (!connectHandle(window, s, kTransferTimeoutMs))
        return false;
    return writeEnvelope(s.get(), kKindPost, msg, wParam, lParam, data, deadline);
}

std::optional<std::uint64_t> sendMessage(WindowHandle window, std::uint32_t msg, std::uint64_t wParam,
                                         std::uint64_t lParam, std::span<const std::uint8_t> data, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    Fd s;
    if (!connectHandle(window, s, std::max(1, timeoutMs)))
        return std::nullopt;
    if (!writeEnvelope(s.get(), kKindSend, msg, wParam, lParam, data, deadline))
        return std::nullopt;
    unsigned char reply[kReplySize];
    if (!readAll(s.get(), reply, sizeof reply, deadline) || getU32(reply) != kReplyMagic)
        return std::nullopt;
    return getU64(reply + 4);
}

// One connection the listener reads: its envelope as far as it has come, and the one moment it is dropped
// at, whatever its peer does meanwhile.
struct Connection {
    Fd fd;
    Clock::time_point deadline;
    unsigned char header[kHeaderSize];
    size_t headerHave = 0;
    WindowMessage message;
    size_t dataHave = 0;
};

// What the listener thread shares with its owner. The thread keeps its own reference, so a window that is
// unregistered from inside its own handler stays valid until that handler has returned.
struct ListenerState {
    Fd listenFd;
    Fd wakeRead;
    Fd wakeWrite;
    WindowListener::Handler handler;
    std::vector<std::unique_ptr<Connection>> open;

    // Takes every connection waiting to be accepted, each with its deadline from now.
    void acceptWaiting() {
        for (;;) {
            Fd conn(::accept4(listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            if (!conn) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                return; // EAGAIN: nothing more waits
            }
            // Only our own user (or the superuser) can reach the folder; the check keeps it so if the folder's
            // permissions were ever widened.
            ucred cred{};
            socklen_t credLen = sizeof cred;
            if (::getsockopt(conn.get(), SOL_SOCKET, SO_PEERCRED, &cred, &credLen) != 0 ||
                (cred.uid != ::geteuid() && cred.uid != 0))
                continue;
            if (open.size() >= kMaxOpenConnections)
                continue; // closed at once: no connection waits past its limit for a free place
            auto c = std::make_unique<Connection>();
            c->fd = std::move(conn);
            c->deadline = Clock::now() + std::chrono::milliseconds(kTransferTimeoutMs);
            open.push_back(std::move(c));
        }
    }

    // Reads what the peer has sent. False when the connection is done with: the peer closed or failed (a
    // finder that only checks that we are alive connects and closes at once), the envelope was refused, or it
    // was handled.
    bool readMore(Connection& c) {
        for (;;) {
            unsigned char* into;
            size_t want;
            if (c.headerHave < kHeaderSize) {
                into = c.header + c.headerHave;
                want = kHeaderSize - c.headerHave;
            } else {
                into = c.message.data.data() + c.dataHave;
                want = c.message.data.size() - c.dataHave;
            }
            if (want > 0) {
                const ssize_t n = ::recv(c.fd.get(), into, want, MSG_DONTWAIT);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                    return true; // more to come
                if (n <= 0)
                    return false;
                if (c.headerHave < kHeaderSize) {
                    c.headerHave += static_cast<size_t>(n);
                    if (c.headerHave == kHeaderSize && !takeHeader(c))
                        return false;
                } else {
                    c.dataHave += static_cast<size_t>(n);
                }
            }
            if (c.headerHave == kHeaderSize && c.dataHave == c.message.data.size()) {
                handle(c);
                return false;
            }
        }
    }

    static bool takeHeader(Connection& c) {
        const std::uint32_t kind = getU32(c.header + 4);
        const std::uint32_t size = getU32(c.header + 28);
        if (getU32(c.header) != kMagic || (kind != kKindPost && kind != kKindSend) || size > kMaxData)
            return false;
        c.message.msg = getU32(c.header + 8);
        c.message.wParam = getU64(c.header + 12);
        c.message.lParam = getU64(c.header + 20);
        c.message.isSend = kind == kKindSend;
        c.message.data.resize(size);
        return true;
    }

    void handle(Connection& c) {
        std::uint64_t result = 0;
        try {
            if (handler)
                result = handler(c.message);
        } catch (...) {
            // A failing handler answers 0, like a window that did not accept the message; the window lives on.
            result = 0;
        }
        if (c.message.isSend) {
            unsigned char reply[kReplySize];
            putU32(reply, kReplyMagic);
            putU64(reply + 4, result);
            // The sender waits for these few bytes, so its socket has room for them: they go at once or not at
            // all, and the connection is not kept for them past its deadline.
            writeAll(c.fd.get(), reply, sizeof reply, c.deadline);
        }
    }

    void run() {
        std::vector<pollfd> fds;
        for (;;) {
            fds.clear();
            fds.push_back({listenFd.get(), POLLIN, 0});
            fds.push_back({wakeRead.get(), POLLIN, 0});
            Clock::time_point first = Clock::time_point::max();
            for (const auto& c : open) {
                fds.push_back({c->fd.get(), POLLIN, 0});
                first = std::min(first, c->deadline);
            }
            const int r = ::poll(fds.data(), fds.size(), open.empty() ? -1 : msUntil(first));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0 || fds[1].revents != 0)
                return;
            // Connections already open first, in the order they came; then the new ones.
            std::vector<std::unique_ptr<Connection>> keep;
            for (size_t i = 0; i < open.size(); ++i) {
                auto& c = open[i];
                const bool ready = fds[i + 2].revents != 0;
                if ((ready && !readMore(*c)) || Clock::now() >= c->deadline)
                    continue; // done with, or past its deadline: closed here
                keep.push_back(std::move(c));
            }
            open = std::move(keep);
            if (fds[0].revents & POLLIN)
                acceptWaiting();
        }
    }
};

struct WindowListener::Impl {
    std::mutex mutex;
    std::shared_ptr<ListenerState> state;
    std::thread thread;
    std::string folder;
    std::string fileName;
    WindowHandle handle = 0;
};

WindowListener::WindowListener() : impl_(std::make_unique<Impl>()) {}

WindowListener::~WindowListener() {
    unregisterWindow();
}

WindowHandle WindowListener::handle() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->handle;
}

bool WindowListener::registerWindow(std::string_view className, std::string_view title, Handler handler) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->state)
        return false;
    auto folder = openFolder();
    if (!folder)
        return false;
    const std::string names = "~" + encodeName(className) + "~" + encodeName(title);
    if (names.size() + 16 > 255)
        return false;

    auto state = std::make_shared<ListenerState>();
    state->handler = std::move(handler);
    state->listenFd = Fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!state->listenFd)
        return false;

    // The socket is bound and listening under a temporary name before it gets its findable name, so a
    // finder never sees a window that refuses connections and takes it for a dead one.
    static std::atomic<unsigned> counter{0};
    const std::string tempName = ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) +
                                 "-" + handleText(newHandle());
    sockaddr_un addr;
    socklen_t len;
    if (!socketAddress(folder->fd.get(), folder->path, tempName, addr, len))
        return false;
    ::unlinkat(folder->fd.get(), tempName.c_str(), 0);
    if (::bind(state->listenFd.get(), reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::listen(state->listenFd.get(), 16) != 0) {
        ::unlinkat(folder->fd.get(), tempName.c_str(), 0);
        return false;
    }
    WindowHandle h = newHandle();
    std::string finalName;
    for (int attempt = 0;; ++attempt, ++h) {
        finalName = handleText(h) + names;
        if (::renameat2(folder->fd.get(), tempName.c_str(), folder->fd.get(), finalName.c_str(), RENAME_NOREPLACE) == 0)
            break;
        if (errno == EINVAL && ::faccessat(folder->fd.get(), finalName.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) != 0 &&
            ::renameat(folder->fd.get(), tempName.c_str(), folder->fd.get(), finalName.c_str()) == 0)
            break;
        if ((errno != EEXIST && errno != EINVAL) || attempt > 100) {
            ::unlinkat(folder->fd.get(), tempName.c_str(), 0);
            return false;
        }
    }

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        ::unlinkat(folder->fd.get(), finalName.c_str(), 0);
        return false;
    }
    state->wakeRead = Fd(pipeFds[0]);
    state->wakeWrite = Fd(pipeFds[1]);

    impl_->state = state;
    impl_->folder = folder->path;
    impl_->fileName = finalName;
    impl_->handle = h;
    impl_->thread = std::thread([state] { state->run(); });
    return true;
}

void WindowListener::unregisterWindow() {
    std::shared_ptr<ListenerState> state;
    std::thread thread;
    {
        std::lock_guard lock(impl_->mutex);
        if (!impl_->state)
            return;
        // Not findable any more from here on.
        ::unlink((impl_->folder + "/" + impl_->fileName).c_str());
        state = std::move(impl_->state);
        thread = std::move(impl_->thread);
        impl_->handle = 0;
        impl_->fileName.clear();
    }
    const char stop = 1;
    [[maybe_unused]] const ssize_t n = ::write(state->wakeWrite.get(), &stop, 1);
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach(); // called from our own handler; the thread ends when the handler returns
    else if (thread.joinable())
        thread.join();
}

} // namespace plat::winmsg
