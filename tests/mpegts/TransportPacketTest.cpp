#include "TransportPacket.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

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

// Sets the adaptation field's PCR flag and writes `base` (33 bits) and `extension` (9 bits).
void PutPcr(Bytes& packet, std::uint64_t base, std::uint16_t extension) {
    packet[5] |= 0x10;
    packet[6] = static_cast<std::uint8_t>(base >> 25);
    packet[7] = static_cast<std::uint8_t>(base >> 17);
    packet[8] = static_cast<std::uint8_t>(base >> 9);
    packet[9] = static_cast<std::uint8_t>(base >> 1);
    packet[10] = static_cast<std::uint8_t>(((base & 1) << 7) | 0x7E | (extension >> 8));
    packet[11] = static_cast<std::uint8_t>(extension);
}

TEST(TransportPacket, ReadsTheAdaptationFieldOnlyAsFarAsTheBytesAtHand) {
    constexpr std::uint64_t kBase = 0x1ABCDEF01;  // top and bottom bits of all 33 set
    constexpr std::uint16_t kExtension = 0x155;   // the ninth bit set
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        std::size_t bytesAtHand;  // of the one packet in the buffer
        std::optional<std::size_t> payloadOffset;
        std::optional<std::uint64_t> pcr;
    };
    const Case cases[] = {
        {"83 bytes of adaptation field", [](Bytes&) {}, 188, 88, std::nullopt},
        {"no adaptation field", [](Bytes& p) { p[3] = static_cast<std::uint8_t>(p[3] & 0xDF); },
         188, 4, std::nullopt},
        {"a clock reference", [](Bytes& p) { PutPcr(p, kBase, kExtension); }, 188, 88,
         kBase * 300 + kExtension},
        {"the flag without room for the clock",
         [](Bytes& p) {
             PutPcr(p, kBase, kExtension);
             p[4] = 6;
         },
         188, 11, std::nullopt},
        {"a clock reference in a packet cut short", [](Bytes& p) { PutPcr(p, kBase, kExtension); },
         12, std::nullopt, kBase * 300 + kExtension},
        {"the clock cut off", [](Bytes& p) { PutPcr(p, kBase, kExtension); }, 11, std::nullopt,
         std::nullopt},
        {"field ends where the bytes end", [](Bytes&) {}, 88, 88, std::nullopt},
        {"field one byte past the bytes", [](Bytes&) {}, 87, std::nullopt, std::nullopt},
        {"field runs past the packet", [](Bytes& p) { p[4] = 184; }, 188, std::nullopt,
         std::nullopt},
        {"length byte missing", [](Bytes&) {}, 4, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes buffer(100, 0xAB);  // a packet at an offset, so the reading must count from there
        Bytes packet = OnePacket(0x1234, 5, test::Pattern(100, 3));
        c.change(packet);
        buffer.insert(buffer.end(), packet.begin(), packet.begin() + c.bytesAtHand);
        const auto read = TransportPacket::At(buffer, 100);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->bytes().size(), c.bytesAtHand);
        EXPECT_EQ(read->pid(), 0x1234);
        EXPECT_EQ(read->continuity_counter(), 5);
        EXPECT_EQ(read->payload_offset(), c.payloadOffset);
        EXPECT_EQ(read->program_clock_reference(), c.pcr);
        EXPECT_EQ(read->payload().size(), c.payloadOffset ? c.bytesAtHand - *c.payloadOffset : 0);
    }
    const Bytes two = OnePacket(0x1234, 5, test::Pattern(100, 3));
    EXPECT_FALSE(TransportPacket::At(two, 185)) << "fewer bytes than a header";
    EXPECT_FALSE(TransportPacket::At(two, 189)) << "past the buffer";
    Bytes longer = two;
    longer.resize(400);
    EXPECT_EQ(TransportPacket::At(longer, 0)->bytes().size(), TransportPacket::kSize);
}

}  // namespace
}  // namespace vornak
