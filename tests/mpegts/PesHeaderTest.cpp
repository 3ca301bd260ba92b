#include "PesHeader.h"

#include <gtest/gtest.h>

#include "MpegTsTestSupport.h"

namespace vornak {
namespace {

using test::Bytes;

TEST(PesHeader, ReadsLengthPayloadOffsetAndAFullWidthPts) {
    const std::int64_t pts = (std::int64_t{1} << 32) + 0x12345678;  // uses all 33 bits' parts
    const Bytes pes = test::MakePes(test::kAudioStreamId, test::Pattern(10, 0), pts, true);
    const auto header = PesHeader::Parse(pes);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->StreamId(), test::kAudioStreamId);
    EXPECT_EQ(header->PacketLength(), pes.size() - PesHeader::kFixedSize);
    EXPECT_EQ(header->PayloadOffset(), 14u);
    ASSERT_TRUE(header->Pts());
    EXPECT_EQ(*header->Pts(), pts);
}

TEST(PesHeader, NoPtsWhenTheFlagsSayNone) {
    const Bytes pes =
        test::MakePes(test::kVideoStreamId, test::Pattern(10, 0), std::nullopt, false);
    const auto header = PesHeader::Parse(pes);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->PacketLength(), 0u);
    EXPECT_EQ(header->PayloadOffset(), 9u);
    EXPECT_FALSE(header->Pts());
}

TEST(PesHeader, PrivateStreamTwoHasNoOptionalHeader) {
    const Bytes pes = {0x00, 0x00, 0x01, 0xBF, 0x00, 0x02, 0xAA, 0xBB};
    const auto header = PesHeader::Parse(pes);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->PayloadOffset(), PesHeader::kFixedSize);
}

TEST(PesHeader, RefusesHeadersThatDoNotFit) {
    const Bytes good = test::MakePes(test::kVideoStreamId, test::Pattern(10, 0), 90000, false);
    ASSERT_TRUE(PesHeader::Parse(good));

    Bytes noStartCode = good;
    noStartCode[2] = 0x02;
    EXPECT_FALSE(PesHeader::Parse(noStartCode));

    Bytes headerPastTheEnd = good;
    headerPastTheEnd[8] = 0xFF;
    EXPECT_FALSE(PesHeader::Parse(headerPastTheEnd));

    Bytes headerPastThePacket = test::MakePes(test::kAudioStreamId, {}, 90000, true);
    headerPastThePacket.resize(40, 0xFF);  // more bytes at hand than the packet's length says
    headerPastThePacket[8] = 20;
    EXPECT_FALSE(PesHeader::Parse(headerPastThePacket));

    Bytes ptsWithoutRoom = good;
    ptsWithoutRoom[8] = 2;
    EXPECT_FALSE(PesHeader::Parse(ptsWithoutRoom));

    Bytes mpeg1Header = good;
    mpeg1Header[6] = 0x0F;
    EXPECT_FALSE(PesHeader::Parse(mpeg1Header));

    EXPECT_FALSE(PesHeader::Parse(std::span(good).first(8)));
}

}  // namespace
}  // namespace vornak
