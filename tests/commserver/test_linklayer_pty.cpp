#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "FakeLinkClock.h"
#include "commserver/LinkLayer.h"
#include "platform/SerialPort.h"
#include "remoteunit/PtyPair.h"
#include "remoteunit/RemoteUnit.h"

using namespace comms;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Delivered {
    int type;
    Bytes payload;
    bool repeat;
};

// The server's end of a cable: the link layer on a real port opened on a pseudo-terminal's slave, the remote
// unit on its master. The link timers run on a clock the test moves.
class LinkOverPty : public ::testing::Test {
protected:
    static constexpr int kPort = 30;

    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        pty.mapToPort(kPort);
        port = plat::PortOpen(kPort, 19200, 'N', 8, 1);
        ASSERT_EQ(port->status(), 0);
        link.SetPort(port);
        link.timers.OpticalDelay = 0;
        link.ResetReceiver();
    }
    void TearDown() override {
        if (port)
            port->Close();
    }

    // Polls the receiver like the worker does until it has taken rxBytes bytes in all and nothing is
    // complete, delivering (and resetting after) every good frame. Bounded in time.
    std::vector<Delivered> receiveUntil(std::uint32_t rxBytes) {
        std::vector<Delivered> out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            const int r = link.ReceiveFrame();
            if (r == kLinkOk) {
                auto p = link.ReceivedPayload();
                out.push_back({link.ReceivedFrameType(), Bytes(p.begin(), p.end()), link.IsRepeatOfLastFrame()});
                link.ResetReceiver();
                continue;
            }
            if (link.statistics.Get(LinkCounter::RxBytes) >= rxBytes)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return out;
    }

    // Sends one frame from the remote unit and receives what arrives of it.
    std::vector<Delivered> exchange(int type, const Bytes& payload, RemoteUnit::Fault fault = RemoteUnit::Fault::None) {
        sent += RemoteUnit::Encode(type, payload).size() * (fault == RemoteUnit::Fault::Repeat ? 2 : 1);
        EXPECT_TRUE(remote.SendFrame(type, payload, fault));
        return receiveUntil(static_cast<std::uint32_t>(sent));
    }

    // Waits for the acknowledgement like the worker does; bounded.
    int waitForAck() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        int r = kLinkKeepWaiting;
        while (r == kLinkKeepWaiting && std::chrono::steady_clock::now() < deadline) {
            r = link.WaitForAck();
            if (r == kLinkKeepWaiting)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return r;
    }

    // The next n bytes the server sent, and whatever follows them closely. Each byte is given ample time, as
    // a loaded machine may pass it through the pseudo-terminal late; a missing byte ends the reading.
    Bytes fromServer(std::size_t n) {
        Bytes out;
        while (out.size() < n) {
            const int b = remote.ReadByte(10'000);
            if (b < 0)
                return out;
            out.push_back(static_cast<std::uint8_t>(b));
        }
        const Bytes more = remote.Drain(50);
        out.insert(out.end(), more.begin(), more.end());
        return out;
    }

    PtyPair pty;
    RemoteUnit remote{pty.masterFd()};
    FakeLinkClock clock;
    LinkLayer link{clock};
    plat::SerialPort* port = nullptr;
    std::size_t sent = 0;
};

TEST_F(LinkOverPty, GoodFramesAreAcknowledgedOnceAndDeliveredOnce) {
    Bytes big(1022);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i);
    std::vector<Delivered> got;
    for (auto d : exchange(1001, {'a', 0x0A, 0x0D, 0x02, 0x06}))
        got.push_back(d);
    for (auto d : exchange(1020, big, RemoteUnit::Fault::Delay))
        got.push_back(d);
    remote.SendBytes(Bytes{0x41, 0x00, 0xFF});
    sent += 3;
    for (auto d : exchange(1007, {}))
        got.push_back(d);

    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].type, 1001);
    EXPECT_EQ(got[0].payload, (Bytes{'a', 0x0A, 0x0D, 0x02, 0x06}));
    EXPECT_EQ(got[1].type, 1020);
    EXPECT_EQ(got[1].payload, big);
    EXPECT_EQ(got[2].type, 1007);
    EXPECT_TRUE(got[2].payload.empty());

    EXPECT_EQ(fromServer(3), (Bytes{0x06, 0x06, 0x06}));
    EXPECT_EQ(link.statistics.Get(LinkCounter::RxGoodPackets), 3u);
    EXPECT_EQ(link.statistics.Get(LinkCounter::RxBadPackets), 0u);
    EXPECT_EQ(link.statistics.Get(LinkCounter::RxBytes), sent);
    EXPECT_EQ(link.statistics.Get(LinkCounter::TxBytes), 3u);
}

struct DamageCase {
    const char* name;
    RemoteUnit::Fault fault;
    std::uint32_t crcFailures; // RX bad packets
    std::uint32_t dropped;     // bad length fields and frames that stopped coming in
};

