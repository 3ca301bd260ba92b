#include "TransportPacket.h"

namespace vornak {
namespace {

constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kAdaptationLengthOffset = 4;
constexpr std::size_t kAdaptationFlagsOffset = 5;
constexpr std::uint8_t kTransportErrorBit = 0x80;
constexpr std::uint8_t kPayloadUnitStartBit = 0x40;
constexpr std::uint8_t kPidHighMask = 0x1F;
constexpr int kAdaptationControlShift = 4;
constexpr std::uint8_t kAdaptationControlMask = 0x3;
constexpr std::uint8_t kContinuityMask = 0x0F;
constexpr std::uint8_t kHasAdaptationField = 0x2;
constexpr std::uint8_t kHasPayload = 0x1;
constexpr std::uint8_t kDiscontinuityBit = 0x80;
constexpr int kBitsPerByte = 8;

}  // namespace

std::optional<TransportPacket> TransportPacket::Parse(std::span<const std::uint8_t> packet) {
    if (packet.size() != kSize || packet[0] != kSyncByte) {
        return std::nullopt;
    }
    if ((packet[1] & kTransportErrorBit) != 0) {
        return std::nullopt;  // the sender itself says the packet is damaged
    }
    const auto control =
        static_cast<std::uint8_t>((packet[3] >> kAdaptationControlShift) & kAdaptationControlMask);
    if (control == 0) {
        return std::nullopt;  // reserved value: nothing in the packet can be trusted
    }

    TransportPacket result;
    result.m_pid =
        static_cast<std::uint16_t>(((packet[1] & kPidHighMask) << kBitsPerByte) | packet[2]);
    result.m_bPayloadUnitStart = (packet[1] & kPayloadUnitStartBit) != 0;
    result.m_continuityCounter = static_cast<std::uint8_t>(packet[3] & kContinuityMask);

    std::size_t payloadStart = kHeaderSize;
    if ((control & kHasAdaptationField) != 0) {
        const std::size_t adaptationLength = packet[kAdaptationLengthOffset];
        payloadStart = kAdaptationLengthOffset + 1 + adaptationLength;
        if (payloadStart > kSize) {
            return std::nullopt;
        }
        if (adaptationLength > 0) {
            result.m_bDiscontinuity = (packet[kAdaptationFlagsOffset] & kDiscontinuityBit) != 0;
        }
    }
    if ((control & kHasPayload) != 0) {
        result.m_bHasPayload = true;
        result.m_payload = packet.subspan(payloadStart);
    }
    return result;
}

}  // namespace vornak
