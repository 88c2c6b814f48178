#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The remote unit at the far end of the link, for tests and benchmarks. It frames and checks with an encoder
// of its own (bit by bit, not the server's table), so it does not merely agree with the server's code. It can
// damage its own traffic the ways a noisy line or a confused unit would.
class RemoteUnit {
public:
    enum class Fault {
        None,
        Corrupt,  // one payload (or type) byte changed after the CRC was computed
        Truncate, // only the first half of the frame goes out
        Oversize, // the length field says 1030
        Drop,     // the frame is lost on the line: nothing goes out
        Delay,    // the frame goes out in small pieces with pauses between them
        Repeat,   // the frame goes out twice, as after a lost acknowledgement
    };

    struct Frame {
        int type = 0;
        std::vector<std::uint8_t> payload;
        std::vector<std::uint8_t> bytes;
    };

    // fd: our end of the line (a pseudo-terminal master), non-blocking. Not owned.
    explicit RemoteUnit(int fd) : fd_(fd) {}

    static std::uint16_t Crc(std::span<const std::uint8_t> data);
    static std::vector<std::uint8_t> Encode(int type, std::span<const std::uint8_t> payload);

    // False when the line would not take the bytes.
    bool SendFrame(int type, std::span<const std::uint8_t> payload = {}, Fault fault = Fault::None);
    bool SendBytes(std::span<const std::uint8_t> bytes);
    void SendAck() {
        const std::uint8_t ack = 0x06;
        SendBytes({&ack, 1});
    }

    // The next byte from the server, or -1 when none comes within the time.
    int ReadByte(int timeoutMs);
    // True when the next byte is an acknowledgement.
    bool ExpectAck(int timeoutMs) { return ReadByte(timeoutMs) == 0x06; }
    // Everything the server sent within the time (a quiet period proves nothing was sent).
    std::vector<std::uint8_t> Drain(int timeoutMs);
    // A whole frame from the server with a good CRC, acknowledged unless told not to; none on time-out or
    // when the frame is damaged.
    std::optional<Frame> ReceiveFrame(int timeoutMs, bool acknowledge = true);

    int DelayChunk = 7;
    int DelayPauseMs = 2;

private:
    bool writeAll(const std::uint8_t* data, std::size_t size);
    int fd_;
    // Bytes read from the line but not yet taken.
    std::uint8_t buffer_[4096] = {};
    std::size_t bufferPos_ = 0;
    std::size_t bufferLen_ = 0;
};
