// The link module against the simulated logger: what each operation sends, what it makes of the reply, and
// how it ends when the line fails.
#include "SarnicFixture.h"

#include "core/Shared.h"
#include "lang/LangText.h"

#include <QTimer>

#include <cmath>
#include <cstdlib>

using namespace directlink;
using Fault = SarnicSimulator::Fault;
using Bytes = std::vector<std::uint8_t>;

namespace {
class SarnicLink : public SarnicFixture {
protected:
    void SetUp() override {
        SarnicFixture::SetUp();
        connect();
    }
    // The requests since the last clearLog, as (command, payload).
    std::vector<std::pair<int, Bytes>> sent() const {
        std::vector<std::pair<int, Bytes>> out;
        for (const auto& r : sim->requests())
            out.emplace_back(r.command, r.payload);
        return out;
    }
    void readVersion() {
        std::int16_t major = 0, minor = 0;
        ASSERT_TRUE(LoggerReadVersion(major, minor));
    }
};
} // namespace

TEST_F(SarnicLink, ConnectWakesTheLoggerAndOnlyPortsOneToFourOpen) {
    EXPECT_TRUE(LinkIsOpen());
    EXPECT_TRUE(sim->state().awake);
    EXPECT_EQ(sim->attentions(), 0) << "cleared after connecting";
    for (std::int16_t port : {0, 5, -1}) {
        EXPECT_FALSE(LinkConnect(port));
        EXPECT_FALSE(LinkIsOpen()) << "the link is closed before the port is checked";
    }
    ::setenv("VORD_COM2", "/nonexistent/tty", 1);
    EXPECT_FALSE(LinkConnect(2));
    ::unsetenv("VORD_COM2");
    EXPECT_TRUE(LinkConnect(1));
}

TEST(SarnicCommands, ReplyLengths) {
    const std::vector<std::pair<std::int32_t, std::int32_t>> table{
        {0, 12},  {11, 12}, {1, 1}, {18, 1}, {240, 1}, {2, 4},   {4, 4}, {253, 4}, {7, 108},
        {8, 200}, {3, 0},   {5, 0}, {13, 0}, {17, 0},  {252, 0}, {6, 0}, {255, 0}, {-1, 0}};
    for (auto [command, length] : table)
        EXPECT_EQ(LinkReplyLength(command), length) << command;
}

TEST_F(SarnicLink, ReadsDecodeTheLoggersValues) {
    sim->with([](auto& s) {
        s.serial = 12345;
        s.firmwareMajor = 1;
        s.firmwareMinor = 2;
        s.days = 0x41;
        s.noise = 97;
        s.memory[18] = 0x80;
        s.memory[19] = s.memory[20] = s.memory[21] = 0;
        s.clockStopped = true;
    });
    sim->setClock(60);
    std::int16_t major = 0, minor = 0;
    ASSERT_TRUE(LoggerReadVersion(major, minor));
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 2);
    QString serial;
    ASSERT_TRUE(LoggerReadSerial(serial));
    EXPECT_EQ(serial, "00012345");
    QDateTime clock;
    ASSERT_TRUE(LoggerReadClock(clock));
    EXPECT_EQ(clock, QDateTime(QDate(1970, 1, 1), QTime(0, 1, 0)));
    QDateTime reset;
    ASSERT_TRUE(LoggerReadLastReset(reset));
    EXPECT_EQ(reset.date(), QDate(1901, 12, 13)) << "a signed count: before 1970";
    DayFlags days{};
    ASSERT_TRUE(LoggerReadDays(days));
    EXPECT_EQ(days, (DayFlags{true, false, false, false, false, false, true}));
    float level = 0;
    ASSERT_TRUE(LoggerReadNoiseLevel(level));
    EXPECT_FLOAT_EQ(level, 48.5f);

    HistogramCounts counts{};
    ASSERT_TRUE(LoggerReadGraph(counts));
    const auto hist = sim->state().histogram;
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(counts[i], hist[i]) << i;
    HistoryBytes levels{}, spreads{};
    ASSERT_TRUE(LoggerReadHistory(levels, spreads));
    const auto h = sim->state().history;
    EXPECT_EQ(levels[11], h[0]) << "the current entry is at the front of the reply";
    EXPECT_EQ(spreads[11], h[1]);
    EXPECT_EQ(levels[0], h[22]);
    EXPECT_EQ(spreads[0], h[23]);
}

