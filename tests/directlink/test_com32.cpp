// Com32 over a real pseudo-terminal with the simulated logger on the other end: every exchange ends, with a
// reply or with busy and error, whatever the line does.
#include "SarnicFixture.h"
#include "platform/SerialPort.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <poll.h>
#include <unistd.h>

using namespace directlink;
using Bytes = std::vector<std::uint8_t>;
using Fault = SarnicSimulator::Fault;

namespace {
class Com32OverPty : public SarnicFixture {
protected:
    void SetUp() override {
        SarnicFixture::SetUp();
        com.setTiming(Com32Library().timing());
        ASSERT_EQ(com.Open(1, 2400), 0);
    }
    void TearDown() override {
        com.Close();
        SarnicFixture::TearDown();
    }
    // Polls the status word like the link module does until the exchange is over (bounded).
    std::uint16_t settle() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::uint16_t s = com.Status();
        while ((s & kStatusBusy) && !(s & kStatusError) && std::chrono::steady_clock::now() < deadline)
            s = com.Status();
        return s;
    }
    std::int16_t ask(std::uint8_t command) {
        const Bytes m{command};
        EXPECT_EQ(com.PutMessage(m.data(), 1), 1);
        settle();
        return com.GetMessage(buf, 255);
    }

    Com32 com;
    std::uint8_t buf[256]{};
};
} // namespace

