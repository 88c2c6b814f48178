// What a journal left by a server that died is undone at the next start, and only that: a file that was
// changed or replaced since, and the journal of a server that still runs, are left alone.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "PlantedJournals.h"
#include "ServerFixture.h"
#include "commserver/TransferJournal.h"

using namespace comms;

namespace {

struct stat StatOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st;
}

std::size_t Journals(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        n += e.path().filename().string().starts_with(kJournalPrefix);
    return n;
}

TEST(TransferJournal, WhatADeadServerLeftIsUndoneAtTheNextStart) {
    Sandbox box;
    const fs::path folder = box.server();
    const fs::path temporary = folder / (std::string(kUploadTemporaryPrefix) + "ab\ncd");
    const fs::path appended = folder / "LOG.TXT";
    const fs::path locked = folder / "SENT.BIN";
    const fs::path sentAndRenamed = folder / "GONE.BIN";
    const fs::path replaced = folder / "NEW.BIN";
    WriteFile(temporary, std::string("partial"));
    WriteFile(appended, std::string("head"));
    WriteFile(locked, std::string("s"));
    WriteFile(sentAndRenamed, std::string("g"));
    WriteFile(replaced, std::string("r"));
    for (const auto& p : {locked, sentAndRenamed, replaced})
        ::chmod(p.c_str(), 0640);
    {
        TransferJournal dead;
        dead.Open(folder.string());
        ASSERT_TRUE(dead.IsOpen());
        ASSERT_TRUE(dead.NoteTemporary(temporary.string()));
        // The upload being appended, received aside in the server's folder.
        const std::string copy = std::string(kUploadTemporaryPrefix) + "aside";
        WriteFile(folder / copy, std::string("-half-and-the-rest"));
        ASSERT_TRUE(dead.NoteTemporary((folder / copy).string()));
        const struct stat a = StatOf(appended);
        ASSERT_TRUE(dead.NoteAppend(appended.string(), a.st_dev, a.st_ino, a.st_size, 18, copy));
        for (const auto& p : {locked, sentAndRenamed, replaced}) {
            const struct stat s = StatOf(p);
            ASSERT_TRUE(dead.NoteReadOnly(p.string(), s.st_dev, s.st_ino, 0640, 0440));
            ::chmod(p.c_str(), 0440);
        }
        // The changes as they stood when the server died: half an appendix, a sent file renamed on its way
        // out, and one file replaced by someone else meanwhile.
        WriteFile(appended, std::string("head-half"));
        fs::rename(sentAndRenamed, folder / "GONE.BIN.dl");
        WriteFile(folder / "NEW.TMP", std::string("another"));
        ::chmod((folder / "NEW.TMP").c_str(), 0440);
        fs::rename(folder / "NEW.TMP", replaced);
        // Ends without settling, as a server killed would.
    }
    ASSERT_EQ(Journals(folder), 1u);

    TransferJournal next;
    EXPECT_EQ(next.Open(folder.string()), 1);
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(Text(ReadFile(appended)), "head");
    EXPECT_TRUE(UploadTemporaries(folder).empty()) << "the received copy goes once the appendix is undone";
    EXPECT_EQ(ModeOf(locked), 0640u);
    EXPECT_EQ(ModeOf(folder / "GONE.BIN.dl"), 0640u);
    EXPECT_EQ(ModeOf(replaced), 0440u) << "not the file the journal noted";
    EXPECT_EQ(Journals(folder), 1u) << "only the new server's own";
    next.Close();
    EXPECT_EQ(Journals(folder), 0u) << "a settled journal leaves nothing behind";
}

TEST(TransferJournal, ARunningServersJournalIsNotTouchedAndSettledNotesAreForgotten) {
    Sandbox box;
    const fs::path folder = box.server();
    const fs::path temporary = folder / (std::string(kUploadTemporaryPrefix) + "1");
    const fs::path other = folder / (std::string(kUploadTemporaryPrefix) + "2");
    WriteFile(temporary, std::string("x"));
    WriteFile(other, std::string("y"));
    TransferJournal running;
    running.Open(folder.string());
    ASSERT_TRUE(running.NoteTemporary(temporary.string()));

    TransferJournal second;
    EXPECT_EQ(second.Open(folder.string()), 0);
    EXPECT_TRUE(fs::exists(temporary)) << "still in use by the server that runs";

    // A settled note is nothing to undo, and a name that is not the server's own is never removed.
    ASSERT_TRUE(second.NoteTemporary(other.string()));
    ASSERT_TRUE(second.Settle());
    ASSERT_TRUE(second.NoteTemporary((folder / "Quendar32.Ini").string()));
    WriteFile(folder / "Quendar32.Ini", std::string("settings"));
    second.Close();
    TransferJournal third;
    EXPECT_EQ(third.Open(folder.string()), 1);
    EXPECT_TRUE(fs::exists(other));
    EXPECT_TRUE(fs::exists(folder / "Quendar32.Ini"));
}

} // namespace

