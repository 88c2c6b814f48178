// The server program killed in the middle of a transfer (kill -9) and started again: the files the transfer
// touched are as they were before it, and what it left half done is gone after the next start.
#include <sys/stat.h>

#include "PlantedJournals.h"
#include "ServerProgramFixture.h"
#include "commserver/TransferJournal.h"

using namespace comms;

namespace {

// The program with its settings written before each test, and the hidden files a transfer leaves.
class ServerProgramCrash : public ServerProgram {
protected:
    void SetUp() override {
        ServerProgram::SetUp();
        if (!IsSkipped())
            WriteSettings();
    }
    std::vector<std::string> Leftovers() const { return UploadTemporaries(box.server()); }
};

TEST_F(ServerProgramCrash, AnUploadCutOffByACrashLeavesTheEarlierFileAndTheNextStartClearsUp) {
    const Bytes old = Pattern(50000, 4);
    WriteFile(box.server() / "BIG.DAT", old);
    const pid_t first = Launch();
    ASSERT_TRUE(PortOpened(1)) << Log();
    ASSERT_EQ(session.Upload("BIG.DAT", Pattern(300000, 8), TransferMode::Direct, 1020, 60), 0) << Log();
    Kill(first);
    EXPECT_EQ(ReadFile(box.server() / "BIG.DAT"), old);
    EXPECT_EQ(Leftovers().size(), 1u) << "the crash left the partial copy in its hidden file";

    Launch();
    ASSERT_TRUE(PortOpened(2)) << Log();
    EXPECT_TRUE(Leftovers().empty());
    remote.Drain(200);
    Bytes listing;
    EXPECT_EQ(session.Download("*.*", listing, TransferMode::Listing), FrameType::Done) << Log();
    EXPECT_NE(Text(listing).find("BIG.DAT\r\n"), std::string::npos) << Text(listing);
    EXPECT_EQ(Text(listing).find("quendar-"), std::string::npos) << Text(listing);
    EXPECT_EQ(ReadFile(box.server() / "BIG.DAT"), old);

    // The next upload replaces it as asked.
    EXPECT_EQ(session.Upload("BIG.DAT", Pattern(3000, 1)), FrameType::Done) << Log();
    EXPECT_TRUE(WaitFor([&] { return ReadFile(box.server() / "BIG.DAT") == Pattern(3000, 1); }));
}

TEST_F(ServerProgramCrash, AnAppendCutOffByACrashLeavesTheFileAndTheNextStartClearsUp) {
    WriteFile(box.server() / "LOG.TXT", std::string("line 1\n"));
    const pid_t first = Launch();
    ASSERT_TRUE(PortOpened(1)) << Log();
    ASSERT_EQ(session.Upload("LOG.TXT", Pattern(100000, 8), TransferMode::Appended, 1020, 60), 0) << Log();
    Kill(first);
    EXPECT_EQ(Text(ReadFile(box.server() / "LOG.TXT")), "line 1\n");
    EXPECT_EQ(Leftovers().size(), 1u) << "the crash left what was received aside";

    Launch();
    ASSERT_TRUE(PortOpened(2)) << Log();
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_EQ(Text(ReadFile(box.server() / "LOG.TXT")), "line 1\n");
    remote.Drain(200);
    EXPECT_EQ(session.Upload("LOG.TXT", Bytes{'l', 'i', 'n', 'e', ' ', '2', '\n'}, TransferMode::Appended),
              FrameType::Done)
        << Log();
    EXPECT_TRUE(WaitFor([&] { return Text(ReadFile(box.server() / "LOG.TXT")) == "line 1\nline 2\n"; }));
    EXPECT_TRUE(WaitFor([&] { return Leftovers().empty(); }));
}

TEST_F(ServerProgramCrash, AFileLockedForADownloadGetsItsPermissionsBackAfterACrash) {
    const Bytes content = Pattern(20000, 6);
    WriteFile(box.server() / "SRC.BIN", content);
    ::chmod((box.server() / "SRC.BIN").c_str(), 0644);
    const pid_t first = Launch();
    ASSERT_TRUE(PortOpened(1)) << Log();
    // Lock while sending and remove after a completed send.
    ASSERT_EQ(session.RequestType(FrameType::SetOptions, Bytes{1, 0}), FrameType::Done) << Log();
    Bytes got;
    ASSERT_EQ(session.Download("SRC.BIN", got, TransferMode::Direct, 3), 0) << Log();
    EXPECT_EQ(ModeOf(box.server() / "SRC.BIN"), 0444u) << "read-only while it goes out";
    Kill(first);
    EXPECT_EQ(ModeOf(box.server() / "SRC.BIN"), 0444u);

    Launch();
    ASSERT_TRUE(PortOpened(2)) << Log();
    EXPECT_EQ(ModeOf(box.server() / "SRC.BIN"), 0644u);
    EXPECT_EQ(ReadFile(box.server() / "SRC.BIN"), content);
}

// Files outside the server's folder that a planted journal names, as another user would aim it: a copy of a
// program to be made setuid, a private file to be opened up and cut short, and a file of the server's naming
// to be removed.
struct Targets {
    explicit Targets(const fs::path& outside)
        : program(outside / "id"), secret(outside / "secret"),
          temporary(outside / (std::string(kUploadTemporaryPrefix) + "x")) {
        fs::copy_file("/bin/id", program);
        ::chmod(program.c_str(), 0755);
        WriteFile(secret, std::string("0123456789"));
        ::chmod(secret.c_str(), 0600);
        WriteFile(temporary, std::string("t"));
    }
    static std::string identity(const fs::path& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return std::to_string(static_cast<unsigned long long>(st.st_dev)) + " " +
               std::to_string(static_cast<unsigned long long>(st.st_ino));
    }
    std::string notes() const {
        return "A " + identity(secret) + " 5 5 " + kUploadTemporaryPrefix + "c " + secret.string() + "\n" + "A " +
               identity(secret) + " 5 " + secret.string() + "\n" + "M " + identity(program) + " 4755 755 " +
               program.string() + "\n" + "M " + identity(secret) + " 666 600 " + secret.string() + "\n" + "T " +
               temporary.string() + "\n";
    }
    void ExpectUntouched() const {
        EXPECT_EQ(ModeOf(program), 0755u);
        EXPECT_EQ(Text(ReadFile(secret)), "0123456789");
        EXPECT_EQ(ModeOf(secret), 0600u);
        EXPECT_TRUE(fs::exists(temporary));
    }
    fs::path program, secret, temporary;
};

class PlantedJournal : public ServerProgramCrash, public ::testing::WithParamInterface<JournalPlant> {};

// A file named like a journal that the server's user did not write, or that is no small plain file, is left
// where it is and said in the history; the server starts and answers, and nothing the file names changes.
TEST_P(PlantedJournal, IsLeftAloneAndTheServerAnswers) {
    const JournalPlant& c = GetParam();
    if (c.needsAnotherUser && !CanGiveToAnotherUser())
        GTEST_SKIP() << "the test cannot give a file to another user";
    const Targets targets(box.outside());
    const fs::path journal = box.server() / (std::string(kJournalPrefix) + "4242-0");
    c.plant(journal, targets.notes());

    Launch();
    ASSERT_TRUE(PortOpened(1)) << Log();
    EXPECT_TRUE(WaitFor([&] {
        return Log().find(std::string("Transfer Journal Left Alone (") + c.why + "): " + journal.string()) !=
               std::string::npos;
    })) << Log();
    remote.Drain(200);
    Bytes listing;
    EXPECT_EQ(session.Download("*.*", listing, TransferMode::Listing), FrameType::Done) << Log();
    EXPECT_TRUE(fs::exists(fs::symlink_status(journal)));
    targets.ExpectUntouched();
}

const JournalPlant kPlanted[] = {kOwnedByAnotherUser, kFifo, kTooLarge};

INSTANTIATE_TEST_SUITE_P(Ways, PlantedJournal, ::testing::ValuesIn(kPlanted),
                         [](const auto& info) { return std::string(info.param.name); });

struct CutOffAppendCase {
    const char* name;
    // What the file holds when the server starts again: the server's own half appendix, or the line another
    // program appended after the server had noted its append and died.
    const char* after;
    const char* expected;
    const char* said;
};

void PrintTo(const CutOffAppendCase& c, std::ostream* os) {
    *os << c.name;
}

class AppendCutOff : public ServerProgramCrash, public ::testing::WithParamInterface<CutOffAppendCase> {};

// The server died between its note of an append and the append's end: what it leaves is its journal (written
// here by the journal the server uses, up to that note) and the upload it had received aside.
TEST_P(AppendCutOff, LosesOnlyTheServersOwnBytes) {
    const CutOffAppendCase& c = GetParam();
    const fs::path log = box.server() / "LOG.TXT";
    const std::string received = "line 2 from the remote unit\n";
    WriteFile(log, std::string("line 1\n"));
    {
        TransferJournal dead;
        dead.Open(box.server().string());
        ASSERT_TRUE(dead.IsOpen());
        const std::string copy = std::string(kUploadTemporaryPrefix) + "00112233";
        ASSERT_TRUE(dead.NoteTemporary((box.server() / copy).string()));
        WriteFile(box.server() / copy, received);
        struct stat st {};
        ASSERT_EQ(::stat(log.c_str(), &st), 0);
        ASSERT_TRUE(
            dead.NoteAppend(log.string(), st.st_dev, st.st_ino, st.st_size, static_cast<off_t>(received.size()), copy));
    }
    WriteFile(log, std::string(c.after));

    Launch();
    ASSERT_TRUE(PortOpened(1)) << Log();
    EXPECT_TRUE(WaitFor([&] { return Log().find(std::string(c.said) + ": " + log.string()) != std::string::npos; }))
        << Log();
    EXPECT_EQ(Text(ReadFile(log)), c.expected);
    EXPECT_TRUE(Leftovers().empty());
}

const CutOffAppendCase kCutOff[] = {
    {"HalfTheAppendix", "line 1\nline 2 from", "line 1\n", "Recovery: Appendix Removed"},
    {"AnotherProgramsLine", "line 1\nanother program's line\n", "line 1\nanother program's line\n",
     "Recovery: Left Alone (not the server's appendix)"},
};

INSTANTIATE_TEST_SUITE_P(Ways, AppendCutOff, ::testing::ValuesIn(kCutOff),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
