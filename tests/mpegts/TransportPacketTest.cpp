#include "TransportPacket.h"

#include <gtest/gtest.h>

#include "MpegTsTestSupport.h"

namespace vornak {
namespace {

using test::Bytes;

Bytes OnePacket(std::uint16_t pid, std::uint8_t counter, const Bytes& payload) {
    std::uint8_t next = counter;
    Bytes packets = test::Packetize(pid, payload, next);
    packets.resize(TransportPacket::kSize);
    return packets;
}

TEST(TransportPacket, ReadsHeaderFieldsAndPayload) {
    const Bytes payload = test::Pattern(184, 1);
    Bytes bytes = OnePacket(0x1ABC, 9, payload);
    const auto packet = TransportPacket::Parse(bytes);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->pid(), 0x1ABC);
    EXPECT_TRUE(packet->payload_unit_start_indicator());
    EXPECT_EQ(packet->continuity_counter(), 9);
    EXPECT_FALSE(packet->discontinuity_indicator());
    ASSERT_TRUE(packet->has_payload());
    EXPECT_EQ(Bytes(packet->payload().begin(), packet->payload().end()), payload);
}

TEST(TransportPacket, PayloadStartsAfterTheAdaptationField) {
    const Bytes payload = test::Pattern(100, 3);
    const Bytes bytes = OnePacket(0x810, 0, payload);  // 83 bytes of adaptation field
    const auto packet = TransportPacket::Parse(bytes);
    ASSERT_TRUE(packet);
    EXPECT_EQ(Bytes(packet->payload().begin(), packet->payload().end()), payload);
}

TEST(TransportPacket, ReadsTheDiscontinuityIndicator) {
    Bytes bytes = OnePacket(0x810, 0, test::Pattern(100, 3));
    bytes[5] = 0x80;
    const auto packet = TransportPacket::Parse(bytes);
    ASSERT_TRUE(packet);
    EXPECT_TRUE(packet->discontinuity_indicator());
}

TEST(TransportPacket, AdaptationFieldOnlyHasNoPayload) {
    Bytes bytes = OnePacket(0x810, 0, test::Pattern(100, 3));
    bytes[3] = static_cast<std::uint8_t>((bytes[3] & 0x0F) | 0x20);
    bytes[4] = 183;
    const auto packet = TransportPacket::Parse(bytes);
    ASSERT_TRUE(packet);
    EXPECT_FALSE(packet->has_payload());
    EXPECT_TRUE(packet->payload().empty());
}

TEST(TransportPacket, RefusesDamagedPackets) {
    const Bytes good = OnePacket(0x810, 0, test::Pattern(100, 3));
    ASSERT_TRUE(TransportPacket::Parse(good));

    Bytes adaptationTooLong = good;
    adaptationTooLong[4] = 255;
    EXPECT_FALSE(TransportPacket::Parse(adaptationTooLong));

    Bytes adaptationOneTooLong = good;
    adaptationOneTooLong[4] = 184;  // would end one byte past the packet
    EXPECT_FALSE(TransportPacket::Parse(adaptationOneTooLong));

    Bytes badSync = good;
    badSync[0] = 0x46;
    EXPECT_FALSE(TransportPacket::Parse(badSync));

    Bytes transportError = good;
    transportError[1] |= 0x80;
    EXPECT_FALSE(TransportPacket::Parse(transportError));

    Bytes reservedControl = good;
    reservedControl[3] &= 0x0F;
    EXPECT_FALSE(TransportPacket::Parse(reservedControl));

    EXPECT_FALSE(TransportPacket::Parse(std::span(good).first(187)));
}

}  // namespace
}  // namespace vornak
