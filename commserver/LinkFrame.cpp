#include "commserver/LinkFrame.h"

#include <array>
#include <cstring>

namespace comms {

namespace {

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[static_cast<std::size_t>(i)] = crc;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();

} // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

int BuildLinkFrame(int type, const std::uint8_t* payload, int length, std::uint8_t* out) {
    if (length < 0 || length > kMaxPayload || (length > 0 && payload == nullptr))
        return -7;
    const int total = length + kFrameOverhead;
    out[0] = kFrameStart;
    out[1] = static_cast<std::uint8_t>(total & 0xFF);
    out[2] = static_cast<std::uint8_t>(total >> 8);
    out[3] = static_cast<std::uint8_t>(type & 0xFF);
    out[4] = static_cast<std::uint8_t>((type >> 8) & 0xFF);
    if (length > 0)
        std::memcpy(out + 5, payload, static_cast<std::size_t>(length));
    const std::uint16_t crc = Crc16(out, static_cast<std::size_t>(length + 5));
    out[length + 5] = static_cast<std::uint8_t>(crc & 0xFF);
    out[length + 6] = static_cast<std::uint8_t>(crc >> 8);
    return total;
}

std::vector<std::uint8_t> MakeLinkFrame(int type, std::span<const std::uint8_t> payload) {
    if (payload.size() > static_cast<std::size_t>(kMaxPayload))
        return {};
    std::vector<std::uint8_t> frame(payload.size() + kFrameOverhead);
    BuildLinkFrame(type, payload.data(), static_cast<int>(payload.size()), frame.data());
    return frame;
}

void LinkFrameAssembler::Reset() {
    startTime_ = 0;
    count_ = 0;
    expected_ = -1;
    complete_ = false;
}

LinkFrameAssembler::Event LinkFrameAssembler::Feed(std::uint8_t byte, std::int64_t now) {
    if (complete_)
        Reset();
    if (count_ == 0) {
        if (byte != kFrameStart)
            return Event::None;
        buffer_[0] = byte;
        count_ = 1;
        startTime_ = now;
        return Event::Started;
    }
    buffer_[count_++] = byte;
    if (count_ == 3) {
        const int length = static_cast<std::int16_t>(buffer_[1] | (buffer_[2] << 8));
        // The smallest real frame is 7 bytes: a shorter length field would make the type overlap the CRC
        // and give a negative payload length to whoever reads the frame.
        if (length < kMinFrameLength || length > kMaxFrameLength) {
            Reset();
            return Event::BadLength;
        }
        expected_ = length;
        return Event::None;
    }
    if (count_ < 3 || count_ < expected_)
        return Event::None;
    const std::uint16_t crc = Crc16(buffer_, static_cast<std::size_t>(expected_ - 2));
    const std::uint16_t sent = static_cast<std::uint16_t>(buffer_[expected_ - 2] | (buffer_[expected_ - 1] << 8));
    if (crc != sent) {
        Reset();
        return Event::BadCrc;
    }
    complete_ = true;
    return Event::Good;
}

int LinkFrameAssembler::FrameType() const {
    if (!complete_)
        return 0;
    return buffer_[3] | (buffer_[4] << 8);
}

std::span<const std::uint8_t> LinkFrameAssembler::Payload() const {
    if (!complete_)
        return {};
    return {buffer_ + 5, static_cast<std::size_t>(expected_ - kFrameOverhead)};
}

} // namespace comms
