#include <gtest/gtest.h>

#include <vector>

#include "MemoryLinkFixture.h"
#include "remoteunit/RemoteUnit.h"

using namespace comms;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The modem lines, line errors and queue states.
class LinkLines : public MemoryLinkFixture {};

TEST_F(LinkLines, WithoutCarrierOnAModemLinkNothingIsSentAndTheWaitsEnd) {
    link.ModemInUse = true;
    port->SetModemLines(plat::kModemCts | plat::kModemDsr);
    EXPECT_EQ(link.SendReply(1007), 0);
    EXPECT_TRUE(port->TakeTx().empty());
    EXPECT_EQ(link.WaitForAck(), kLinkLineLost);
    EXPECT_EQ(link.ReceiveFrame(), kLinkLineLost);

    port->SetModemLines(plat::kModemCts | plat::kModemDsr | plat::kModemDcd);
    EXPECT_EQ(link.SendReply(1007), 0);
    EXPECT_EQ(port->TakeTx(), RemoteUnit::Encode(1007, {}));
}

TEST_F(LinkLines, MissingDsrLosesTheLineUnlessItIsPhantom) {
    port->SetModemLines(plat::kModemCts | plat::kModemDcd);
    ASSERT_EQ(link.SendReply(1007), 0);
    EXPECT_EQ(link.ReceiveFrame(), kLinkLineLost);
    EXPECT_EQ(link.WaitForAck(), kLinkLineLost);

    link.PhantomDSR = true;
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);
    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting);
    clock.Advance(link.timers.SendTimer.load() + 1);
    EXPECT_EQ(link.WaitForAck(), kLinkTimerExpired) << "only a timer ends the wait";
}

TEST_F(LinkLines, LineErrorsAreCountedOnceAndCleared) {
    port->InjectLineErrors(plat::kLineOverrun | plat::kLineFraming);
    const auto before = link.lineErrors.ChangeCount();
    link.ReceiveFrame();
    link.ReceiveFrame();
    EXPECT_EQ(link.lineErrors.Get(LineError::Overrun), 1u);
    EXPECT_EQ(link.lineErrors.Get(LineError::Framing), 1u);
    EXPECT_EQ(link.lineErrors.Get(LineError::Parity), 0u);
    EXPECT_EQ(link.lineErrors.Get(LineError::Break), 0u);
    EXPECT_EQ(link.lineErrors.ChangeCount(), before + 1);
    EXPECT_EQ(port->LineStatus(), 0);
}

TEST_F(LinkLines, AFrameStillGoingOutIsGivenUpAfterTheSendTimerAndItsQueueCleared) {
    ASSERT_EQ(link.SendReply(1007), 0);
    port->SetTxUsed(100);
    EXPECT_EQ(link.WaitForAck(), kLinkKeepWaiting);
    clock.Advance(link.timers.SendTimer.load() + 1);
    EXPECT_EQ(link.WaitForAck(), kLinkTimerExpired);
    EXPECT_EQ(port->TxClears(), 1);
}

TEST_F(LinkLines, ASilentModemLineIsHungUpWhetherOrNotAFrameIsInProgress) {
    link.ModemInUse = true;
    int hangUps = 0;
    link.SetHangUpModem([&] { ++hangUps; });
    clock.Advance(link.timers.InactivityHangUp.load() + 1);
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);
    EXPECT_EQ(hangUps, 0);
    clock.Advance(1);
    EXPECT_EQ(link.AwaitFrame(), kLinkKeepWaiting) << "a modem link never reports the Get Packet timer";
    EXPECT_EQ(hangUps, 1);
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);
    EXPECT_EQ(hangUps, 1);
}

TEST_F(LinkLines, APayloadThatDoesNotFitAFrameIsRefusedAndNothingIsSent) {
    const Bytes big(kMaxPayload + 1, 0x11);
    EXPECT_EQ(link.SendFrame(1001, big.data(), kMaxPayload + 1), -7);
    EXPECT_EQ(link.SendFrame(1001, big.data(), -1), -7);
    EXPECT_TRUE(port->TakeTx().empty());
    EXPECT_EQ(link.SendFrame(1001, big.data(), kMaxPayload), 0);
    EXPECT_EQ(port->TakeTx(), RemoteUnit::Encode(1001, std::span(big).first(kMaxPayload)));
}