namespace {

// What a start said of what it found, one line each.
struct Said {
    std::vector<std::string> lines;
    TransferJournal::Report report() {
        return [this](const std::string& text, bool) { lines.push_back(text); };
    }
    bool has(const std::string& part) const {
        for (const auto& l : lines)
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::string all() const {
        std::string out;
        for (const auto& l : lines)
            out += l + "\n";
        return out;
    }
};

// A dead server's journal as this server's user would have written it, with the given notes.
void WriteDeadJournal(const fs::path& folder, const std::string& notes) {
    const fs::path path = folder / (std::string(kJournalPrefix) + "4242-0");
    WriteFile(path, notes);
    ::chmod(path.c_str(), 0600);
}

std::string Identity(const fs::path& p) {
    const struct stat st = StatOf(p);
    return std::to_string(static_cast<unsigned long long>(st.st_dev)) + " " +
           std::to_string(static_cast<unsigned long long>(st.st_ino));
}

struct AppendCase {
    const char* name;
    std::string before;   // the file when the server noted its append
    std::string received; // the upload it was appending
    std::string after;    // the file when the next server starts
    std::string expected; // the file after that start
    const char* said;
};

class AppendRecovery : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendRecovery, CutsBackOnlyTheServersOwnBytes) {
    const AppendCase& c = GetParam();
    Sandbox box;
    const fs::path folder = box.server();
    const fs::path file = folder / "LOG.TXT";
    const std::string copy = std::string(kUploadTemporaryPrefix) + "0a1b";
    WriteFile(file, c.before);
    WriteFile(folder / copy, c.received);
    WriteDeadJournal(folder, "T " + (folder / copy).string() + "\nA " + Identity(file) + " " +
                                 std::to_string(c.before.size()) + " " + std::to_string(c.received.size()) + " " +
                                 copy + " " + file.string() + "\n");
    WriteFile(file, c.after);

