#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FakeLinkClock.h"
#include "MemoryUserStore.h"
#include "commserver/LinkServer.h"
#include "remoteunit/MemorySerialPort.h"
#include "remoteunit/RemoteSession.h"
#include "remoteunit/RemoteUnit.h"

using namespace comms;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The worker stepped one cycle at a time by the test, on an in-memory port and a clock the test moves: for
// what takes minutes of real time or modem lines a pseudo-terminal does not have.
class ServerSteps : public ::testing::Test {
protected:
    void SetUp() override {
        server.SetPortNumber(0);
        server.Link().timers.OpticalDelay = 0;
        server.SetPortOpener([this](int portNumber, long baud) {
            bauds.push_back(baud);
            port = MemorySerialPort::Open(portNumber);
            return port;
        });
        UserRecord policy;
        policy.userName = kPolicyUserName;
        policy.enabled = policy.uncAllowed = policy.otherDirsAllowed = policy.netDrivesAllowed = true;
        policy.programRunsAllowed = true;
        MemoryUserStore::Add(*store, policy);
        UserRecord jim;
        jim.userName = "jim";
        jim.password = "pw";
        jim.enabled = true;
        jim.maxConnectMinutes = 2;
        MemoryUserStore::Add(*store, jim);
    }
    void TearDown() override { server.EndWorker(); }

    void open(int securityLevel = 1) {
        server.SetSecurityLevel(securityLevel);
        users.LoadUserTables(securityLevel, "/");
        server.BeginWorker();
        server.PostRequest(WorkerRequest::Reopen);
        server.RunCycle();
        ASSERT_NE(port, nullptr);
    }
    // Frames the server wrote since the last look (acknowledgements left out).
    std::vector<RemoteUnit::Frame> sent() {
        Bytes tx = port->TakeTx();
        std::vector<RemoteUnit::Frame> out;
        std::size_t i = 0;
        while (i < tx.size()) {
            if (tx[i] != 0x02) {
                ++i;
                continue;
            }
            const std::size_t total = tx[i + 1] | (tx[i + 2] << 8);
            RemoteUnit::Frame f;
            f.type = tx[i + 3] | (tx[i + 4] << 8);
            f.payload.assign(tx.begin() + static_cast<long>(i + 5), tx.begin() + static_cast<long>(i + total - 2));
            out.push_back(f);
            i += total;
        }
        return out;
    }
    void request(int type, const Bytes& payload = {}) {
        port->PushRx(RemoteUnit::Encode(type, payload));
        server.RunCycle();
    }
    void ack() {
        port->PushRx(Bytes{0x06});
        server.RunCycle();
    }
    void logon() {
        request(FrameType::Connect, RemoteSession::Name("jim"));
        auto challenge = sent();
        ASSERT_EQ(challenge.size(), 1u);
        ASSERT_EQ(challenge[0].type, FrameType::Challenge);
        ack();
        const std::uint32_t r = RemoteSession::Response("pw", challenge[0].payload);
        request(FrameType::Response, Bytes{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(r >> 8),
                                           static_cast<std::uint8_t>(r >> 16), static_cast<std::uint8_t>(r >> 24)});
        ASSERT_EQ(sent().at(0).type, FrameType::Done);
        ack();
        ASSERT_EQ(server.Snapshot().current.state, SessionState::Connected);
    }
    bool hasEvent(const std::string& text) {
        for (const auto& e : history.Snapshot())
            if (e.text.find(text) != std::string::npos)
                return true;
        return false;
    }

    FakeLinkClock clock;
    std::shared_ptr<MemoryUserStore::Shared> store = std::make_shared<MemoryUserStore::Shared>();
    HistoryLog history;
    UserTables users{std::make_unique<MemoryUserStore>(store)};
    LinkServer server{history, users, clock};
    MemorySerialPort* port = nullptr;
    std::vector<long> bauds;
};

TEST_F(ServerSteps, TheConnectTimeLimitEndsTheSessionInTheFirstIdleCycleAfterIt) {
    open();
    logon();
    clock.Advance(120);
    server.RunCycle();
    server.RunCycle();
    EXPECT_EQ(server.State(), LinkState::Idle) << "120 seconds are within 2 minutes";
    clock.Advance(1);
    server.RunCycle();
    server.RunCycle();
    EXPECT_EQ(server.State(), LinkState::SecurityAbort);
    EXPECT_TRUE(hasEvent("User Connect Time Limit Exceeded: jim ()"));
    EXPECT_EQ(sent().back().type, FrameType::Failed);
    ack();
    EXPECT_EQ(server.State(), LinkState::Idle);
    EXPECT_EQ(server.Snapshot().current.state, SessionState::Ended);
    EXPECT_EQ(server.SecurityCount(SecurityCounter::SecurityAborts), 1u);
    EXPECT_GE(server.SecurityCount(SecurityCounter::SecondsConnected), 121u);
}

