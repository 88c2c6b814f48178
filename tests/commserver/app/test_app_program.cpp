// The built server program itself, started as the main program starts it.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <fstream>
#include <sstream>

#include "TestEnv.h"
#include "commserver/app/StatusReply.h"
#include "platform/ProfileFile.h"
#include "platform/WindowMessages.h"

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

} // namespace
