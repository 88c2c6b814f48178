#include <gtest/gtest.h>

#include <vector>

#include "MemoryLinkFixture.h"
#include "commserver/HistoryLog.h"
#include "remoteunit/RemoteUnit.h"

using namespace comms;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Each timer of the link, one second before and at the second it runs out.
class LinkTimers : public MemoryLinkFixture {};

struct Boundary {
    int offset; // seconds past the timer's own value
    bool expired;
};
std::string boundaryName(const ::testing::TestParamInfo<Boundary>& info) {
    return info.param.expired ? "JustAfter" : "JustBefore";
}

class ReceiveTimerBoundary : public LinkTimers, public ::testing::WithParamInterface<Boundary> {};

TEST_P(ReceiveTimerBoundary, AHalfFrameIsDroppedOnlyOnceTheReceiveTimerHasRunOut) {
    const Bytes frame = RemoteUnit::Encode(1007, {});
    push(Bytes(frame.begin(), frame.begin() + 3));
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);
    // The timer runs when now > start + ReceiveTimer - 1.
    clock.Advance(link.timers.ReceiveTimer.load() - 1 + GetParam().offset);
    link.ReceiveFrame();
    push(Bytes(frame.begin() + 3, frame.end()));
    const int r = link.ReceiveFrame();
    EXPECT_EQ(r == kLinkOk, !GetParam().expired);
    EXPECT_EQ(link.RxDroppedFrames.load(), GetParam().expired ? 1u : 0u);
    EXPECT_EQ(link.statistics.Get(LinkCounter::RxBadPackets), 0u) << "no CRC failed";
}
INSTANTIATE_TEST_SUITE_P(Seconds, ReceiveTimerBoundary, ::testing::Values(Boundary{0, false}, Boundary{1, true}),
                         boundaryName);

class GetTimerBoundary : public LinkTimers, public ::testing::WithParamInterface<Boundary> {};

TEST_P(GetTimerBoundary, ASilentLineFailsTheWaitOnlyAfterTheGetPacketTime) {
    clock.Advance(link.timers.GetTimer.load() + GetParam().offset);
    EXPECT_EQ(link.AwaitFrame(), GetParam().expired ? kLinkTimerExpired : kLinkKeepWaiting);
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);
}
INSTANTIATE_TEST_SUITE_P(Seconds, GetTimerBoundary, ::testing::Values(Boundary{0, false}, Boundary{1, true}),
                         boundaryName);

TEST_F(LinkTimers, BytesStillComingInPostponeTheGetPacketTime) {
    link.timers.ReceiveTimer = 100; // keep the slow frame from being dropped as a stalled one
    const Bytes frame = RemoteUnit::Encode(1003, Bytes(40, 0x33));
    clock.Advance(link.timers.GetTimer.load() - 1);
    push(Bytes(frame.begin(), frame.begin() + 10));
    EXPECT_EQ(link.AwaitFrame(), kLinkKeepWaiting);
    clock.Advance(link.timers.GetTimer.load());
    push(Bytes(frame.begin() + 10, frame.begin() + 20));
    EXPECT_EQ(link.AwaitFrame(), kLinkKeepWaiting) << "the last byte came just now";
    push(Bytes(frame.begin() + 20, frame.end()));
    EXPECT_EQ(link.ReceiveFrame(), kLinkOk);
}

class AckTimerBoundary : public LinkTimers, public ::testing::WithParamInterface<Boundary> {};

TEST_P(AckTimerBoundary, OurFrameIsResentOnlyAfterTheAckTimer) {
    link.timers.SendTimer = 100;
    ASSERT_EQ(link.SendReply(1007), 0);
    port->TakeTx();
    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting); // starts the resend timer: the frame is out
    clock.Advance(link.timers.AckTimer.load() + GetParam().offset);
    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting);
    EXPECT_EQ(port->TakeTx().empty(), !GetParam().expired);
    EXPECT_EQ(link.statistics.Get(LinkCounter::TxRetransmissions), GetParam().expired ? 1u : 0u);
}
INSTANTIATE_TEST_SUITE_P(Seconds, AckTimerBoundary, ::testing::Values(Boundary{0, false}, Boundary{1, true}),
                         boundaryName);

class SendTimerBoundary : public LinkTimers, public ::testing::WithParamInterface<Boundary> {};

TEST_P(SendTimerBoundary, TheWaitForAnAcknowledgementEndsOnlyAfterTheSendTimer) {
    ASSERT_EQ(link.SendReply(1007), 0);
    clock.Advance(link.timers.SendTimer.load() + GetParam().offset);
    EXPECT_EQ(link.WaitForAck(), GetParam().expired ? kLinkTimerExpired : kLinkKeepWaiting);
    EXPECT_EQ(port->TxClears(), GetParam().expired ? 1 : 0);
}
INSTANTIATE_TEST_SUITE_P(Seconds, SendTimerBoundary, ::testing::Values(Boundary{0, false}, Boundary{1, true}),
                         boundaryName);

class InactivityBoundary : public LinkTimers, public ::testing::WithParamInterface<Boundary> {};

TEST_P(InactivityBoundary, ASilentModemCallIsHungUpOnlyAfterTheInactivityTime) {
    link.ModemInUse = true;
    int hangUps = 0;
    link.SetHangUpModem([&] { ++hangUps; });
    push(Bytes{0x41});
    link.ReceiveFrame();
    // The call is hung up when now > last byte + InactivityHangUp + 1.
    clock.Advance(link.timers.InactivityHangUp.load() + 1 + GetParam().offset);
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);
    EXPECT_EQ(hangUps, GetParam().expired ? 1 : 0);
}
INSTANTIATE_TEST_SUITE_P(Seconds, InactivityBoundary, ::testing::Values(Boundary{0, false}, Boundary{1, true}),
                         boundaryName);

TEST_F(LinkTimers, WhileOurFrameIsGoingOutReceivedBytesUpToTheFirstNonControlByteAreLost) {
    ASSERT_EQ(link.SendReply(1007), 0);
    port->SetTxUsed(7);
    // An acknowledgement that comes while our frame is still in the queue cannot be for it: it goes with the
    // bytes below 0x10 before the first byte of 0x10 or more, which goes too; the rest stays for later.
    push(Bytes{0x06, 0x01, 0x41, 0x06, 0x02});
    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting);
    EXPECT_EQ(link.statistics.Get(LinkCounter::TxGoodPackets), 0u);
    // The queue drained: the acknowledgement that was left is taken.
    port->SetTxUsed(0);
    EXPECT_EQ(link.WaitForAck(), kLinkOk);
    EXPECT_EQ(link.statistics.Get(LinkCounter::TxGoodPackets), 1u);
    EXPECT_EQ(port->ReadChar(), 0x02) << "a byte after the acknowledgement stays for the receiver";
}

TEST_F(LinkTimers, AnAcknowledgementAloneWhileTheQueueIsFullIsLostAndTheWaitGoesOn) {
    ASSERT_EQ(link.SendReply(1007), 0);
    port->SetTxUsed(7);
    push(Bytes{0x06});
    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting);
    port->SetTxUsed(0);
    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting);
    EXPECT_EQ(link.statistics.Get(LinkCounter::TxGoodPackets), 0u);
}

TEST(HistoryChangeCount, WrapsAfterItsLargestValue) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{1, 2},          {0, 1},          {0x7ffffffd, 0x7ffffffe},
                                                             {0x7ffffffe, 0}, {0x7fffffff, 0}, {0xffffffff, 0}};
    for (const auto& [c, next] : cases)
        EXPECT_EQ(NextChangeCount(c), next) << c;
}

} // namespace
