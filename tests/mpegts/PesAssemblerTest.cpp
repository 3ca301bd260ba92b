#include "PesAssembler.h"

#include <gtest/gtest.h>

#include "MpegTsTestSupport.h"

namespace vornak {
namespace {

using test::Bytes;

struct Emitted {
    Bytes data;
    std::optional<std::int64_t> pts;
};

class PesAssemblerTest : public ::testing::Test {
  protected:
    // Every packet of `stream` (whole packets of one PID) into the assembler.
    void Push(const Bytes& stream) {
        for (std::size_t offset = 0; offset + test::kPacketSize <= stream.size();
             offset += test::kPacketSize) {
            const auto packet =
                TransportPacket::Parse(std::span(stream).subspan(offset, test::kPacketSize));
            ASSERT_TRUE(packet);
            assembler.Push(*packet, sink);
        }
    }

    DemuxStatistics statistics;
    PesAssembler assembler{statistics};
    std::vector<Emitted> emitted;
    PesAssembler::PayloadSink sink = [this](const PesPayload& payload) {
        emitted.push_back({Bytes(payload.data.begin(), payload.data.end()), payload.pts});
    };
    std::uint8_t counter = 0;
};

TEST_F(PesAssemblerTest, BoundedPesGoesOutAsSoonAsItIsComplete) {
    const Bytes payload = test::Pattern(500, 1);
    Push(test::Packetize(test::kAudioPid, test::MakePes(0xC0, payload, 1234, true), counter));
    ASSERT_EQ(emitted.size(), 1u);
    EXPECT_EQ(emitted[0].data, payload);
    EXPECT_EQ(emitted[0].pts, 1234);
}

TEST_F(PesAssemblerTest, UnboundedPesGoesOutWhenTheNextStartsOrTheStreamEnds) {
    const Bytes first = test::Pattern(1000, 1);
    const Bytes second = test::Pattern(300, 9);
    Push(test::Packetize(test::kVideoPid, test::MakePes(0xE0, first, 10, false), counter));
    EXPECT_TRUE(emitted.empty());
    Push(test::Packetize(test::kVideoPid, test::MakePes(0xE0, second, std::nullopt, false),
                         counter));
    ASSERT_EQ(emitted.size(), 1u);
    EXPECT_EQ(emitted[0].data, first);
    assembler.Finish(sink);
    ASSERT_EQ(emitted.size(), 2u);
    EXPECT_EQ(emitted[1].data, second);
    EXPECT_FALSE(emitted[1].pts);
}

TEST_F(PesAssemblerTest, ContinuityGapDiscardsThePesBeingGathered) {
    Bytes stream = test::Packetize(test::kVideoPid,
                                   test::MakePes(0xE0, test::Pattern(600, 1), 10, false), counter);
    stream.erase(stream.begin() + 188, stream.begin() + 2 * 188);  // lose the second packet
    Push(stream);
    const Bytes next = test::Pattern(200, 5);
    Push(test::Packetize(test::kVideoPid, test::MakePes(0xE0, next, 20, false), counter));
    assembler.Finish(sink);
    ASSERT_EQ(emitted.size(), 1u);
    EXPECT_EQ(emitted[0].data, next);
    EXPECT_EQ(statistics.continuityBreaks.load(), 1u);
}

TEST_F(PesAssemblerTest, RepeatedPacketIsIgnored) {
    const Bytes payload = test::Pattern(300, 1);
    Bytes stream = test::Packetize(test::kAudioPid, test::MakePes(0xC0, payload, 1, true), counter);
    stream.insert(stream.begin() + 188, stream.begin(), stream.begin() + 188);
    Push(stream);
    ASSERT_EQ(emitted.size(), 1u);
    EXPECT_EQ(emitted[0].data, payload);
    EXPECT_EQ(statistics.continuityBreaks.load(), 0u);
}

TEST_F(PesAssemblerTest, PesCutShortOrUnreadableIsCountedNotEmitted) {
    // A bounded PES whose next one starts before its length is in.
    Bytes shortPes = test::MakePes(0xC0, test::Pattern(400, 1), 1, true);
    shortPes[4] = 0x10;  // claims 4 KiB
    Push(test::Packetize(test::kAudioPid, shortPes, counter));
    // A PES whose header length runs past its payload.
    Bytes badHeader = test::MakePes(0xE0, test::Pattern(20, 1), std::nullopt, false);
    badHeader[8] = 200;
    Push(test::Packetize(test::kAudioPid, badHeader, counter));
    assembler.Finish(sink);
    EXPECT_TRUE(emitted.empty());
    EXPECT_EQ(statistics.damagedPes.load(), 2u);
}

TEST(PesAssembler, PesGrowingPastTheLimitIsDiscarded) {
    DemuxStatistics statistics;
    PesAssembler assembler(statistics, 1000);
    int emitted = 0;
    std::uint8_t counter = 0;
    const Bytes stream = test::Packetize(
        test::kVideoPid, test::MakePes(0xE0, test::Pattern(1500, 1), 1, false), counter);
    for (std::size_t offset = 0; offset < stream.size(); offset += test::kPacketSize) {
        assembler.Push(*TransportPacket::Parse(std::span(stream).subspan(offset, 188)),
                       [&](const PesPayload&) { ++emitted; });
    }
    assembler.Finish([&](const PesPayload&) { ++emitted; });
    EXPECT_EQ(emitted, 0);
    EXPECT_EQ(statistics.damagedPes.load(), 1u);
}

}  // namespace
}  // namespace vornak
