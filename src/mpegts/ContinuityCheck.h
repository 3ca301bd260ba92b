// Finds transport packets missing from the camcorder's stream, on every PID the tape carries
// (the null PID aside): a loss anywhere before the capture file (in the kernel, on the bus, in
// the receive queue, or on the tape before it ever reached us) shows as a jump in a continuity
// counter, and the program clock tells how many packets the jump really skipped.
//
// As the MPEG-2 systems standard has it, a counter advances (modulo 16) with every packet that
// carries payload; packets with an adaptation field only repeat the previous value and are not
// looked at; a packet may be sent twice in a row (same counter and the same payload, a
// duplicate, not a loss); and a packet whose adaptation field sets the discontinuity indicator
// may start anew. A counter that repeats with another payload skipped 15 packets.
//
// A counter only knows its loss modulo 16: 16 lost packets leave it looking in order. Between
// two program clock references the stream sends packets at a steady pace, so the packets
// expected from the clock's advance (at the pace of recent loss-free stretches) less the packets
// that came tells the true loss; the count given is the one that agrees with the counters
// modulo 16 and lies nearest that estimate. A stream whose pace wanders too much for that, or
// the first few clock intervals after a reset, are counted by the counters alone.
//
// A jump onto the start of a PES packet (or of a section) may be where one recording on the
// tape ends and the next begins: the camcorder's encoder started anew. Such a jump waits for the
// next clock reference: when the clock jumped too (backwards, or far forward) it was a join and
// nothing is counted; when the clock kept its pace, packets went missing (a whole picture, a
// date pack, a PAT) and are counted. At a join the streams that have not jumped yet start anew
// as well. A stream that has shown no clock reference yet has no pace to compare with, and such
// a jump is taken as a join.
//
// Counts that wait for the clock come out of a later Check (one clock interval later: at most
// 100 ms in a conforming stream), or out of Flush when the stream ends.
//
// Memory is fixed: the last packet of up to kMaxStreams PIDs and a short history of the pace.
// Not thread-safe: the capture pin's streaming thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace vornak {

class ContinuityCheck {
  public:
    // PIDs followed at once; the PIDs beyond them are not looked at (HDV uses about six).
    static constexpr std::size_t kMaxStreams = 32;
    // The clock may advance this much between two references and still be keeping pace:
    // no loss the kernel or the bus makes is longer. Beyond it, the jump is a join.
    static constexpr std::uint64_t kMaxPacedTicks = 27'000'000;  // 1 s of the 27 MHz clock
    // When a counter also jumped into the middle of a PES packet, the interval cannot be a
    // join, and a clock advance up to this long is still taken as the pace of a loss.
    static constexpr std::uint64_t kMaxLossTicks = 10 * kMaxPacedTicks;
    // A jump waiting for a clock reference that does not come within this many packets is
    // counted as its counters say.
    static constexpr std::uint32_t kMaxWaitPackets = 65536;

    // Forgets every counter, the clock and its pace, and any jump still waiting for the clock:
    // the next packet of each stream is taken as it comes.
    void Reset();
    // Looks at the whole 188-byte packets among `length` bytes at `packets`; returns the
    // packets found missing (including those of earlier jumps the clock has now settled).
    std::uint32_t Check(const std::uint8_t* packets, std::size_t length);
    // The same for one packet, quicker for what nearly every packet is: payload only, on a
    // followed stream whose counter it carries on, with no jump waiting for the clock.
    std::uint32_t CheckOne(const std::uint8_t* packet) {
        constexpr std::uint8_t kPayloadOnly = 0x10;
        constexpr std::uint8_t kControlBits = 0x30;
        constexpr std::uint8_t kCounterBits = 0x0F;
        constexpr std::uint8_t kPidHighBits = 0x1F;
        const std::uint8_t flags = packet[3];
        const std::uint8_t slot = m_slot[((packet[1] & kPidHighBits) << 8) | packet[2]];
        if (packet[0] == kSyncByte && (flags & kControlBits) == kPayloadOnly && slot != 0 &&
            m_gap.waiting == 0) {
            Stream& stream = m_streams[slot - 1];
            const auto counter = static_cast<std::int8_t>(flags & kCounterBits);
            if (stream.last != kUnknown && counter == ((stream.last + 1) & kCounterBits)) {
                stream.last = counter;
                std::memcpy(stream.packet.data(), packet, kPacketSize);
                ++m_packetsSincePcr;
                ++m_packetNumber;
                return 0;
            }
        }
        return Check(packet, kPacketSize);
    }
    // The stream ends: the packets missing at jumps still waiting for the clock, as their
    // counters say.
    std::uint32_t Flush();

