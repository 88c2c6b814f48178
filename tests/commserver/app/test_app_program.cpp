// The built server program itself, started as the main program starts it.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <condition_variable>
#include <csignal>
#include <fstream>
#include <mutex>
#include <sstream>

#include <unistd.h>

#include "TestEnv.h"
#include "commserver/app/StatusReply.h"
#include "platform/ProfileFile.h"
#include "platform/WindowMessages.h"
#include "remoteunit/PtyPair.h"

namespace wm = plat::winmsg;

namespace {

class ServerProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env_.insert(QStringLiteral("VORD_WINDOWS_DIR"), windows_.path());
        env_.insert(QStringLiteral("VORD_SYSTEM_FOLDER"), system_.path());
        // COM1 is a device that is not there: the server reports that its port did not open.
        env_.insert(QStringLiteral("VORD_COM1"), cwd_.filePath(QStringLiteral("no-such-tty")));
        qputenv("VORD_WINDOWS_DIR", QFile::encodeName(windows_.path()));
    }
    void TearDown() override {
        for (QProcess* p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
            delete p;
        }
        qunsetenv("VORD_WINDOWS_DIR");
    }
    // Started from its folder without arguments, as the main program's import starts it.
    QProcess* launch(const QStringList& args = {}) {
        auto* p = new QProcess;
        processes_.push_back(p);
        p->setProcessEnvironment(env_);
        p->setWorkingDirectory(cwd_.path());
        p->start(builtProgram("QUENDAR32_PROGRAM"), args);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }
    static wm::WindowHandle waitForServer() {
        return waitForWindow(quendar::kServerWindowClass, quendar::kServerWindowTitle);
    }
    plat::ProfileFile ini() const {
        return plat::ProfileFile(QDir(cwd_.path()).filePath(QStringLiteral("Quendar32.Ini")).toStdString());
    }

    QTemporaryDir cwd_;
    QTemporaryDir windows_;
    QTemporaryDir system_;
    QProcessEnvironment env_;
    std::vector<QProcess*> processes_;
};

// The outside common logger, as far as the server knows it: a window of that title that takes every history
// event the server forwards. Its messages arrive on the window interface's own thread.
class CommonLoggerWindow {
public:
    CommonLoggerWindow() {
        listener_.registerWindow("LoggerClass", "QUARN Common Logger",
                                 [this](const wm::WindowMessage& m) -> std::uint64_t {
                                     if (m.msg == wm::WM_COPYDATA && m.data.size() > 104) {
                                         const char* text = reinterpret_cast<const char*>(m.data.data() + 104);
                                         std::lock_guard lock(mutex_);
                                         events_.emplace_back(text, strnlen(text, m.data.size() - 104));
                                     }
                                     return 1;
                                 });
    }
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // Waits until an event holding text has come; false when none came in time.
    bool waitFor(const std::string& text, int ms = 20000) const {
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            if (count(text) > 0)
                return true;
            QThread::msleep(20);
        }
        return false;
    }
    int count(const std::string& text) const {
        int n = 0;
        for (const std::string& e : events())
            n += e.find(text) != std::string::npos ? 1 : 0;
        return n;
    }

private:
    wm::WindowListener listener_;
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

TEST_F(ServerProgramTest, TheImportsCloseMessagesEndTheServerInOrder) {
    // No port of its own here: a port number outside the list.
    std::ofstream(QDir(cwd_.path()).filePath(QStringLiteral("quendar32.ini")).toStdString())
        << "[Communications]\nComPort=-1\n[History]\nActive=1\n";
    QProcess* server = launch({QStringLiteral("/nobanner")});
    const wm::WindowHandle w = waitForServer();
    ASSERT_NE(w, 0u) << server->readAllStandardError().toStdString();
    plat::ProfileFile file(QDir(cwd_.path()).filePath(QStringLiteral("quendar32.ini")).toStdString());
    EXPECT_EQ(file.GetString("Info", "Active"), "Active");

    ASSERT_TRUE(wm::postMessage(w, wm::WM_CANCELMODE));
    ASSERT_TRUE(wm::postMessage(w, wm::WM_CLOSE));
    ASSERT_TRUE(server->waitForFinished(20000));
    EXPECT_EQ(server->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server->exitCode(), 0) << server->readAllStandardError().toStdString();
    EXPECT_EQ(wm::findWindow(quendar::kServerWindowClass, quendar::kServerWindowTitle), 0u);
    EXPECT_EQ(file.GetString("Info", "Active"), "Inactive");
    EXPECT_FALSE(file.GetString("Info", "Stopped").empty());
    EXPECT_EQ(file.GetInt("History", "Active", -1), 1); // it was reopened at start and open at close
}

