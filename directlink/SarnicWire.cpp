#include "directlink/SarnicWire.h"

#include <array>

namespace sarnic::wire {

namespace {
constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i << 8);
        for (int b = 0; b < 8; ++b)
            c = static_cast<std::uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1);
        table[i] = c;
    }
    return table;
}
constexpr std::array<std::uint16_t, 256> kTable = makeTable();

void appendCrc(std::vector<std::uint8_t>& out, std::size_t from) {
    const std::uint16_t crc = Crc16(std::span<const std::uint8_t>(out).subspan(from));
    out.push_back(static_cast<std::uint8_t>(crc >> 8));
    out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
}
} // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> data, std::uint16_t crc) {
    for (std::uint8_t b : data)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ b) & 0xFF]);
    return crc;
}

std::vector<std::uint8_t> EncodeRequest(std::span<const std::uint8_t> message) {
    if (message.empty() || message.size() > static_cast<std::size_t>(kMaxMessage))
        return {};
    std::vector<std::uint8_t> out;
    out.reserve(message.size() + kRequestOverhead);
    out.push_back(kStx);
    out.push_back(static_cast<std::uint8_t>(message.size()));
    out.insert(out.end(), message.begin(), message.end());
    appendCrc(out, 1);
    return out;
}

std::vector<std::uint8_t> EncodeReply(std::uint8_t command, std::uint8_t status, std::span<const std::uint8_t> data) {
    if (data.size() > static_cast<std::size_t>(kMaxReplyData))
        return {};
    std::vector<std::uint8_t> out;
    out.reserve(data.size() + kReplyOverhead);
    out.push_back(kStx);
    out.push_back(command);
    out.push_back(status);
    out.push_back(static_cast<std::uint8_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    appendCrc(out, 1);
    return out;
}

void ReplyParser::reset() {
    stage_ = Stage::Hunt;
    data_.clear();
    length_ = 0;
    crc_ = 0;
}

ReplyParser::Result ReplyParser::feed(std::uint8_t byte) {
    const auto addCrc = [this](std::uint8_t b) { crc_ = Crc16(std::span<const std::uint8_t>(&b, 1), crc_); };
    switch (stage_) {
    case Stage::Hunt:
        if (byte == kStx) {
            data_.clear();
            crc_ = 0;
            stage_ = Stage::Command;
        }
        return Result::NeedMore;
    case Stage::Command:
        command_ = byte;
        addCrc(byte);
        stage_ = Stage::Status;
        return Result::NeedMore;
    case Stage::Status:
        status_ = byte;
        addCrc(byte);
        stage_ = Stage::Length;
        return Result::NeedMore;
    case Stage::Length:
        length_ = byte;
        addCrc(byte);
        stage_ = length_ == 0 ? Stage::CrcHigh : Stage::Data;
        return Result::NeedMore;
    case Stage::Data:
        data_.push_back(byte);
        addCrc(byte);
        if (data_.size() == length_)
            stage_ = Stage::CrcHigh;
        return Result::NeedMore;
    case Stage::CrcHigh:
        // The received CRC goes through the register too: a frame is good when the register ends at 0.
        addCrc(byte);
        stage_ = Stage::CrcLow;
        return Result::NeedMore;
    case Stage::CrcLow: {
        addCrc(byte);
        const bool good = crc_ == 0;
        stage_ = Stage::Hunt;
        if (!good) {
            data_.clear();
            return Result::BadCrc;
        }
        return Result::Complete;
    }
    }
    return Result::NeedMore;
}

} // namespace sarnic::wire
