#include <sys/stat.h>

#include "ServerFixture.h"

using namespace comms;

namespace {

TEST_F(ServerOverPty, UploadsAndDownloadsAMegabyteByteForByteInEachMode) {
    ASSERT_TRUE(StartServer());
    const Bytes data = Pattern(1 << 20);
    EXPECT_EQ(session.Upload("BIG.BIN", data, TransferMode::Direct), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(ReadFile(box.server() / "BIG.BIN"), data);

    Bytes back;
    EXPECT_EQ(session.Download("big.bin", back), FrameType::Done) << "names are matched without regard to case";
    EXPECT_EQ(back, data);
    ASSERT_TRUE(Settled());

    // Mode 2002 appends what came to the named file only when the upload completes.
    WriteFile(box.server() / "LOG.TXT", std::string("head-"));
    EXPECT_EQ(session.Upload("LOG.TXT", Bytes{'t', 'a', 'i', 'l'}, TransferMode::Appended), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Text(ReadFile(box.server() / "LOG.TXT")), "head-tail");

    // An upload into a folder of a mapped drive.
    EXPECT_EQ(session.Upload("C:\\DATA\\SMALL.TXT", Bytes{'x'}), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Text(ReadFile(box.driveC() / "data" / "SMALL.TXT")), "x");

    EXPECT_EQ(Stat(LinkCounter::GoodReceivedFiles), 3u);
    EXPECT_EQ(Stat(LinkCounter::GoodSentFiles), 1u);
    EXPECT_TRUE(HasEvent("File Receive OK: BIG.BIN"));
    EXPECT_TRUE(HasEvent("File Send OK: big.bin"));
}

TEST_F(ServerOverPty, AnUploadsNameFieldHoldsAtMost260BytesWithItsNul) {
    ASSERT_TRUE(StartServer());
    const std::string folder(128, 'd');
    fs::create_directory(box.server() / folder);
    struct Case {
        std::size_t nameLength; // the field is one byte more
        bool accepted;
    } cases[] = {{259, true}, {260, false}};
    for (const auto& c : cases) {
        const std::string file(c.nameLength - folder.size() - 1, 'f');
        EXPECT_EQ(session.Upload(folder + "\\" + file, Bytes{'x'}), c.accepted ? FrameType::Done : FrameType::Failed)
            << c.nameLength;
        ASSERT_TRUE(Settled());
        EXPECT_EQ(fs::exists(box.server() / folder / file), c.accepted) << c.nameLength;
    }
    EXPECT_TRUE(HasEvent("File Receive Failed: Bad File Name (too long)"));
    EXPECT_EQ(Stat(LinkCounter::ReceiveFileFailures), 1u);
}

TEST_F(ServerOverPty, EmptyFilesAndListingsWithWildcards) {
    ASSERT_TRUE(StartServer());
    WriteFile(box.server() / "EMPTY.DAT", std::string());
    WriteFile(box.server() / "a.txt", std::string("1"));
    WriteFile(box.server() / "B.TXT", std::string("2"));
    WriteFile(box.server() / "noext", std::string("3"));
    WriteFile(box.server() / ".hidden.txt", std::string("4"));
    fs::create_directories(box.server() / "SUB.TXT");

    Bytes out;
    EXPECT_EQ(session.Download("EMPTY.DAT", out), FrameType::Done);
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(Settled());

    struct Case {
        const char* pattern;
        const char* listing;
    } cases[] = {
        {"*.TXT", "B.TXT\r\na.txt\r\n"},
        {"*.*", "B.TXT\r\nEMPTY.DAT\r\na.txt\r\nnoext\r\n"},
        {"?.txt", "B.TXT\r\na.txt\r\n"},
        {"SUB*", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(session.Download(c.pattern, out, TransferMode::Listing), FrameType::Done) << c.pattern;
        EXPECT_EQ(Text(out), c.listing) << c.pattern;
        ASSERT_TRUE(Settled());
    }
    EXPECT_TRUE(HasEvent("Directory Send OK: *.TXT"));
}

TEST_F(ServerOverPty, DeleteMoveInformationClockAndProgramRun) {
    ASSERT_TRUE(StartServer());
    WriteFile(box.server() / "OLD.TXT", std::string("old"));
    EXPECT_EQ(session.RequestType(FrameType::FileDelete, RemoteSession::Name("old.txt")), FrameType::FileDeleted);
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(fs::exists(box.server() / "OLD.TXT"));
    EXPECT_EQ(session.RequestType(FrameType::FileDelete, RemoteSession::Name("NEVER.TXT")), FrameType::FileDeleted)
        << "a missing file deletes as done";
    ASSERT_TRUE(Settled());
    fs::create_directories(box.server() / "KEEP");
    EXPECT_EQ(session.RequestType(FrameType::FileDelete, RemoteSession::Name("KEEP")), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(fs::is_directory(box.server() / "KEEP")) << "a folder is never deleted";

    WriteFile(box.server() / "M.TXT", std::string("move me"));
    const Bytes move = MoveNames("M.TXT", "C:\\DATA\\M2.TXT");
    EXPECT_EQ(session.RequestType(FrameType::FileMove, move), FrameType::FileMoved);
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(fs::exists(box.server() / "M.TXT"));
    EXPECT_EQ(Text(ReadFile(box.driveC() / "data" / "M2.TXT")), "move me");

    // Onto itself, under another spelling: the file stays whole.
    const Bytes self = MoveNames("C:\\DATA\\M2.TXT", "c:/data/../DATA/m2.txt");
    EXPECT_EQ(session.RequestType(FrameType::FileMove, self), FrameType::FileMoved);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Text(ReadFile(box.driveC() / "data" / "M2.TXT")), "move me");

    // A source that is not there: refused, and no destination appears.
    const Bytes missing = MoveNames("GONE.TXT", "DEST.TXT");
    EXPECT_EQ(session.RequestType(FrameType::FileMove, missing), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(fs::exists(box.server() / "DEST.TXT"));

    auto info = session.Request(FrameType::FileInfo, RemoteSession::Name("C:\\DATA\\M2.TXT"));
    ASSERT_TRUE(info);
    ASSERT_EQ(info->type, FrameType::FileInfoReply);
    ASSERT_EQ(info->payload.size(), 16u);
    EXPECT_EQ(info->payload[0], 1);
    EXPECT_EQ(info->payload[1], 1) << "nobody else holds it";
    EXPECT_EQ(info->payload[2], 7);
    EXPECT_GE(info->payload[8] | (info->payload[9] << 8), 2024);
    ASSERT_TRUE(Settled());
    info = session.Request(FrameType::FileInfo, RemoteSession::Name("NONE.TXT"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->payload[0], 0);
    ASSERT_TRUE(Settled());

    auto clock = session.Request(FrameType::ClockRequest, Bytes{3, 'a', 'b', 'c'});
    ASSERT_TRUE(clock);
    ASSERT_EQ(clock->type, FrameType::ClockReply);
    ASSERT_EQ(clock->payload.size(), 3u + 11u);
    EXPECT_EQ(Bytes(clock->payload.begin(), clock->payload.begin() + 4), (Bytes{3, 'a', 'b', 'c'}));
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    EXPECT_EQ(clock->payload[5], local.tm_mon + 1);
    EXPECT_EQ(clock->payload[6] | (clock->payload[7] << 8), local.tm_year + 1900);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(WaitFor([&] { return Stat(LinkCounter::ClockSets) == 1; }));

    // A program with an argument that holds a blank: no shell, the words reach it as they were quoted.
    const fs::path script = box.server() / "record.sh";
    WriteFile(script, "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" > \"$PWD/ran.txt\"\n");
    fs::permissions(script, fs::perms::owner_all);
    EXPECT_EQ(session.RequestType(FrameType::ProgramRun, RemoteSession::Name("record.sh \"two words\" ;rm")),
              FrameType::ProgramStarted);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Text(ReadFile(box.server() / "ran.txt")).substr(Text(ReadFile(box.server() / "ran.txt")).find('|')),
              "|two words|;rm|");
    // Started directly, the program sees the fixed first argument and is not waited for.
    EXPECT_EQ(session.RequestType(FrameType::SetOptions, Bytes{4, 0}), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.RequestType(FrameType::ProgramRun, RemoteSession::Name("sh -c \"printf %s $0 >direct.txt\"")),
              FrameType::ProgramStarted);
    EXPECT_TRUE(WaitFor([&] { return Text(ReadFile(box.server() / "direct.txt")) == "Quendar_Spawned_Program"; }));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.RequestType(FrameType::ProgramRun, RemoteSession::Name("no-such-program-here")),
              FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Stat(LinkCounter::GoodProgramRuns), 2u);
    EXPECT_EQ(Stat(LinkCounter::FailedProgramRuns), 1u);
}

TEST_F(ServerOverPty, SentFilesAreRemovedOnlyWhenTheOptionsSayAndTheSendCompleted) {
    ASSERT_TRUE(StartServer());
    WriteFile(box.server() / "KEEP.TXT", std::string("k"));
    WriteFile(box.server() / "GO1.TXT", std::string("1"));
    WriteFile(box.server() / "GO2.TXT", std::string("2"));
    ::chmod((box.server() / "GO1.TXT").c_str(), 0640);
    Bytes out;
    EXPECT_EQ(session.Download("KEEP.TXT", out), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.RequestType(FrameType::SetOptions, Bytes{1, 0}), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.Download("GO1.TXT", out), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.RequestType(FrameType::SetOptions, Bytes{2, 0}), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.Download("GO2.TXT", out), FrameType::Done);
    ASSERT_TRUE(Settled());
    // Options set before a logon do not outlast it, whatever its outcome.
    WriteFile(box.server() / "STAY.TXT", std::string("s"));
    EXPECT_EQ(session.RequestType(FrameType::SetOptions, Bytes{2, 0}), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.Logon("nobody", "x"), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.Download("STAY.TXT", out), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(fs::exists(box.server() / "STAY.TXT"));
    EXPECT_TRUE(fs::exists(box.server() / "KEEP.TXT"));
    EXPECT_FALSE(fs::exists(box.server() / "GO1.TXT"));
    EXPECT_FALSE(fs::exists(box.server() / "GO1.TXT.dl"));
    EXPECT_FALSE(fs::exists(box.server() / "GO2.TXT"));
}

TEST_F(ServerOverPty, UnknownRequestsCountAProtocolErrorAndTheServerStaysIdle) {
    ASSERT_TRUE(StartServer());
    ASSERT_TRUE(remote.SendFrame(1999));
    EXPECT_TRUE(remote.ExpectAck(5000));
    EXPECT_TRUE(WaitFor([&] { return Stat(LinkCounter::ProtocolErrors) == 1; }));
    EXPECT_EQ(server.State(), LinkState::Idle);
    EXPECT_EQ(session.RequestType(FrameType::ClockRequest, Bytes{0}), FrameType::ClockReply);
}

} // namespace

namespace {

// The window thread's side while a transfer runs: it reads the status, the snapshots, the counters and the
// history, answers each notification by setting the flag again, and asks for a reopen that must wait while a
// session or carrier is up. Run under ThreadSanitizer as well.
TEST_F(ServerOverPty, TheWindowThreadReadsEverythingWhileTransfersRun) {
    std::atomic<int> notifications{0};
    server.SetNotify([&] { notifications.fetch_add(1); });
    ASSERT_TRUE(StartServer());
    std::atomic<bool> done{false};
    std::thread window([&] {
        std::uint64_t seen = 0;
        while (!done.load()) {
            const ServerSnapshot s = server.Snapshot();
            seen += s.transfer.bytesReceived + s.transfer.bytesSent + s.current.user.userName.size();
            seen += server.RxHistory()[4] + server.TxHistory()[4] + server.UiStatus() + server.ModemSample();
            seen += server.Link().statistics.Get(LinkCounter::RxBytes) + history.Snapshot().back().text.size();
            seen += server.SecurityCount(SecurityCounter::Connects) + server.SessionNames().userName.size();
            server.SetNotificationFlag(true);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        EXPECT_GT(seen, 0u);
    });
    const Bytes data = Pattern(200000, 11);
    EXPECT_EQ(session.Upload("W.BIN", data), FrameType::Done);
    ASSERT_TRUE(Settled());
    Bytes back;
    EXPECT_EQ(session.Download("W.BIN", back), FrameType::Done);
    ASSERT_TRUE(Settled());
    done = true;
    window.join();
    EXPECT_EQ(back, data);
    EXPECT_GT(notifications.load(), 2);
    EXPECT_EQ(server.Snapshot().transfer.bytesSent, data.size());

    // A reopen "when allowed" waits while the carrier is up (a pseudo-terminal shows it while its far end is
    // open): the request is taken, the port stays as it is.
    const auto before = Events();
    const auto opened = std::count(before.begin(), before.end(), std::string("COM32 Com Port Opened OK"));
    server.PostRequest(WorkerRequest::ReopenWhenAllowed);
    EXPECT_EQ(session.RequestType(FrameType::ClockRequest, Bytes{0}), FrameType::ClockReply);
    ASSERT_TRUE(Settled());
    const auto after = Events();
    EXPECT_EQ(std::count(after.begin(), after.end(), std::string("COM32 Com Port Opened OK")), opened);
}

} // namespace
