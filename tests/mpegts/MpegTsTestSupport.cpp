#include "MpegTsTestSupport.h"

#include <algorithm>

namespace vornak::test {
namespace {

constexpr std::uint8_t kSyncByte = 0x47;
constexpr std::size_t kHeaderSize = 4;
constexpr std::uint8_t kPayloadOnly = 0x10;
constexpr std::uint8_t kAdaptationAndPayload = 0x30;
constexpr std::uint8_t kPayloadUnitStart = 0x40;
constexpr std::uint8_t kStuffing = 0xFF;

}  // namespace

Bytes MakePes(std::uint8_t streamId, const Bytes& payload, std::optional<std::int64_t> pts,
              bool bounded) {
    constexpr std::uint8_t kMarker = 0x80;
    constexpr std::uint8_t kPtsOnly = 0x80;
    constexpr std::uint8_t kPtsPrefix = 0x21;  // '0010' and the first marker bit
    const std::size_t headerData = pts ? 5 : 0;
    Bytes pes = {0x00,
                 0x00,
                 0x01,
                 streamId,
                 0x00,
                 0x00,
                 kMarker,
                 static_cast<std::uint8_t>(pts ? kPtsOnly : 0),
                 static_cast<std::uint8_t>(headerData)};
    if (pts) {
        const std::int64_t t = *pts;
        pes.push_back(static_cast<std::uint8_t>(kPtsPrefix | ((t >> 29) & 0x0E)));
        pes.push_back(static_cast<std::uint8_t>(t >> 22));
        pes.push_back(static_cast<std::uint8_t>(((t >> 14) & 0xFE) | 1));
        pes.push_back(static_cast<std::uint8_t>(t >> 7));
        pes.push_back(static_cast<std::uint8_t>(((t << 1) & 0xFE) | 1));
    }
    pes.insert(pes.end(), payload.begin(), payload.end());
    if (bounded) {
        const std::size_t length = pes.size() - 6;
        pes[4] = static_cast<std::uint8_t>(length >> 8);
        pes[5] = static_cast<std::uint8_t>(length);
    }
    return pes;
}

Bytes Packetize(std::uint16_t pid, const Bytes& pes, std::uint8_t& counter) {
    Bytes out;
    std::size_t offset = 0;
    bool first = true;
    while (offset < pes.size()) {
        const std::size_t left = pes.size() - offset;
        const std::size_t room = kPacketSize - kHeaderSize;
        const std::size_t take = std::min(left, room);
        Bytes packet = {kSyncByte,
                        static_cast<std::uint8_t>((first ? kPayloadUnitStart : 0) | (pid >> 8)),
                        static_cast<std::uint8_t>(pid), 0};
        if (take < room) {
            // Adaptation field: its length byte, then flags and stuffing to fill the packet.
            packet[3] = static_cast<std::uint8_t>(kAdaptationAndPayload | counter);
            const std::size_t adaptation = room - take - 1;
            packet.push_back(static_cast<std::uint8_t>(adaptation));
            if (adaptation > 0) {
                packet.push_back(0x00);
                packet.insert(packet.end(), adaptation - 1, kStuffing);
            }
        } else {
            packet[3] = static_cast<std::uint8_t>(kPayloadOnly | counter);
        }
        packet.insert(packet.end(), pes.begin() + static_cast<std::ptrdiff_t>(offset),
                      pes.begin() + static_cast<std::ptrdiff_t>(offset + take));
        out.insert(out.end(), packet.begin(), packet.end());
        offset += take;
        first = false;
        counter = static_cast<std::uint8_t>((counter + 1) & 0x0F);
    }
    return out;
}

Bytes Pattern(std::size_t count, std::uint8_t seed) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        auto value = static_cast<std::uint8_t>(seed + i);
        bytes[i] = value == kSyncByte ? static_cast<std::uint8_t>(value + 1) : value;
    }
    return bytes;
}

}  // namespace vornak::test
