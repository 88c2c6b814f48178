// The server's window as other programs reach it: whatever bytes a local program writes to the window's
// socket, and whatever a WM_COPYDATA carries, the listener answers or drops the connection within its time-out
// and the window handles the message on its own thread (toggling its windows, asking for a reopen, sending
// the status record to the asker) and goes on serving. A close or exit ends the window; it is started again.
#include <QApplication>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/CMainFrame.h"
#include "commserver/app/EngineFactory.h"
#include "commserver/app/StatusReply.h"
#include "platform/WindowMessages.h"

namespace wm = plat::winmsg;
namespace fs = std::filesystem;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The server program without a port, in folders of its own, and a window that asks for its status.
struct Server {
    fs::path root;
    std::string ini;
    std::unique_ptr<CCommsServerApp> app;
    wm::WindowListener asker;
    std::atomic<int> replies{0};

    Server() {
        char pattern[] = "/tmp/vord-fuzz-winmsg-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        check(made != nullptr);
        root = made;
        static const std::string cleanUp = made;
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(cleanUp, ec);
        });
        fs::create_directories(root / "windows");
        fs::permissions(root / "windows", fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(root / "system");
        ::setenv("VORD_WINDOWS_DIR", (root / "windows").c_str(), 1);
        ::setenv("VORD_SYSTEM_FOLDER", (root / "system").c_str(), 1);
        ini = (root / "Quendar32.Ini").string();
        // No port: a reopen request must not reach for a real serial line.
        std::ofstream(ini, std::ios::binary) << "[Communications]\r\nComPort=-1\r\n[Security]\r\nEnforceSecurity=0\r\n";
        check(asker.registerWindow("Cls", "Status Asker", [this](const wm::WindowMessage& m) {
            check(m.msg == wm::WM_COPYDATA && m.data.size() == static_cast<std::size_t>(quendar::kStatusReplySize));
            replies.fetch_add(1);
            return std::uint64_t{1};
        }));
        start();
    }

    void start() {
        app = std::make_unique<CCommsServerApp>(quendar::MakeServerEngine);
        check(app->InitInstance({"/nobanner", "/noapplicationtray", "/dontstartcommonlogger", "/ini", ini}));
    }
    // A message that closed the window ends the program; the next input finds it started again.
    void restartWhenClosed() {
        if (app->mainFrame && !app->mainFrame->Destroyed())
            return;
        check(app->ExitInstance());
        app.reset();
        QCoreApplication::processEvents();
        start();
    }
    CMainFrame& frame() { return *app->mainFrame; }

    // The window's socket file.
    std::string socketPath() {
        char prefix[17];
        std::snprintf(prefix, sizeof prefix, "%016llx", static_cast<unsigned long long>(frame().Handle()));
        std::string found;
        if (DIR* d = ::opendir((root / "windows").c_str())) {
            while (dirent* e = ::readdir(d)) {
                if (std::string(e->d_name).rfind(prefix, 0) == 0)
                    found = (root / "windows" / e->d_name).string();
            }
            ::closedir(d);
        }
        return found;
    }
};

Server& server() {
    static int argc = 3;
    static char arg0[] = "fuzz_messagelistener";
    static char arg1[] = "-platform";
    static char arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    static QApplication* qapp = new QApplication(argc, argv);
    (void)qapp;
    static Server* s = new Server();
    return *s;
}

// Writes the bytes to the window's socket as a program of ours could, ends the writing side, and reads what
// comes back until the listener closes the connection.
void rawExchange(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    check(s >= 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    check(path.size() < sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.data(), path.size());
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

// The font library keeps a few blocks of its cache unreachable until the process ends; that is the library's
// own business, not a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

// Everything is started before the first input, and each window the messages toggle is opened and closed
// once: what the libraries keep for the rest of the process (fonts among it) is not taken for a leak.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Server& s = server();
    for (std::uint8_t command = 3; command <= 7; ++command) {
        for (int twice = 0; twice < 2; ++twice) {
            s.frame().OnCopyData(0, {command, 0, 0, 0});
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    // The worker ends before the process does, as it does when the program ends.
    std::atexit([] { server().app->ExitInstance(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Server& s = server();
    if (size == 0)
        return 0;
    s.restartWhenClosed();
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] & 1) {
        // A WM_COPYDATA as a manager program sends it; dwData names the asker when the second bit says so.
        const std::uint64_t dwData = (data[0] & 2) ? s.asker.handle() : 0;
        const int before = s.replies.load();
        const auto r = wm::sendMessage(s.frame().Handle(), wm::WM_COPYDATA, 0, dwData, rest, 5000);
        check(r == std::optional<std::uint64_t>(1));
        QCoreApplication::processEvents();
        const auto command = quendar::CopyDataCommandOf(rest);
        if (dwData != 0 && command && *command == quendar::CopyDataCommand::Status)
            check(s.replies.load() == before + 1);
    } else {
        const std::string path = s.socketPath();
        check(!path.empty());
        rawExchange(path, rest.data(), rest.size());
        QCoreApplication::processEvents();
    }
    // Windows that were closed go now, as the program's loop would let them.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!s.frame().Destroyed())
        check(wm::isWindow(s.frame().Handle()));
    return 0;
}
