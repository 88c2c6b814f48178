#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "commserver/LinkServer.h"
#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/CMainFrame.h"
#include "commserver/app/EngineFactory.h"
#include "commserver/app/InstanceLock.h"
#include "commserver/app/ServerDialogs.h"
#include "commserver/app/StatusReply.h"
#include "remoteunit/PtyPair.h"
#include "remoteunit/RemoteSession.h"
#include "remoteunit/RemoteUnit.h"
#include "usertable/UserTableBuilder.h"

using namespace quendar;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::uint32_t u32At(const StatusReply& r, int at) {
    return static_cast<std::uint32_t>(r[at] | (r[at + 1] << 8) | (r[at + 2] << 16) | (r[at + 3] << 24));
}

// The whole program on a pseudo-terminal: its settings file, a user table with one user, drive C in a scratch
// folder, and the real link engine with its worker; the remote unit on the terminal's other end.
class ServerProgramLive : public ::testing::Test {
protected:
    static constexpr int kPort = 32;

    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(pty.ok());
        pty.mapToPort(kPort);
        qputenv("VORD_WINDOWS_DIR", QFile::encodeName(windows_.path()));
        qputenv("VORD_SYSTEM_FOLDER", QFile::encodeName(system_.path()));
        const fs::path root = dir_.path().toStdString();
        fs::create_directories(root / "users");
        fs::create_directories(root / "drive_c" / "data");
        driveC_ = root / "drive_c";

        comms::UserRecord policy;
        policy.userName = comms::kPolicyUserName;
        policy.enabled = policy.uncAllowed = policy.otherDirsAllowed = policy.netDrivesAllowed = true;
        policy.autoDisable = 100;
        comms::UserRecord jim = policy;
        jim.userName = "JIM";
        jim.fullName = "Jim Smith";
        jim.password = "secret";
        jim.autoDisable = 0;
        ASSERT_TRUE(BuildUserTable((root / "users").string(), {policy, jim}));

        iniPath_ = (root / "Quendar32.Ini").string();
        std::ofstream(iniPath_, std::ios::binary)
            << "[Communications]\r\nComPort=" << kPort << "\r\n"
            << "[LinkTimers]\r\nOpticalDelay=0\r\n"
            << "[Security]\r\nEnforceSecurity=1\r\nUserTablesPath=" << (root / "users").string() << "\r\n"
            << "[DriveMap]\r\nC=" << driveC_.string() << "\r\n";
    }
    void TearDown() override {
        if (app) {
            EXPECT_TRUE(app->ExitInstance()) << "the worker ended in time";
        }
        app.reset();
        QCoreApplication::processEvents();
        qunsetenv("VORD_WINDOWS_DIR");
        qunsetenv("VORD_SYSTEM_FOLDER");
    }

    bool start(const std::vector<std::string>& extra = {}) {
        app = std::make_unique<CCommsServerApp>([](comms::HistoryLog& h) { return MakeServerEngine(h); });
        std::vector<std::string> args = {"/nobanner", "/noapplicationtray", "/dontstartcommonlogger", "/ini", iniPath_};
        args.insert(args.end(), extra.begin(), extra.end());
        if (!app->InitInstance(args))
            return false;
        return pumpUntil([&] { return app->engine->UiStatus() == comms::LinkStatus::Ready; });
    }
    CMainFrame& frame() { return *app->mainFrame; }
    template <class T> T* window(ServerWindowKind kind) { return dynamic_cast<T*>(frame().Window(kind)); }

    QTemporaryDir dir_;
    QTemporaryDir windows_;
    QTemporaryDir system_;
    fs::path driveC_;
    std::string iniPath_;
    PtyPair pty;
    RemoteUnit remote{pty.masterFd()};
    RemoteSession session{remote};
    ScriptedUi ui;
    std::unique_ptr<CCommsServerApp> app;
};

// The texts of the history, oldest first.
std::vector<std::string> historyTexts(const comms::HistoryLog& history) {
    std::vector<std::string> out;
    for (const comms::HistoryEntry& e : history.Snapshot())
        if (!e.text.empty())
            out.push_back(e.text);
    return out;
}

// Answers every message box with OK, noting what the history held and the link showed when the box came up.
class BoxWatcher : public ScriptedUi {
public:
    std::function<void()> onBox;
    int messageBox(const QString& prompt, int style, const QString& title) override {
        if (onBox)
            onBox();
        return ScriptedUi::messageBox(prompt, style, title);
    }
};