TEST_F(ServerProgramTest, ASecondStartEndsAtOnceAndTheFirstKeepsRunning) {
    QProcess* first = launch({QStringLiteral("/nobanner")});
    const wm::WindowHandle w = waitForServer();
    ASSERT_NE(w, 0u);
    QProcess* second = launch({QStringLiteral("/nobanner")});
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(wm::findWindow(quendar::kServerWindowClass, quendar::kServerWindowTitle), w);

    // A kill (the session ending) closes it as its Close command does.
    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    ASSERT_TRUE(first->waitForFinished(20000));
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_EQ(ini().GetString("Info", "Active"), "Inactive");
}

// Two servers started at the same moment, fifty times over: each time exactly one keeps running with one window,
// and the other ends at once, as a second start does.
TEST_F(ServerProgramTest, TwoServersStartedTogetherLeaveExactlyOneRunning) {
    // No port of its own here: a port number outside the list.
    std::ofstream(QDir(cwd_.path()).filePath(QStringLiteral("quendar32.ini")).toStdString())
        << "[Communications]\nComPort=-1\n";
    const QStringList args = {QStringLiteral("/nobanner"), QStringLiteral("/noapplicationtray"),
                              QStringLiteral("/dontstartcommonlogger")};
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        QProcess* a = new QProcess;
        QProcess* b = new QProcess;
        for (QProcess* p : {a, b}) {
            processes_.push_back(p);
            p->setProcessEnvironment(env_);
            p->setWorkingDirectory(cwd_.path());
        }
        // Both under way before either is waited for.
        a->start(builtProgram("QUENDAR32_PROGRAM"), args);
        b->start(builtProgram("QUENDAR32_PROGRAM"), args);
        ASSERT_TRUE(a->waitForStarted(10000));
        ASSERT_TRUE(b->waitForStarted(10000));
        const QDeadlineTimer deadline(10000);
        while (a->state() != QProcess::NotRunning && b->state() != QProcess::NotRunning && !deadline.hasExpired()) {
            a->waitForFinished(5);
            b->waitForFinished(5);
        }
        QProcess* second = a->state() == QProcess::NotRunning ? a : b;
        QProcess* first = second == a ? b : a;
        ASSERT_EQ(second->state(), QProcess::NotRunning) << "both servers stay up";
        EXPECT_EQ(second->exitCode(), 0);
        EXPECT_NE(second->readAllStandardError().toStdString().find("already running"), std::string::npos);
        ASSERT_NE(waitForServer(), 0u) << first->readAllStandardError().toStdString();
        EXPECT_EQ(first->state(), QProcess::Running);
        EXPECT_EQ(wm::findWindows(quendar::kServerWindowClass, quendar::kServerWindowTitle).size(), 1u);

        ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
        ASSERT_TRUE(first->waitForFinished(20000));
        EXPECT_EQ(first->exitCode(), 0);
    }
}

