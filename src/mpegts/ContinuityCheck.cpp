#include "ContinuityCheck.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "TransportPacket.h"
#include "TsPacket.h"

namespace vornak {
namespace {

// After the adaptation field's length byte: at most the rest of the packet, and with a
// payload at least one byte less.
constexpr std::size_t kMaxAdaptationLength = PKT_SIZE - TS_HEADER_SIZE - 1;
// The 33-bit base of the program clock reference counts 90 kHz ticks of 300 27 MHz ticks each.
constexpr std::uint64_t kPcrModulus = (std::uint64_t{1} << 33) * TransportPacket::kPcrBaseTicks;
constexpr std::uint32_t kCounterModulus = TransportPacket::kContinuityModulo;

}  // namespace

void ContinuityCheck::Reset() {
    m_slot.fill(0);
    m_streamCount = 0;
    m_pcrPid = -1;
    m_havePcr = false;
    m_packetsSincePcr = 0;
    m_gap = Gap{};
    m_pacePackets.fill(0);
    m_paceTicks.fill(0);
    m_paceNext = 0;
    m_paceCount = 0;
    m_jitter = 0;
    m_jitterIntervals = 0;
    m_paceSumPackets = 0;
    m_paceSumTicks = 0;
    m_packetNumber = 0;
    m_lastJump.reset();
    m_lostAt = 0;
}

std::size_t ContinuityCheck::StreamOf(int packetPid) {
    std::uint8_t& slot = m_slot[static_cast<std::size_t>(packetPid)];
    if (slot == 0 && m_streamCount < kMaxStreams) {
        m_streams[m_streamCount] = Stream{};
        slot = static_cast<std::uint8_t>(++m_streamCount);
    }
    return slot == 0 ? kMaxStreams : slot - std::size_t{1};
}

std::uint32_t ContinuityCheck::Check(const std::uint8_t* packets, std::size_t length) {
    std::uint32_t missing = 0;
    std::optional<std::uint64_t> lostAt;
    // The earliest jump among the counts places everything this call gives out.
    const auto place = [&](std::uint32_t found, std::uint64_t at) {
        if (found > 0) {
            lostAt = std::min(at, lostAt.value_or(at));
        }
        missing += found;
    };
    for (std::size_t start = 0; start + PKT_SIZE <= length; start += PKT_SIZE, ++m_packetNumber) {
        const std::uint8_t* const packet = packets + start;
        const TransportPacket fields = WholePacket(packet);
        const int packetPid = fields.pid();
        if (fields.sync_byte() != SYNC_BYTE || packetPid == PID_NULL) {
            continue;
        }
        ++m_packetsSincePcr;
        const bool payload = fields.has_payload();
        if (fields.adaptation_field_length() > kMaxAdaptationLength - (payload ? 1 : 0)) {
            continue;  // the adaptation field runs past the packet: nothing in it is trusted
        }
        const bool discontinuity = fields.discontinuity_indicator();
        if (payload) {
            place(CheckCounter(packet, discontinuity), m_packetNumber);
        }
        if (const std::optional<std::uint64_t> pcr = fields.program_clock_reference()) {
            if (m_pcrPid < 0) {
                m_pcrPid = packetPid;
            }
            if (packetPid == m_pcrPid) {
                const std::uint64_t at = SettledAt();
                place(SettleInterval(*pcr, discontinuity), at);
            }
        }
        if (m_gap.waiting > 0 && ++m_gap.packetsWaited > kMaxWaitPackets) {
            const std::uint64_t at = SettledAt();
            place(SettleByCounters(), at);
        }
    }
    if (lostAt) {
        m_lostAt = *lostAt;
    }
    return missing;
}

std::uint32_t ContinuityCheck::CheckCounter(const std::uint8_t* packet, bool discontinuity) {
    const TransportPacket fields = WholePacket(packet);
    const std::size_t index = StreamOf(fields.pid());
    if (index >= kMaxStreams) {
        return 0;
    }
    Stream& stream = m_streams[index];
    const auto counter = static_cast<std::int8_t>(fields.continuity_counter());
    std::uint32_t skipped = 0;
    if (stream.last != kUnknown && !discontinuity) {
        skipped = (static_cast<std::uint32_t>(counter) + kCounterModulus -
                   static_cast<std::uint32_t>(stream.last) - 1) %
                  kCounterModulus;
        // The same counter again: a duplicate only when the payload is the same too (a clock
        // reference in it may differ, so the header and adaptation field are not compared).
        if (counter == stream.last) {
            // Both passed Check's bound on the adaptation field, so both offsets lie inside.
            const std::optional<std::size_t> from = fields.payload_offset();
            const std::uint8_t* previous = stream.packet.data();
            const std::optional<std::size_t> previousFrom = WholePacket(previous).payload_offset();
            const bool duplicate =
                from && from == previousFrom &&
                std::memcmp(packet + *from, previous + *from, PKT_SIZE - *from) == 0;
            if (duplicate) {
                skipped = 0;
            }
        }
    }
    stream.last = counter;
    std::memcpy(stream.packet.data(), packet, PKT_SIZE);
    if (skipped == 0) {
        return 0;
    }
    stream.jumpedIn = m_interval;
    m_lastJump = m_packetNumber;
    if (!m_gap.firstJump) {
        m_gap.firstJump = m_packetNumber;
    }
    if (!fields.payload_unit_start_indicator()) {
        // Nothing but a loss ends inside a PES packet: counted at once.
        m_gap.counted += skipped;
        m_gap.midPes = true;
        return skipped;
    }
    if (m_pcrPid < 0) {
        return 0;  // no clock to tell a join from a loss: taken as the join of two recordings
    }
    if (!m_gap.firstWaiting) {
        m_gap.firstWaiting = m_packetNumber;
    }
    m_gap.waiting += skipped;
    return 0;
}

std::uint32_t ContinuityCheck::SettleInterval(std::uint64_t pcr, bool discontinuity) {
    const std::uint64_t ticks = (pcr + kPcrModulus - m_lastPcr) % kPcrModulus;
    const std::uint32_t packets = m_packetsSincePcr;
    const std::uint64_t longest = m_gap.midPes ? kMaxLossTicks : kMaxPacedTicks;
    const bool hadPcr = m_havePcr;
    const bool paced = hadPcr && !discontinuity && ticks > 0 && ticks <= longest;
    m_havePcr = true;
    m_lastPcr = pcr;
    m_packetsSincePcr = 0;

    std::uint32_t more = 0;
    if (paced) {
        // The clock kept its pace: every jump was a loss. The counters give each stream's
        // loss modulo 16; the clock gives how many went missing in all, and sees 16 packets
        // gone from one stream where its counter cannot.
        const std::uint32_t least = m_gap.counted + m_gap.waiting;
        std::uint32_t total = least;
        if (m_paceCount >= kMinPaceIntervals) {
            const double expected = static_cast<double>(ticks) *
                                    static_cast<double>(m_paceSumPackets) /
                                    static_cast<double>(m_paceSumTicks);
            const double beyond = expected - static_cast<double>(packets) - least;
            // A stream whose pace wanders too far, or has not shown yet that it keeps it,
            // cannot tell 16 packets from none: then the counters alone count.
            if (beyond > 0 && m_jitterIntervals >= kMinJitterIntervals &&
                m_jitter < kSteadyJitter) {
                total += kCounterModulus *
                         static_cast<std::uint32_t>(std::lround(beyond / kCounterModulus));
            }
            const double residual = std::abs(beyond - (total - least));
            m_jitter = std::max(residual, m_jitter * kJitterDecay);
            ++m_jitterIntervals;
        }
        more = total - m_gap.counted;
        if (total == 0 && ticks <= kMaxPacedTicks) {
            // A loss-free interval: it sets the pace.
            m_paceSumPackets = m_paceSumPackets - m_pacePackets[m_paceNext] + packets;
            m_paceSumTicks = m_paceSumTicks - m_paceTicks[m_paceNext] + ticks;
            m_pacePackets[m_paceNext] = packets;
            m_paceTicks[m_paceNext] = ticks;
            m_paceNext = (m_paceNext + 1) % kPaceIntervals;
            m_paceCount = std::min(m_paceCount + 1, kPaceIntervals);
        }
    } else if (hadPcr) {
        // The clock started anew: the jumps onto a start were the join of two recordings, and
        // the streams that have not come back yet will start anew as well.
        for (std::size_t i = 0; i < m_streamCount; ++i) {
            if (m_streams[i].jumpedIn != m_interval) {
                m_streams[i].last = kUnknown;
            }
        }
    }
    ++m_interval;
    m_gap = Gap{};
    return more;
}

std::uint32_t ContinuityCheck::SettleByCounters() {
    // Given out now; a clock reference that still comes may add what the counters cannot see.
    const std::uint32_t more = m_gap.waiting;
    m_gap.counted += more;
    m_gap.waiting = 0;
    m_gap.firstWaiting.reset();
    m_gap.packetsWaited = 0;
    return more;
}

std::uint64_t ContinuityCheck::SettledAt() const {
    if (m_gap.waiting > 0 && m_gap.firstWaiting) {
        return *m_gap.firstWaiting;
    }
    return m_gap.firstJump.value_or(m_packetNumber);
}

std::uint32_t ContinuityCheck::Flush() {
    const std::uint64_t at = SettledAt();
    const std::uint32_t more = SettleByCounters();
    if (more > 0) {
        m_lostAt = at;
    }
    return more;
}

}  // namespace vornak
