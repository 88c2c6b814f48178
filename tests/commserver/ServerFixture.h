#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "MemoryUserStore.h"
#include "commserver/HistoryLog.h"
#include "commserver/LinkServer.h"
#include "commserver/UserTables.h"
#include "remoteunit/PtyPair.h"
#include "remoteunit/RemoteSession.h"
#include "remoteunit/RemoteUnit.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A scratch folder tree: "server" is the server's folder, "drive_c" the root drive C is mapped to, "outside"
// a folder the server must never touch.
struct Sandbox {
    Sandbox() {
        char tmpl[] = "/tmp/quendar-test-XXXXXX";
        root = ::mkdtemp(tmpl);
        fs::create_directories(root / "server");
        fs::create_directories(root / "drive_c" / "data");
        fs::create_directories(root / "outside");
    }
    ~Sandbox() {
        std::error_code ec;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }
    fs::path server() const { return root / "server"; }
    fs::path driveC() const { return root / "drive_c"; }
    fs::path outside() const { return root / "outside"; }
    fs::path root;
};

// Polls f until it holds or ms have passed; its last answer decides.
template <class F> bool WaitUntil(F f, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (f())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return f();
}

inline void WriteFile(const fs::path& p, const Bytes& data) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}
inline void WriteFile(const fs::path& p, const std::string& text) {
    WriteFile(p, Bytes(text.begin(), text.end()));
}
inline Bytes ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}
inline std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}
inline Bytes Pattern(std::size_t n, unsigned seed = 7) {
    Bytes b(n);
    std::uint32_t x = seed;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<std::uint8_t>(x >> 16);
    }
    return b;
}

inline mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A move request's payload: the source's name, then the destination's.
inline Bytes MoveNames(const std::string& from, const std::string& to) {
    Bytes p = RemoteSession::Name(from);
    for (auto c : RemoteSession::Name(to))
        p.push_back(c);
    return p;
}

// The hidden files uploads are received into until they are whole.
inline std::vector<std::string> UploadTemporaries(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().starts_with(comms::kUploadTemporaryPrefix))
            out.push_back(e.path().filename().string());
    return out;
}

inline comms::UserRecord MakeUser(const std::string& name, const std::string& password) {
    comms::UserRecord u;
    u.userName = name;
    u.fullName = name + " Full";
    u.password = password;
    u.enabled = true;
    u.uncAllowed = u.programRunsAllowed = u.otherDirsAllowed = u.netDrivesAllowed = true;
    return u;
}

inline comms::UserRecord MakePolicy() {
    comms::UserRecord p = MakeUser(comms::kPolicyUserName, "");
    p.autoDisable = 100;
    return p;
}

// The server with its worker thread on a pseudo-terminal, the remote unit on the other end.
class ServerOverPty : public ::testing::Test {
protected:
    static constexpr int kPort = 31;

    void SetUp() override {
        ASSERT_TRUE(pty->ok());
        pty->mapToPort(kPort);
        server.SetPortNumber(kPort);
        server.Link().timers.OpticalDelay = 0;
        server.Paths().SetServerFolder(box.server().string());
        server.Paths().MapDrive('C', box.driveC().string());
        server.Paths().SetNetworkTest([](const std::string&) { return false; });
        MemoryUserStore::Add(*store, MakePolicy());
    }
    void TearDown() override { EXPECT_TRUE(server.Stop(20000)); }

    // Short link timers, so that a silent remote unit is given up on within seconds.
    void ShortenLinkTimers() {
        server.Link().timers.GetTimer = 2;
        server.Link().timers.AckTimer = 1;
        server.Link().timers.SendTimer = 2;
    }

    // Starts the worker and opens the port; true once it shows Ready.
    bool StartServer(int securityLevel = 0) {
        server.SetSecurityLevel(securityLevel);
        users.LoadUserTables(securityLevel, box.root.string());
        server.Start();
        server.PostRequest(comms::WorkerRequest::Reopen);
        return WaitFor([&] { return server.UiStatus() == comms::LinkStatus::Ready; });
    }

    template <class F> static bool WaitFor(F f, int ms = 10000) { return WaitUntil(f, ms); }

    // Waits until the server is Idle again after an operation.
    bool Settled() {
        return WaitFor([&] { return server.State() == comms::LinkState::Idle; });
    }

    std::vector<std::string> Events() const {
        std::vector<std::string> out;
        for (const auto& e : history.Snapshot())
            if (!e.text.empty())
                out.push_back(e.text);
        return out;
    }
    bool HasEvent(const std::string& text) const {
        for (const auto& e : Events())
            if (e.find(text) != std::string::npos)
                return true;
        return false;
    }
    std::uint32_t Stat(comms::LinkCounter c) { return server.Link().statistics.Get(c); }

    Sandbox box;
    std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>();
    std::shared_ptr<MemoryUserStore::Shared> store = std::make_shared<MemoryUserStore::Shared>();
    comms::HistoryLog history;
    comms::UserTables users{std::make_unique<MemoryUserStore>(store)};
    comms::LinkServer server{history, users};
    RemoteUnit remote{pty->masterFd()};
    RemoteSession session{remote};
};
