// A move to another file system that cannot be finished (the disk fills, the copy cannot be synced) leaves the
// source as it was and any earlier file at the destination too, and reaches the remote unit as a refusal.
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "FullDisk.h"
#include "ServerFixture.h"

using namespace comms;

namespace {

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST_F(ServerOverPty, AMoveAcrossFileSystemsThatFailsLeavesTheSourceAndTheDestinationAsTheyWere) {
    // Room for the earlier destination file but not for the source.
    SmallTmpfs other(64 * 1024);
    if (!other.mounted())
        GTEST_SKIP() << other.whyNot().toStdString();
    const fs::path away = other.path().toStdString();
    server.Paths().MapDrive('D', away.string());
    ASSERT_TRUE(StartServer());

    struct Case {
        const char* what;
        std::size_t size;
        FileSyncer syncer;
        const char* reason;
    };
    const Case cases[] = {
        {"the other disk fills", 200000, nullptr, "No space left on device"},
        {"the copy cannot be synced", 4000,
         [](int) {
             errno = EIO;
             return -1;
         },
         "Input/output error"},
    };
    const Bytes earlier = Pattern(1000, 9);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        server.SetFileSyncer(c.syncer ? c.syncer : FileSyncer([](int fd) { return ::fsync(fd); }));
        const fs::path source = box.server() / "BIG.DAT";
        const Bytes content = Pattern(c.size, 5);
        WriteFile(source, content);
        ASSERT_EQ(::chmod(source.c_str(), 0640), 0);
        WriteFile(away / "BIG.DAT", earlier);

        EXPECT_EQ(session.RequestType(FrameType::FileMove, MoveNames("BIG.DAT", "D:\\BIG.DAT")), FrameType::Failed);
        ASSERT_TRUE(Settled());
        EXPECT_EQ(ReadFile(source), content);
        EXPECT_EQ(ModeOf(source), 0640u);
        EXPECT_EQ(ReadFile(away / "BIG.DAT"), earlier);
        EXPECT_EQ(Entries(away), std::vector<std::string>{"BIG.DAT"}) << "no half copy is left behind";
        EXPECT_TRUE(HasEvent("File Move Failed: From: BIG.DAT To: D:\\BIG.DAT (" + std::string(c.reason) + ")"));
    }
    EXPECT_EQ(Stat(LinkCounter::FailedFileMoves), 2u);
}

// The name to be moved is not followed: a link in its place is refused and stays as it is, and so does its target.
TEST_F(ServerOverPty, AMoveOfALinkIsRefusedAndTouchesNeitherTheLinkNorItsTarget) {
    ASSERT_TRUE(StartServer());
    WriteFile(box.server() / "TARGET.TXT", std::string("target"));
    fs::create_symlink("TARGET.TXT", box.server() / "LINK.TXT");
    EXPECT_EQ(session.RequestType(FrameType::FileMove, MoveNames("LINK.TXT", "C:\\DATA\\LINK.TXT")), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(fs::is_symlink(box.server() / "LINK.TXT"));
    EXPECT_EQ(Text(ReadFile(box.server() / "TARGET.TXT")), "target");
    EXPECT_FALSE(fs::exists(box.driveC() / "data" / "LINK.TXT"));
}

} // namespace
