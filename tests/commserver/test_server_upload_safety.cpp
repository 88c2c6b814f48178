// An upload onto a file that exists replaces it only once the whole new file has arrived: however the upload
// ends short of that, the earlier file is there byte for byte, nothing half received is left beside it, and the
// history says how it ended.
#include <sys/mount.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>

#include "ServerFixture.h"

using namespace comms;

namespace {

class UploadSafety : public ServerOverPty {
protected:
    void SetUp() override {
        ServerOverPty::SetUp();
        ShortenLinkTimers();
        WriteFile(target(), old);
        ::chmod(target().c_str(), 0640);
    }
    fs::path target() const { return box.server() / "BIG.DAT"; }
    void ExpectOldFileWhole() {
        EXPECT_EQ(ReadFile(target()), old);
        EXPECT_EQ(ModeOf(target()), 0640u);
        EXPECT_TRUE(UploadTemporaries(box.server()).empty());
    }

    const Bytes old = Pattern(30000, 5);
    const Bytes fresh = Pattern(300000, 9);
};

constexpr int kWhole = -1;
constexpr int kByItself = -2;

struct EndCase {
    const char* name;
    // Blocks the remote unit sends before the end comes; kWhole: it sends the whole file; kByItself: the end
    // step starts the upload its own way.
    int blocks;
    std::function<void(LinkServer&)> prepare;
    std::function<void(RemoteUnit&, PtyPair&, LinkServer&)> end;
    const char* event;
};

void PrintTo(const EndCase& c, std::ostream* os) {
    *os << c.name;
}

class UploadEnds : public UploadSafety, public ::testing::WithParamInterface<EndCase> {};

TEST_P(UploadEnds, LeaveTheEarlierFileAsItWasAndSaySo) {
    const EndCase& c = GetParam();
    if (c.prepare)
        c.prepare(server);
    ASSERT_TRUE(StartServer());
    if (c.blocks == kWhole) {
        EXPECT_EQ(session.Upload("BIG.DAT", fresh), FrameType::Failed);
    } else if (c.blocks >= 0) {
        ASSERT_EQ(session.Upload("BIG.DAT", fresh, TransferMode::Direct, 1020, c.blocks), 0);
        // Half-way: the earlier file is still the one under the name.
        EXPECT_EQ(ReadFile(target()), old);
    }
    if (c.end)
        c.end(remote, *pty, server);
    EXPECT_TRUE(WaitFor([&] { return HasEvent(c.event); }, 15000)) << c.name;
    ASSERT_TRUE(Settled());
    ExpectOldFileWhole();
    EXPECT_EQ(Stat(LinkCounter::GoodReceivedFiles), 0u);
}

// The remote unit reads the server's Ready for its header and never acknowledges it.
void NeverAcknowledgeTheFirstReady(RemoteUnit& unit, PtyPair&, LinkServer&) {
    const Bytes header = RemoteSession::TransferHeader(TransferMode::Direct, 1000, "BIG.DAT");
    ASSERT_TRUE(unit.SendFrame(FrameType::FileReceive, header));
    ASSERT_TRUE(unit.ExpectAck(5000));
    auto ready = unit.ReceiveFrame(5000, false);
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->type, FrameType::Ready);
}

