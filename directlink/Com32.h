#pragma once
// Com32: the serial library through which the main program talks to a Sarnic logger on COM1 to COM4. It
// keeps the small call contract the link module was written against (open, close, attention, status word,
// put a message, get a reply) and carries each message in the frames of docs/sarnic-wire.md over the
// platform's SerialPort.
//
// The library has no thread of its own: every call advances the exchange in progress (reads what has
// arrived, checks the time-outs, sends again after a lost or damaged reply). Every exchange ends, whatever
// the line does: with a reply, or with busy and error both set in the status word, because the caller has
// no time-out of its own and waits for exactly that.
#include <chrono>
#include <cstdint>
#include <vector>

#include "directlink/SarnicWire.h"

namespace plat {
class SerialPort;
}

namespace directlink {

// Status word bits.
constexpr std::uint16_t kStatusReplyReady = 0x0001; // a reply waits to be collected
constexpr std::uint16_t kStatusBusy = 0x0002;       // an exchange is in progress (or ended in error, with 8)
constexpr std::uint16_t kStatusNotOpen = 0x0004;    // no port is open
constexpr std::uint16_t kStatusError = 0x0008;      // with busy: the exchange failed
constexpr std::uint16_t kStatusTimeout = 0x0010;    // why it failed: no (whole) reply in time
constexpr std::uint16_t kStatusFraming = 0x0020;    //   damaged reply (CRC, wrong command echo)
constexpr std::uint16_t kStatusRefused = 0x0040;    //   the logger answered with a non-zero status
constexpr std::uint16_t kStatusIoError = 0x0080;    //   the port would not take the request

// GET_MESSAGE results below zero.
constexpr std::int16_t kGetTimeout = -1;
constexpr std::int16_t kGetFraming = -2;
constexpr std::int16_t kGetRefused = -3;
constexpr std::int16_t kGetNothing = -4; // no exchange, or its reply was collected already or had no data
constexpr std::int16_t kGetTooLong = -5;
constexpr std::int16_t kGetNotOpen = -6;
constexpr std::int16_t kGetIoError = -7;

// COMM_OPEN results other than 0.
constexpr std::int16_t kOpenBadPort = 1; // port number outside 1..255
// Otherwise the platform's negative SerialPort code (no device, in use, bad baud rate ...).

struct Com32Timing {
    int firstByteMs = 1000; // from the end of the request to the first byte of the reply
    int interByteMs = 250;  // longest pause inside a reply
    int retries = 2;        // requests sent again after a lost or damaged reply
    int retryPauseMs = 50;  // quiet time before sending again
    int wakeMs = 150;       // the logger's wake-up time after the attention signal
};

class Com32 {
public:
    Com32() = default;
    ~Com32();
    Com32(const Com32&) = delete;
    Com32& operator=(const Com32&) = delete;

    std::int16_t Open(int port, long baud);
    // Talks over a port that is open already (another driver, an in-memory line); Close closes it.
    void Attach(plat::SerialPort* port, long baud);
    void Close();
    void Reset();
    void Attention();
    std::uint16_t Status();
    std::int16_t PutMessage(const std::uint8_t* message, int length);
    std::int16_t GetMessage(std::uint8_t* buffer, int maxLength);

    void setTiming(const Com32Timing& timing) { timing_ = timing; }
    const Com32Timing& timing() const { return timing_; }

private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Idle, Waiting, ReplyReady, Collected, Failed };

    void pump();
    void send();
    void retryOrFail(std::uint16_t cause);
    void fail(std::uint16_t cause);
    void flushInput();
    std::chrono::microseconds byteTime() const;

    plat::SerialPort* port_ = nullptr;
    long baud_ = 2400;
    Com32Timing timing_;
    Phase phase_ = Phase::Idle;
    std::uint16_t cause_ = 0;
    std::vector<std::uint8_t> request_;
    std::uint8_t command_ = 0;
    int triesLeft_ = 0;
    sarnic::wire::ReplyParser parser_;
    std::vector<std::uint8_t> reply_;
    Clock::time_point firstByteDeadline_;
    Clock::time_point tryDeadline_;
    Clock::time_point lastByte_;
};

// The one library instance of the process.
Com32& Com32Library();

// The library's entry points as the link module calls them.
std::int16_t COMM_OPEN(std::int16_t port, std::int32_t baud);
void COMM_CLOSE();
void COMM_RESET();
void VORDALIN_ATTENTION();
std::uint16_t GET_STATUS();
std::int16_t PUT_MESSAGE(const std::uint8_t* message, std::int16_t length);
std::int16_t GET_MESSAGE(std::uint8_t* buffer, std::int16_t maxLength);

} // namespace directlink
