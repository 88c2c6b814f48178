#pragma once
// The bytes that travel on the cable between the PC and a Sarnic logger (docs/sarnic-wire.md): a request
// frame carries one command message of 1 to 5 bytes, a reply frame echoes the command and carries a status
// byte and 0 to 255 data bytes. Both end with a CRC-16 (polynomial 0x1021, initial value 0, most significant
// bit first). A run of NUL bytes outside a frame is the attention signal that wakes a sleeping logger.
//
// Plain C++ without Qt, so a firmware test bench or a second implementation can take it as it is.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sarnic::wire {

constexpr std::uint8_t kStx = 0x02;
constexpr int kMaxMessage = 5;       // command byte plus up to 4 payload bytes
constexpr int kMaxReplyData = 255;   // longest reply data
constexpr int kRequestOverhead = 4;  // STX, LEN, CRC hi, CRC lo
constexpr int kReplyOverhead = 6;    // STX, CMD, STATUS, LEN, CRC hi, CRC lo
constexpr int kAttentionLength = 16; // NULs the PC sends
constexpr int kAttentionMinimum = 8; // NULs in a row that wake the logger

// Reply status byte.
enum ReplyStatus : std::uint8_t {
    kDone = 0,
    kUnknownCommand = 1,
    kBadPayload = 2,
};

std::uint16_t Crc16(std::span<const std::uint8_t> data, std::uint16_t crc = 0);

// STX, LEN, message, CRC. Empty when the message is empty or longer than kMaxMessage.
std::vector<std::uint8_t> EncodeRequest(std::span<const std::uint8_t> message);
// STX, CMD, STATUS, LEN, data, CRC. Empty when the data is longer than kMaxReplyData.
std::vector<std::uint8_t> EncodeReply(std::uint8_t command, std::uint8_t status, std::span<const std::uint8_t> data);

// Assembles reply frames from bytes as they arrive. Bytes before an STX are skipped. A frame whose CRC does
// not match is reported as such, so the caller can ask again at once instead of waiting for a time-out.
class ReplyParser {
public:
    enum class Result {
        NeedMore, // no whole frame yet
        Complete, // command(), status() and data() hold the frame
        BadCrc,   // a whole frame arrived but its CRC is wrong; the parser is reset
    };

    // Takes one byte.
    Result feed(std::uint8_t byte);
    void reset();
    // True once an STX has been seen and a frame is being assembled.
    bool inFrame() const { return stage_ != Stage::Hunt; }

    std::uint8_t command() const { return command_; }
    std::uint8_t status() const { return status_; }
    const std::vector<std::uint8_t>& data() const { return data_; }

private:
    enum class Stage { Hunt, Command, Status, Length, Data, CrcHigh, CrcLow };
    Stage stage_ = Stage::Hunt;
    std::uint8_t command_ = 0;
    std::uint8_t status_ = 0;
    std::size_t length_ = 0;
    std::uint16_t crc_ = 0;
    std::vector<std::uint8_t> data_;
};

} // namespace sarnic::wire
