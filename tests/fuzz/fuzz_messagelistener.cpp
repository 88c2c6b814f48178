// The server's window as other programs reach it: whatever bytes a local program writes to the window's
// socket, or whatever a WM_COPYDATA carries, the listener answers or drops the connection within its time-out
// and goes on serving; a status request gets the whole status record back.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "commserver/app/StatusReply.h"
#include "platform/WindowMessages.h"

namespace wm = plat::winmsg;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The server's window and a window that asks for its status, in a private folder of their own.
struct Windows {
    std::string folder;
    std::string serverSocket;
    wm::WindowListener server;
    wm::WindowListener asker;
    std::atomic<int> replies{0};

    Windows() {
        char pattern[] = "/tmp/vord-fuzz-winmsg-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        check(made != nullptr);
        folder = made;
        ::setenv("VORD_WINDOWS_DIR", made, 1);
        static const std::string made_ = made;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(made_, ec);
        });
        // What the server's window does with a WM_COPYDATA that is no window toggle: the status request
        // answers the window its dwData names; every other command is taken and ignored.
        check(server.registerWindow(
            quendar::kServerWindowClass, quendar::kServerWindowTitle, [this](const wm::WindowMessage& m) {
                if (m.msg != wm::WM_COPYDATA)
                    return std::uint64_t{0};
                const auto command = quendar::CopyDataCommandOf(m.data);
                if (command && *command == quendar::CopyDataCommand::Status && m.lParam != 0 &&
                    m.lParam != server.handle()) {
                    quendar::StatusInputs in;
                    in.iniPath = "Quendar32.Ini";
                    const quendar::StatusReply reply = quendar::BuildStatusReply(in);
                    wm::sendMessage(m.lParam, wm::WM_COPYDATA, server.handle(), server.handle(), reply, 500);
                }
                return std::uint64_t{1};
            }));
        check(asker.registerWindow("Cls", "Status Asker", [this](const wm::WindowMessage& m) {
            check(m.msg == wm::WM_COPYDATA && m.data.size() == static_cast<std::size_t>(quendar::kStatusReplySize));
            replies.fetch_add(1);
            return std::uint64_t{1};
        }));
        DIR* d = ::opendir(made);
        check(d != nullptr);
        const std::string prefix = [&] {
            char buf[17];
            std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(server.handle()));
            return std::string(buf);
        }();
        while (dirent* e = ::readdir(d)) {
            if (std::string(e->d_name).rfind(prefix, 0) == 0)
                serverSocket = folder + "/" + e->d_name;
        }
        ::closedir(d);
        check(!serverSocket.empty() && serverSocket.size() < sizeof(sockaddr_un::sun_path));
    }
};

Windows& windows() {
    static Windows* w = new Windows();
    return *w;
}

// Writes the bytes to the server's socket as a program of ours could, ends the writing side, and reads what
// comes back until the listener closes the connection.
void rawExchange(const Windows& w, const std::uint8_t* data, std::size_t size) {
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    check(s >= 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, w.serverSocket.data(), w.serverSocket.size());
    check(::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(s, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break; // the listener refused the envelope and closed
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(s, SHUT_WR);
    // The listener gives up on a peer after its transfer time-out; it must never keep a connection longer.
    std::size_t got = 0;
    for (;;) {
        pollfd p{s, POLLIN, 0};
        check(::poll(&p, 1, 5000) == 1);
        std::uint8_t buf[64];
        const ssize_t n = ::recv(s, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    check(got == 0 || got == 12);
    ::close(s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Windows& w = windows();
    if (size == 0)
        return 0;
    if (data[0] & 1) {
        // A WM_COPYDATA as the main program sends it; dwData names the asker when the first bit says so.
        const std::uint64_t dwData = (data[0] & 2) ? w.asker.handle() : 0;
        const int before = w.replies.load();
        const auto r = wm::sendMessage(w.server.handle(), wm::WM_COPYDATA, 0, dwData,
                                       std::span<const std::uint8_t>(data + 1, size - 1), 5000);
        check(r == std::optional<std::uint64_t>(1));
        const auto command = quendar::CopyDataCommandOf(std::span<const std::uint8_t>(data + 1, size - 1));
        if (dwData != 0 && command && *command == quendar::CopyDataCommand::Status)
            check(w.replies.load() == before + 1);
    } else {
        rawExchange(w, data + 1, size - 1);
    }
    check(wm::isWindow(w.server.handle()));
    return 0;
}