const EndCase kEnds[] = {
    {"TheRemoteUnitGivesUp", 60, nullptr,
     [](RemoteUnit& unit, PtyPair&, LinkServer&) {
         ASSERT_TRUE(unit.SendFrame(FrameType::Failed));
         ASSERT_TRUE(unit.ExpectAck(5000));
     },
     "Remote Failed File Receive OK: BIG.DAT"},
    {"TheLineIsLost", 5, nullptr, [](RemoteUnit&, PtyPair& line, LinkServer&) { line.closeMaster(); },
     "File Receive Failed: Lost DSR: BIG.DAT"},
    {"TheRemoteUnitFallsSilent", 5, nullptr, nullptr, "Link Failure during File Receive: BIG.DAT"},
    {"ABlockComesOutOfTurn", 5, nullptr,
     [](RemoteUnit& unit, PtyPair&, LinkServer&) {
         RemoteSession s(unit);
         EXPECT_EQ(s.RequestType(FrameType::Data, Bytes{9, 0, 'x'}), FrameType::ProtocolError);
     },
     "File Receive Failed: Protocol Error"},
    {"TheDiskRunsFull", kWhole,
     [](LinkServer& server) {
         auto written = std::make_shared<std::atomic<std::size_t>>(0);
         server.SetFileWriter([written](int fd, const void* data, std::size_t size) -> ssize_t {
             if (*written + size > 100000) {
                 errno = ENOSPC;
                 return -1;
             }
             *written += size;
             return ::write(fd, data, size);
         });
     },
     nullptr, "File Receive Failed: BIG.DAT (No space left on device)"},
    {"TheFileCannotBeSynced", kWhole,
     [](LinkServer& server) {
         server.SetFileSyncer([](int) {
             errno = EIO;
             return -1;
         });
     },
     nullptr, "File Receive Failed: BIG.DAT (Input/output error)"},
    {"ThePortIsReopened", 5, nullptr,
     [](RemoteUnit&, PtyPair&, LinkServer& s) { s.PostRequest(WorkerRequest::Reopen); },
     "Link Failure during File Receive: BIG.DAT"},
    // The window's reopen comes the moment the line is lost, before the upload's step has looked at it.
    {"TheLineIsLostAndThePortReopened", 5, nullptr,
     [](RemoteUnit&, PtyPair& line, LinkServer& s) {
         line.closeMaster();
         s.PostRequest(WorkerRequest::ReopenWhenAllowed);
     },
     "File Receive Failed: Lost DSR: BIG.DAT"},
    {"TheServerQuits", 5, nullptr, [](RemoteUnit&, PtyPair&, LinkServer& s) { EXPECT_TRUE(s.Stop()); },
     "Link Failure during File Receive: BIG.DAT"},
    {"TheFirstReadyIsNeverAcknowledged", kByItself, nullptr, NeverAcknowledgeTheFirstReady,
     "Link Failure during File Receive: BIG.DAT"},
};

INSTANTIATE_TEST_SUITE_P(Ways, UploadEnds, ::testing::ValuesIn(kEnds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UploadSafety, AWholeUploadTakesTheNameWithThePermissionsTheFileHad) {
    ASSERT_TRUE(StartServer());
    EXPECT_EQ(session.Upload("BIG.DAT", fresh), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(ReadFile(target()), fresh);
    EXPECT_EQ(ModeOf(target()), 0640u);
    EXPECT_TRUE(UploadTemporaries(box.server()).empty());
    EXPECT_TRUE(HasEvent("File Receive OK: BIG.DAT"));

    // The hidden working files are out of the remote unit's reach and out of its listings.
    WriteFile(box.server() / (std::string(kUploadTemporaryPrefix) + "0123"), std::string("x"));
    Bytes out;
    EXPECT_EQ(session.Download("*.*", out, TransferMode::Listing), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Text(out).find("quendar"), std::string::npos) << Text(out);
    EXPECT_EQ(session.Download(std::string(kUploadTemporaryPrefix) + "0123", out), FrameType::Failed);
    ASSERT_TRUE(Settled());
}

// A tmpfs mounted for the test where the test may mount one: the disk is really full, and the reason the
// system gives is the one the history shows.
class FullDisk : public UploadSafety {
protected:
    void TearDown() override {
        UploadSafety::TearDown();
        if (mounted)
            ::umount2(mountPoint().c_str(), MNT_DETACH);
    }
    fs::path mountPoint() const { return box.root / "small"; }
    bool mounted = false;
};

TEST_F(FullDisk, AnUploadThatFindsNoRoomNamesTheReasonAndKeepsTheFile) {
    fs::create_directories(mountPoint());
    if (::mount("tmpfs", mountPoint().c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "no tmpfs may be mounted here: " << std::strerror(errno);
    mounted = true;
    server.Paths().MapDrive('D', mountPoint().string());
    const fs::path file = mountPoint() / "OLD.DAT";
    WriteFile(file, old);
    {
        // Whatever room is left is taken.
        std::FILE* filler = std::fopen((mountPoint() / "FILLER").c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const Bytes chunk(4096, 0xAA);
        while (std::fwrite(chunk.data(), 1, chunk.size(), filler) == chunk.size() && std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    ASSERT_TRUE(StartServer());
    EXPECT_EQ(session.Upload("D:\\OLD.DAT", fresh), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(HasEvent("File Receive Failed: D:\\OLD.DAT (No space left on device)"));
    EXPECT_EQ(ReadFile(file), old);
    EXPECT_TRUE(UploadTemporaries(mountPoint()).empty());

    // With room again the same upload goes through.
    fs::remove(mountPoint() / "FILLER");
    EXPECT_EQ(session.Upload("D:\\OLD.DAT", Pattern(100000, 2)), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(ReadFile(file), Pattern(100000, 2));
}

} // namespace
