#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "commserver/CommonLogger.h"
#include "commserver/HistoryLog.h"
#include "platform/WindowMessages.h"

using namespace comms;
namespace wm = plat::winmsg;
namespace fs = std::filesystem;

namespace {

std::string textAt(const HistoryEventRecord& r, std::size_t offset) {
    return std::string(reinterpret_cast<const char*>(&r[offset]));
}
std::uint32_t u32At(const HistoryEventRecord& r, std::size_t offset) {
    return r[offset] | (r[offset + 1] << 8) | (r[offset + 2] << 16) | (std::uint32_t(r[offset + 3]) << 24);
}

TEST(HistoryEventRecord, HasItsFieldsAtTheirOffsets) {
    const HistoryEventRecord r =
        BuildHistoryEventRecord("File Receive OK: A.TXT", 0x081, "JIM", "Jim Smith", 2, 1'700'000'123, 456, "HOST");
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(u32At(r, 4), 1'700'000'123u);
    EXPECT_EQ(r[8] | (r[9] << 8), 456);
    EXPECT_EQ(r[10], 1);
    EXPECT_EQ(textAt(r, 11), "COM3");
    EXPECT_EQ(textAt(r, 17), "JIM");
    EXPECT_EQ(textAt(r, 48), "Jim Smith");
    EXPECT_EQ(u32At(r, 100), 0x080u);
    EXPECT_EQ(textAt(r, 104), "File Receive OK: A.TXT");
    EXPECT_EQ(textAt(r, 360), "HOST");
    for (std::size_t i : {1u, 2u, 3u, 79u, 99u, 395u})
        EXPECT_EQ(r[i], 0) << "unused byte " << i;
}

struct NameCase {
    std::string given;
    std::string sent;
};

class HistoryEventRecordNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(HistoryEventRecordNames, LongerThanThirtyIsUnknown) {
    const auto r = BuildHistoryEventRecord("m", 0x601, GetParam().given, GetParam().given, 0, 0, 0, "H");
    EXPECT_EQ(textAt(r, 17), GetParam().sent);
    EXPECT_EQ(textAt(r, 48), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(Table, HistoryEventRecordNames,
                         ::testing::Values(NameCase{std::string(30, 'u'), std::string(30, 'u')},
                                           NameCase{std::string(31, 'u'), "Unknown"}, NameCase{"", ""}));

TEST(HistoryEventRecord, BoundsWhatDoesNotFit) {
    const auto r = BuildHistoryEventRecord(std::string(400, 'm'), 0x021, "u", "f", 99, 0, 0, "A-VERY-LONG-HOSTNAME");
    EXPECT_EQ(textAt(r, 104), std::string(255, 'm'));
    EXPECT_EQ(textAt(r, 11), "") << "COM100 does not fit its field and is not cut to a wrong name";
    EXPECT_EQ(textAt(r, 360), "A-VERY-LONG-HOS");
    EXPECT_EQ(textAt(BuildHistoryEventRecord("m", 1, "", "", -1, 0, 0, "h"), 11), "");
}

TEST(HistoryEventRecord, CarriesNoControlCharacters) {
    const auto r = BuildHistoryEventRecord("No User Tables Entry: a\r\nforged", 0x602, "a\nb", "c\td", 0, 0, 0, "H");
    EXPECT_EQ(textAt(r, 104), "No User Tables Entry: a??forged");
    EXPECT_EQ(textAt(r, 17), "a?b");
    EXPECT_EQ(textAt(r, 48), "c?d");
}

// The outside common logger: a window titled as the server looks for it, that keeps what it is sent.
class FakeCommonLogger {
public:
    explicit FakeCommonLogger(std::uint64_t answer = 1) : answer_(answer) {}
    bool start() {
        return listener_.registerWindow("LoggerFrame", "QUARN Common Logger", [this](const wm::WindowMessage& m) {
            std::lock_guard lock(mutex_);
            received_.push_back(m);
            return answer_;
        });
    }
    void stop() { listener_.unregisterWindow(); }
    std::vector<wm::WindowMessage> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    std::uint64_t answer_;
    std::mutex mutex_;
    std::vector<wm::WindowMessage> received_;
    wm::WindowListener listener_;
};

class CommonLoggerLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vord-windows-test-XXXXXX";
        folder_ = ::mkdtemp(pattern);
        ::setenv("VORD_WINDOWS_DIR", folder_.c_str(), 1);
        ASSERT_TRUE(server.registerWindow("Afx:400000:0", "Quarn Communications", [](const auto&) { return 1; }));
        link.SetServerWindow(server.handle());
        // Long enough for a loaded machine: a send that timed out would be sent once more and counted twice.
        link.SetSendTimeout(10'000);
        link.SetProgramStarter([this](const std::string& program, const std::string& folder) {
            started.push_back({program, folder});
            return true;
        });
        link.Configure("/opt/quarn", "/srv/quarn-db", false);
        history.PortNumber = 0;
        history.SetCommonLogger(&link, [] { return HistoryLog::SessionNames{"JIM", "Jim Smith"}; });
    }
    void TearDown() override {
        server.unregisterWindow();
        ::unsetenv("VORD_WINDOWS_DIR");
        fs::remove_all(folder_);
    }

    std::string folder_;
    wm::WindowListener server;
    CommonLoggerLink link;
    HistoryLog history;
    std::vector<std::pair<std::string, std::string>> started;
};

TEST_F(CommonLoggerLinkTest, AnEventReachesTheLoggerAsItsRecord) {
    FakeCommonLogger logger;
    ASSERT_TRUE(logger.start());
    link.ConnectCommonLogger();
    EXPECT_FALSE(link.LoggerMissing());
    EXPECT_TRUE(started.empty());

    history.LogHistoryEvent("User Connected: JIM (Jim Smith)", 0x601);
    ASSERT_TRUE(link.Flush(30000));
    const auto got = logger.received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, wm::WM_COPYDATA);
    EXPECT_TRUE(got[0].isSend);
    EXPECT_EQ(got[0].wParam, server.handle());
    EXPECT_EQ(got[0].lParam, 0u);
    ASSERT_EQ(got[0].data.size(), 396u);
    HistoryEventRecord r;
    std::memcpy(r.data(), got[0].data.data(), r.size());
    EXPECT_EQ(textAt(r, 104), "User Connected: JIM (Jim Smith)") << "the message goes without the port label";
    EXPECT_EQ(textAt(r, 11), "COM1");
    EXPECT_EQ(textAt(r, 17), "JIM");
    EXPECT_EQ(textAt(r, 48), "Jim Smith");
    EXPECT_EQ(u32At(r, 100), 0x600u);
    EXPECT_EQ(r[10], 1);
}

TEST_F(CommonLoggerLinkTest, AMissingLoggerIsStartedOnceAndItsAbsenceCostsOnlyItsCopy) {
    link.ConnectCommonLogger();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].first, "/opt/quarn/QuendarCommonLogger.Exe");
    EXPECT_EQ(started[0].second, "/srv/quarn-db");
    EXPECT_TRUE(link.LoggerMissing());

    history.LogHistoryEvent("Com Port Opened OK", 0x005);
    ASSERT_TRUE(link.Flush(30000));
    EXPECT_EQ(history.Snapshot().back().text, "COM1 Com Port Opened OK");

    // The logger comes up later and is found by the next event.
    FakeCommonLogger logger;
    ASSERT_TRUE(logger.start());
    history.LogHistoryEvent("Modem Initialised", 0x005);
    ASSERT_TRUE(link.Flush(30000));
    ASSERT_EQ(logger.received().size(), 1u);
    EXPECT_FALSE(link.LoggerMissing());

    // And goes away again.
    logger.stop();
    history.LogHistoryEvent("Com Port Closed", 0x007);
    ASSERT_TRUE(link.Flush(30000));
    EXPECT_TRUE(link.LoggerMissing());
    EXPECT_EQ(history.Snapshot().back().text, "COM1 Com Port Closed");
}

TEST_F(CommonLoggerLinkTest, NotStartedWhenTheCommandLineSaysSo) {
    link.Configure("/opt/quarn", "", true);
    link.ConnectCommonLogger();
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(link.LoggerMissing());
}

TEST_F(CommonLoggerLinkTest, ARefusedRecordIsSentOnceMore) {
    FakeCommonLogger logger(/*answer=*/0);
    ASSERT_TRUE(logger.start());
    link.ConnectCommonLogger();
    history.LogHistoryEvent("Security Abort", 0x402);
    ASSERT_TRUE(link.Flush(30000));
    EXPECT_EQ(logger.received().size(), 2u);
}

TEST_F(CommonLoggerLinkTest, TheLinkIsOffWithoutAnInstallation) {
    FakeCommonLogger logger;
    ASSERT_TRUE(logger.start());
    link.Configure("", "", false);
    link.ConnectCommonLogger();
    history.LogHistoryEvent("Com Port Opened OK", 0x005);
    ASSERT_TRUE(link.Flush(30000));
    EXPECT_TRUE(logger.received().empty());
}

TEST_F(CommonLoggerLinkTest, AHungLoggerDoesNotHoldUpWhoeverLogs) {
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    wm::WindowListener hung;
    ASSERT_TRUE(hung.registerWindow("LoggerFrame", "QUARN Common Logger", [&](const wm::WindowMessage&) {
        std::unique_lock lock(m);
        cv.wait_for(lock, std::chrono::seconds(30), [&] { return release; });
        return std::uint64_t{1};
    }));
    link.SetSendTimeout(20'000);
    link.ConnectCommonLogger();
    const auto start = std::chrono::steady_clock::now();
    history.LogHistoryEvent("Com Port Opened OK", 0x005);
    history.LogHistoryEvent("Modem Initialised", 0x005);
    // Both events are in the ring long before a send to the hung logger could have timed out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(history.Snapshot().back().text, "COM1 Modem Initialised");
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    EXPECT_TRUE(link.Flush(60'000));
    hung.unregisterWindow();
}

} // namespace
