#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The link's wire unit: 0x02, total length (payload + 7, little-endian), frame type (little-endian), payload,
// CRC-16 of everything before it (little-endian). A good frame is answered with the single byte 0x06.
namespace comms {

constexpr std::uint8_t kFrameStart = 0x02;
constexpr std::uint8_t kFrameAck = 0x06;
constexpr int kFrameOverhead = 7;
constexpr int kMaxPayload = 1022;
constexpr int kMinFrameLength = kFrameOverhead;
constexpr int kMaxFrameLength = kMaxPayload + kFrameOverhead;
constexpr int kReceiveBufferSize = 1040;

// CRC-16 with polynomial 0x1021, most significant bit first, no reflection and no final XOR; start from 0
// for a whole frame, or from an earlier result to continue over more bytes.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length, std::uint16_t crc = 0);

// Builds a frame into out, which must hold length + 7 bytes. Returns the total length, or -7 (and writes
// nothing) when the payload is longer than 1022 bytes, negative, or missing while length says otherwise.
int BuildLinkFrame(int type, const std::uint8_t* payload, int length, std::uint8_t* out);
// The same as a vector; empty when the payload is refused.
std::vector<std::uint8_t> MakeLinkFrame(int type, std::span<const std::uint8_t> payload = {});

// Assembles received bytes into a frame, one byte at a time, never blocking. While hunting only a start byte
// counts; inside a frame the length field is checked as soon as it is in, and the CRC once the frame is
// complete. A complete good frame stays in the buffer until the next Reset (or the next byte).
class LinkFrameAssembler {
public:
    enum class Event {
        None,      // byte ignored (hunting) or taken into the frame
        Started,   // a start byte began a frame
        BadLength, // the length field is outside 7..1029; back to hunting
        Good,      // a frame with a good CRC is complete
        BadCrc,    // the frame is complete but its CRC is wrong; back to hunting
    };

    Event Feed(std::uint8_t byte, std::int64_t now);
    void Reset();

    bool Hunting() const { return count_ == 0; }
    bool InFrame() const { return count_ > 0 && !complete_; }
    bool Complete() const { return complete_; }
    // Time the start byte came (0 while hunting).
    std::int64_t StartTime() const { return startTime_; }
    int Count() const { return count_; }
    // Total length from the frame's length field, -1 until it is in.
    int Expected() const { return expected_; }
    const std::uint8_t* Data() const { return buffer_; }

    // Of a complete frame.
    int FrameType() const;
    std::span<const std::uint8_t> Payload() const;

private:
    std::int64_t startTime_ = 0;
    int count_ = 0;
    int expected_ = -1;
    bool complete_ = false;
    std::uint8_t buffer_[kReceiveBufferSize] = {};
};

} // namespace comms