class LinkOpticalDelay : public LinkLines, public ::testing::WithParamInterface<int> {};

TEST_P(LinkOpticalDelay, PausesBeforeEachFrameOnlyWhenSet) {
    link.timers.OpticalDelay = GetParam();
    link.SendReply(1007);
    EXPECT_EQ(clock.sleeps, GetParam() ? std::vector<int>{GetParam()} : std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(Table, LinkOpticalDelay, ::testing::Values(0, 20));

TEST_F(LinkLines, CorruptDataDamagesOneTransmissionAndTheResendIsIntact) {
    link.CorruptData = true;
    clock.MoveToSecondOf25(23);
    const Bytes payload(100, 0x33);
    const Bytes intact = RemoteUnit::Encode(1001, payload);
    ASSERT_EQ(link.SendFrame(1001, payload.data(), 100), 0);
    const Bytes first = port->TakeTx();
    ASSERT_EQ(first.size(), intact.size());
    int differing = 0;
    for (std::size_t i = 0; i < intact.size(); ++i)
        differing += first[i] != intact[i];
    EXPECT_LE(differing, 1);
    EXPECT_EQ(link.TxCorruptedPkts.load(), 1u);

    link.WaitForAck();
    clock.Advance(link.timers.AckTimer.load() + 1);
    link.WaitForAck();
    EXPECT_EQ(port->TakeTx(), intact);
}

TEST_F(LinkLines, ReceiveTestModesDamageOrDropBytesAtTheirSeconds) {
    const Bytes frame = RemoteUnit::Encode(1007, {});
    link.LostData = true;
    link.CorruptData = true;
    clock.MoveToSecondOf25(15);
    port->PushRx(frame);
    EXPECT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);
    EXPECT_EQ(link.DiscardedBytes.load(), frame.size());
    EXPECT_EQ(link.statistics.Get(LinkCounter::RxBytes), 0u);

    clock.MoveToSecondOf25(8);
    link.ResetReceiver();
    port->PushRx(frame);
    link.ReceiveFrame();
    EXPECT_EQ(link.RxCorruptedBytes.load(), frame.size());

    clock.MoveToSecondOf25(9);
    link.ResetReceiver();
    port->PushRx(frame);
    EXPECT_EQ(link.ReceiveFrame(), kLinkOk);
}

TEST_F(LinkLines, AReopenedPortStartsANewLinkWithoutRepeatsOrHalfFrames) {
    const Bytes frame = RemoteUnit::Encode(1021, Bytes{'J', 'I', 'M', 0});
    port->PushRx(frame);
    ASSERT_EQ(link.ReceiveFrame(), kLinkOk);
    link.ResetReceiver();
    port->PushRx(std::span(frame).first(4)); // the line drops in the middle of the next frame
    ASSERT_EQ(link.ReceiveFrame(), kLinkKeepWaiting);

    // The worker closes the port and opens it again; the remote unit starts over with the same request.
    port->Close();
    port = MemorySerialPort::Open(0);
    link.SetPort(port);
    port->PushRx(frame);
    ASSERT_EQ(link.ReceiveFrame(), kLinkOk);
    EXPECT_FALSE(link.IsRepeatOfLastFrame()) << "the first frame of a new link repeats nothing";
    EXPECT_EQ(link.ReceivedFrameType(), 1021);

    link.ResetReceiver();
    port->PushRx(frame);
    ASSERT_EQ(link.ReceiveFrame(), kLinkOk);
    EXPECT_TRUE(link.IsRepeatOfLastFrame());
}

TEST_F(LinkLines, ResettingTheStatisticsZeroesThemAndSignalsTheChange) {
    port->PushRx(RemoteUnit::Encode(1007, {}));
    ASSERT_EQ(link.ReceiveFrame(), kLinkOk);
    const auto before = link.statistics.ChangeCount();
    link.ResetLinkStatistics();
    for (std::uint32_t v : link.statistics.Snapshot())
        EXPECT_EQ(v, 0u);
    EXPECT_GT(link.statistics.ChangeCount(), before);
}

} // namespace