TEST_F(SarnicLink, LeakStatusAndBatteryFollowTheirTables) {
    struct Leak {
        std::uint8_t code;
        QString text;
    };
    for (const Leak& c : {Leak{0, LoadLangString(txt::NotInLeak)}, Leak{1, LoadLangString(txt::LeakStatusWarning)},
                          Leak{2, LoadLangString(txt::LeakStatusLeak)}, Leak{3, LoadLangString(txt::LeakStatusWarning)},
                          Leak{7, "Undefined"}}) {
        sim->with([&](auto& s) { s.leakCode = c.code; });
        QString status;
        ASSERT_TRUE(LoggerReadLeakStatus(status));
        EXPECT_EQ(status, c.text) << int(c.code);
    }
    EXPECT_FALSE(LoadLangString(txt::NotInLeak).isEmpty());
    for (auto [raw, volts] : {std::pair{0, 1.25f}, std::pair{128, 2.51f}}) {
        sim->with([raw = raw](auto& s) { s.battery = static_cast<std::uint8_t>(raw); });
        float v = 0;
        ASSERT_TRUE(LoggerReadBattery(v));
        EXPECT_NEAR(v, volts, 0.005f) << raw;
    }
    sim->with([](auto& s) { s.battery = 255; });
    float v = 0;
    ASSERT_TRUE(LoggerReadBattery(v));
    EXPECT_TRUE(std::isinf(v));
}

TEST_F(SarnicLink, RatesUseTheStoredScaleOnlyFromFirmwareOneTwo) {
    sim->with([](auto& s) { s.rates = {0x5A, 0xA5, 60, 30}; });
    struct Case {
        std::uint8_t major, minor;
        int scale;
        std::size_t memoryReads;
    };
    for (const Case& c : {Case{1, 1, 5, 0}, Case{2, 0, 5, 0}, Case{1, 2, 10, 2}}) {
        sim->with([&](auto& s) {
            s.firmwareMajor = c.major;
            s.firmwareMinor = c.minor;
        });
        readVersion();
        sim->clearLog();
        std::int32_t leak = 0, noLeak = 0;
        ASSERT_TRUE(LoggerReadRates(leak, noLeak));
        EXPECT_EQ(leak, 30 * c.scale);
        EXPECT_EQ(noLeak, 60 * c.scale);
        const auto s = sent();
        EXPECT_EQ(s.size(), 1 + c.memoryReads);
        for (std::size_t k = 1; k < s.size(); ++k)
            EXPECT_EQ(s[k], (std::pair<int, Bytes>{253, {252, 24}}));
    }
}

