#include "SourcePacketAssembler.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vornak {
namespace {

constexpr unsigned kBitsPerByte = 8;

void PutBigEndian32(std::uint8_t* out, std::uint32_t value) {
    for (std::size_t i = 0; i < sizeof value; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> ((sizeof value - 1 - i) * kBitsPerByte));
    }
}

}  // namespace

SourcePacketAssembler::SourcePacketAssembler(std::size_t packetsPerSample, Emit emit)
    : m_packetsPerSample(std::max<std::size_t>(packetsPerSample, 1)),
      m_emit(std::move(emit)),
      m_buffer(m_packetsPerSample * kSourcePacketSize) {}

void SourcePacketAssembler::SetArrivalTime(std::uint32_t cycleTimer) {
    m_stamp = cycleTimer & kCycleTimeMask;
}

std::size_t SourcePacketAssembler::Add(const std::uint8_t* data, int length) {
    if (data == nullptr || length <= 0) {
        return 0;
    }
    const auto bytes = static_cast<std::size_t>(length);
    const std::size_t packets = bytes / kTransportPacketSize;
    m_discarded += bytes % kTransportPacketSize;
    for (std::size_t i = 0; i < packets; ++i) {
        std::uint8_t* out = m_buffer.data() + m_pending * kSourcePacketSize;
        PutBigEndian32(out, m_stamp);
        std::memcpy(out + kHeaderSize, data + i * kTransportPacketSize, kTransportPacketSize);
        if (++m_pending == m_packetsPerSample) {
            Flush();
        }
    }
    return packets;
}

void SourcePacketAssembler::Flush() {
    if (m_pending == 0) {
        return;
    }
    const std::size_t packets = std::exchange(m_pending, 0);
    m_emit(m_buffer.data(), packets * kSourcePacketSize, packets);
}

}  // namespace vornak
