#pragma once
// A Sarnic noise logger at the far end of a serial cable, for tests and benchmarks. It runs on the master side
// of a pseudo-terminal in a thread of its own and speaks the frames of docs/sarnic-wire.md with a codec of its
// own (bit-by-bit CRC, its own parser), so it does not merely agree with the program's code. It keeps the
// logger's clock, settings, histogram and history, sleeps until it gets the attention signal, and can answer
// late, short, garbled or not at all.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class SarnicSimulator {
public:
    struct State {
        bool awake = false;
        bool ignoreAttention = false; // a logger whose battery is flat: the signal wakes nothing
        std::uint8_t firmwareMajor = 1;
        std::uint8_t firmwareMinor = 2;
        std::uint32_t serial = 1012345; // 24 bits
        std::uint8_t leakCode = 2;
        std::array<std::uint8_t, 4> rates{0x5A, 0xA5, 60, 30}; // two further settings, no-leak rate, leak rate
        std::uint8_t days = 0x3E;
        std::uint8_t battery = 128;
        std::uint8_t noise = 97;
        std::array<std::uint8_t, 108> history{};
        std::array<std::uint16_t, 100> histogram{};
        std::array<std::uint8_t, 256> memory{};
        std::uint8_t filler = 0xEE; // bytes of replies that carry nothing
        bool clockStopped = false;  // the clock keeps the time it was last set to (exact tests)
    };

    enum class Fault {
        None,
        Drop,      // no reply at all
        BadCrc,    // the last CRC byte is wrong
        Truncate,  // only the first half of the frame goes out
        WrongEcho, // the reply names another command
        Refuse,    // status byte 3
        Garbage,   // noise before a good reply
        Late,      // the reply comes after lateMs
        ShortData, // a good frame with half the data the command has
        Noise,     // noise and no frame
    };

    struct Request {
        std::uint8_t command = 0;
        std::vector<std::uint8_t> payload;
    };

    // masterFd: the pseudo-terminal's master, non-blocking; not owned.
    explicit SarnicSimulator(int masterFd);
    ~SarnicSimulator();
    SarnicSimulator(const SarnicSimulator&) = delete;
    SarnicSimulator& operator=(const SarnicSimulator&) = delete;

    // Reads or changes the logger under its lock.
    void with(const std::function<void(State&)>& change);
    State state() const;
    // The logger's clock as seconds since 1970 on its own (zone-less) calendar.
    std::int32_t clock() const;
    void setClock(std::int32_t seconds);

    // The next `count` replies (to `command` only, when not -1) suffer the fault.
    void setFault(Fault fault, int count = 1, int command = -1);
    void setLateMs(int ms) { lateMs_ = ms; }
    // Paces the line at this many baud (a request takes its time to arrive, a reply to go out); 0: no pacing.
    void setLineRate(long baud) { baud_ = baud; }

    std::vector<Request> requests() const;
    int attentions() const;
    int badFrames() const;
    void clearLog();
    // True when at least n requests have arrived in all within the time.
    bool waitForRequests(std::size_t n, int timeoutMs) const;
    // True when, within the time, the logger has answered everything that reached it (late replies included)
    // and found the line quiet after it.
    bool waitUntilQuiet(int timeoutMs) const;

    static std::uint16_t Crc(const std::uint8_t* data, std::size_t n);

private:
    std::int32_t clockNow() const; // under the lock
    void run();
    void onByte(std::uint8_t b);
    void onRequest(const std::vector<std::uint8_t>& message);
    void sendBytes(const std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> answer(std::uint8_t command, const std::vector<std::uint8_t>& payload,
                                     std::uint8_t* status);

    int fd_;
    std::atomic<bool> stop_{false};
    std::atomic<int> lateMs_{1500};
    std::atomic<long> baud_{0};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    State state_;
    std::int64_t clockBase_ = 0;  // logger seconds at clockSetAt_
    std::int64_t clockSetAt_ = 0; // steady seconds
    Fault fault_ = Fault::None;
    int faultCount_ = 0;
    int faultCommand_ = -1;
    std::vector<Request> log_;
    int attentions_ = 0;
    int badFrames_ = 0;
    long quietPolls_ = 0; // polls of the line that found nothing to read

    // Request assembly.
    enum class Stage { Hunt, Length, Message, CrcHigh, CrcLow } stage_ = Stage::Hunt;
    int nulRun_ = 0;
    std::vector<std::uint8_t> frame_;
    std::size_t length_ = 0;

    std::thread thread_;
};
