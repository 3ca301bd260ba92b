#include "TransportStreamFramer.h"

#include <algorithm>

namespace vornak {

namespace {
constexpr std::size_t kPacket = TransportPacket::kSize;
constexpr std::uint8_t kSync = TransportPacket::kSyncByte;
}  // namespace

void TransportStreamFramer::Feed(std::span<const std::uint8_t> data, const PacketSink& sink) {
    std::size_t pos = 0;
    if (m_partialSize > 0) {
        const std::size_t take = std::min(kPacket - m_partialSize, data.size());
        std::copy_n(data.begin(), take,
                    m_partial.begin() + static_cast<std::ptrdiff_t>(m_partialSize));
        m_partialSize += take;
        pos = take;
        if (m_partialSize < kPacket) {
            return;
        }
        m_partialSize = 0;
        sink(std::span<const std::uint8_t>(m_partial));
    }

    while (pos < data.size()) {
        const std::size_t left = data.size() - pos;
        if (data[pos] != kSync) {
            // A single damaged sync byte leaves the next packet where it belongs: step over just
            // this one. Otherwise the alignment is lost and has to be found again.
            const std::size_t next = left > kPacket && data[pos + kPacket] == kSync
                                         ? pos + kPacket
                                         : FindSync(data, pos + 1);
            Skip(std::min(next, data.size()) - pos);
            pos = next;
            continue;
        }
        if (left < kPacket) {
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(pos), left, m_partial.begin());
            m_partialSize = left;
            return;
        }
        sink(data.subspan(pos, kPacket));
        pos += kPacket;
    }
}

std::size_t TransportStreamFramer::FindSync(std::span<const std::uint8_t> data, std::size_t from) {
    for (std::size_t candidate = from; candidate < data.size(); ++candidate) {
        if (data[candidate] != kSync) {
            continue;
        }
        const std::size_t confirm = candidate + kPacket;
        if (confirm >= data.size() || data[confirm] == kSync) {
            return candidate;
        }
    }
    return data.size();
}

}  // namespace vornak