TEST_F(ServerProgramLive, TheLinkInformationWindowFollowsALogonAndAnUpload) {
    ASSERT_TRUE(start());
    frame().OnCommand(ServerCommand::OpenLinkInfo);
    auto* li = window<CLinkInfoDlg>(ServerWindowKind::LinkInfo);
    ASSERT_NE(li, nullptr);
    EXPECT_TRUE(pumpUntil([&] { return li->txtStatus->text() == QStringLiteral("Ready"); }));
    EXPECT_EQ(li->txtUser->text(), QString());
    EXPECT_EQ(li->txtRxBytes->text(), QStringLiteral("0"));

    // The logon: the window names the user and shows the link connected.
    ASSERT_EQ(session.Logon("JIM", "secret"), comms::FrameType::Done);
    EXPECT_TRUE(pumpUntil([&] {
        return li->txtStatus->text() == QStringLiteral("Connected") &&
               li->txtUser->text() == QStringLiteral("JIM (Jim Smith)");
    })) << li->txtStatus->text().toStdString()
        << " / " << li->txtUser->text().toStdString();

    // An upload of two blocks, stopped halfway by the remote unit taking its time: the window shows the file
    // being received at half its size and the bytes that came in so far.
    const Bytes data(2000, 0x5A);
    const std::string name = "C:\\DATA\\LIVE.BIN";
    auto ready = session.Request(comms::FrameType::FileReceive,
                                 RemoteSession::TransferHeader(comms::TransferMode::Direct, 2000, name));
    ASSERT_TRUE(ready);
    ASSERT_EQ(ready->type, comms::FrameType::Ready);
    Bytes block{0, 0};
    block.insert(block.end(), data.begin(), data.begin() + 1000);
    auto r = session.Request(comms::FrameType::Data, block);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->type, comms::FrameType::Ready);
    EXPECT_TRUE(pumpUntil([&] {
        return li->txtStatus->text() == QStringLiteral("Receiving") && li->prgFile->value() == 50 &&
               li->txtFile->text() == QString::fromStdString(name);
    })) << li->txtStatus->text().toStdString()
        << " " << li->prgFile->value() << " " << li->txtFile->text().toStdString();
    const std::uint32_t rxHalfway = li->txtRxBytes->text().toUInt();
    EXPECT_GT(rxHalfway, 1000u);
    EXPECT_EQ(rxHalfway, app->engine->Link().statistics.Get(comms::LinkCounter::RxBytes));

    block = {1, 0};
    block.insert(block.end(), data.begin() + 1000, data.end());
    r = session.Request(comms::FrameType::Data, block);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->type, comms::FrameType::Ready);
    ASSERT_EQ(session.RequestType(comms::FrameType::EndOfData, {}), comms::FrameType::Done);
    EXPECT_TRUE(pumpUntil([&] {
        return li->txtStatus->text() == QStringLiteral("Received OK") && li->prgFile->value() == 100 &&
               li->txtRxBytes->text().toUInt() > rxHalfway + 1000 && li->txtTxBytes->text().toUInt() > 0;
    })) << li->txtStatus->text().toStdString()
        << " " << li->prgFile->value();
    EXPECT_EQ(li->txtUser->text(), QStringLiteral("JIM (Jim Smith)"));
    EXPECT_EQ(li->txtFile->text(), QString::fromStdString(name));
    std::ifstream in(driveC_ / "data" / "LIVE.BIN", std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), data);

    frame().OnCommand(ServerCommand::CloseLinkInfo);
    EXPECT_FALSE(frame().IsOpen(ServerWindowKind::LinkInfo));
}

TEST_F(ServerProgramLive, TheStatusReplyCarriesTheLastRollAndDiagnosticsResetEmptiesTheHistories) {
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    ASSERT_TRUE(start());
    ASSERT_EQ(session.Logon("JIM", "secret"), comms::FrameType::Done);
    // The histories roll once a second: wait for the bytes of the logon to reach the newest slot.
    ASSERT_TRUE(pumpUntil([&] { return app->engine->RxHistory()[4] > 0; }));
    const StatusReply status = app->BuildStatus();
    const std::uint32_t rolled = u32At(status, StatusOffset::Statistics + 88);
    EXPECT_GE(rolled, before);
    EXPECT_LE(rolled, static_cast<std::uint32_t>(std::time(nullptr)));
    EXPECT_EQ(u32At(status, StatusOffset::Statistics + 92 + 16), app->engine->RxHistory()[4]);
    // It keeps rolling while the port is open.
    EXPECT_TRUE(pumpUntil([&] { return app->engine->HistorySecond() > rolled; }));

    frame().OnCommand(ServerCommand::OpenDiagnostics);
    auto* d = window<CDiagnosticsDlg>(ServerWindowKind::Diagnostics);
    ASSERT_NE(d, nullptr);
    d->OnReset();
    // The link is quiet, so the counters stay at zero and so does every slot the worker rolls in after them.
    EXPECT_EQ(app->engine->RxHistory(), (std::array<std::uint32_t, 5>{}));
    EXPECT_EQ(app->engine->TxHistory(), (std::array<std::uint32_t, 5>{}));
    EXPECT_EQ(d->txtCounters[0]->text(), QStringLiteral("0"));
    EXPECT_EQ(d->sldRx->value(), 0);
    const StatusReply after = app->BuildStatus();
    for (int slot = 0; slot < 10; ++slot)
        EXPECT_EQ(u32At(after, StatusOffset::Statistics + 92 + 4 * slot), 0u) << "slot " << slot;
}

