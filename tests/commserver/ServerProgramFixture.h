#pragma once
// The server program itself (quendar32) started in a scratch server folder on a pseudo-terminal, with a home and
// window folders of its own, its history written to a log file the test reads; the remote unit on the other end.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <map>

#include "ServerFixture.h"

extern char** environ;

inline std::string ServerProgramPath() {
    if (const char* p = std::getenv("QUENDAR32_PROGRAM"); p && *p)
        return p;
    // Run outside CTest: the program folder of the same build.
    std::error_code ec;
    const fs::path guess = fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "bin" / "quendar32";
    return !ec && fs::exists(guess) ? guess.string() : std::string();
}

class ServerProgram : public ::testing::Test {
protected:
    static constexpr int kPort = 31;

    void SetUp() override {
        program = ServerProgramPath();
        if (program.empty())
            GTEST_SKIP() << "the server program is not built";
        ASSERT_TRUE(pty.ok());
        // Private folders, as the program's window registry expects of its folder.
        for (const char* d : {"home", "windows", "system", "run"}) {
            fs::create_directories(box.root / d);
            fs::permissions(box.root / d, fs::perms::owner_all, fs::perm_options::replace);
        }
    }
    void TearDown() override {
        while (!running.empty())
            Kill(running.back());
    }

    // The settings file: the port, no optical delay, the history log, and what the test adds (sections of its own).
    void WriteSettings(const std::string& more = {}) {
        std::ofstream(box.server() / "Quendar32.Ini", std::ios::binary)
            << "[Communications]\r\nComPort=" << kPort << "\r\n"
            << "[LinkTimers]\r\nOpticalDelay=0\r\n"
            << "[HistoryDisplay]\r\nLogStatus=1\r\nLogFile=" << logPath().string() << "\r\n"
            << more;
    }

    template <class F> static bool WaitFor(F f, int ms = 15000) { return WaitUntil(f, ms); }
    fs::path logPath() const { return box.root / "history.log"; }
    std::string Log() const { return Text(ReadFile(logPath())); }

    // The program in the server folder, on the pseudo-terminal.
    pid_t Launch() {
        const std::map<std::string, std::string> own = {
            {"VORD_COM" + std::to_string(kPort + 1), pty.slavePath()},
            {"QT_QPA_PLATFORM", "offscreen"},
            {"HOME", (box.root / "home").string()},
            {"XDG_CONFIG_HOME", (box.root / "home").string()},
            {"XDG_RUNTIME_DIR", (box.root / "run").string()},
            {"VORD_WINDOWS_DIR", (box.root / "windows").string()},
            {"VORD_SYSTEM_FOLDER", (box.root / "system").string()},
        };
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!own.contains(entry.substr(0, entry.find('='))))
                env.push_back(entry);
        }
        for (const auto& [k, v] : own)
            env.push_back(k + "=" + v);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = {program,
                                         "/nobanner",
                                         "/noapplicationtray",
                                         "/dontstartcommonlogger",
                                         "/ini",
                                         (box.server() / "Quendar32.Ini").string()};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, box.server().c_str());
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        // What the program says on its own (a sanitizer's report among it) is kept for a test that sees it end.
        const std::string errors = (box.root / ("server-" + std::to_string(launches++) + ".err")).string();
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0) << std::strerror(rc);
        if (rc == 0) {
            running.push_back(pid);
            errorFiles[pid] = errors;
        }
        return rc == 0 ? pid : -1;
    }
    // Kills the program; a program that had ended by itself before (a crash, a sanitizer's report) fails the
    // test with what it said, whatever the remote unit saw of it.
    void Kill(pid_t pid) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ADD_FAILURE() << "the server ended by itself ("
                          << (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                                  : "exit code " + std::to_string(WEXITSTATUS(status)))
                          << "):\n"
                          << Text(ReadFile(errorFiles[pid]));
        } else {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        std::erase(running, pid);
    }
    // True once the port has been opened the given number of times since the first start.
    bool PortOpened(std::size_t times) {
        return WaitFor([&] {
            const std::string log = Log();
            std::size_t n = 0;
            for (std::size_t at = log.find("Com Port Opened OK"); at != std::string::npos;
                 at = log.find("Com Port Opened OK", at + 1))
                ++n;
            return n >= times;
        });
    }

    Sandbox box;
    PtyPair pty;
    RemoteUnit remote{pty.masterFd()};
    RemoteSession session{remote};
    std::string program;
    std::vector<pid_t> running;
    std::map<pid_t, std::string> errorFiles;
    int launches = 0;
};
