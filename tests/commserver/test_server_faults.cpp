#include <atomic>
#include <cerrno>

#include "FullDisk.h"
#include "ServerFixture.h"
#include "remoteunit/FakeModem.h"

using namespace comms;

namespace {

class ServerFaults : public ServerOverPty {
protected:
    void SetUp() override {
        ServerOverPty::SetUp();
        ShortenLinkTimers();
    }

    // A fresh cable on the same port after the old one was pulled, and the server told to reopen.
    std::unique_ptr<RemoteUnit> Replug() {
        fresh = std::make_unique<PtyPair>();
        fresh->mapToPort(kPort);
        server.PostRequest(WorkerRequest::Reopen);
        EXPECT_TRUE(WaitFor([&] { return server.UiStatus() == LinkStatus::Ready; }));
        return std::make_unique<RemoteUnit>(fresh->masterFd());
    }
    std::unique_ptr<PtyPair> fresh;
};

TEST_F(ServerFaults, ASilentRemoteEndsAnUploadAndLeavesNoPartialFile) {
    ASSERT_TRUE(StartServer());
    EXPECT_EQ(session.Upload("PART.BIN", Pattern(10000), TransferMode::Direct, 1020, 3), 0);
    EXPECT_TRUE(WaitFor([&] { return HasEvent("Link Failure during File Receive: PART.BIN"); }, 15000));
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(fs::exists(box.server() / "PART.BIN"));
    EXPECT_EQ(server.UiStatus(), LinkStatus::LinkFailed);
    EXPECT_EQ(Stat(LinkCounter::ReceiveFileFailures), 1u);
    EXPECT_EQ(Stat(LinkCounter::FailedLinks), 1u);

    // Mode 2002 that fails before the end leaves the named file as it was.
    WriteFile(box.server() / "APP.TXT", std::string("before"));
    EXPECT_EQ(session.Upload("APP.TXT", Pattern(5000), TransferMode::Appended, 1020, 2), 0);
    EXPECT_TRUE(WaitFor([&] { return Stat(LinkCounter::ReceiveFileFailures) == 2; }, 15000));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Text(ReadFile(box.server() / "APP.TXT")), "before");

    // Ready for the next one.
    EXPECT_EQ(session.Upload("PART.BIN", Pattern(3000)), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(ReadFile(box.server() / "PART.BIN"), Pattern(3000));
}

TEST_F(ServerFaults, TheLineDropsDuringAnUploadAndADownload) {
    ASSERT_TRUE(StartServer());
    EXPECT_EQ(session.Upload("DROP.BIN", Pattern(20000), TransferMode::Direct, 1020, 4), 0);
    pty->closeMaster();
    EXPECT_TRUE(WaitFor([&] { return HasEvent("File Receive Failed: Lost DSR: DROP.BIN"); }));
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(fs::exists(box.server() / "DROP.BIN"));

    auto unit = Replug();
    RemoteSession again(*unit);
    const Bytes original = Pattern(20000, 3);
    WriteFile(box.server() / "SRC.BIN", original);
    // Remove the file after a completed send: the send will not complete.
    EXPECT_EQ(again.RequestType(FrameType::SetOptions, Bytes{2, 0}), FrameType::Done);
    ASSERT_TRUE(Settled());
    Bytes got;
    EXPECT_EQ(again.Download("SRC.BIN", got, TransferMode::Direct, 3), 0);
    fresh->closeMaster();
    EXPECT_TRUE(WaitFor([&] { return HasEvent("File Send Failed: Lost DSR: SRC.BIN"); }));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(ReadFile(box.server() / "SRC.BIN"), original);

    auto third = Replug();
    RemoteSession last(*third);
    EXPECT_EQ(last.RequestType(FrameType::ClockRequest, Bytes{0}), FrameType::ClockReply);
}

TEST_F(ServerFaults, ARemoteThatStopsAcknowledgingEndsTheDownloadAndKeepsTheFile) {
    ASSERT_TRUE(StartServer());
    WriteFile(box.server() / "KEEP.BIN", Pattern(5000));
    EXPECT_EQ(session.RequestType(FrameType::SetOptions, Bytes{1, 0}), FrameType::Done);
    ASSERT_TRUE(Settled());
    auto header =
        session.Request(FrameType::FileSend, RemoteSession::TransferHeader(TransferMode::Direct, 0, "KEEP.BIN"));
    ASSERT_TRUE(header);
    ASSERT_EQ(header->type, FrameType::FileReceive);
    EXPECT_EQ(header->payload.size(), std::string("KEEP.BIN").size() + 1 + 7) << "the name field and 7";
    EXPECT_EQ(header->payload[2] | (header->payload[3] << 8), 5000) << "the file's size";
    ASSERT_TRUE(remote.SendFrame(FrameType::Ready));
    ASSERT_TRUE(remote.ExpectAck(5000));
    // The data block comes, and comes again, but is never acknowledged.
    auto block = remote.ReceiveFrame(5000, false);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->type, FrameType::Data);
    EXPECT_TRUE(WaitFor([&] { return HasEvent("Link Failure during File Send: KEEP.BIN"); }, 15000));
    ASSERT_TRUE(Settled());
    EXPECT_GE(Stat(LinkCounter::TxRetransmissions), 1u);
    EXPECT_EQ(ReadFile(box.server() / "KEEP.BIN"), Pattern(5000));
    EXPECT_TRUE(fs::status(box.server() / "KEEP.BIN").permissions() != fs::perms::none);
    EXPECT_NE(fs::status(box.server() / "KEEP.BIN").permissions() & fs::perms::owner_write, fs::perms::none)
        << "the read-only mode of the send is taken back";
    remote.Drain(200);
    EXPECT_EQ(session.RequestType(FrameType::ClockRequest, Bytes{0}), FrameType::ClockReply);
}

