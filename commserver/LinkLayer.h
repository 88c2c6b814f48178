#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <random>
#include <span>

#include "commserver/LinkClock.h"
#include "commserver/LinkFrame.h"
#include "commserver/LinkStatistics.h"

namespace plat {
class SerialPort;
}

// The packet layer over the open serial port: frames are assembled from what the port holds without ever
// blocking, good ones are acknowledged at once, our own frames are resent until acknowledged or the send
// timer runs out. Every wait is a poll from the worker's loop. Only the worker thread calls the functions;
// the settings and counters may be read and changed by the window thread at any time.
namespace comms {

// Results of ReceiveFrame and WaitForAck.
constexpr int kLinkOk = 0;
constexpr int kLinkKeepWaiting = 1;
constexpr int kLinkTimerExpired = -2;
constexpr int kLinkLineLost = -4;

// The link timers, in seconds unless said.
struct LinkTimers {
    std::atomic<int> AckTimer{3};
    std::atomic<int> GetTimer{15};
    std::atomic<int> SendTimer{6};
    std::atomic<int> ReceiveTimer{4};
    std::atomic<int> OpticalDelay{20}; // milliseconds
    std::atomic<int> InactivityHangUp{180};
};

class LinkLayer {
public:
    explicit LinkLayer(LinkClock& clock = LinkClock::System());

    // The port the worker opened, or none after it closed it. A port that is (re)opened starts a new link:
    // a half-assembled frame and the kept good frames of the old one are forgotten, so that the first frame
    // of the new link is never taken for a repeat of the last frame of the old one.
    void SetPort(plat::SerialPort* port);
    plat::SerialPort* Port() const { return port_; }
    // Called when a modem line has been silent for longer than InactivityHangUp.
    void SetHangUpModem(std::function<void()> hangUp) { hangUpModem_ = std::move(hangUp); }

    LinkTimers timers;
    // A missing DSR line does not end the link.
    std::atomic<bool> PhantomDSR{false};
    // A modem (not "Direct") is in use: a missing carrier ends the link too.
    std::atomic<bool> ModemInUse{false};
    // Test modes that damage traffic at set seconds of each 25, so that the remote unit's recovery shows.
    std::atomic<bool> CorruptData{false};
    std::atomic<bool> LostData{false};
    std::atomic<std::uint32_t> RxCorruptedBytes{0};
    std::atomic<std::uint32_t> DiscardedBytes{0};
    std::atomic<std::uint32_t> TxCorruptedPkts{0};

    // Frames dropped before their CRC could be checked: a length field out of range, or a frame that stopped
    // coming in. RX bad packets counts CRC failures alone.
    std::atomic<std::uint32_t> RxDroppedFrames{0};

    LinkStatistics statistics;
    LineErrorCounts lineErrors;

    // 0 a good frame is ready (already acknowledged); 1 nothing complete yet; -4 the line was lost. A silent
    // line is no failure here: the idle server listens for as long as it takes.
    int ReceiveFrame();
    // ReceiveFrame for a handler that waits for the remote unit's next frame: also -2 once the Get Packet
    // time has passed since the wait began (ResetReceiver) and since the last byte came. A modem link reports
    // no -2: a silent call is hung up after InactivityHangUp instead.
    int AwaitFrame();
    int ReceivedFrameType() const;
    std::span<const std::uint8_t> ReceivedPayload() const;
    // Back to hunting for a start byte; the Get Packet time counts from here.
    void ResetReceiver();
    // True when the frame just delivered is the same as the good frame delivered before it: the remote unit
    // sent it again because our acknowledgement was lost.
    bool IsRepeatOfLastFrame() const;
    // Forgets the kept frames (each time the port is opened).
    void ClearLastGoodFrame();

    // Sends a frame; the result of the port's block write (0, or -9), 0 without sending when the carrier is
    // missing on a modem link, -7 when the payload is longer than 1022 bytes or negative.
    int SendFrame(int type, const std::uint8_t* payload, int length);
    int SendReply(int type) { return SendFrame(type, nullptr, 0); }
    // 0 acknowledged; 1 keep waiting (the frame is resent after AckTimer); -2 SendTimer expired; -4 line lost.
    int WaitForAck();

    void ResetLinkStatistics() {
        RxDroppedFrames.store(0);
        statistics.Reset();
    }
    void ResetLineErrorCounts() { lineErrors.Reset(); }

    std::int64_t TimeOfLastByte() const { return lastByteTime_; }

private:
    struct KeptFrame {
        bool present = false;
        int length = 0;
        std::uint8_t bytes[kMaxFrameLength] = {};
    };

    void countLineErrors();
    int receive(bool awaiting);
    int random();

    LinkClock& clock_;
    plat::SerialPort* port_ = nullptr;
    std::function<void()> hangUpModem_;

    LinkFrameAssembler receiver_;
    std::int64_t waitStart_ = 0;
    std::int64_t lastByteTime_ = 0;
    KeptFrame lastGood_;
    KeptFrame previousGood_;

    std::uint8_t sendBuffer_[kMaxFrameLength] = {};
    int sendLength_ = 0;
    std::int64_t sendTime_ = 0;
    bool resendTimerRunning_ = false;
    std::int64_t resendStart_ = 0;

    std::minstd_rand random_;
};

} // namespace comms
