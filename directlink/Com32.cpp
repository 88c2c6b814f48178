#include "directlink/Com32.h"

#include "platform/SerialPort.h"

#include <algorithm>
#include <thread>

namespace directlink {

namespace {
// Longest frame a reply can be; bounds one try even when the line never stops sending noise.
constexpr int kLongestReply = sarnic::wire::kReplyOverhead + sarnic::wire::kMaxReplyData;
// Most bytes one call takes from the line. A line that never pauses would otherwise hold the caller (the
// window thread) for as long as it sends; what is left waits in the port for the next call.
constexpr int kMostBytesPerPump = 4 * kLongestReply;
} // namespace

Com32::~Com32() {
    Close();
}

std::chrono::microseconds Com32::byteTime() const {
    // Ten bits a byte on the line: start, eight data bits, stop.
    return std::chrono::microseconds(10'000'000L / std::max(1L, baud_));
}

std::int16_t Com32::Open(int port, long baud) {
    Close();
    if (port < 1 || port > 255)
        return kOpenBadPort;
    plat::SerialPort* p = plat::PortOpen(port - 1, baud, 'N', 8, 1);
    if (p->status() != 0) {
        const int code = p->status();
        p->Close();
        return static_cast<std::int16_t>(code);
    }
    Attach(p, baud);
    return 0;
}

void Com32::Attach(plat::SerialPort* port, long baud) {
    Close();
    port_ = port;
    baud_ = baud;
    phase_ = Phase::Idle;
    cause_ = 0;
    // Whatever the line delivered before we opened it belongs to nobody.
    flushInput();
}

void Com32::Close() {
    if (port_) {
        port_->Close();
        port_ = nullptr;
    }
    phase_ = Phase::Idle;
    cause_ = 0;
    reply_.clear();
    parser_.reset();
}

void Com32::Reset() {
    phase_ = Phase::Idle;
    cause_ = 0;
    reply_.clear();
    parser_.reset();
    if (port_) {
        port_->ClearTxBuffer();
        flushInput();
    }
}

void Com32::Attention() {
    if (!port_)
        return;
    const std::vector<std::uint8_t> nuls(sarnic::wire::kAttentionLength, 0);
    port_->WriteBlock(nuls.data(), static_cast<int>(nuls.size()));
    // The caller closes the port right after this, so the signal must have left before we return.
    const auto deadline = Clock::now() + byteTime() * (nuls.size() * 4) + std::chrono::milliseconds(200);
    while (plat::TxEmpty(*port_) == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(timing_.wakeMs));
}

void Com32::flushInput() {
    std::uint8_t sink[256];
    // Bounded: a line that never stops sending must not hold the caller here.
    for (int i = 0; i < 64; ++i) {
        port_->ReadBlock(sink, sizeof sink);
        if (port_->count() <= 0)
            break;
    }
    parser_.reset();
}

void Com32::send() {
    flushInput();
    port_->WriteBlock(request_.data(), static_cast<int>(request_.size()));
    if (port_->count() != static_cast<int>(request_.size())) {
        fail(kStatusIoError);
        return;
    }
    const auto now = Clock::now();
    const auto txTime = byteTime() * request_.size();
    firstByteDeadline_ = now + txTime + std::chrono::milliseconds(timing_.firstByteMs);
    tryDeadline_ =
        firstByteDeadline_ + byteTime() * (2 * kLongestReply) + std::chrono::milliseconds(timing_.interByteMs);
    lastByte_ = now;
    phase_ = Phase::Waiting;
}

void Com32::fail(std::uint16_t cause) {
    phase_ = Phase::Failed;
    cause_ = cause;
    parser_.reset();
}

void Com32::retryOrFail(std::uint16_t cause) {
    if (triesLeft_ <= 0) {
        fail(cause);
        return;
    }
    --triesLeft_;
    // Let the rest of a damaged reply go by before asking again, so it is not taken for the new one.
    std::this_thread::sleep_for(std::chrono::milliseconds(timing_.retryPauseMs));
    send();
}

std::int16_t Com32::PutMessage(const std::uint8_t* message, int length) {
    if (!port_)
        return -1;
    if (phase_ == Phase::Waiting || message == nullptr || length < 1 || length > sarnic::wire::kMaxMessage) {
        // The caller does not act on a refusal; the error in the status word ends its wait.
        fail(kStatusIoError);
        return -1;
    }
    request_ = sarnic::wire::EncodeRequest(std::span<const std::uint8_t>(message, static_cast<std::size_t>(length)));
    command_ = message[0];
    reply_.clear();
    cause_ = 0;
    triesLeft_ = timing_.retries;
    send();
    if (phase_ == Phase::Failed)
        return -1;
    return static_cast<std::int16_t>(length);
}

void Com32::pump() {
    if (!port_ || phase_ != Phase::Waiting)
        return;
    std::uint8_t chunk[256];
    bool got = false;
    for (int taken = 0; taken < kMostBytesPerPump;) {
        port_->ReadBlock(chunk, std::min<int>(sizeof chunk, kMostBytesPerPump - taken));
        const int n = port_->count();
        if (n <= 0)
            break;
        taken += n;
        got = true;
        lastByte_ = Clock::now();
        for (int i = 0; i < n; ++i) {
            switch (parser_.feed(chunk[i])) {
            case sarnic::wire::ReplyParser::Result::NeedMore:
                continue;
            case sarnic::wire::ReplyParser::Result::BadCrc:
                retryOrFail(kStatusFraming);
                return;
            case sarnic::wire::ReplyParser::Result::Complete:
                if (parser_.command() != command_) {
                    retryOrFail(kStatusFraming);
                    return;
                }
                if (parser_.status() != sarnic::wire::kDone) {
                    // The logger understood the request and said no: asking again would change nothing.
                    fail(kStatusRefused);
                    return;
                }
                reply_ = parser_.data();
                parser_.reset();
                phase_ = Phase::ReplyReady;
                return;
            }
        }
    }
    const auto now = Clock::now();
    const bool late =
        parser_.inFrame() ? now > lastByte_ + std::chrono::milliseconds(timing_.interByteMs) : now > firstByteDeadline_;
    if (late || now > tryDeadline_) {
        retryOrFail(kStatusTimeout);
        return;
    }
    if (!got)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::uint16_t Com32::Status() {
    if (!port_)
        return kStatusNotOpen;
    pump();
    switch (phase_) {
    case Phase::Waiting:
        return kStatusBusy;
    case Phase::Failed:
        return static_cast<std::uint16_t>(kStatusBusy | kStatusError | cause_);
    case Phase::ReplyReady:
        return kStatusReplyReady;
    case Phase::Idle:
    case Phase::Collected:
        break;
    }
    return 0;
}

std::int16_t Com32::GetMessage(std::uint8_t* buffer, int maxLength) {
    if (!port_)
        return kGetNotOpen;
    pump();
    switch (phase_) {
    case Phase::Waiting:
        return 0;
    case Phase::Failed:
        if (cause_ & kStatusTimeout)
            return kGetTimeout;
        if (cause_ & kStatusFraming)
            return kGetFraming;
        if (cause_ & kStatusRefused)
            return kGetRefused;
        return kGetIoError;
    case Phase::ReplyReady:
        // Never 0 here: 0 means "not yet", and a caller would wait for ever for a reply that has come.
        if (reply_.empty() || buffer == nullptr)
            return kGetNothing;
        if (static_cast<int>(reply_.size()) > maxLength)
            return kGetTooLong;
        std::copy(reply_.begin(), reply_.end(), buffer);
        phase_ = Phase::Collected;
        return static_cast<std::int16_t>(reply_.size());
    case Phase::Idle:
    case Phase::Collected:
        break;
    }
    return kGetNothing;
}

Com32& Com32Library() {
    // Never destroyed: the serial layer closes every open port itself at exit, and a destructor running
    // after that would close a port that is gone.
    static Com32* library = new Com32;
    return *library;
}

std::int16_t COMM_OPEN(std::int16_t port, std::int32_t baud) {
    return Com32Library().Open(port, baud);
}
void COMM_CLOSE() {
    Com32Library().Close();
}
void COMM_RESET() {
    Com32Library().Reset();
}
void VORDALIN_ATTENTION() {
    Com32Library().Attention();
}
std::uint16_t GET_STATUS() {
    return Com32Library().Status();
}
std::int16_t PUT_MESSAGE(const std::uint8_t* message, std::int16_t length) {
    return Com32Library().PutMessage(message, length);
}
std::int16_t GET_MESSAGE(std::uint8_t* buffer, std::int16_t maxLength) {
    return Com32Library().GetMessage(buffer, maxLength);
}

} // namespace directlink
