#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/WindowMessages.h"

using namespace plat::winmsg;
namespace fs = std::filesystem;

namespace {

// Messages a window received, with a bounded wait for the next ones.
class Inbox {
public:
    std::uint64_t take(const WindowMessage& m, std::uint64_t answer = 1) {
        std::lock_guard lock(mutex_);
        messages_.push_back(m);
        changed_.notify_all();
        return answer;
    }
    // The first n messages, or fewer when they do not come within a few seconds.
    std::vector<WindowMessage> wait(std::size_t n) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(5), [&] { return messages_.size() >= n; });
        return messages_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<WindowMessage> messages_;
};

class WindowMessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vord-winmsg-XXXXXX";
        folder = ::mkdtemp(pattern);
        ::setenv("VORD_WINDOWS_DIR", folder.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("VORD_WINDOWS_DIR");
        fs::remove_all(folder);
    }
    std::size_t filesInFolder() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
    // A connection as another program opens it to the socket of the one window in the folder (-1: none).
    int connectToTheWindow() const {
        fs::path file;
        for (const auto& e : fs::directory_iterator(folder))
            file = e.path();
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            return -1;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, file.c_str(), sizeof addr.sun_path - 1);
        if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(s);
            return -1;
        }
        return s;
    }
    std::string folder;
};

TEST_F(WindowMessagesTest, AWindowIsFoundByClassAndTitleWithoutRegardToCase) {
    Inbox inbox;
    WindowListener server;
    ASSERT_TRUE(server.registerWindow("Afx:400000:0", "Quarn Communications",
                                      [&](const WindowMessage& m) { return inbox.take(m); }));
    ASSERT_NE(server.handle(), 0u);
    EXPECT_EQ(findWindow("Afx:400000:0", "Quarn Communications"), server.handle());
    EXPECT_EQ(findWindow("AFX:400000:0", "quarn communications"), server.handle());
    EXPECT_EQ(findWindow(std::nullopt, "QUARN COMMUNICATIONS"), server.handle());
    EXPECT_EQ(findWindow("Afx:400000:0", std::nullopt), server.handle());
    EXPECT_EQ(findWindow("Afx:400000:0", "Quarn Communication"), 0u);
    EXPECT_EQ(findWindow("Other", "Quarn Communications"), 0u);
    EXPECT_TRUE(isWindow(server.handle()));

    server.unregisterWindow();
    EXPECT_EQ(findWindow("Afx:400000:0", "Quarn Communications"), 0u);
    EXPECT_FALSE(postMessage(server.handle(), WM_CLOSE));
    EXPECT_EQ(filesInFolder(), 0u);
}

TEST_F(WindowMessagesTest, PostsArriveInOrderWithTheirWords) {
    Inbox inbox;
    WindowListener server;
    ASSERT_TRUE(server.registerWindow("Afx:400000:0", "Quarn Communications",
                                      [&](const WindowMessage& m) { return inbox.take(m); }));
    const WindowHandle w = findWindow("Afx:400000:0", "Quarn Communications");
    ASSERT_TRUE(postMessage(w, WM_CANCELMODE));
    const std::vector<std::uint8_t> data = {1, 2, 3, 0, 255};
    ASSERT_TRUE(postMessage(w, WM_CLOSE, 0x1122334455667788ull, 42, data));
    const auto got = inbox.wait(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].msg, WM_CANCELMODE);
    EXPECT_FALSE(got[0].isSend);
    EXPECT_TRUE(got[0].data.empty());
    EXPECT_EQ(got[1].msg, WM_CLOSE);
    EXPECT_EQ(got[1].wParam, 0x1122334455667788ull);
    EXPECT_EQ(got[1].lParam, 42u);
    EXPECT_EQ(got[1].data, data);
}