// Started on a settings file it cannot use, the server says so once, in its history (which the common logger
// hears), and serves on its defaults: COM1, here a pseudo-terminal.
TEST_F(ServerProgramTest, AnUnusableSettingsFileIsSaidOnceAndTheDefaultsServe) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    env_.insert(QStringLiteral("VORD_COM1"), QString::fromStdString(pty.slavePath()));
    std::ofstream(QDir(system_.path()).filePath(QStringLiteral("QUARN Comms Server.Ini")).toStdString())
        << "[QUARN Installation]\nExePath=" << system_.path().toStdString() << "\n";
    const QString unreadable = QDir(cwd_.path()).filePath(QStringLiteral("locked.ini"));
    std::ofstream(unreadable.toStdString()) << "[Communications]\nComPort=4\n";
    QFile::setPermissions(unreadable, QFileDevice::Permissions());
    const QString folder = QDir(cwd_.path()).filePath(QStringLiteral("settings"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const struct {
        const char* what;
        QString path;
        const char* reason;
    } cases[] = {
        {"a folder", folder, "(it is a folder)"},
        {"a file in a folder that does not exist", QDir(cwd_.path()).filePath(QStringLiteral("gone/My.Ini")),
         "does not exist)"},
        {"a file it may not read", unreadable, "(Permission denied)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.path == unreadable && ::access(QFile::encodeName(unreadable).constData(), R_OK) == 0)
            continue; // as root the file can be read after all: nothing to say
        CommonLoggerWindow logger;
        QProcess* server = launch(
            {QStringLiteral("/nobanner"), QStringLiteral("/dontstartcommonlogger"), QStringLiteral("/ini"), c.path});
        const wm::WindowHandle w = waitForServer();
        ASSERT_NE(w, 0u) << server->readAllStandardError().toStdString();
        ASSERT_TRUE(logger.waitFor("Com Port Opened OK")) << "the default port did not open";
        const std::string event = "Settings File Cannot Be Used: " + c.path.toStdString() + " ";
        EXPECT_EQ(logger.count(event), 1);
        EXPECT_EQ(logger.count(c.reason), 1);

        ASSERT_TRUE(wm::postMessage(w, wm::WM_CLOSE));
        ASSERT_TRUE(server->waitForFinished(20000));
        EXPECT_TRUE(logger.waitFor("Com Port Closed"));
        EXPECT_EQ(logger.count(event), 1) << "said once";
    }
    EXPECT_FALSE(QFileInfo::exists(QDir(cwd_.path()).filePath(QStringLiteral("gone"))));
}

// The window interface's toggles, as a manager program sends them: each command opens its window and the same
// command again closes it. What was open is what the server writes at its close.
TEST_F(ServerProgramTest, EachToggleCommandOpensItsWindowAndTheSecondClosesIt) {
    const struct {
        std::uint32_t command;
        const char* section;
    } toggles[] = {{3, "Diagnostics"}, {4, "Progress"}, {5, "About"}, {6, "Link Info"}, {7, "History"}};
    for (int times : {1, 2}) {
        SCOPED_TRACE(times == 1 ? "sent once" : "sent twice");
        std::ofstream(QDir(cwd_.path()).filePath(QStringLiteral("Quendar32.Ini")).toStdString())
            << "[Communications]\nComPort=-1\n";
        QProcess* server = launch({QStringLiteral("/nobanner")});
        const wm::WindowHandle w = waitForServer();
        ASSERT_NE(w, 0u) << server->readAllStandardError().toStdString();
        for (const auto& t : toggles)
            for (int i = 0; i < times; ++i) {
                const std::uint8_t data[] = {static_cast<std::uint8_t>(t.command), 0, 0, 0};
                ASSERT_EQ(wm::sendMessage(w, wm::WM_COPYDATA, 0, 0, data), std::optional<std::uint64_t>(1));
            }
        // Messages are handled in the order they came: the close sees every toggle done.
        ASSERT_TRUE(wm::postMessage(w, wm::WM_CLOSE));
        ASSERT_TRUE(server->waitForFinished(20000));
        for (const auto& t : toggles)
            EXPECT_EQ(ini().GetInt(t.section, "Active", -1), times == 1 ? 1 : 0) << "command " << t.command;
    }
}

// With the test modes on, the warning waits for the operator before the port opens; a close that comes while
// it waits (the main program's, before an import) ends the server there, without the port ever opening.
TEST_F(ServerProgramTest, ACloseWhileTheTestModeWarningWaitsEndsTheServerWithoutOpeningThePort) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    env_.insert(QStringLiteral("VORD_COM1"), QString::fromStdString(pty.slavePath()));
    std::ofstream(QDir(system_.path()).filePath(QStringLiteral("QUARN Comms Server.Ini")).toStdString())
        << "[QUARN Installation]\nExePath=" << system_.path().toStdString() << "\n";
    std::ofstream(QDir(cwd_.path()).filePath(QStringLiteral("Quendar32.Ini")).toStdString())
        << "[Communications]\nComPort=0\n[TestMode]\nCorruptData=1\n";
    CommonLoggerWindow logger;
    QProcess* server = launch(
        {QStringLiteral("/nobanner"), QStringLiteral("/dontstartcommonlogger"), QStringLiteral("/enabletestmodes")});
    const wm::WindowHandle w = waitForServer();
    ASSERT_NE(w, 0u) << server->readAllStandardError().toStdString();
    // The window answers while the warning waits; the worker has not been started, so there is no port yet.
    std::optional<std::uint64_t> answered;
    {
        const std::uint8_t status[] = {1, 0, 0, 0};
        answered = wm::sendMessage(w, wm::WM_COPYDATA, 0, 0, status);
    }
    EXPECT_EQ(answered, std::optional<std::uint64_t>(1));

    ASSERT_TRUE(wm::postMessage(w, wm::WM_CLOSE));
    ASSERT_TRUE(server->waitForFinished(20000)) << "the server waits on its warning after the close";
    EXPECT_EQ(server->exitCode(), 0);
    EXPECT_EQ(logger.count("Com Port Opened OK"), 0) << "the port opened before the operator saw the warning";
    EXPECT_EQ(ini().GetString("Info", "Active"), "Inactive");
    EXPECT_EQ(ini().GetInt("TestMode", "CorruptData", -1), 1);
}

} // namespace
