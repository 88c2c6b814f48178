#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/ProfileFile.h"

namespace fs = std::filesystem;
using plat::ProfileFile;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("profile_test_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        path_ = (dir_ / "Quendar32.Ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    void write(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    fs::path dir_;
    std::string path_;
};

TEST_F(ProfileTest, LookupsFollowTheProfileRules) {
    write("; comment\r\n"
          "[Communications]\r\n"
          "  comport =  3  \r\n"
          "ComPort=9\r\n"
          "Name = \"  quoted  \"\r\n"
          "Plain='x'\r\n"
          "[communications]\r\n"
          "Other=1\r\n"
          "[Timers]\r\n"
          "Ack=12abc\r\n"
          "Neg=-1\r\n"
          "Text=abc\r\n"
          "Empty=\r\n"
          "Huge=99999999999\r\n");
    ProfileFile ini(path_);
    EXPECT_EQ(ini.GetInt("COMMUNICATIONS", "ComPort", 0), 3); // names ignore case; the first match wins
    EXPECT_EQ(ini.GetString("Communications", "Name"), "  quoted  ");
    EXPECT_EQ(ini.GetString("Communications", "Plain"), "x");
    EXPECT_EQ(ini.GetInt("Communications", "Other", 7), 7); // a second section of that name is not read
    EXPECT_EQ(ini.GetInt("Timers", "Ack", 0), 12);
    EXPECT_EQ(ini.GetInt("Timers", "Neg", 0), -1);
    EXPECT_EQ(ini.GetInt("Timers", "Text", 5), 0);
    EXPECT_EQ(ini.GetInt("Timers", "Empty", 5), 0);
    EXPECT_EQ(ini.GetInt("Timers", "Huge", 0), 2147483647);
    EXPECT_EQ(ini.GetInt("Timers", "Missing", 5), 5);
    EXPECT_EQ(ini.GetString("Nowhere", "Key", "def"), "def");
    EXPECT_FALSE(ini.HasKey("Timers", "Missing"));
    EXPECT_TRUE(ini.HasKey("timers", "EMPTY"));

    ProfileFile missing((dir_ / "none.ini").string());
    EXPECT_EQ(missing.GetInt("A", "B", 42), 42);
}

TEST_F(ProfileTest, WritesChangeOnlyTheirLineAndKeepLineEnds) {
    write("; keep me\r\n[A]\r\nx=1\r\ny = 2 ; old\r\n\r\n[B]\r\nz=3\r\n");
    ProfileFile ini(path_);
    ASSERT_TRUE(ini.WriteString("a", "Y", "20"));
    ASSERT_TRUE(ini.WriteInt("A", "new", 5));
    ASSERT_TRUE(ini.WriteInt("C", "w", 7));
    EXPECT_EQ(read(), "; keep me\r\n[A]\r\nx=1\r\ny=20\r\nnew=5\r\n\r\n[B]\r\nz=3\r\n\r\n[C]\r\nw=7\r\n");

    // A value can never add lines of its own, and a name that would break the file is refused.
    ASSERT_TRUE(ini.WriteString("B", "z", "a\r\n[Evil]\nk=v"));
    EXPECT_EQ(ini.GetString("B", "z"), "a  [Evil] k=v");
    EXPECT_FALSE(ini.HasKey("Evil", "k"));
    EXPECT_FALSE(ini.WriteString("B", "a=b", "1"));
    EXPECT_FALSE(ini.WriteString("B]", "k", "1"));
    EXPECT_FALSE(ini.WriteString("", "k", "1"));
}

TEST_F(ProfileTest, WriteCreatesTheFileAndFailsCleanlyWhereItCannot) {
    ProfileFile ini(path_);
    ASSERT_TRUE(ini.WriteString("Info", "Active", "Active"));
    EXPECT_EQ(read(), "[Info]\nActive=Active\n");
    ProfileFile nowhere((dir_ / "no" / "such" / "x.ini").string());
    EXPECT_FALSE(nowhere.WriteInt("A", "b", 1));
    // No temporary file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(ProfileTest, TwoThreadsWritingDifferentKeysLoseNothing) {
    ProfileFile ini(path_);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&ini, t] {
            for (int i = 0; i < 50; ++i)
                ini.WriteInt("S" + std::to_string(t), "K" + std::to_string(i), i);
        });
    // A reader meanwhile always sees a whole file.
    for (int i = 0; i < 50; ++i) {
        const int v = ini.GetInt("S0", "K0", -5);
        EXPECT_TRUE(v == -5 || v == 0);
    }
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < 50; ++i)
            EXPECT_EQ(ini.GetInt("S" + std::to_string(t), "K" + std::to_string(i), -1), i);
}

} // namespace
