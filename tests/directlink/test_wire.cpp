// The frames on the cable, byte for byte as docs/sarnic-wire.md writes them down.
#include <gtest/gtest.h>

#include "directlink/SarnicWire.h"

#include <string>

using namespace sarnic::wire;
using Bytes = std::vector<std::uint8_t>;

TEST(SarnicWire, FramesAreTheDocumentedBytes) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc16({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0x31C3);

    const Bytes identify{0};
    EXPECT_EQ(EncodeRequest(identify), (Bytes{0x02, 0x01, 0x00, 0x33, 0x31}));
    const Bytes sleep{13};
    EXPECT_EQ(EncodeRequest(sleep), (Bytes{0x02, 0x01, 0x0D, 0xE2, 0x9C}));
    const Bytes setClock{3, 0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(EncodeRequest(setClock), (Bytes{0x02, 0x05, 0x03, 0x12, 0x34, 0x56, 0x78, 0x19, 0xFF}));
    EXPECT_TRUE(EncodeRequest(Bytes{}).empty());
    EXPECT_TRUE(EncodeRequest(Bytes(6, 1)).empty());

    const Bytes leak{2};
    EXPECT_EQ(EncodeReply(1, kDone, leak), (Bytes{0x02, 0x01, 0x00, 0x01, 0x02, 0x65, 0xC7}));
    EXPECT_EQ(EncodeReply(13, kDone, {}), (Bytes{0x02, 0x0D, 0x00, 0x00, 0x42, 0x51}));
    EXPECT_TRUE(EncodeReply(8, kDone, Bytes(256, 0)).empty());
}

TEST(SarnicWire, ParserSkipsNoiseAndRejectsDamage) {
    ReplyParser p;
    auto feedAll = [&](const Bytes& bytes) {
        ReplyParser::Result r = ReplyParser::Result::NeedMore;
        for (std::uint8_t b : bytes)
            r = p.feed(b);
        return r;
    };
    // Noise before the frame, and data bytes that look like STX, change nothing.
    Bytes frame{0xFF, 0x00, 0x13};
    const Bytes data{0x02, 0x02, 0x00, 0x02};
    const Bytes good = EncodeReply(4, kDone, data);
    frame.insert(frame.end(), good.begin(), good.end());
    EXPECT_EQ(feedAll(frame), ReplyParser::Result::Complete);
    EXPECT_EQ(p.command(), 4);
    EXPECT_EQ(p.status(), kDone);
    EXPECT_EQ(p.data(), data);

    Bytes bad = good;
    bad[5] ^= 0x01;
    EXPECT_EQ(feedAll(bad), ReplyParser::Result::BadCrc);
    EXPECT_FALSE(p.inFrame());
    // Every length from 0 to 255 comes through whole.
    for (int n : {0, 1, 200, 255}) {
        const Bytes d(static_cast<std::size_t>(n), 0xA5);
        EXPECT_EQ(feedAll(EncodeReply(8, kDone, d)), ReplyParser::Result::Complete) << n;
        EXPECT_EQ(p.data().size(), static_cast<std::size_t>(n));
    }
}
