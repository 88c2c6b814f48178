// The server program itself on a pseudo-terminal: what a remote unit may not touch (the table engine's shared log,
// in any letter case) and what a move keeps (content, owner, permissions), as an operator would see it.
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FullDisk.h"
#include "ServerProgramFixture.h"
#include "usertable/UserTableBuilder.h"

using namespace comms;

namespace {

// Entries of the folder named like the engine's shared log, whatever their case.
std::vector<std::string> SharedLogs(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        if (::strcasecmp(e.path().filename().c_str(), "c4.log") == 0)
            out.push_back(e.path().filename().string());
    return out;
}

// At security level 1 a logged-on user with every right can neither make, replace nor delete the engine's shared
// log in the server's folder, in any spelling; and a log planted there by other means stops no logon at the next
// start, which the history says.
TEST_F(ServerProgram, TheSharedLogOfTheTableEngineIsOutOfRemoteReachAndAPlantedOneStopsNoLogon) {
    const fs::path users = box.root / "users";
    fs::create_directories(users);
    ASSERT_TRUE(BuildUserTable(users.string(), {MakePolicy(), MakeUser("ADMIN", "secret")}));
    WriteSettings("[Security]\r\nEnforceSecurity=1\r\nUserTablesPath=" + users.string() + "\r\n");
    WriteFile(box.server() / "NOTE.TXT", std::string("note"));
    const pid_t first = Launch();
    ASSERT_TRUE(PortOpened(1)) << Log();

    for (const std::string name : {"C4.LOG", "c4.log", "C4.Log"}) {
        struct Case {
            const char* what;
            std::function<int()> run;
        };
        const Case cases[] = {
            {"upload", [&] { return session.Upload(name, Bytes{'x'}); }},
            {"appended upload", [&] { return session.Upload(name, Bytes{'x'}, TransferMode::Appended); }},
            {"delete", [&] { return session.RequestType(FrameType::FileDelete, RemoteSession::Name(name)); }},
            {"move onto it", [&] { return session.RequestType(FrameType::FileMove, MoveNames("NOTE.TXT", name)); }},
        };
        for (const Case& c : cases) {
            ASSERT_EQ(session.Logon("ADMIN", "secret"), FrameType::Done) << Log();
            EXPECT_EQ(c.run(), FrameType::Failed) << c.what << " " << name;
            EXPECT_TRUE(SharedLogs(box.server()).empty()) << c.what << " " << name;
        }
    }
    EXPECT_EQ(Text(ReadFile(box.server() / "NOTE.TXT")), "note");
    // A file of another name is the user's to send, as before.
    ASSERT_EQ(session.Logon("ADMIN", "secret"), FrameType::Done) << Log();
    EXPECT_EQ(session.Upload("C4.TXT", Bytes{'x'}), FrameType::Done) << Log();

    // A one-byte log left in the folder (by a local user, or before this server protected it).
    Kill(first);
    WriteFile(box.server() / "c4.log", Bytes{'x'});
    Launch();
    ASSERT_TRUE(PortOpened(2)) << Log();
    EXPECT_EQ(session.Logon("ADMIN", "secret"), FrameType::Done) << Log();
    EXPECT_NE(Log().find("User Tables Opened Without The Shared Log: " + (box.server() / "c4.log").string()),
              std::string::npos)
        << Log();
    EXPECT_EQ(ReadFile(box.server() / "c4.log"), Bytes{'x'}) << "the server leaves the file alone";
}

// A move keeps what it moves: within one file system the file itself is renamed; across file systems the copy
// gets the source's content, owner, permissions and time, and the source goes only once the copy is whole.
TEST_F(ServerProgram, AMoveKeepsTheFilesOwnerAndPermissionsOnOneFileSystemAndAcrossTwo) {
    SmallTmpfs other(1 << 20);
    if (!other.mounted())
        GTEST_SKIP() << other.whyNot().toStdString();
    const fs::path away = other.path().toStdString();
    WriteSettings("[DriveMap]\r\nD=" + away.string() + "\r\n");
    const Bytes secret = Pattern(70000, 3);
    const fs::path source = box.server() / "SECRET.TXT";
    WriteFile(source, secret);
    ASSERT_EQ(::chmod(source.c_str(), 0600), 0);
    // Another user's file where the test may give it one: the copy keeps its owner.
    const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
    if (nobody) {
        ASSERT_EQ(::chown(source.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    struct stat before {};
    ASSERT_EQ(::stat(source.c_str(), &before), 0);
    Launch();
    ASSERT_TRUE(PortOpened(1)) << Log();

    EXPECT_EQ(session.RequestType(FrameType::FileMove, MoveNames("SECRET.TXT", "MOVED.TXT")), FrameType::FileMoved)
        << Log();
    struct stat moved {};
    ASSERT_EQ(::stat((box.server() / "MOVED.TXT").c_str(), &moved), 0);
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(moved.st_mode & 07777, 0600u);
    EXPECT_EQ(moved.st_ino, before.st_ino) << "the file itself changed its name";

    EXPECT_EQ(session.RequestType(FrameType::FileMove, MoveNames("MOVED.TXT", "D:\\AWAY.TXT")), FrameType::FileMoved)
        << Log();
    struct stat copied {};
    ASSERT_EQ(::stat((away / "AWAY.TXT").c_str(), &copied), 0);
    EXPECT_FALSE(fs::exists(box.server() / "MOVED.TXT"));
    EXPECT_EQ(ReadFile(away / "AWAY.TXT"), secret);
    EXPECT_EQ(copied.st_mode & 07777, 0600u);
    EXPECT_EQ(copied.st_uid, before.st_uid);
    EXPECT_EQ(copied.st_gid, before.st_gid);
    EXPECT_EQ(copied.st_mtim.tv_sec, before.st_mtim.tv_sec);
    for (const auto& e : fs::directory_iterator(away))
        EXPECT_EQ(e.path().filename(), "AWAY.TXT") << "nothing else is left on the other file system";
}

// A folder reached under a second spelling (as a file system that ignores letter case offers every folder, here a
// bind mount): the server's files in it, those not made yet among them, are still its own.
TEST_F(ServerOverPty, TheServersFilesAreItsOwnUnderEverySpellingOfTheirFolder) {
    const fs::path alias = box.driveC() / "ALIAS";
    fs::create_directories(alias);
    if (::mount(box.server().c_str(), alias.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind a folder here: " << std::strerror(errno);
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{alias};
    server.Paths().SetServerFiles({(box.server() / "C4.LOG").string(), (box.server() / "Quendar32.Ini").string()});
    ASSERT_TRUE(StartServer());
    for (const std::string name : {"C:\\ALIAS\\C4.LOG", "c:\\alias\\c4.log", "C:\\ALIAS\\QUENDAR32.INI"}) {
        EXPECT_EQ(session.Upload(name, Bytes{'x'}), FrameType::Failed) << name;
        ASSERT_TRUE(Settled());
    }
    EXPECT_TRUE(SharedLogs(box.server()).empty());
    EXPECT_FALSE(fs::exists(box.server() / "QUENDAR32.INI"));
    EXPECT_EQ(session.Upload("C:\\ALIAS\\NOTE.TXT", Bytes{'x'}), FrameType::Done) << "other names stay in reach";
}

// The offered folders, which the start's recovery and the user tables both ask for: the server's folder and each
// mapped root, however its name was spelled, and nothing beside them.
TEST_F(ServerOverPty, TheOfferedFoldersAreTheServersFolderAndEachMappedRoot) {
    const fs::path away = box.root / "away";
    fs::create_directories(away);
    server.Paths().MapDrive('D', (box.root / "." / "away" / "sub" / "..").string());
    EXPECT_EQ(server.Paths().OfferedFolders(),
              (std::vector<std::string>{box.server().string(), box.driveC().string(), away.string()}));
    for (const fs::path& in : {box.server() / "NEW.TXT", box.driveC() / "data", away / "X" / "Y.TXT"})
        EXPECT_TRUE(server.Paths().Offers(in.string())) << in;
    for (const fs::path& out : {box.outside() / "X.TXT", box.root, fs::path("/etc/passwd")})
        EXPECT_FALSE(server.Paths().Offers(out.string())) << out;
}

} // namespace
