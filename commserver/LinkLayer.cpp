#include "commserver/LinkLayer.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/SerialPort.h"

namespace comms {

LinkLayer::LinkLayer(LinkClock& clock)
    : clock_(clock), random_(static_cast<std::minstd_rand::result_type>(std::time(nullptr))) {
    waitStart_ = lastByteTime_ = clock_.Now();
}

int LinkLayer::random() {
    return static_cast<int>(random_() & 0x7FFFFFFF);
}

void LinkLayer::countLineErrors() {
    const int errors = port_->LineStatus();
    // A negative answer (a driver without error reporting among them) carries no error bits.
    if (errors <= 0)
        return;
    if (errors & plat::kLineOverrun)
        lineErrors.Add(LineError::Overrun);
    if (errors & plat::kLineParity)
        lineErrors.Add(LineError::Parity);
    if (errors & plat::kLineFraming)
        lineErrors.Add(LineError::Framing);
    if (errors & plat::kLineBreak)
        lineErrors.Add(LineError::Break);
    lineErrors.BumpChangeCount();
    port_->ClearLineErrors();
}

void LinkLayer::SetPort(plat::SerialPort* port) {
    port_ = port;
    ClearLastGoodFrame();
    ResetReceiver();
}

void LinkLayer::ResetReceiver() {
    receiver_.Reset();
    waitStart_ = clock_.Now();
}

int LinkLayer::ReceivedFrameType() const {
    return receiver_.FrameType();
}

std::span<const std::uint8_t> LinkLayer::ReceivedPayload() const {
    return receiver_.Payload();
}

bool LinkLayer::IsRepeatOfLastFrame() const {
    if (!previousGood_.present || !receiver_.Complete() || receiver_.Count() != previousGood_.length)
        return false;
    return std::memcmp(receiver_.Data(), previousGood_.bytes, static_cast<std::size_t>(previousGood_.length)) == 0;
}

void LinkLayer::ClearLastGoodFrame() {
    lastGood_.present = false;
    previousGood_.present = false;
}

int LinkLayer::ReceiveFrame() {
    return receive(false);
}

int LinkLayer::AwaitFrame() {
    return receive(true);
}

int LinkLayer::receive(bool awaiting) {
    if (!port_)
        return kLinkLineLost;
    const std::int64_t now = clock_.Now();
    countLineErrors();

    for (;;) {
        const int c = port_->ReadChar();
        if (c < 0)
            break;
        auto byte = static_cast<std::uint8_t>(c);
        if (CorruptData.load() && now % 25 == 8) {
            byte = static_cast<std::uint8_t>(random() & 0xFF);
            RxCorruptedBytes.fetch_add(1);
        } else if (LostData.load() && now % 25 == 15) {
            DiscardedBytes.fetch_add(1);
            continue;
        }
        statistics.Add(LinkCounter::RxBytes);
        lastByteTime_ = now;
        switch (receiver_.Feed(byte, now)) {
        case LinkFrameAssembler::Event::Good:
            port_->WriteChar(kFrameAck);
            statistics.Add(LinkCounter::TxBytes);
            statistics.Add(LinkCounter::RxGoodPackets);
            // Two copies: the frame before this one is what a resend after a lost acknowledgement repeats.
            previousGood_ = lastGood_;
            lastGood_.present = true;
            lastGood_.length = receiver_.Count();
            std::memcpy(lastGood_.bytes, receiver_.Data(), static_cast<std::size_t>(receiver_.Count()));
            return kLinkOk;
        case LinkFrameAssembler::Event::BadCrc:
            // Not acknowledged: the remote unit resends.
            statistics.Add(LinkCounter::RxBadPackets);
            break;
        case LinkFrameAssembler::Event::BadLength:
            RxDroppedFrames.fetch_add(1);
            statistics.BumpChangeCount();
            break;
        default:
            break;
        }
    }

    if (!PhantomDSR.load() && plat::DsrOn(*port_) == 0) {
        ResetReceiver();
        return kLinkLineLost;
    }
    if (ModemInUse.load() && plat::DcdOn(*port_) == 0) {
        ResetReceiver();
        // The silence before a call does not count towards hanging the next call up.
        lastByteTime_ = now;
        return kLinkLineLost;
    }

    // A frame that stopped coming in is dropped; its sender resends it whole.
    if (receiver_.InFrame() && now > receiver_.StartTime() + timers.ReceiveTimer.load() - 1) {
        receiver_.Reset();
        RxDroppedFrames.fetch_add(1);
        statistics.BumpChangeCount();
    }
    if (ModemInUse.load()) {
        // A modem call whose far end went silent is hung up, whether or not a frame was in progress.
        if (now > lastByteTime_ + timers.InactivityHangUp.load() + 1) {
            lastByteTime_ = now;
            if (hangUpModem_)
                hangUpModem_();
        }
        return kLinkKeepWaiting;
    }
    // The Get Packet time counts from the moment the handler started waiting, or from the last byte when one
    // came since: a remote unit that goes silent ends the wait, one whose frame is still coming in does not.
    if (awaiting && now > std::max(waitStart_, lastByteTime_) + timers.GetTimer.load())
        return kLinkTimerExpired;
    return kLinkKeepWaiting;
}

int LinkLayer::SendFrame(int type, const std::uint8_t* payload, int length) {
    if (length < 0 || length > kMaxPayload || (length > 0 && payload == nullptr))
        return plat::kSerialInvalidArgument;
    if (!port_)
        return plat::kSerialInvalidPort;
    if (ModemInUse.load() && plat::DcdOn(*port_) == 0)
        return kLinkOk;
    if (const int delay = timers.OpticalDelay.load(); delay > 0)
        clock_.SleepMs(delay);

    const std::int64_t now = clock_.Now();
    sendLength_ = BuildLinkFrame(type, payload, length, sendBuffer_);
    resendTimerRunning_ = false;
    sendTime_ = now;

    int damaged = -1;
    std::uint8_t original = 0;
    if (CorruptData.load() && now % 25 == 23) {
        damaged = random() % sendLength_;
        original = sendBuffer_[damaged];
        sendBuffer_[damaged] = static_cast<std::uint8_t>(random() & 0xFF);
        TxCorruptedPkts.fetch_add(1);
    }
    const int rc = port_->WriteBlock(sendBuffer_, sendLength_);
    statistics.Add(LinkCounter::TxBytes, static_cast<std::uint32_t>(sendLength_));
    // A resend carries the intact frame.
    if (damaged >= 0)
        sendBuffer_[damaged] = original;
    return rc;
}

int LinkLayer::WaitForAck() {
    if (!port_)
        return kLinkLineLost;
    const std::int64_t now = clock_.Now();
    if (ModemInUse.load() && plat::DcdOn(*port_) == 0)
        return kLinkLineLost;

    if (plat::TxEmpty(*port_) == 0) {
        // Our frame is still going out, so nothing that comes in now can be its acknowledgement.
        for (;;) {
            const int c = port_->ReadChar();
            if (c < 0 || c >= 0x10)
                break;
        }
        if (now - sendTime_ > timers.SendTimer.load()) {
            port_->ClearTxBuffer();
            return kLinkTimerExpired;
        }
        return kLinkKeepWaiting;
    }

    for (;;) {
        const int c = port_->ReadChar();
        if (c < 0 || c >= 0x10)
            break;
        if (c == kFrameAck) {
            statistics.Add(LinkCounter::TxGoodPackets);
            return kLinkOk;
        }
    }
    if (!PhantomDSR.load() && plat::DsrOn(*port_) == 0)
        return kLinkLineLost;
    if (now - sendTime_ > timers.SendTimer.load()) {
        port_->ClearTxBuffer();
        return kLinkTimerExpired;
    }
    if (resendTimerRunning_ && now - resendStart_ > timers.AckTimer.load()) {
        port_->WriteBlock(sendBuffer_, sendLength_);
        statistics.Add(LinkCounter::TxBytes, static_cast<std::uint32_t>(sendLength_));
        statistics.Add(LinkCounter::TxRetransmissions);
        resendTimerRunning_ = false;
    }
    if (!resendTimerRunning_ && plat::TxEmpty(*port_) == 1) {
        resendTimerRunning_ = true;
        resendStart_ = now;
    }
    return kLinkKeepWaiting;
}

} // namespace comms
