#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "commserver/LinkFrame.h"
#include "remoteunit/RemoteUnit.h"

using namespace comms;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Feeds bytes and returns the events that were not None.
std::vector<LinkFrameAssembler::Event> feedAll(LinkFrameAssembler& a, const Bytes& bytes) {
    std::vector<LinkFrameAssembler::Event> events;
    for (std::uint8_t b : bytes) {
        const auto e = a.Feed(b, 100);
        if (e != LinkFrameAssembler::Event::None)
            events.push_back(e);
    }
    return events;
}

} // namespace

TEST(LinkFrameCrc, CheckValueOfTheStandardString) {
    const std::string s = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()), 0x31C3);
}

TEST(LinkFrameCrc, ContinuesOverPieces) {
    const std::string s = "123456789";
    const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
    EXPECT_EQ(Crc16(p + 4, 5, Crc16(p, 4)), 0x31C3);
}

struct FrameVector {
    int type;
    Bytes payload;
    Bytes wire;
};

class LinkFrameVectors : public ::testing::TestWithParam<FrameVector> {};

TEST_P(LinkFrameVectors, EncodeAsTheWireShowsAndAssembleBack) {
    const FrameVector& v = GetParam();
    EXPECT_EQ(MakeLinkFrame(v.type, v.payload), v.wire);
    EXPECT_EQ(RemoteUnit::Encode(v.type, v.payload), v.wire);

    LinkFrameAssembler a;
    EXPECT_EQ(feedAll(a, v.wire), (std::vector{LinkFrameAssembler::Event::Started, LinkFrameAssembler::Event::Good}));
    EXPECT_EQ(a.FrameType(), v.type);
    EXPECT_EQ(Bytes(a.Payload().begin(), a.Payload().end()), v.payload);
}

INSTANTIATE_TEST_SUITE_P(
    Known, LinkFrameVectors,
    ::testing::Values(
        FrameVector{1007, {}, {0x02, 0x07, 0x00, 0xEF, 0x03, 0x41, 0x25}},
        FrameVector{1005, {}, {0x02, 0x07, 0x00, 0xED, 0x03, 0x23, 0x43}},
        FrameVector{1008, {}, {0x02, 0x07, 0x00, 0xF0, 0x03, 0x0C, 0x36}},
        FrameVector{1017, {0x03, 0x00}, {0x02, 0x09, 0x00, 0xF9, 0x03, 0x03, 0x00, 0x38, 0x48}},
        FrameVector{1020, {'J', 'I', 'M', 0}, {0x02, 0x0B, 0x00, 0xFC, 0x03, 0x4A, 0x49, 0x4D, 0x00, 0xDE, 0x9A}}));

TEST(LinkFrame, LargestPayloadRoundTripsAndOneMoreIsRefused) {
    Bytes payload(kMaxPayload);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const Bytes frame = MakeLinkFrame(1001, payload);
    ASSERT_EQ(frame.size(), 1029u);
    EXPECT_EQ(frame[1] | (frame[2] << 8), 1029);

    LinkFrameAssembler a;
    EXPECT_EQ(feedAll(a, frame).back(), LinkFrameAssembler::Event::Good);
    EXPECT_EQ(Bytes(a.Payload().begin(), a.Payload().end()), payload);

    const Bytes tooLong(kMaxPayload + 1, 0x55);
    EXPECT_TRUE(MakeLinkFrame(1001, tooLong).empty());
    std::uint8_t out[1040] = {};
    EXPECT_EQ(BuildLinkFrame(1001, tooLong.data(), kMaxPayload + 1, out), -7);
    EXPECT_EQ(out[0], 0) << "nothing is written for a refused payload";
    EXPECT_EQ(BuildLinkFrame(1001, tooLong.data(), -1, out), -7);
    EXPECT_EQ(BuildLinkFrame(1001, nullptr, 10, out), -7);
}

// The length field is checked after the third byte: frames shorter than the 7-byte minimum (whose type would
// overlap the CRC) and longer than 1029 bytes are dropped at once.
struct LengthCase {
    int length;
    bool accepted;
};
class LinkFrameLengthField : public ::testing::TestWithParam<LengthCase> {};

TEST_P(LinkFrameLengthField, IsCheckedAfterTheThirdByte) {
    const LengthCase c = GetParam();
    LinkFrameAssembler a;
    a.Feed(0x02, 1);
    a.Feed(static_cast<std::uint8_t>(c.length & 0xFF), 1);
    const auto e = a.Feed(static_cast<std::uint8_t>((c.length >> 8) & 0xFF), 1);
    if (c.accepted) {
        EXPECT_EQ(e, LinkFrameAssembler::Event::None);
        EXPECT_EQ(a.Expected(), c.length);
    } else {
        EXPECT_EQ(e, LinkFrameAssembler::Event::BadLength);
        EXPECT_TRUE(a.Hunting());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LinkFrameLengthField,
                         ::testing::Values(LengthCase{4, false}, LengthCase{5, false}, LengthCase{6, false},
                                           LengthCase{7, true}, LengthCase{1029, true}, LengthCase{1030, false},
                                           LengthCase{-1, false}, LengthCase{0x7FFF, false}));

TEST(LinkFrameAssembler, IgnoresBytesBeforeTheStartAndRejectsABadCrc) {
    Bytes good = MakeLinkFrame(1007, Bytes{'A', 'B'});
    Bytes bad = good;
    bad[5] ^= 0x01;

    Bytes stream = {0x00, 0x41, 0xFF, 0x06};
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), good.begin(), good.end());
    LinkFrameAssembler a;
    EXPECT_EQ(feedAll(a, stream), (std::vector{LinkFrameAssembler::Event::Started, LinkFrameAssembler::Event::BadCrc,
                                               LinkFrameAssembler::Event::Started, LinkFrameAssembler::Event::Good}));
    EXPECT_EQ(a.FrameType(), 1007);
}

TEST(LinkFrameAssembler, AgreesWithTheRemoteUnitsEncoderOnRandomFrames) {
    std::mt19937 rng(12345);
    for (int i = 0; i < 200; ++i) {
        Bytes payload(rng() % (kMaxPayload + 1));
        for (auto& b : payload)
            b = static_cast<std::uint8_t>(rng());
        const int type = 1001 + static_cast<int>(rng() % 25);
        const Bytes wire = RemoteUnit::Encode(type, payload);
        ASSERT_EQ(MakeLinkFrame(type, payload), wire);
        LinkFrameAssembler a;
        ASSERT_EQ(feedAll(a, wire).back(), LinkFrameAssembler::Event::Good);
        ASSERT_EQ(Bytes(a.Payload().begin(), a.Payload().end()), payload);
    }
}