TEST_F(Com32OverPty, AttentionWakesTheLoggerAndARequestGetsItsReply) {
    EXPECT_FALSE(sim->state().awake);
    com.Attention();
    ASSERT_TRUE(sim->waitForRequests(0, 100));
    for (int i = 0; i < 100 && !sim->state().awake; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(sim->state().awake);
    EXPECT_EQ(sim->attentions(), 1);

    EXPECT_EQ(ask(0), 12);
    EXPECT_EQ(buf[1], 1);
    EXPECT_EQ(buf[2], 2);
    EXPECT_EQ(buf[3] * 65536 + buf[4] * 256 + buf[5], 1012345);
    // Collected: idle, and never "not yet" (0), which would keep a caller waiting for ever.
    EXPECT_EQ(com.Status(), 0);
    EXPECT_EQ(com.GetMessage(buf, 255), kGetNothing);
    // A command without data is acknowledged; its wait ends idle.
    const Bytes days{17, 0x41};
    EXPECT_EQ(com.PutMessage(days.data(), 2), 2);
    EXPECT_EQ(settle(), kStatusReplyReady);
    EXPECT_EQ(com.GetMessage(buf, 255), kGetNothing);
    EXPECT_EQ(sim->state().days, 0x41);
}

TEST_F(Com32OverPty, OpeningRefusesBadPortsMissingDevicesAndAPortInUse) {
    Com32 other;
    EXPECT_EQ(other.Open(0, 2400), kOpenBadPort);
    EXPECT_NE(other.Open(1, 2400), 0) << "the port is taken by the fixture";
    ::setenv("VORD_COM2", "/nonexistent/tty", 1);
    EXPECT_NE(other.Open(2, 2400), 0);
    ::unsetenv("VORD_COM2");
    EXPECT_EQ(other.Status(), kStatusNotOpen);
    const Bytes m{0};
    EXPECT_EQ(other.PutMessage(m.data(), 1), -1);
    EXPECT_EQ(other.GetMessage(buf, 255), kGetNotOpen);
}

TEST_F(Com32OverPty, ALineThatFailsEndsInBusyAndErrorAfterTheRetries) {
    sim->with([](auto& s) { s.awake = true; });
    struct Case {
        Fault fault;
        std::uint16_t cause;
        std::int16_t get;
    };
    for (const Case& c :
         {Case{Fault::Drop, kStatusTimeout, kGetTimeout}, Case{Fault::BadCrc, kStatusFraming, kGetFraming},
          Case{Fault::Truncate, kStatusTimeout, kGetTimeout}, Case{Fault::WrongEcho, kStatusFraming, kGetFraming},
          Case{Fault::Noise, kStatusTimeout, kGetTimeout}, Case{Fault::Refuse, kStatusRefused, kGetRefused}}) {
        sim->clearLog();
        sim->setFault(c.fault, 100);
        const Bytes m{2};
        ASSERT_EQ(com.PutMessage(m.data(), 1), 1);
        const auto start = std::chrono::steady_clock::now();
        const std::uint16_t s = settle();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(s, kStatusBusy | kStatusError | c.cause) << static_cast<int>(c.fault);
        EXPECT_EQ(com.GetMessage(buf, 255), c.get);
        EXPECT_LT(took, std::chrono::seconds(8));
        // Refused requests are not asked again; lost or damaged ones are, twice.
        EXPECT_EQ(sim->requests().size(), c.fault == Fault::Refuse ? 1u : 3u) << static_cast<int>(c.fault);
        ASSERT_TRUE(sim->waitUntilQuiet(5000));
    }
}

TEST_F(Com32OverPty, ADamagedOrLostReplyIsAskedForAgain) {
    sim->with([](auto& s) { s.awake = true; });
    for (Fault f : {Fault::Drop, Fault::BadCrc, Fault::Garbage, Fault::WrongEcho, Fault::Late}) {
        sim->setLateMs(1000);
        sim->setFault(f, 1);
        EXPECT_EQ(ask(18), 1) << static_cast<int>(f);
        EXPECT_EQ(buf[0], 0x3E);
        // A late reply and the answer to the request asked again go out before the next case begins.
        ASSERT_TRUE(sim->waitUntilQuiet(5000));
    }
}

TEST_F(Com32OverPty, ARequestDuringAnExchangeIsRefusedAndEndsIt) {
    sim->with([](auto& s) { s.awake = true; });
    sim->setLateMs(300);
    sim->setFault(Fault::Late, 1);
    const Bytes m{2};
    ASSERT_EQ(com.PutMessage(m.data(), 1), 1);
    EXPECT_EQ(com.Status(), kStatusBusy);
    EXPECT_EQ(com.PutMessage(m.data(), 1), -1);
    EXPECT_EQ(com.Status() & (kStatusBusy | kStatusError), kStatusBusy | kStatusError);
    EXPECT_EQ(com.PutMessage(m.data(), 6), -1);
    com.Reset();
    EXPECT_EQ(com.Status(), 0);
}

TEST_F(Com32OverPty, BytesLeftOnTheLineBeforeOpeningAreNotTakenForAReply) {
    com.Close();
    // A whole, well-formed identify reply with another serial number waits on the line.
    const Bytes stale{0x02, 0x00, 0x00, 0x0C, 0, 9, 9, 0x0B, 0x0B, 0x0B, 0, 0, 0, 0, 0, 0};
    Bytes frame = stale;
    const std::uint16_t crc = SarnicSimulator::Crc(frame.data() + 1, frame.size() - 1);
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc));
    ASSERT_EQ(::write(pty.masterFd(), frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    pollfd arrived{pty.slaveFd(), POLLIN, 0};
    ASSERT_EQ(::poll(&arrived, 1, 5000), 1) << "the bytes reach the port's side";
    ASSERT_EQ(com.Open(1, 2400), 0);
    sim->with([](auto& s) { s.awake = true; });
    EXPECT_EQ(ask(0), 12);
    EXPECT_EQ(buf[3] * 65536 + buf[4] * 256 + buf[5], 1012345);
}

namespace {
// Writes to the logger's end of the pseudo-terminal until all of it went out.
void writeAll(int masterFd, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{masterFd, POLLOUT, 0};
        if (::poll(&p, 1, 1000) <= 0)
            return;
        const ssize_t n = ::write(masterFd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
    }
}

// A line that sends without a pause: every read gets a full buffer, until `most` bytes went (0: never).
class EndlessLine final : public plat::SerialPort {
public:
    static EndlessLine* Open(std::uint64_t most) { return new EndlessLine(most); }
    int ReadBlock(void* buffer, int length) override {
        const std::uint64_t left = most_ ? most_ - sent_ : std::uint64_t(length);
        const int n = static_cast<int>(std::min<std::uint64_t>(std::uint64_t(std::max(length, 0)), left));
        std::memset(buffer, 0, static_cast<std::size_t>(n));
        sent_ += static_cast<std::uint64_t>(n);
        setCount(n);
        return n ? plat::kSerialOk : plat::kSerialNoData;
    }
    int WriteBlock(const void*, int length) override {
        setCount(length);
        return plat::kSerialOk;
    }
    int ClearTxBuffer() override { return plat::kSerialOk; }
    std::uint64_t sent() const { return sent_; }

private:
    explicit EndlessLine(std::uint64_t most) : SerialPort(0), most_(most) {}
    std::uint64_t most_;
    std::uint64_t sent_ = 0;
};
} // namespace

TEST(Com32OnAnEndlessLine, EachCallComesBackWhileTheLineSendsAndTheExchangeStillEnds) {
    Com32 com;
    Com32Timing t;
    t.firstByteMs = 100;
    t.interByteMs = 50;
    t.retries = 1;
    t.retryPauseMs = 0;
    com.setTiming(t);
    const Bytes m{0};
    // Bytes that never make a frame, far more than one call should take.
    constexpr std::uint64_t kLong = 64u << 20;
    EndlessLine* line = EndlessLine::Open(kLong);
    com.Attach(line, 2400);
    ASSERT_EQ(com.PutMessage(m.data(), 1), 1);
    EXPECT_EQ(com.Status(), kStatusBusy);
    ASSERT_LT(line->sent(), kLong) << "one call read until the line stopped";
    // On a line that never stops, the exchange ends with a time-out all the same.
    com.Attach(EndlessLine::Open(0), 2400);
    ASSERT_EQ(com.PutMessage(m.data(), 1), 1);
    std::uint16_t s = com.Status();
    while (s == kStatusBusy)
        s = com.Status();
    EXPECT_EQ(s, kStatusBusy | kStatusError | kStatusTimeout);
    EXPECT_EQ(com.GetMessage(nullptr, 0), kGetTimeout);
    com.Close();
}

TEST_F(Com32OverPty, AReplyBehindALongBurstOfNoiseIsTakenOverSeveralCalls) {
    sim->with([](auto& s) { s.awake = true; });
    const Bytes m{0};
    Bytes burst(64 * 1024, 0x55);
    Bytes frame{0x02, 0x00, 0x00, 0x0C, 0, 1, 2, 0x0F, 0x72, 0x79, 0, 0, 0, 0, 0, 0};
    const std::uint16_t crc = SarnicSimulator::Crc(frame.data() + 1, frame.size() - 1);
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc));
    burst.insert(burst.end(), frame.begin(), frame.end());
    sim->setFault(Fault::Drop, 1);
    ASSERT_EQ(com.PutMessage(m.data(), 1), 1);
    std::thread far([&] { writeAll(pty.masterFd(), burst); });
    EXPECT_EQ(settle(), kStatusReplyReady);
    ASSERT_EQ(com.GetMessage(buf, 255), 12);
    EXPECT_EQ(buf[3] * 65536 + buf[4] * 256 + buf[5], 0x0F7279);
    far.join();
}