    Said said;
    TransferJournal next;
    EXPECT_EQ(next.Open(folder.string(), {}, said.report()), 1);
    EXPECT_EQ(Text(ReadFile(file)), c.expected);
    EXPECT_TRUE(said.has(std::string(c.said) + ": " + file.string())) << said.all();
    EXPECT_TRUE(UploadTemporaries(folder).empty());
}

const AppendCase kAppendCases[] = {
    {"HalfTheAppendix", "line 1\n", "line 2\nline 3\n", "line 1\nline 2\n", "line 1\n", "Appendix Removed"},
    {"TheWholeAppendix", "line 1\n", "line 2\n", "line 1\nline 2\n", "line 1\n", "Appendix Removed"},
    // Killed right after its note: the line another program appended is not the server's.
    {"AnotherProgramsLine", "line 1\n", "line 2 from the remote unit\n", "line 1\nother\n", "line 1\nother\n",
     "Left Alone (not the server's appendix)"},
    {"TheServersHalfAndThenAnotherProgramsLine", "line 1\n", "line 2 from the remote unit\n", "line 1\nline 2 fother\n",
     "line 1\nline 2 fother\n", "Left Alone (not the server's appendix)"},
    {"GrownPastTheAppendix", "line 1\n", "line 2\n", "line 1\nline 2\nline 3\n", "line 1\nline 2\nline 3\n",
     "Left Alone (grown past the server's appendix)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, AppendRecovery, ::testing::ValuesIn(kAppendCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Notes in a journal this server's user wrote that name files the server never offers, or reach them through
// a link: nothing is done to them, and each is said.
TEST(TransferJournal, FilesOutsideTheOfferedFoldersOrBehindALinkAreLeftAlone) {
    Sandbox box;
    const fs::path folder = box.server();
    const fs::path outside = box.outside();
    const fs::path secret = outside / "secret";
    const fs::path program = outside / "program";
    const fs::path temporary = outside / (std::string(kUploadTemporaryPrefix) + "x");
    WriteFile(secret, std::string("0123456789"));
    ::chmod(secret.c_str(), 0600);
    WriteFile(program, std::string("#!/bin/sh\n"));
    ::chmod(program.c_str(), 0555);
    WriteFile(temporary, std::string("t"));
    fs::create_directory_symlink(outside, folder / "way");
    fs::create_directories(folder / "sub");
    const std::string notes =
        // Elsewhere on the machine.
        "A " + Identity(secret) + " 5 5 " + kUploadTemporaryPrefix + "c " + secret.string() + "\n" + "M " +
        Identity(program) + " 4777 555 " + program.string() + "\n" + "T " + temporary.string() + "\n" +
        // Out through "..".
        "T " + (folder / "sub" / ".." / ".." / "outside" / temporary.filename()).string() + "\n" + "M " +
        Identity(secret) + " 666 600 " + (folder / ".." / "outside" / "secret").string() + "\n" +
        // Through a link to a folder.
        "T " + (folder / "way" / temporary.filename()).string() + "\n" + "M " + Identity(secret) + " 666 600 " +
        (folder / "way" / "secret").string() + "\n";
    WriteFile(folder / (std::string(kUploadTemporaryPrefix) + "c"), std::string("01234"));
    WriteDeadJournal(folder, notes);

    Said said;
    TransferJournal next;
    EXPECT_EQ(next.Open(folder.string(), {}, said.report()), 1);
    EXPECT_EQ(Text(ReadFile(secret)), "0123456789");
    EXPECT_EQ(ModeOf(secret), 0600u);
    EXPECT_EQ(ModeOf(program), 0555u);
    EXPECT_TRUE(fs::exists(temporary));
    EXPECT_TRUE(said.has("Recovery: Left Alone (outside the offered folders): " + secret.string())) << said.all();
    EXPECT_TRUE(said.has("Recovery: Left Alone (reached only through a link): " + (folder / "way").string()))
        << said.all();
    EXPECT_EQ(said.lines.size(), 7u) << said.all();
}

// A drive the drive map offers is reached as the server's own folder is.
TEST(TransferJournal, AFileInAnOfferedDriveIsRecovered) {
    Sandbox box;
    const fs::path folder = box.server();
    const fs::path sent = box.driveC() / "data" / "SENT.BIN";
    const fs::path temporary = box.driveC() / "data" / (std::string(kUploadTemporaryPrefix) + "d");
    WriteFile(sent, std::string("s"));
    ::chmod(sent.c_str(), 0440);
    WriteFile(temporary, std::string("t"));
    WriteDeadJournal(folder, "M " + Identity(sent) + " 640 440 " + sent.string() + "\nT " + temporary.string() + "\n");

    Said said;
    TransferJournal next;
    EXPECT_EQ(next.Open(folder.string(), {box.driveC().string()}, said.report()), 1);
    EXPECT_EQ(ModeOf(sent), 0640u);
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_TRUE(said.has("Recovery: Permissions Given Back: " + sent.string())) << said.all();
    EXPECT_TRUE(said.has("Recovery: Partial Upload Removed: " + temporary.string())) << said.all();
}

// A recovery gives back the write permission a transfer took and nothing else: no setuid, setgid or sticky
// bit, and no more than the file had.
TEST(TransferJournal, PermissionsGivenBackAreOnlyTheWriteBitsTaken) {
    Sandbox box;
    const fs::path folder = box.server();
    const fs::path tool = folder / "TOOL";
    const fs::path wider = folder / "WIDER";
    const fs::path locked = folder / "LOCKED";
    for (const auto& p : {tool, wider, locked})
        WriteFile(p, std::string("x"));
    ::chmod(tool.c_str(), 0555);
    ::chmod(wider.c_str(), 0400);
    ::chmod(locked.c_str(), 02550);
    WriteDeadJournal(folder, "M " + Identity(tool) + " 4755 555 " + tool.string() + "\n" + "M " + Identity(wider) +
                                 " 777 400 " + wider.string() + "\n" + "M " + Identity(locked) + " 2770 2550 " +
                                 locked.string() + "\n");
    Said said;
    TransferJournal next;
    EXPECT_EQ(next.Open(folder.string(), {}, said.report()), 1);
    EXPECT_EQ(ModeOf(tool), 0555u);
    EXPECT_EQ(ModeOf(wider), 0400u);
    EXPECT_EQ(ModeOf(locked), 02770u) << "the write bits back, the setgid bit it had kept";
    EXPECT_TRUE(said.has("Left Alone (permissions the transfer did not take): " + tool.string())) << said.all();
    EXPECT_TRUE(said.has("Left Alone (permissions the transfer did not take): " + wider.string())) << said.all();
}

class ForeignJournal : public ::testing::TestWithParam<JournalPlant> {};

// A file named like a journal that this server's user did not write, or that is no plain small file, is left
// where it is and said once; what it names is not touched.
TEST_P(ForeignJournal, IsLeftAloneAndSaid) {
    const JournalPlant& c = GetParam();
    if (c.needsAnotherUser && !CanGiveToAnotherUser())
        GTEST_SKIP() << "the test cannot give a file to another user";
    Sandbox box;
    const fs::path folder = box.server();
    const fs::path victim = folder / "DATA.TXT";
    const fs::path temporary = folder / (std::string(kUploadTemporaryPrefix) + "v");
    WriteFile(victim, std::string("0123456789"));
    ::chmod(victim.c_str(), 0600);
    WriteFile(temporary, std::string("t"));
    const fs::path journal = folder / (std::string(kJournalPrefix) + "1-0");
    c.plant(journal, "A " + Identity(victim) + " 5 5 " + temporary.filename().string() + " " + victim.string() +
                         "\nM " + Identity(victim) + " 6777 600 " + victim.string() + "\nT " + temporary.string() +
                         "\n");

    Said said;
    TransferJournal next;
    EXPECT_EQ(next.Open(folder.string(), {}, said.report()), 0);
    EXPECT_EQ(Text(ReadFile(victim)), "0123456789");
    EXPECT_EQ(ModeOf(victim), 0600u);
    EXPECT_TRUE(fs::exists(temporary));
    EXPECT_TRUE(fs::exists(fs::symlink_status(journal))) << "left where it is";
    ASSERT_EQ(said.lines.size(), 1u) << said.all();
    EXPECT_EQ(said.lines[0], std::string("Transfer Journal Left Alone (") + c.why + "): " + journal.string());
    EXPECT_TRUE(next.IsOpen()) << "the server's own journal is made all the same";
}

const JournalPlant kForeignCases[] = {kOwnedByAnotherUser, kWritableByOthers, kFifo, kLink, kAnotherName, kTooLarge};

INSTANTIATE_TEST_SUITE_P(Cases, ForeignJournal, ::testing::ValuesIn(kForeignCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TransferJournal, TheServersOwnNamesAreKnownInAnyLetterCase) {
    for (const char* name : {".quendar-upload-1", ".QUENDAR-UPLOAD-1", ".Quendar-Journal-1-0", ".quendar-JOURNAL-x"})
        EXPECT_TRUE(IsServerWorkFile(name)) << name;
    for (const char* name : {"quendar-upload-1", "LOG.TXT", ".quendar", ".quendar-uploa"})
        EXPECT_FALSE(IsServerWorkFile(name)) << name;
}

// A note that cannot be written is said so, with the system's reason, and leaves nothing behind.
TEST(TransferJournal, ANoteThatCannotBeWrittenGivesTheReason) {
    TransferJournal none;
    Sandbox box;
    fs::remove_all(box.server());
    none.Open(box.server().string());
    EXPECT_FALSE(none.IsOpen());
    EXPECT_FALSE(none.NoteAppend("/x", 1, 2, 3, 4, std::string(kUploadTemporaryPrefix) + "y"));
    EXPECT_EQ(none.LastError(), ENOENT);
}

class JournalAtStart : public ServerOverPty {};

// The server's start undoes what a dead server left in a folder the drive map offers, and says each thing it
// did in the history.
TEST_F(JournalAtStart, UndoesWhatADeadServerLeftInAMappedDrive) {
    const fs::path sent = box.driveC() / "data" / "SENT.BIN";
    const fs::path temporary = box.driveC() / "data" / (std::string(kUploadTemporaryPrefix) + "e");
    WriteFile(sent, std::string("s"));
    WriteFile(temporary, std::string("t"));
    {
        TransferJournal dead;
        dead.Open(box.server().string());
        ASSERT_TRUE(dead.NoteTemporary(temporary.string()));
        const struct stat st = StatOf(sent);
        ASSERT_TRUE(dead.NoteReadOnly(sent.string(), st.st_dev, st.st_ino, 0640, 0440));
        ::chmod(sent.c_str(), 0440);
    }
    ASSERT_TRUE(StartServer());
    EXPECT_EQ(ModeOf(sent), 0640u);
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_TRUE(HasEvent("Recovery: Permissions Given Back: " + sent.string())) << ::testing::PrintToString(Events());
    EXPECT_TRUE(HasEvent("Recovery: Partial Upload Removed: " + temporary.string()))
        << ::testing::PrintToString(Events());
}

} // namespace
