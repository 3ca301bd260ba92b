// The receive queue: 188-byte transport packets become 192-byte source packets with the
// arrival time in front, taken out in batches; a full queue throws whole packets away, counts
// them and marks where the gap is; lengths that are not whole packets are taken safely.
#include "SourcePacketQueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPacket = SourcePacketQueue::kTransportPacketSize;
constexpr std::size_t kSource = SourcePacketQueue::kSourcePacketSize;

// Transport packet `number`: sync byte, then bytes that differ from packet to packet.
Bytes TransportPacket(std::size_t number) {
    Bytes packet(kPacket);
    packet[0] = 0x47;
    for (std::size_t i = 1; i < kPacket; ++i) {
        packet[i] = static_cast<std::uint8_t>(number * 31 + i);
    }
    return packet;
}

Bytes SourcePacket(std::uint32_t header, std::size_t number) {
    Bytes packet{static_cast<std::uint8_t>(header >> 24), static_cast<std::uint8_t>(header >> 16),
                 static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header)};
    const Bytes transport = TransportPacket(number);
    packet.insert(packet.end(), transport.begin(), transport.end());
    return packet;
}

Bytes SourcePackets(std::uint32_t header, std::size_t first, std::size_t count) {
    Bytes out;
    for (std::size_t i = first; i < first + count; ++i) {
        const Bytes packet = SourcePacket(header, i);
        out.insert(out.end(), packet.begin(), packet.end());
    }
    return out;
}

// Takes up to `max` packets; the gap mark in `gap`.
Bytes Take(SourcePacketQueue& queue, std::size_t max, bool* gap = nullptr) {
    Bytes out(max * kSource);
    bool mark = false;
    out.resize(queue.Take(out.data(), max, &mark) * kSource);
    if (gap != nullptr) {
        *gap = mark;
    }
    return out;
}

TEST(SourcePacketQueue, StampsEachPacketAndHandsOutBlocksInOrderAPausedOneWhenSealed) {
    SourcePacketQueue queue(3, 4);
    queue.SetArrivalTime(0xFE12'3456);  // the seconds field is not part of the stamp
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(queue.Add(TransportPacket(i).data(), static_cast<int>(kPacket)), 1u);
    }
    EXPECT_EQ(queue.ReadyBlocks(), 1u);
    queue.SetArrivalTime(0x0000'0ABC);
    Bytes two = TransportPacket(4);
    const Bytes fifth = TransportPacket(5);
    two.insert(two.end(), fifth.begin(), fifth.end());
    EXPECT_EQ(queue.Add(two.data(), static_cast<int>(two.size())), 2u);
    queue.Add(TransportPacket(6).data(), static_cast<int>(kPacket));
    queue.Seal();  // the stream paused: the half-filled block goes out too

    bool gap = true;
    EXPECT_EQ(Take(queue, 3, &gap), SourcePackets(0x0012'3456, 0, 3));
    EXPECT_FALSE(gap);
    Bytes second = SourcePacket(0x0012'3456, 3);
    const Bytes rest = SourcePackets(0x0000'0ABC, 4, 2);
    second.insert(second.end(), rest.begin(), rest.end());
    EXPECT_EQ(Take(queue, 3), second);
    EXPECT_EQ(Take(queue, 3), SourcePacket(0x0000'0ABC, 6));
    EXPECT_EQ(Take(queue, 3), Bytes());
    queue.Seal();  // nothing to publish
    EXPECT_EQ(queue.ReadyBlocks(), 0u);
    EXPECT_EQ(queue.DroppedPackets(), 0u);
}

TEST(SourcePacketQueue, WithoutRoomWholePacketsAreDroppedCountedAndTheNextBlockMarked) {
    SourcePacketQueue queue(2, 2);
    Bytes six;
    for (std::size_t i = 0; i < 6; ++i) {
        const Bytes packet = TransportPacket(i);
        six.insert(six.end(), packet.begin(), packet.end());
    }
    EXPECT_EQ(queue.Add(six.data(), static_cast<int>(six.size())), 4u);
    EXPECT_EQ(queue.Add(TransportPacket(6).data(), static_cast<int>(kPacket)), 0u);
    EXPECT_EQ(queue.DroppedPackets(), 3u);

    bool gap = true;
    EXPECT_EQ(Take(queue, 2, &gap), SourcePackets(0, 0, 2));
    EXPECT_FALSE(gap);
    queue.Add(TransportPacket(7).data(), static_cast<int>(kPacket));
    queue.Add(TransportPacket(8).data(), static_cast<int>(kPacket));
    EXPECT_EQ(Take(queue, 2, &gap), SourcePackets(0, 2, 2));
    EXPECT_FALSE(gap);
    EXPECT_EQ(Take(queue, 2, &gap), SourcePackets(0, 7, 2));
    EXPECT_TRUE(gap);
    for (std::size_t i = 9; i < 12; ++i) {
        queue.Add(TransportPacket(i).data(), static_cast<int>(kPacket));
    }
    queue.Seal();
    EXPECT_EQ(queue.DropReady(), 3u) << "what waits at a stop counts in packets, not blocks";
    EXPECT_EQ(queue.DroppedPackets(), 6u);
    EXPECT_EQ(queue.ReadyBlocks(), 0u);
}

TEST(SourcePacketQueue, LengthsThatAreNotWholePacketsAreTakenSafely) {
    SourcePacketQueue queue(8, 1);
    // Each buffer is exactly as long as the length given, so a read past it is caught.
    Bytes longer = TransportPacket(1);
    longer.resize(kPacket + 12, 0xEE);
    EXPECT_EQ(queue.Add(longer.data(), static_cast<int>(longer.size())), 1u);
    const Bytes shorter(100, 0x47);
    EXPECT_EQ(queue.Add(shorter.data(), static_cast<int>(shorter.size())), 0u);
    EXPECT_EQ(queue.Add(shorter.data(), -5), 0u);
    EXPECT_EQ(queue.Add(shorter.data(), 0), 0u);
    EXPECT_EQ(queue.Add(nullptr, static_cast<int>(kPacket)), 0u);
    EXPECT_EQ(queue.DiscardedBytes(), 112u);
    EXPECT_EQ(queue.DroppedPackets(), 0u);
    queue.Seal();
    EXPECT_EQ(Take(queue, 8), SourcePacket(0, 1));
}

}  // namespace
}  // namespace vornak