TEST_F(ServerFaults, AFullDiskFailsTheUploadAndKeepsNothingHalfWritten) {
    // The disk takes 50 000 bytes more, then reports it is full.
    auto written = std::make_shared<std::atomic<std::size_t>>(0);
    std::atomic<std::size_t> limit{50000};
    server.SetFileWriter([written, &limit](int fd, const void* data, std::size_t size) -> ssize_t {
        if (written->load() + size > limit.load()) {
            errno = ENOSPC;
            return -1;
        }
        *written += size;
        return ::write(fd, data, size);
    });
    ASSERT_TRUE(StartServer());
    EXPECT_EQ(session.Upload("FULL.BIN", Pattern(80000)), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(fs::exists(box.server() / "FULL.BIN"));
    EXPECT_TRUE(HasEvent("File Receive Failed: FULL.BIN"));
    EXPECT_FALSE(HasEvent("File Receive OK: FULL.BIN"));

    // Appending: the temporary copy fits, the append runs out of room; the file is put back as it was.
    *written = 0;
    limit = 30000 + 1000;
    WriteFile(box.server() / "LOG.TXT", std::string("original"));
    EXPECT_EQ(session.Upload("LOG.TXT", Pattern(30000), TransferMode::Appended), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Text(ReadFile(box.server() / "LOG.TXT")), "original");

    // A move within one file system is a rename: it needs no room. One to another file system copies, and when
    // that runs out of room the source stays whole and no half copy is left.
    *written = 0;
    limit = 100;
    WriteFile(box.server() / "M.BIN", Pattern(5000));
    auto move = [&](const std::string& from, const std::string& to) {
        return session.RequestType(FrameType::FileMove, MoveNames(from, to));
    };
    EXPECT_EQ(move("M.BIN", "M2.BIN"), FrameType::FileMoved);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(ReadFile(box.server() / "M2.BIN"), Pattern(5000));
    EXPECT_FALSE(fs::exists(box.server() / "M.BIN"));
    if (SmallTmpfs other(1 << 20); other.mounted()) {
        server.Paths().MapDrive('D', other.path().toStdString());
        EXPECT_EQ(move("M2.BIN", "D:\\M3.BIN"), FrameType::Failed);
        ASSERT_TRUE(Settled());
        EXPECT_EQ(ReadFile(box.server() / "M2.BIN"), Pattern(5000));
        EXPECT_TRUE(fs::is_empty(other.path().toStdString()));
        server.Paths().MapDrive('D', "");
    }

    *written = 0;
    limit = 1 << 30;
    EXPECT_EQ(session.Upload("FULL.BIN", Pattern(80000)), FrameType::Done);
    ASSERT_TRUE(Settled());
}

TEST_F(ServerFaults, AModemThatAnswersNoCarrierFailsTheOpenUntilItAnswersOk) {
    ModemSettings modem;
    modem.type = 1;
    modem.name = "TestModem";
    modem.baud = 38400;
    modem.responseDelayMs = 300;
    modem.interCommandDelayMs = 0;
    modem.hangUpTimeOutS = 0;
    modem.init[0] = "ATZ";
    modem.init[1] = "ATE0V1";
    modem.deInit[0] = "ATH";
    server.SetModemSettings(modem);
    FakeModem hayes(pty->masterFd());
    hayes.Answer("ATZ", "NO CARRIER");
    hayes.Echo(true);
    hayes.Start();
    server.SetSecurityLevel(0);
    server.Start();
    server.PostRequest(WorkerRequest::Reopen);
    EXPECT_TRUE(WaitFor([&] { return HasEvent("Modem Init Failed: ATZ"); }));
    EXPECT_TRUE(WaitFor([&] { return server.UiStatus() == LinkStatus::OpenFailed; }));

    hayes.Answer("ATZ", "OK");
    server.PostRequest(WorkerRequest::Reopen);
    EXPECT_TRUE(WaitFor([&] { return server.UiStatus() == LinkStatus::Ready; }));
    EXPECT_TRUE(HasEvent("Modem Initialised"));
    hayes.Stop();
    EXPECT_EQ(session.RequestType(FrameType::ClockRequest, Bytes{0}), FrameType::ClockReply);
    ASSERT_TRUE(Settled());
    hayes.Start();
    EXPECT_TRUE(server.Stop(10000));
    const auto commands = hayes.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "ATZ"), 2);
    EXPECT_EQ(commands.back(), "ATH");
    EXPECT_TRUE(HasEvent("Modem De-Initialised"));
}

TEST_F(ServerFaults, AQuitDuringALongModemDialogueEndsTheWorkerAtOnce) {
    ModemSettings modem;
    modem.type = 1;
    modem.responseDelayMs = 8000;
    modem.interCommandDelayMs = 0;
    modem.init[0] = "ATZ";
    server.SetModemSettings(modem);
    FakeModem hayes(pty->masterFd());
    hayes.Answer("ATZ", ""); // silence
    hayes.Start();
    server.Start();
    server.PostRequest(WorkerRequest::Reopen);
    EXPECT_TRUE(WaitFor([&] { return server.UiStatus() == LinkStatus::ModemInitialise; }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(server.Stop(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(server.UiStatus(), LinkStatus::ClosingDown);
}

} // namespace