TEST_F(ServerSteps, ACarrierThatDropsEndsTheSession) {
    open();
    logon();
    port->SetModemLines(plat::kModemCts | plat::kModemDsr);
    server.RunCycle();
    EXPECT_EQ(server.Snapshot().current.state, SessionState::Ended);
    EXPECT_EQ(server.Snapshot().last.user.userName, "jim");
    EXPECT_EQ(server.ModemSample(), plat::kModemCts | plat::kModemDsr);
}

TEST_F(ServerSteps, ARequestOfAnUnknownTypeCountsAProtocolErrorAndStaysIdle) {
    open(0);
    request(1018);
    EXPECT_EQ(server.State(), LinkState::Idle);
    EXPECT_EQ(server.Link().statistics.Get(LinkCounter::ProtocolErrors), 1u);
    EXPECT_TRUE(sent().empty()) << "only the acknowledgement went out";
}

TEST_F(ServerSteps, TheHistoriesRollEachSecondAndAResetZeroesThemUntilTheNextRoll) {
    open(0);
    const std::int64_t opened = clock.Now();
    EXPECT_EQ(server.LastRollSecond(), opened);
    EXPECT_EQ(server.RxHistory(), (std::array<std::uint32_t, 5>{}));

    // Traffic in two seconds: each roll shifts the slots down and puts the current totals in the newest.
    request(FrameType::ClockRequest, Bytes{0});
    ack();
    clock.Advance(1);
    server.RunCycle();
    const std::uint32_t rx1 = server.Link().statistics.Get(LinkCounter::RxBytes);
    const std::uint32_t tx1 = server.Link().statistics.Get(LinkCounter::TxBytes);
    ASSERT_GT(rx1, 0u);
    ASSERT_GT(tx1, 0u);
    EXPECT_EQ(server.LastRollSecond(), opened + 1);
    EXPECT_EQ(server.RxHistory(), (std::array<std::uint32_t, 5>{0, 0, 0, 0, rx1}));
    EXPECT_EQ(server.TxHistory(), (std::array<std::uint32_t, 5>{0, 0, 0, 0, tx1}));
    request(1018);
    clock.Advance(1);
    server.RunCycle();
    const std::uint32_t rx2 = server.Link().statistics.Get(LinkCounter::RxBytes);
    EXPECT_EQ(server.RxHistory(), (std::array<std::uint32_t, 5>{0, 0, 0, rx1, rx2}));
    EXPECT_EQ(server.LastRollSecond(), opened + 2);

    // Within the same second nothing rolls; a reset empties both at once and tells the windows.
    const std::uint32_t changes = server.Link().statistics.ChangeCount();
    server.ResetHistories();
    EXPECT_EQ(server.RxHistory(), (std::array<std::uint32_t, 5>{}));
    EXPECT_EQ(server.TxHistory(), (std::array<std::uint32_t, 5>{}));
    EXPECT_NE(server.Link().statistics.ChangeCount(), changes);
    EXPECT_EQ(server.LastRollSecond(), opened + 2);

    // With the counters reset too (the diagnostics' Reset) the next roll starts from nothing.
    server.Link().ResetLinkStatistics();
    clock.Advance(1);
    server.RunCycle();
    EXPECT_EQ(server.RxHistory(), (std::array<std::uint32_t, 5>{}));
    EXPECT_EQ(server.LastRollSecond(), opened + 3);
}

TEST_F(ServerSteps, ALinkFailureDuringAOneShotOperationShowsReadyAgainTenSecondsLater) {
    open(0);
    request(FrameType::ClockRequest, Bytes{0});
    clock.Advance(server.Link().timers.SendTimer.load() + 1);
    server.RunCycle();
    EXPECT_TRUE(hasEvent("Link Failed during Clock Set"));
    EXPECT_EQ(server.UiStatus(), LinkStatus::LinkFailed);
    clock.Advance(10);
    server.IdlePoll();
    EXPECT_EQ(server.UiStatus(), LinkStatus::LinkFailed);
    clock.Advance(1);
    server.IdlePoll();
    EXPECT_EQ(server.UiStatus(), LinkStatus::Ready);
}