    // Packets are numbered from 0 in the order Check is given them since the last Reset (every
    // whole packet, the null PID's too). The packet of the last jump in a counter, loss or join
    // alike; none before the first.
    std::optional<std::uint64_t> LastJump() const { return m_lastJump; }
    // Where the packets the last Check or Flush gave out went missing: the packet of the jump
    // they were counted for (the first, when one call counts several). Counts the clock settles
    // belong to a jump before it; a loss that only the clock saw, with no jump in the interval,
    // is placed at the clock reference that found it.
    std::uint64_t LostAt() const { return m_lostAt; }

  private:
    static constexpr std::size_t kPacketSize = 188;
    static constexpr std::uint8_t kSyncByte = 0x47;
    static constexpr std::size_t kPidCount = 8192;
    // Loss-free clock intervals that make up the pace, and how many the clock needs to be trusted.
    static constexpr std::size_t kPaceIntervals = 64;
    static constexpr std::size_t kMinPaceIntervals = 3;
    static constexpr double kCounterCycle = 16.0;
    static constexpr std::int8_t kUnknown = -1;

    struct Stream {
        std::int8_t last = kUnknown;
        std::uint32_t jumpedIn = 0;  // the clock interval of the last jump onto a start
        // The last packet with payload, kept to tell a duplicate from 16 lost packets.
        std::array<std::uint8_t, kPacketSize> packet{};
    };
    // Packets missing in the interval since the last clock reference.
    struct Gap {
        std::uint32_t counted = 0;  // already given out: jumps into the middle of a PES packet
        std::uint32_t waiting = 0;  // jumps onto a start, waiting for the clock
        bool midPes = false;        // some jump landed inside a PES packet
        std::uint32_t packetsWaited = 0;
        std::optional<std::uint64_t> firstJump;     // the interval's first jump of any kind
        std::optional<std::uint64_t> firstWaiting;  // its first jump onto a start
        bool Any() const { return counted > 0 || waiting > 0; }
    };

    // Follows one packet's counter; returns the packets counted at once.
    std::uint32_t CheckCounter(const std::uint8_t* packet, bool discontinuity);
    // A clock reference on the clock's PID; returns the packets the interval before it lost
    // beyond those already counted.
    std::uint32_t SettleInterval(std::uint64_t pcr, bool discontinuity);
    // The waiting jumps, counted as their counters say.
    std::uint32_t SettleByCounters();
    // Where an interval's count settled now went missing.
    std::uint64_t SettledAt() const;
    std::size_t StreamOf(int packetPid);

    std::array<std::uint8_t, kPidCount> m_slot{};  // 0: not followed; else index + 1
    std::array<Stream, kMaxStreams> m_streams{};
    std::size_t m_streamCount = 0;

    int m_pcrPid = -1;
    bool m_havePcr = false;
    std::uint64_t m_lastPcr = 0;
    std::uint32_t m_packetsSincePcr = 0;  // non-null packets after the last reference
    Gap m_gap;
    std::uint32_t m_interval = 1;      // counts the clock intervals
    std::uint64_t m_packetNumber = 0;  // of the packet being looked at
    std::optional<std::uint64_t> m_lastJump;
    std::uint64_t m_lostAt = 0;

    // The pace: packets and clock ticks of the last loss-free intervals, oldest overwritten.
    std::array<std::uint32_t, kPaceIntervals> m_pacePackets{};
    std::array<std::uint64_t, kPaceIntervals> m_paceTicks{};
    std::size_t m_paceNext = 0;
    std::size_t m_paceCount = 0;
    // How far the packets of recent intervals strayed from the pace (decaying maximum), and
    // over how many intervals that has been measured.
    static constexpr double kJitterDecay = 0.98;
    // The clock counts only while the stream keeps its pace within half a counter's cycle, and
    // only once that has been measured over this many intervals: a multiplexer that sends at a
    // variable rate (as ffmpeg's does by default) strays by tens of packets from the first
    // interval on, and would seem to lose multiples of 16 where nothing was lost.
    static constexpr double kSteadyJitter = kCounterCycle / 2.0;
    static constexpr std::size_t kMinJitterIntervals = 6;
    double m_jitter = 0;
    std::size_t m_jitterIntervals = 0;
    std::uint64_t m_paceSumPackets = 0;
    std::uint64_t m_paceSumTicks = 0;
};

}  // namespace vornak
