// An upload onto a file that exists replaces it only once the whole new file has arrived: however the upload
// ends short of that, the earlier file is there byte for byte, nothing half received is left beside it, and the
// history says how it ended.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
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

// The remote unit sends the first of two blocks, the test changes what the name leads to, then the rest and
// the end.
struct SwapCase {
    const char* name;
    int mode;
    const char* file;
    bool existsAtStart;
    // Makes the name lead elsewhere; victim is a file only root may read and write.
    std::function<void(const fs::path& name, const fs::path& victim)> swap;
};

void PrintTo(const SwapCase& c, std::ostream* os) {
    *os << c.name;
}

class NameSwappedDuringUpload : public UploadSafety, public ::testing::WithParamInterface<SwapCase> {};

TEST_P(NameSwappedDuringUpload, EndsAsARefusalAndWritesNothingThere) {
    const SwapCase& c = GetParam();
    const fs::path name = box.server() / c.file;
    const fs::path victim = box.outside() / "root-only";
    WriteFile(victim, std::string("secret\n"));
    ::chmod(victim.c_str(), 0600);
    if (!c.existsAtStart)
        fs::remove(name);
    ASSERT_TRUE(StartServer());
    const Bytes data = Pattern(1500, 3);
    ASSERT_EQ(session.Upload(c.file, data, c.mode, 1020, 1), 0);
    c.swap(name, victim);
    const fs::path leadsTo = fs::is_symlink(name) ? fs::read_symlink(name) : fs::path();
    const Bytes there = fs::is_symlink(name) ? Bytes() : ReadFile(name);
    Bytes rest = {1, 0};
    rest.insert(rest.end(), data.begin() + 1020, data.end());
    const auto ack = session.Request(FrameType::Data, rest);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->type, FrameType::Ready);
    EXPECT_EQ(session.RequestType(FrameType::EndOfData, {}), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(HasEvent(std::string("File Receive Failed: ") + c.file + " (no longer the file the request found)"))
        << ::testing::PrintToString(Events());
    EXPECT_EQ(Text(ReadFile(victim)), "secret\n");
    EXPECT_EQ(ModeOf(victim), 0600u);
    // What someone put under the name is left as it is.
    if (!leadsTo.empty())
        EXPECT_EQ(fs::read_symlink(name), leadsTo);
    else
        EXPECT_EQ(ReadFile(name), there);
    EXPECT_TRUE(UploadTemporaries(box.server()).empty());
    EXPECT_EQ(Stat(LinkCounter::GoodReceivedFiles), 0u);
}

void MakeLink(const fs::path& name, const fs::path& victim) {
    fs::remove(name);
    fs::create_symlink(victim, name);
}

void PutAnotherFile(const fs::path& name, const fs::path&) {
    WriteFile(name.string() + ".new", std::string("someone else's\n"));
    fs::rename(name.string() + ".new", name);
}

const SwapCase kSwaps[] = {
    {"AnAppendToANewFileWhoseNameBecameALink", TransferMode::Appended, "LOG.TXT", false, MakeLink},
    {"AnAppendToAFileWhoseNameBecameALink", TransferMode::Appended, "BIG.DAT", true, MakeLink},
    {"AnAppendToAFileReplacedByAnother", TransferMode::Appended, "BIG.DAT", true, PutAnotherFile},
    {"AnUploadOntoAFileWhoseNameBecameALink", TransferMode::Direct, "BIG.DAT", true, MakeLink},
    {"AnUploadOntoANewFileWhoseNameBecameALink", TransferMode::Direct, "NEW.DAT", false, MakeLink},
    {"AnUploadOntoAFileReplacedByAnother", TransferMode::Direct, "BIG.DAT", true, PutAnotherFile},
};

INSTANTIATE_TEST_SUITE_P(Ways, NameSwappedDuringUpload, ::testing::ValuesIn(kSwaps),
                         [](const auto& info) { return std::string(info.param.name); });

// The append's note in the journal cannot be written (the process may write no more to a file than its
// file-size limit): the append is refused with the system's reason and the file is as it was.
TEST_F(UploadSafety, AnAppendWhoseNoteCannotBeWrittenIsRefused) {
    const fs::path log = box.server() / "LOG.TXT";
    WriteFile(log, std::string("line 1\n"));
    ASSERT_TRUE(StartServer());
    const Bytes line = {'l', 'i', 'n', 'e', ' ', '2', '\n'};
    ASSERT_EQ(session.Upload("LOG.TXT", line, TransferMode::Appended, 4, 1), 0);
    const auto ack = session.Request(FrameType::Data, Bytes{1, 0, ' ', '2', '\n'});
    ASSERT_TRUE(ack);
    ASSERT_EQ(ack->type, FrameType::Ready);
    // The upload so far is on the disk; from here on no file of this process may grow much past the journal's
    // present length (the file appended to is shorter).
    std::uintmax_t journalSize = 0;
    for (const auto& e : fs::directory_iterator(box.server()))
        if (e.path().filename().string().starts_with(kJournalPrefix))
            journalSize = std::max(journalSize, fs::file_size(e.path()));
    struct sigaction ignore {};
    struct sigaction was {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &was);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit limit = before;
    limit.rlim_cur = journalSize + 32;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const int end = session.RequestType(FrameType::EndOfData, {});
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::sigaction(SIGXFSZ, &was, nullptr);
    EXPECT_EQ(end, FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(HasEvent("File Receive Failed: LOG.TXT (File too large)")) << ::testing::PrintToString(Events());
    EXPECT_EQ(Text(ReadFile(log)), "line 1\n");
    EXPECT_TRUE(UploadTemporaries(box.server()).empty());
}

// A file system that ignores letter case takes ".QUENDAR-JOURNAL-1" for the journal: the server's own names
// are refused in every spelling, whether the file exists or not.
TEST_F(UploadSafety, TheServersOwnNamesAreRefusedInAnyLetterCase) {
    ASSERT_TRUE(StartServer());
    for (const char* name : {".QUENDAR-JOURNAL-1-0", ".Quendar-Upload-0123", "C:\\DATA\\.quendar-UPLOAD-x"}) {
        EXPECT_EQ(session.Upload(name, Bytes{'x'}), FrameType::Failed) << name;
        ASSERT_TRUE(Settled());
        EXPECT_EQ(session.Upload(name, Bytes{'x'}, TransferMode::Appended), FrameType::Failed) << name;
        ASSERT_TRUE(Settled());
        Bytes out;
        EXPECT_EQ(session.Download(name, out), FrameType::Failed) << name;
        ASSERT_TRUE(Settled());
    }
    for (const fs::path& folder : {box.server(), box.driveC() / "data"})
        for (const auto& e : fs::directory_iterator(folder))
            EXPECT_FALSE(IsServerWorkFile(e.path().filename().string()) &&
                         !e.path().filename().string().starts_with(kJournalPrefix))
                << e.path();
}

} // namespace