// The program's own files, reachable through a mapped drive by a user with every right: its settings file, the
// user table, the history log and its one-server lock stay out of every remote operation's reach.
TEST_F(ServerProgramLive, ItsSettingsUserTableAndHistoryLogAreOutOfRemoteReach) {
    const fs::path root = dir_.path().toStdString();
    std::ofstream(iniPath_, std::ios::binary | std::ios::app)
        << "D=" << root.string() << "\r\n"
        << "E=" << system_.path().toStdString() << "\r\n"
        << "F=" << windows_.path().toStdString() << "\r\n"
        << "[HistoryDisplay]\r\nLogStatus=1\r\nLogFile=" << (root / "History.Log").string() << "\r\n";
    ASSERT_TRUE(start());
    auto readAll = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string settings = readAll(iniPath_);
    fs::path tableFile;
    for (const auto& e : fs::directory_iterator(root / "users"))
        if (e.path().extension() != ".Ntx")
            tableFile = e.path();
    const std::string table = readAll(tableFile);
    ASSERT_FALSE(table.empty());

    const std::string names[] = {"D:\\Quendar32.Ini", "D:\\USERS\\$$$UDB.DBF",      "D:\\users\\$$$udb.ntx",
                                 "D:\\history.log",   "E:\\QUARN Comms Server.Ini", "F:\\QUENDAR32.LOCK"};
    for (const std::string& name : names) {
        ASSERT_EQ(session.Logon("JIM", "secret"), comms::FrameType::Done);
        Bytes out;
        EXPECT_EQ(session.Download(name, out), comms::FrameType::Failed) << name;
        ASSERT_EQ(session.Logon("JIM", "secret"), comms::FrameType::Done);
        EXPECT_EQ(session.Upload(name, Bytes{'[', 'S', ']'}), comms::FrameType::Failed) << name;
    }
    EXPECT_EQ(readAll(iniPath_), settings);
    EXPECT_FALSE(fs::exists(fs::path(system_.path().toStdString()) / "QUARN Comms Server.Ini"))
        << "the installation file is not made by a remote unit either";
    EXPECT_EQ(fs::file_size(fs::path(windows_.path().toStdString()) / quendar::kInstanceLockName), 0u)
        << "the lock file is left as the server made it";
    // The logons write their bookkeeping into the rows; the table itself stays whole.
    EXPECT_EQ(readAll(tableFile).size(), table.size());
    // Elsewhere on the drive, the user's rights decide as before.
    ASSERT_EQ(session.Logon("JIM", "secret"), comms::FrameType::Done);
    EXPECT_EQ(session.Upload("D:\\NOTES.TXT", Bytes{'n'}), comms::FrameType::Done);
}

// With the test modes on, the operator is warned before the port opens: the port opens once the box is answered.
TEST_F(ServerProgramLive, TheTestModeWarningComesBeforeThePortOpens) {
    std::ofstream(iniPath_, std::ios::binary | std::ios::app) << "[TestMode]\r\nCorruptData=1\r\n";
    std::vector<std::string> atBox;
    int statusAtBox = -1;
    {
        BoxWatcher watcher; // in place of the fixture's, for this start
        watcher.expectMessage(plat::IDOK, QStringLiteral("WARNING:  Test modes are Enabled\nThese will periodically "
                                                         "corrupt the data stream between host and remote\nDISABLE "
                                                         "TEST MODES FOR LIVE OPERATION"));
        watcher.onBox = [&] {
            atBox = historyTexts(app->history);
            statusAtBox = app->engine->UiStatus();
        };
        ASSERT_TRUE(start({"/enabletestmodes"}));
        ASSERT_EQ(watcher.messages().size(), 1u);
        EXPECT_EQ(watcher.messages()[0].style, plat::MB_OK | plat::MB_ICONEXCLAMATION);
    }
    EXPECT_EQ(statusAtBox, comms::LinkStatus::NoPort);
    for (const std::string& text : atBox)
        EXPECT_EQ(text.find("Com Port Opened OK"), std::string::npos) << "the port opened before the warning";
    const auto after = historyTexts(app->history);
    EXPECT_NE(std::find(after.begin(), after.end(), "COM33 Com Port Opened OK"), after.end());
    EXPECT_TRUE(app->engine->Link().CorruptData);
}

// Settings > OK makes the worker reopen the port: the history shows it closed and opened again.
TEST_F(ServerProgramLive, SettingsOkReopensThePort) {
    ASSERT_TRUE(start());
    EXPECT_EQ(historyTexts(app->history), std::vector<std::string>{"COM33 Com Port Opened OK"});
    frame().OnCommand(ServerCommand::Settings);
    auto* dlg = window<CSettingsDlg>(ServerWindowKind::Settings);
    ASSERT_NE(dlg, nullptr);
    ASSERT_EQ(dlg->cboPort->currentIndex(), kPort);
    dlg->OnOK();
    const std::vector<std::string> reopened = {"COM33 Com Port Opened OK", "COM33 Com Port Closed",
                                               "COM33 Com Port Opened OK"};
    EXPECT_TRUE(pumpUntil([&] { return historyTexts(app->history) == reopened; }));
    EXPECT_TRUE(pumpUntil([&] { return app->engine->UiStatus() == comms::LinkStatus::Ready; }));
    // The line serves again after the reopen.
    EXPECT_EQ(session.Logon("JIM", "secret"), comms::FrameType::Done);
}

} // namespace