TEST_F(WindowMessagesTest, ASendReturnsTheHandlersResultWithinItsTimeOut) {
    WindowListener server;
    std::mutex gate;
    std::unique_lock held(gate, std::defer_lock);
    ASSERT_TRUE(server.registerWindow("Cls", "Title", [&](const WindowMessage& m) -> std::uint64_t {
        if (m.msg == 1) {
            std::lock_guard wait(gate); // blocks while the test holds the gate
            return 0;
        }
        return m.data.size() * 1000 + m.wParam;
    }));
    const std::vector<std::uint8_t> record(396, 0x5A);
    EXPECT_EQ(sendMessage(server.handle(), WM_COPYDATA, 7, 0, record, 2000), std::optional<std::uint64_t>(396007));

    held.lock();
    EXPECT_EQ(sendMessage(server.handle(), 1, 0, 0, {}, 100), std::nullopt) << "a hung window does not hang us";
    held.unlock();
    EXPECT_EQ(sendMessage(server.handle(), WM_COPYDATA, 1, 0, {}, 2000), std::optional<std::uint64_t>(1));
}

TEST_F(WindowMessagesTest, TheNewestOfTwoLikeWindowsIsFoundFirst) {
    WindowListener older, newer;
    ASSERT_TRUE(older.registerWindow("Cls", "Twin", nullptr));
    ASSERT_TRUE(newer.registerWindow("Cls", "Twin", nullptr));
    EXPECT_EQ(findWindow("Cls", "Twin"), newer.handle());
    EXPECT_EQ(findWindows("Cls", "Twin"), (std::vector<WindowHandle>{newer.handle(), older.handle()}));
}

TEST_F(WindowMessagesTest, ASocketNobodyListensOnIsNotAWindowAndIsRemoved) {
    // What a program that died without cleaning up leaves behind.
    const std::string name = folder + "/00000000000000ff~Cls~Dead";
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, name.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(s);
    ASSERT_TRUE(fs::exists(name));
    EXPECT_EQ(findWindow("Cls", "Dead"), 0u);
    EXPECT_FALSE(fs::exists(name));
}

TEST_F(WindowMessagesTest, AnyBytesInClassAndTitleStayInsideTheFolder) {
    const std::string nasty = "../../etc/x~%41/\t\xC3\xA9 ..";
    Inbox inbox;
    WindowListener w;
    ASSERT_TRUE(w.registerWindow(nasty, nasty, [&](const WindowMessage& m) { return inbox.take(m); }));
    EXPECT_EQ(filesInFolder(), 1u);
    EXPECT_EQ(findWindow(nasty, nasty), w.handle());
    EXPECT_EQ(findWindow("x~A", nasty), 0u);
    // Long names still fit, whatever the folder's path.
    WindowListener longName;
    ASSERT_TRUE(longName.registerWindow("QUARN Communications Manager", std::string(60, 'T'), nullptr));
    EXPECT_EQ(findWindow(std::nullopt, std::string(60, 't')), longName.handle());
}

TEST_F(WindowMessagesTest, GarbageOnTheSocketDoesNotStopTheWindow) {
    Inbox inbox;
    WindowListener server;
    ASSERT_TRUE(server.registerWindow("Cls", "Robust", [&](const WindowMessage& m) { return inbox.take(m); }));
    for (const std::string& junk : {std::string("not an envelope at all, just bytes"),
                                    std::string("VWM1\x01\0\0\0\x10\0\0\0", 12) + std::string(20, '\xff')}) {
        const int s = connectToTheWindow();
        ASSERT_GE(s, 0);
        ASSERT_GT(::write(s, junk.data(), junk.size()), 0);
        ::close(s);
    }
    ASSERT_TRUE(postMessage(server.handle(), WM_CLOSE));
    const auto got = inbox.wait(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, WM_CLOSE);
}

