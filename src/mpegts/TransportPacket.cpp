#include "TransportPacket.h"

namespace vornak {

std::optional<TransportPacket> TransportPacket::Parse(std::span<const std::uint8_t> packet) {
    if (packet.size() != kSize) {
        return std::nullopt;
    }
    const TransportPacket result(packet.first<kSize>());
    if (result.sync_byte() != kSyncByte) {
        return std::nullopt;
    }
    if (result.transport_error_indicator()) {
        return std::nullopt;  // the sender itself says the packet is damaged
    }
    if (result.adaptation_field_control() == 0) {
        return std::nullopt;  // reserved value: nothing in the packet can be trusted
    }
    if (!result.adaptation_field_fits()) {
        return std::nullopt;
    }
    return result;
}

}  // namespace vornak