TEST_F(SarnicLink, WritesSendWhatTheUserTyped) {
    ASSERT_TRUE(LoggerWriteRates("1234", "3000"));
    EXPECT_EQ(sent(), (std::vector<std::pair<int, Bytes>>{{4, {}}, {5, {0x5A, 0xA5, 255, 123}}}));
    EXPECT_EQ(sim->state().rates, (std::array<std::uint8_t, 4>{0x5A, 0xA5, 255, 123}));
    sim->clearLog();
    ASSERT_TRUE(LoggerWriteRates("9", "99999999999"));
    EXPECT_EQ(sim->state().rates, (std::array<std::uint8_t, 4>{0x5A, 0xA5, 255, 0}));
    // A negative rate would wrap to a long one: refused, nothing sent.
    sim->clearLog();
    EXPECT_FALSE(LoggerWriteRates("-100", "600"));
    EXPECT_FALSE(LoggerWriteRates("600", "-20"));
    EXPECT_TRUE(sent().empty());

    ASSERT_TRUE(LoggerWriteDays({true, false, false, false, false, false, true}));
    EXPECT_EQ(sim->state().days, 0x41);

    ASSERT_TRUE(LoggerWriteSerial("12345678"));
    EXPECT_EQ(sim->state().serial, 12345678u);
    sim->clearLog();
    EXPECT_FALSE(LoggerWriteSerial("16777216")) << "does not fit the logger's 24 bits";
    EXPECT_FALSE(LoggerWriteSerial("-5"));
    EXPECT_TRUE(sent().empty());

    const QDateTime t(QDate(2026, 3, 29), QTime(2, 30, 15, 700));
    ASSERT_TRUE(LoggerWriteClock(t));
    std::int32_t n = 0;
    ASSERT_TRUE(DateTimeToLoggerTime(t, &n));
    EXPECT_NEAR(sim->clock(), n, 1);
    EXPECT_EQ(n % 60, 15) << "whole seconds, the calendar's own fields";
    sim->clearLog();
    EXPECT_FALSE(LoggerWriteClock(QDateTime(QDate(2040, 1, 1), QTime(0, 0))));
    EXPECT_FALSE(LoggerWriteClock(QDateTime(QDate(1900, 1, 1), QTime(0, 0))));
    EXPECT_TRUE(sent().empty());
}

TEST_F(SarnicLink, AFailedExchangeClosesTheLinkAndLeavesValuesAlone) {
    QString serial = "kept";
    sim->setFault(Fault::Drop, 100);
    EXPECT_FALSE(LoggerReadSerial(serial));
    EXPECT_EQ(serial, "kept");
    EXPECT_FALSE(LinkIsOpen());
    sim->clearLog();
    EXPECT_FALSE(LoggerReadSerial(serial)) << "fails at once while closed";
    EXPECT_TRUE(sent().empty());
}

TEST_F(SarnicLink, AShortReplyIsAFailureNotTheLastReplysBytes) {
    QString serial;
    ASSERT_TRUE(LoggerReadSerial(serial));
    sim->with([](auto& s) { s.serial = 2000000; });
    sim->setFault(Fault::ShortData, 1, 0);
    QString again = "kept";
    EXPECT_FALSE(LoggerReadSerial(again));
    EXPECT_EQ(again, "kept");
    sim->setFault(Fault::None, 0);
    std::int32_t leak = 7, noLeak = 7;
    sim->setFault(Fault::ShortData, 1, 4);
    EXPECT_FALSE(LoggerReadRates(leak, noLeak));
    EXPECT_EQ(leak, 7);
}

TEST_F(SarnicLink, SleepClosesTheLinkAndTheLoggerSleeps) {
    ASSERT_TRUE(LoggerSleep());
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_FALSE(sim->state().awake);
    EXPECT_EQ(sent().back().first, 13);
}

TEST_F(SarnicLink, AnUnpluggedCableShowsTheRefusalAndFails) {
    sim.reset();
    pty.closeMaster();
    ui.expectMessage(plat::IDOK, LoadLangString(txt::MessageRefused));
    QString serial;
    EXPECT_FALSE(LoggerReadSerial(serial));
}

TEST_F(SarnicLink, NoSecondExchangeStartsWhileOneWaits) {
    // The reply comes late, so the wait lets events run; a click that lands then must not reach the logger.
    sim->setLateMs(150);
    sim->setFault(Fault::Late, 1, 2);
    int nested = -1;
    QTimer::singleShot(20, [&] { nested = LoggerWriteRates("100", "100") ? 1 : 0; });
    QDateTime clock;
    EXPECT_TRUE(LoggerReadClock(clock));
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(sent(), (std::vector<std::pair<int, Bytes>>{{2, {}}}));
}