TEST_F(WindowMessagesTest, APeerThatTricklesItsEnvelopeIsDroppedAtTheLimitAndHoldsNobodyUp) {
    Inbox inbox;
    WindowListener server;
    ASSERT_TRUE(server.registerWindow("Cls", "Patient", [&](const WindowMessage& m) { return inbox.take(m, 7); }));
    const int trickler = connectToTheWindow();
    ASSERT_GE(trickler, 0);
    // A post's header that announces 1000 bytes of data, of which the peer sends one now and then.
    std::string header("VWM1\x01\0\0\0", 8);
    header += std::string("\x11\x01\0\0", 4) + std::string(16, '\0') + std::string("\xe8\x03\0\0", 4);
    ASSERT_EQ(header.size(), 32u);
    ASSERT_EQ(::send(trickler, header.data(), header.size(), MSG_NOSIGNAL), 32);
    ASSERT_EQ(::send(trickler, "x", 1, MSG_NOSIGNAL), 1);
    auto closedByListener = [&](int waitMs) {
        pollfd p{trickler, POLLIN, 0};
        if (::poll(&p, 1, waitMs) != 1)
            return false;
        char c;
        return ::recv(trickler, &c, 1, MSG_DONTWAIT) == 0;
    };

    // Meanwhile another program's send is answered: the listener does not wait on the slow peer.
    EXPECT_EQ(sendMessage(server.handle(), WM_COMMAND, 5, 0, {}, 5000), std::optional<std::uint64_t>(7));
    EXPECT_FALSE(closedByListener(0)) << "the send was answered only after the slow peer was dropped";

    // However steadily the bytes come, the connection ends at its one limit; the bound here only keeps a
    // listener that never drops it from hanging the test.
    bool dropped = false;
    for (int i = 0; i < 600 && !dropped; ++i) {
        if (::send(trickler, "x", 1, MSG_NOSIGNAL) != 1)
            dropped = true;
        else
            dropped = closedByListener(100);
    }
    ::close(trickler);
    EXPECT_TRUE(dropped) << "a peer that keeps sending bytes is never dropped";

    // The half envelope reached nobody, and the window still serves the next program.
    EXPECT_EQ(sendMessage(server.handle(), WM_COMMAND, 6, 0, {}, 5000), std::optional<std::uint64_t>(7));
    const auto got = inbox.wait(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].wParam, 5u);
    EXPECT_EQ(got[1].wParam, 6u);
}

TEST_F(WindowMessagesTest, PeersThatStallHoldUpNoneOfTheOthers) {
    Inbox inbox;
    WindowListener server;
    ASSERT_TRUE(server.registerWindow("Cls", "Busy", [&](const WindowMessage& m) { return inbox.take(m, 3); }));
    // Several programs connect and say nothing.
    std::vector<int> stalled;
    for (int i = 0; i < 8; ++i) {
        const int s = connectToTheWindow();
        ASSERT_GE(s, 0);
        stalled.push_back(s);
    }
    // Served one after another they would keep a sender waiting past its time-out.
    EXPECT_EQ(sendMessage(server.handle(), WM_COMMAND, 1, 0, {}, 5000), std::optional<std::uint64_t>(3));
    for (int s : stalled)
        ::close(s);
}

TEST_F(WindowMessagesTest, AnotherProgramFindsTheServerAndClosesIt) {
    Inbox inbox;
    WindowListener server;
    ASSERT_TRUE(server.registerWindow("Afx:400000:0", "Quarn Communications",
                                      [&](const WindowMessage& m) { return inbox.take(m); }));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const WindowHandle w = findWindow("Afx:400000:0", "Quarn Communications");
        const bool ok = w != 0 && postMessage(w, WM_CANCELMODE) && postMessage(w, WM_CLOSE);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto got = inbox.wait(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].msg, WM_CANCELMODE);
    EXPECT_EQ(got[1].msg, WM_CLOSE);
}

