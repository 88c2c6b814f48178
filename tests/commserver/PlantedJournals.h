#pragma once
// Files named like a journal that the server's user did not write, or that are no small plain file: the ways
// another user (or a mishap) can put one where the server looks for its journals, each with the reason the
// history gives when the server leaves it alone.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ServerFixture.h"

inline uid_t NobodyUid() {
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_uid : static_cast<uid_t>(-1);
}

// True when this test may give a file to another user.
inline bool CanGiveToAnotherUser() {
    return ::geteuid() == 0 && NobodyUid() != static_cast<uid_t>(-1);
}

struct JournalPlant {
    const char* name;
    // Puts the file at the journal's path, holding the notes where it holds anything.
    void (*plant)(const fs::path& journal, const std::string& notes);
    const char* why;
    bool needsAnotherUser;
};

inline void PrintTo(const JournalPlant& c, std::ostream* os) {
    *os << c.name;
}

// A journal's notes in a private file in the sandbox's outside folder, for a plant that points there.
inline fs::path NotesOutside(const fs::path& journal, const std::string& notes) {
    const fs::path real = journal.parent_path().parent_path() / "outside" / "notes";
    WriteFile(real, notes);
    ::chmod(real.c_str(), 0600);
    return real;
}

inline const JournalPlant kOwnedByAnotherUser{"OwnedByAnotherUser",
                                              [](const fs::path& j, const std::string& notes) {
                                                  WriteFile(j, notes);
                                                  ::chmod(j.c_str(), 0600);
                                                  ASSERT_EQ(::chown(j.c_str(), NobodyUid(), static_cast<gid_t>(-1)), 0);
                                              },
                                              "not owned by the server's user", true};
inline const JournalPlant kWritableByOthers{"WritableByOthers",
                                            [](const fs::path& j, const std::string& notes) {
                                                WriteFile(j, notes);
                                                ::chmod(j.c_str(), 0666);
                                            },
                                            "writable by others", false};
inline const JournalPlant kFifo{"AFifo",
                                [](const fs::path& j, const std::string&) { ASSERT_EQ(::mkfifo(j.c_str(), 0600), 0); },
                                "not a regular file", false};
inline const JournalPlant kLink{
    "ALink", [](const fs::path& j, const std::string& notes) { fs::create_symlink(NotesOutside(j, notes), j); },
    "a link", false};
inline const JournalPlant kAnotherName{
    "AnotherNameOfAFile",
    [](const fs::path& j, const std::string& notes) { fs::create_hard_link(NotesOutside(j, notes), j); },
    "has other names", false};
// 200 MB without a line break, never to be read.
inline const JournalPlant kTooLarge{"TooLarge",
                                    [](const fs::path& j, const std::string& notes) {
                                        WriteFile(j, notes);
                                        ::chmod(j.c_str(), 0600);
                                        ASSERT_EQ(::truncate(j.c_str(), 200 << 20), 0);
                                    },
                                    "too large", false};