// A modem line on the in-memory port, whose carrier a test can take away and whose DTR hangs the call up.
class ModemSteps : public ServerSteps {
protected:
    void SetUp() override {
        ServerSteps::SetUp();
        char tmpl[] = "/tmp/quendar-steps-XXXXXX";
        folder = ::mkdtemp(tmpl);
        server.Paths().SetServerFolder(folder);
        ModemSettings modem;
        modem.type = 1;
        modem.interCommandDelayMs = 0;
        modem.responseDelayMs = 50;
        modem.hangUpTimeOutS = 1;
        modem.init[0] = "ATZ";
        server.SetModemSettings(modem);
        server.SetPortOpener([this](int portNumber, long) {
            port = MemorySerialPort::Open(portNumber);
            port->SetHangUpOnDtrDrop(true);
            // The modem's answer to the initialisation, waiting before it is asked for.
            const std::string ok = "ATZ\r\r\nOK\r\n";
            port->PushRx(Bytes(ok.begin(), ok.end()));
            return port;
        });
    }
    void TearDown() override {
        ServerSteps::TearDown();
        std::string cmd = "rm -rf '" + folder + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string folder;
};

TEST_F(ModemSteps, ACarrierLostInTheMiddleOfAnUploadEndsItAndLeavesNoFile) {
    open(0);
    ASSERT_TRUE(hasEvent("Modem Initialised"));
    port->TakeTx();
    request(FrameType::FileReceive, RemoteSession::TransferHeader(TransferMode::Direct, 100, "M.BIN"));
    server.RunCycle(); // sends 1006
    ASSERT_EQ(sent().back().type, FrameType::Ready);
    ack();
    Bytes block = {0, 0, 'a', 'b'};
    request(FrameType::Data, block);
    server.RunCycle();
    EXPECT_EQ(sent().back().type, FrameType::Ready);
    // The blocks go into a hidden file beside it; the name is taken only by the whole file.
    EXPECT_FALSE(std::ifstream(folder + "/M.BIN").good());
    EXPECT_EQ(std::count_if(std::filesystem::directory_iterator(folder), {},
                            [](const auto& e) { return e.path().filename().string().starts_with(".quendar-upload-"); }),
              1);
    port->SetModemLines(plat::kModemCts | plat::kModemDsr);
    server.RunCycle();
    EXPECT_TRUE(hasEvent("File Receive Failed: Lost DSR: M.BIN"));
    EXPECT_EQ(server.State(), LinkState::Idle);
    EXPECT_FALSE(std::ifstream(folder + "/M.BIN").good());
    EXPECT_EQ(std::count_if(std::filesystem::directory_iterator(folder), {},
                            [](const auto& e) { return e.path().filename().string().starts_with(".quendar-upload-"); }),
              0);
    // No reply goes out while there is no carrier.
    request(FrameType::ClockRequest, Bytes{0});
    EXPECT_TRUE(sent().empty());
}

TEST_F(ModemSteps, ADisconnectHangsTheCallUpByDroppingDtr) {
    open(0);
    request(FrameType::Disconnect);
    EXPECT_EQ(sent().back().type, FrameType::Done);
    ack();
    EXPECT_EQ(server.State(), LinkState::Idle);
    EXPECT_EQ(port->ModemStatus() & plat::kModemDcd, 0) << "the call is gone";
    EXPECT_TRUE(port->Dtr()) << "DTR is back for the next call";
}

struct BaudCase {
    int comms;
    int modemType;
    long expected;
};
class ServerBaud : public ServerSteps, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(ServerBaud, ComesFromTheCommsSettingOrTheModem) {
    server.SetComms(GetParam().comms);
    ModemSettings modem;
    modem.type = GetParam().modemType;
    modem.baud = 2400;
    server.SetModemSettings(modem);
    open(0);
    ASSERT_EQ(bauds.size(), 1u);
    EXPECT_EQ(bauds[0], GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Table, ServerBaud,
                         ::testing::Values(BaudCase{0, 0, 19200}, BaudCase{1, 0, 9600}, BaudCase{2, 0, 9600},
                                           BaudCase{3, 0, 38400}, BaudCase{4, 0, 57600}, BaudCase{9, 0, 19200},
                                           BaudCase{4, 1, 2400}),
                         [](const ::testing::TestParamInfo<BaudCase>& info) {
                             return "Comms" + std::to_string(info.param.comms) + "Modem" +
                                    std::to_string(info.param.modemType);
                         });

TEST_F(ServerSteps, APortThatDoesNotOpenIsReportedAndClosedWithoutAModemDialogue) {
    server.SetPortOpener([](int portNumber, long) { return plat::PortOpen(portNumber + 20, 19200, 'N', 8, 1); });
    ModemSettings modem;
    modem.type = 1;
    modem.deInit[0] = "ATZ";
    server.SetModemSettings(modem);
    ::setenv("VORD_COM21", "/nonexistent/tty", 1);
    server.BeginWorker();
    server.PostRequest(WorkerRequest::Reopen);
    server.RunCycle();
    ::unsetenv("VORD_COM21");
    EXPECT_EQ(server.UiStatus(), LinkStatus::OpenFailed);
    EXPECT_TRUE(hasEvent("Com Port Open Failed"));
    EXPECT_FALSE(hasEvent("Modem De-Init"));
    EXPECT_EQ(plat::OpenPortCount(), 0);
}

} // namespace
