// How a profile file is replaced: never through a name another user could plant, never over a file whose
// contents could not be read, and with the file's own mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FaultyFileCalls.h"
#include "platform/ProfileFile.h"

namespace fs = std::filesystem;
using plat::ProfileFile;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/profilefile-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/Quendar32.Ini";
    }
    void TearDown() override { fs::remove_all(dir_); }
    static void put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string dir_;
    std::string path_;
};

TEST_F(ProfileFileTest, AWriteNeverGoesThroughAPlantedLinkAndKeepsTheFileMode) {
    const std::string before = "[Security]\nEnforceSecurity=1\n";
    put(path_, before);
    ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
    // Links planted at the names a writer could predict, pointing at a file the writer must not touch.
    const std::string victim = dir_ + "/victim";
    put(victim, "keep");
    for (const std::string& name : {path_ + ".tmp" + std::to_string(::getpid()), path_ + ".tmp", path_ + "~"})
        ASSERT_EQ(::symlink(victim.c_str(), name.c_str()), 0);

    ProfileFile ini(path_);
    ASSERT_TRUE(ini.WriteInt("TestMode", "LostData", 0)) << ini.LastError();
    EXPECT_EQ(get(victim), "keep");
    struct stat st {};
    ASSERT_EQ(::lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(get(path_), before + "\n[TestMode]\nLostData=0\n");
    // Nothing else was left in the folder: the INI, the victim and the three links.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 5);
}

TEST_F(ProfileFileTest, AFileThatCannotBeReadIsNeverWrittenOver) {
    const std::string before = "[Security]\nEnforceSecurity=1\n";
    put(path_, before);
    ASSERT_EQ(::chmod(path_.c_str(), 0), 0);
    // Whoever writes must be unable to read the file but able to write in its folder. Root reads anything, so
    // there the writer is a child that has become an unprivileged user.
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        ProfileFile ini(path_);
        if (ini.WriteInt("TestMode", "CorruptData", 0))
            ::_exit(1);
        // The failure says why.
        ::_exit(ini.LastError().find("cannot be read") != std::string::npos ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: written over, 2: no reason given, 3: could not drop privileges";
    ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
    EXPECT_EQ(get(path_), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(ProfileFileTest, AFullDiskKeepsTheFileAndSaysWhy) {
    const std::string before = "[Security]\nEnforceSecurity=1\n";
    put(path_, before);
    ProfileFile ini(path_);
    for (const auto step : {FaultyFileCalls::Step::Write, FaultyFileCalls::Step::Sync, FaultyFileCalls::Step::Close}) {
        FaultyFileCalls full(step, ENOSPC, 8);
        EXPECT_FALSE(ini.WriteInt("TestMode", "LostData", 1));
        EXPECT_EQ(ini.LastError(), path_ + " cannot be written: " + plat::systemErrorText(ENOSPC).toStdString());
    }
    EXPECT_EQ(get(path_), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(ProfileFileTest, ANewFileGetsTheModeOfAPlainCreate) {
    const mode_t old = ::umask(027);
    ProfileFile ini(path_);
    const bool written = ini.WriteInt("Info", "Active", 1);
    ::umask(old);
    ASSERT_TRUE(written) << ini.LastError();
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ProfileFileTest, AKeyThatCouldNotBeReadBackIsRefusedAndSaysWhy) {
    ProfileFile ini(path_);
    for (const char* key : {"#Comment", "; Comment", "[Section]", "a=b", " "}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(ini.WriteString("Settings", key, "1"));
        EXPECT_FALSE(ini.LastError().empty());
    }
    EXPECT_FALSE(fs::exists(path_));
}

} // namespace
