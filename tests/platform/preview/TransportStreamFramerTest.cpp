#include "TransportStreamFramer.h"

#include <gtest/gtest.h>

#include "PreviewTestSupport.h"

namespace vornak {
namespace {

using test::Bytes;

// Packets of PID 0x100 whose counters number them 0, 1, 2, ...
Bytes NumberedPackets(int count) {
    Bytes stream;
    std::uint8_t counter = 0;
    for (int i = 0; i < count; ++i) {
        const Bytes packet = test::Packetize(0x100, test::Pattern(184, 7), counter);
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    return stream;
}

std::vector<int> Counters(TransportStreamFramer& framer, const std::vector<Bytes>& pieces) {
    std::vector<int> counters;
    for (const Bytes& piece : pieces) {
        framer.Feed(piece, [&](std::span<const std::uint8_t> packet) {
            EXPECT_EQ(packet.size(), TransportPacket::kSize);
            counters.push_back(packet[3] & 0x0F);
        });
    }
    return counters;
}

TEST(TransportStreamFramer, CompletesPacketsCutBetweenSamples) {
    const Bytes stream = NumberedPackets(4);
    // Cut in three places, none at a packet boundary.
    const std::vector<Bytes> pieces = {Bytes(stream.begin(), stream.begin() + 100),
                                       Bytes(stream.begin() + 100, stream.begin() + 101),
                                       Bytes(stream.begin() + 101, stream.begin() + 500),
                                       Bytes(stream.begin() + 500, stream.end())};
    TransportStreamFramer framer;
    EXPECT_EQ(Counters(framer, pieces), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(framer.SkippedBytes(), 0u);
}

TEST(TransportStreamFramer, SkipsOnlyThePacketWithADamagedSyncByte) {
    Bytes stream = NumberedPackets(4);
    stream[188] = 0x00;
    TransportStreamFramer framer;
    EXPECT_EQ(Counters(framer, {stream}), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(framer.SkippedBytes(), 188u);
    EXPECT_EQ(framer.SkippedRuns(), 1u);
}

TEST(TransportStreamFramer, FindsTheAlignmentAgainAfterStrayBytes) {
    const Bytes packets = NumberedPackets(4);
    const Bytes stray = {0x01, 0x47, 0x02};  // a stray sync byte among them
    Bytes stream(packets.begin(), packets.begin() + 188);
    stream.insert(stream.end(), stray.begin(), stray.end());
    stream.insert(stream.end(), packets.begin() + 188, packets.end());
    TransportStreamFramer framer;
    EXPECT_EQ(Counters(framer, {stream}), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(framer.SkippedBytes(), 3u);
}

TEST(TransportStreamFramer, ResetForgetsAPartialPacket) {
    const Bytes stream = NumberedPackets(2);
    TransportStreamFramer framer;
    Counters(framer, {Bytes(stream.begin(), stream.begin() + 100)});
    framer.Reset();
    EXPECT_EQ(Counters(framer, {Bytes(stream.begin() + 188, stream.end())}), (std::vector<int>{1}));
}

}  // namespace
}  // namespace vornak
