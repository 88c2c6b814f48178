// What a journal left by a server that died is undone at the next start, and only that: a file that was
// changed or replaced since, and the journal of a server that still runs, are left alone.
#include <sys/stat.h>

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
