// Gathers the PES packets of one PID from its transport packets and hands out their payloads.
//
// A PES packet starts with a packet whose payload_unit_start_indicator is set; one with a
// length is complete when that many bytes are in, one without (video) when the next starts or
// the stream ends. A gap in the continuity counter discards what was gathered, and nothing is
// gathered again until the next PES packet starts: a preview would rather skip a picture than
// decode a spliced one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "DemuxStatistics.h"
#include "TransportPacket.h"

namespace vornak {

struct PesPayload {
    std::span<const std::uint8_t> data;  // valid only during the call that hands it out
    std::optional<std::int64_t> pts;     // 90 kHz ticks
};

class PesAssembler {
  public:
    using PayloadSink = std::function<void(const PesPayload& payload)>;

    // Larger than any picture a camcorder writes; an unbounded PES growing past it is damage.
    static constexpr std::size_t kDefaultLimit = 4 * 1024 * 1024;

    // Counts into `statistics`, which must outlive the assembler.
    explicit PesAssembler(DemuxStatistics& statistics, std::size_t limit = kDefaultLimit);

    // One packet of this assembler's PID.
    void Push(const TransportPacket& packet, const PayloadSink& sink);
    // The stream ended: a PES without a length is complete now.
    void Finish(const PayloadSink& sink);
    // Forgets everything, the continuity counter included.
    void Reset();

  private:
    // False when the packet does not follow the last one (a gap, not a repeat).
    bool FollowsOn(const TransportPacket& packet) const;
    void Emit(const PayloadSink& sink);
    void Discard();

    DemuxStatistics& m_statistics;
    std::size_t m_limit;
    std::vector<std::uint8_t> m_buffer;
    bool m_bGathering = false;
    std::optional<std::uint8_t> m_lastCounter;
};

}  // namespace vornak