class LinkOverPtyDamage : public LinkOverPty, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(LinkOverPtyDamage, IsRejectedWithoutAcknowledgementAndCounted) {
    // A payload whose frame holds no further start byte, so the rest of a rejected frame cannot begin a frame.
    Bytes payload;
    for (char c = 'A';; ++c) {
        payload = {'d', 'a', 'm', 'a', 'g', 'e', static_cast<std::uint8_t>(c)};
        Bytes wire = RemoteUnit::Encode(1001, payload);
        wire[1] = 0x06, wire[2] = 0x04; // as the oversized variant sends it
        if (std::find(wire.begin() + 1, wire.end(), 0x02) == wire.end())
            break;
    }
    const std::size_t frameSize = RemoteUnit::Encode(1001, payload).size();
    const std::size_t onLine = GetParam().fault == RemoteUnit::Fault::Truncate ? frameSize / 2 : frameSize;
    ASSERT_TRUE(remote.SendFrame(1001, payload, GetParam().fault));
    sent += onLine;
    EXPECT_TRUE(receiveUntil(static_cast<std::uint32_t>(sent)).empty());

    // A frame that stopped half way is dropped once the receive timer has run out.
    clock.Advance(link.timers.ReceiveTimer.load());
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);

    const auto got = exchange(1002, {'o', 'k'});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, 1002);
    EXPECT_EQ(fromServer(1), Bytes{0x06}) << "only the good frame is acknowledged";
    EXPECT_EQ(link.statistics.Get(LinkCounter::RxBadPackets), GetParam().crcFailures);
    EXPECT_EQ(link.RxDroppedFrames.load(), GetParam().dropped);
    EXPECT_EQ(link.statistics.Get(LinkCounter::RxGoodPackets), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, LinkOverPtyDamage,
                         ::testing::Values(DamageCase{"corrupted", RemoteUnit::Fault::Corrupt, 1, 0},
                                           DamageCase{"truncated", RemoteUnit::Fault::Truncate, 0, 1},
                                           DamageCase{"oversized", RemoteUnit::Fault::Oversize, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkOverPty, AResendAfterALostAcknowledgementIsARepeat) {
    const Bytes a = {'b', 'l', 'o', 'c', 'k', '1'};
    const Bytes b = {'b', 'l', 'o', 'c', 'k', '2'};

    auto got = exchange(1003, a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0].repeat);
    ASSERT_EQ(remote.ReadByte(10'000), 0x06); // and the line loses it: the remote unit sends the block again

    got = exchange(1003, a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].repeat);

    got = exchange(1003, b);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0].repeat);

    got = exchange(1003, a, RemoteUnit::Fault::Repeat);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_FALSE(got[0].repeat);
    EXPECT_TRUE(got[1].repeat);
    EXPECT_EQ(fromServer(4), (Bytes{0x06, 0x06, 0x06, 0x06}));
}

TEST_F(LinkOverPty, OurFrameIsResentAfterTheAckTimerAndGivenUpAfterTheSendTimer) {
    const Bytes payload = {'r', 'e', 'p', 'l', 'y'};
    ASSERT_EQ(link.SendFrame(1004, payload.data(), static_cast<int>(payload.size())), 0);
    auto first = remote.ReceiveFrame(10'000, /*acknowledge=*/false);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->type, 1004);
    EXPECT_EQ(first->payload, payload);

    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting); // the resend timer starts once the frame is out
    clock.Advance(link.timers.AckTimer.load() + 1);
    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting);
    auto resent = remote.ReceiveFrame(10'000, /*acknowledge=*/true);
    ASSERT_TRUE(resent);
    EXPECT_EQ(resent->bytes, first->bytes);
    EXPECT_EQ(waitForAck(), kLinkOk);
    EXPECT_EQ(link.statistics.Get(LinkCounter::TxRetransmissions), 1u);
    EXPECT_EQ(link.statistics.Get(LinkCounter::TxGoodPackets), 1u);

    // Nobody answers the next one: the send timer bounds the whole exchange, resends included.
    ASSERT_EQ(link.SendReply(1007), 0);
    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting);
    clock.Advance(link.timers.SendTimer.load() + 1);
    EXPECT_EQ(link.WaitForAck(), kLinkTimerExpired);
}

TEST_F(LinkOverPty, ASilentRemoteEndsTheWaitForAFrame) {
    clock.Advance(link.timers.GetTimer.load());
    EXPECT_EQ(link.AwaitFrame(), kLinkKeepWaiting);
    clock.Advance(1);
    EXPECT_EQ(link.AwaitFrame(), kLinkTimerExpired);
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting) << "listening while idle never fails a silent line";
    link.ResetReceiver();
    EXPECT_EQ(link.AwaitFrame(), kLinkKeepWaiting);
}

TEST_F(LinkOverPty, AHangUpAtTheFarEndIsALostLineUnlessDsrIsPhantom) {
    ASSERT_EQ(link.SendReply(1007), 0);
    pty.closeMaster();
    EXPECT_EQ(link.ReceiveFrame(), kLinkLineLost);
    EXPECT_EQ(link.WaitForAck(), kLinkLineLost);
    link.PhantomDSR = true;
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);
}

} // namespace
