#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "commserver/HistoryLog.h"

using namespace comms;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kTime = 1'700'000'000;

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/vord-history-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::vector<std::string> readLines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(HistoryLog, TheRingKeepsTheLastHundredEventsInOrder) {
    HistoryLog log;
    log.PortNumber = 0;
    for (int i = 1; i <= 101; ++i)
        log.LogHistoryEvent("event " + std::to_string(i), HistoryEventCode::FileReceive | 1);
    const auto entries = log.Snapshot();
    for (int i = 0; i < HistoryLog::kEntries; ++i)
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].text, "COM1 event " + std::to_string(i + 2));
    EXPECT_EQ(log.ChangeCounter(), 102u);

    log.Clear();
    EXPECT_EQ(log.ChangeCounter(), 1u);
    EXPECT_TRUE(log.Snapshot().back().text.empty());
}

TEST(HistoryLog, AnEventWithoutAPortBeginsWithABlank) {
    HistoryLog log;
    log.SetClock([] { return kTime; });
    log.LogHistoryEvent("Com Port Open Failed", 0x006);
    const HistoryEntry e = log.Snapshot().back();
    EXPECT_EQ(e.text, " Com Port Open Failed");
    EXPECT_EQ(e.code, 0x006);
    EXPECT_EQ(e.time, kTime);
}

TEST(HistoryLog, TwoThreadsLoggingAtOnceLoseNothing) {
    HistoryLog log;
    auto writer = [&log](const char* who) {
        for (int i = 0; i < 500; ++i)
            log.LogHistoryEvent(who, 0x081);
    };
    std::thread a(writer, "worker"), b(writer, "window");
    for (int i = 0; i < 200; ++i) {
        for (const HistoryEntry& e : log.Snapshot())
            ASSERT_TRUE(e.text.empty() || e.text == " worker" || e.text == " window");
    }
    a.join();
    b.join();
    EXPECT_EQ(log.ChangeCounter(), 1001u);
}

// Which events reach the file: the type must be selected, and the mask's outcome bits must be both set or
// equal to the event's outcome.
struct FileCase {
    int logTypes;
    std::vector<int> written; // of the codes 0x005, 0x006, 0x007, 0x081, 0x082, 0x602, 0x802
};

class HistoryLogFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(HistoryLogFile, GetsExactlyTheTypesItsMaskSelects) {
    TempFolder dir;
    HistoryLog log;
    log.SetClock([] { return kTime; });
    log.PortNumber = 1;
    log.SetLogFile((dir.path() / "history.log").string());
    log.LogStatus = 1;
    log.LogTypes = GetParam().logTypes;
    for (int code : {0x005, 0x006, 0x007, 0x081, 0x082, 0x602, 0x802})
        log.LogHistoryEvent("code " + std::to_string(code), code);

    std::vector<std::string> expected;
    for (int code : GetParam().written)
        expected.push_back(FormatEventTime(kTime) + " COM2 code " + std::to_string(code) + "\r");
    EXPECT_EQ(readLines(dir.path() / "history.log"), expected);
}

INSTANTIATE_TEST_SUITE_P(Masks, HistoryLogFile,
                         ::testing::Values(FileCase{2047, {0x005, 0x006, 0x007, 0x081, 0x082, 0x602}},
                                           FileCase{0x7FE, {0x006, 0x082, 0x602}}, // failures only: not 1, not 3
                                           FileCase{0x7FD, {0x005, 0x081}},        // successes only
                                           FileCase{0x080 | 3, {0x081, 0x082}},    // file receive only
                                           FileCase{0x004 | 0x200 | 2,
                                                    {0x006, 0x602}},     // initialise and connects, failures
                                           FileCase{0x800 | 3, {0x802}}, // file info lies outside the defaults
                                           FileCase{0, {}}));