TEST_F(WindowMessagesTest, TheFolderIsPrivate) {
    const std::string sub = folder + "/made-here";
    ::setenv("VORD_WINDOWS_DIR", sub.c_str(), 1);
    EXPECT_EQ(windowsFolder(), sub);
    struct stat st {};
    ASSERT_EQ(::stat(sub.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const std::string open = folder + "/open-to-all";
    ASSERT_EQ(::mkdir(open.c_str(), 0755), 0);
    ::chmod(open.c_str(), 0755);
    ::setenv("VORD_WINDOWS_DIR", open.c_str(), 1);
    EXPECT_EQ(windowsFolder(), "") << "a folder others can enter is refused";
    WindowListener w;
    EXPECT_FALSE(w.registerWindow("Cls", "Title", nullptr));
    EXPECT_EQ(findWindow("Cls", "Title"), 0u);
}

// Without a runtime folder the windows meet below /tmp, where anyone may have made the usual name first.
struct Planted {
    const char* name;
    bool usualNameKept; // the usual name is ours and private: used as it is
};

class WindowsFolderFallback : public WindowMessagesTest, public ::testing::WithParamInterface<Planted> {};

TEST_P(WindowsFolderFallback, IsAlwaysAPrivateFolderOfOurs) {
    const std::string uid = std::to_string(::geteuid());
    const std::string usual = folder + "/vord-windows-" + uid;
    const std::string kind = GetParam().name;
    const uid_t someoneElse = ::geteuid() + 4242;
    if (kind == "taken by another user" || kind == "ours but open to all") {
        ASSERT_EQ(::mkdir(usual.c_str(), 0700), 0);
        ::chmod(usual.c_str(), kind == "ours but open to all" ? 0777 : 0700);
        if (kind == "taken by another user" && ::chown(usual.c_str(), someoneElse, someoneElse) != 0)
            GTEST_SKIP() << "only the superuser can make a folder for another user";
    } else if (kind == "a link to another folder") {
        ASSERT_EQ(::mkdir((folder + "/elsewhere").c_str(), 0700), 0);
        ASSERT_EQ(::symlink((folder + "/elsewhere").c_str(), usual.c_str()), 0);
    } else if (kind == "a file") {
        std::ofstream(usual) << "x";
    }
    // A decoy of the fresh folders' form that sorts first: someone else's, so never used.
    const std::string decoy = folder + "/vord-windows-" + uid + "-AAAAAA";
    ASSERT_EQ(::mkdir(decoy.c_str(), 0777), 0);
    ::chmod(decoy.c_str(), 0777);

    const std::string got = fallbackWindowsFolder(folder);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got == usual, GetParam().usualNameKept) << got;
    EXPECT_NE(got, decoy);
    struct stat st {};
    ASSERT_EQ(::lstat(got.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(fallbackWindowsFolder(folder), got) << "every program of ours meets in the same folder";

    // The server starts there and is found there.
    ::setenv("VORD_WINDOWS_DIR", got.c_str(), 1);
    WindowListener w;
    ASSERT_TRUE(w.registerWindow("Afx:400000:0", "Quarn Communications", nullptr));
    EXPECT_EQ(findWindow("Afx:400000:0", "Quarn Communications"), w.handle());
}

INSTANTIATE_TEST_SUITE_P(Table, WindowsFolderFallback,
                         ::testing::Values(Planted{"nothing", true}, Planted{"taken by another user", false},
                                           Planted{"ours but open to all", false},
                                           Planted{"a link to another folder", false}, Planted{"a file", false}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace(n.begin(), n.end(), ' ', '_');
                             return n;
                         });

TEST_F(WindowMessagesTest, AWindowMayCloseItselfFromItsOwnHandler) {
    auto w = std::make_unique<WindowListener>();
    std::atomic<bool> closed{false};
    ASSERT_TRUE(w->registerWindow("Cls", "SelfClosing", [&](const WindowMessage& m) -> std::uint64_t {
        if (m.msg == WM_CLOSE) {
            w->unregisterWindow();
            closed = true;
        }
        return 1;
    }));
    EXPECT_EQ(sendMessage(w->handle(), WM_CLOSE, 0, 0, {}, 2000), std::optional<std::uint64_t>(1));
    EXPECT_TRUE(closed);
    EXPECT_EQ(findWindow("Cls", "SelfClosing"), 0u);
}

} // namespace
