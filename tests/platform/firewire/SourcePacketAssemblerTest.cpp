// Packet assembly: 188-byte transport packets become 192-byte source packets with the arrival
// time in front, gathered into samples of the chosen size; a flush hands on a partial sample;
// lengths that are not whole packets are taken safely.
#include "SourcePacketAssembler.h"

#include <gtest/gtest.h>

#include <vector>

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPacket = SourcePacketAssembler::kTransportPacketSize;
constexpr std::size_t kSource = SourcePacketAssembler::kSourcePacketSize;

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

class SourcePacketAssemblerTest : public ::testing::Test {
  protected:
    SourcePacketAssembler Make(std::size_t perSample) {
        return SourcePacketAssembler(
            perSample, [this](const std::uint8_t* data, std::size_t size, std::size_t packets) {
                EXPECT_EQ(size, packets * kSource);
                m_samples.emplace_back(data, data + size);
            });
    }

    std::vector<Bytes> m_samples;
};

TEST_F(SourcePacketAssemblerTest, RebuildsSourcePacketsIntoSamplesOfTheChosenSize) {
    auto assembler = Make(3);
    assembler.SetArrivalTime(0xFE12'3456);  // the seconds field is not part of the stamp
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(assembler.Add(TransportPacket(i).data(), static_cast<int>(kPacket)), 1u);
    }
    assembler.SetArrivalTime(0x0000'0ABC);
    Bytes two = TransportPacket(4);
    const Bytes fifth = TransportPacket(5);
    two.insert(two.end(), fifth.begin(), fifth.end());
    EXPECT_EQ(assembler.Add(two.data(), static_cast<int>(two.size())), 2u);

    ASSERT_EQ(m_samples.size(), 2u);
    Bytes first;
    for (std::size_t i = 0; i < 3; ++i) {
        const Bytes packet = SourcePacket(0x0012'3456, i);
        first.insert(first.end(), packet.begin(), packet.end());
    }
    EXPECT_EQ(m_samples[0], first);
    Bytes second = SourcePacket(0x0012'3456, 3);
    for (std::size_t i = 4; i < 6; ++i) {
        const Bytes packet = SourcePacket(0x0000'0ABC, i);
        second.insert(second.end(), packet.begin(), packet.end());
    }
    EXPECT_EQ(m_samples[1], second);
    EXPECT_EQ(assembler.Pending(), 0u);
}

TEST_F(SourcePacketAssemblerTest, FlushHandsOnAPartialSampleAndNothingWhenEmpty) {
    auto assembler = Make(256);
    assembler.Flush();
    EXPECT_TRUE(m_samples.empty());

    assembler.Add(TransportPacket(7).data(), static_cast<int>(kPacket));
    assembler.Add(TransportPacket(8).data(), static_cast<int>(kPacket));
    EXPECT_TRUE(m_samples.empty());
    assembler.Flush();
    ASSERT_EQ(m_samples.size(), 1u);
    EXPECT_EQ(m_samples[0].size(), 2 * kSource);
    EXPECT_EQ(Bytes(m_samples[0].begin() + kSource + 4, m_samples[0].end()), TransportPacket(8));
    assembler.Flush();
    EXPECT_EQ(m_samples.size(), 1u);
}

TEST_F(SourcePacketAssemblerTest, LengthsThatAreNotWholePacketsAreTakenSafely) {
    auto assembler = Make(2);
    // Each buffer is exactly as long as the length given, so a read past it is caught.
    Bytes longer = TransportPacket(1);
    longer.resize(kPacket + 12, 0xEE);
    EXPECT_EQ(assembler.Add(longer.data(), static_cast<int>(longer.size())), 1u);
    const Bytes shorter(100, 0x47);
    EXPECT_EQ(assembler.Add(shorter.data(), static_cast<int>(shorter.size())), 0u);
    EXPECT_EQ(assembler.Add(shorter.data(), -5), 0u);
    EXPECT_EQ(assembler.Add(shorter.data(), 0), 0u);
    EXPECT_EQ(assembler.Add(nullptr, static_cast<int>(kPacket)), 0u);
    EXPECT_EQ(assembler.DiscardedBytes(), 112u);

    assembler.Flush();
    ASSERT_EQ(m_samples.size(), 1u);
    EXPECT_EQ(m_samples[0], SourcePacket(0, 1));
}

}  // namespace
}  // namespace vornak