TEST(HistoryLog, NothingIsWrittenWhenLoggingIsOffAndAnUnopenableFileIsSkipped) {
    TempFolder dir;
    HistoryLog log;
    log.SetLogFile((dir.path() / "off.log").string());
    log.LogStatus = 0;
    log.LogHistoryEvent("not logged", 0x005);
    EXPECT_FALSE(fs::exists(dir.path() / "off.log"));

    log.SetLogFile((dir.path() / "missing-folder" / "x.log").string());
    log.LogStatus = 1;
    log.LogHistoryEvent("ring only", 0x005);
    EXPECT_EQ(log.Snapshot().back().text, " ring only");
}

// Names and paths in events come from the remote unit; whatever control characters they hold, each event is
// one line of the file and one entry of the ring, with nothing a reader could take for a line break.
class HistoryLogControlText : public ::testing::TestWithParam<std::string> {};

TEST_P(HistoryLogControlText, StaysOnTheEventsOwnLine) {
    TempFolder dir;
    HistoryLog log;
    log.SetClock([] { return kTime; });
    log.PortNumber = 0;
    log.SetLogFile((dir.path() / "history.log").string());
    log.LogStatus = 1;
    const std::string forged = FormatEventTime(kTime) + " COM1 User Connected: ADMIN (Administrator)";
    log.LogHistoryEvent("No User Tables Entry: x" + GetParam() + forged, 0x602);
    log.LogHistoryEvent("next", 0x005);

    const auto lines = readLines(dir.path() / "history.log");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind(FormatEventTime(kTime) + " COM1 No User Tables Entry: x", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], FormatEventTime(kTime) + " COM1 next\r");
    const std::string inRing = log.Snapshot()[HistoryLog::kEntries - 2].text;
    for (const std::string& text : {lines[0].substr(0, lines[0].size() - 1), inRing}) {
        EXPECT_NE(text.find(forged.substr(20)), std::string::npos) << "the text itself is kept";
        for (char c : text)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << int(c) << " in " << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HistoryLogControlText,
                         ::testing::Values(std::string("\r\n"), std::string("\n"), std::string("\r"),
                                           std::string("\x0b\x0c"), std::string("\x1b[2K\x7f"),
                                           std::string("\0\t", 2)));

struct ViewCase {
    int viewTypes;
    int code;
    bool listed;
};

class HistoryView : public ::testing::TestWithParam<ViewCase> {};

TEST_P(HistoryView, ListsByTypeAndSharedOutcome) {
    EXPECT_EQ(ViewTypesSelect(GetParam().viewTypes, GetParam().code), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(Table, HistoryView,
                         ::testing::Values(ViewCase{0x7FE, 0x007, true}, ViewCase{0x7FE, 0x005, false},
                                           ViewCase{0x7FD, 0x007, true}, ViewCase{0x7FF, 0x802, false},
                                           ViewCase{0x083, 0x101, false}, ViewCase{0x083, 0x081, true}));

TEST(HistoryView, TheFileAndTheWindowTreatOutcomeThreeDifferently) {
    EXPECT_FALSE(LogTypesSelect(0x7FE, 0x007));
    EXPECT_TRUE(ViewTypesSelect(0x7FE, 0x007));
}

struct DescriptionCase {
    int viewTypes;
    const char* text;
};

class HistoryViewDescription : public ::testing::TestWithParam<DescriptionCase> {};

TEST_P(HistoryViewDescription, SaysWhatIsShown) {
    EXPECT_EQ(ViewFilterDescription(GetParam().viewTypes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HistoryViewDescription,
    ::testing::Values(DescriptionCase{2047, "Everything"},
                      DescriptionCase{2046, "Failed Operations Events: All Events"},
                      DescriptionCase{2045, "Successful Operations Events: All Events"},
                      DescriptionCase{0x183, "OK and Failed Operations Events: File Receive, Fle Send"},
                      DescriptionCase{0x6FD, "Successful Operations Events: File Receive, Intialise, Clock Set, "
                                             "File Delete, File Move, Prog Run, Security, Connects"}));

} // namespace
