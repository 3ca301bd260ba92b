#include "ContinuityCheck.h"

#include "TsPacket.h"

namespace vornak {
namespace {

constexpr std::size_t kUnitStartByte = 1;
constexpr std::uint8_t kUnitStartBit = 0x40;  // payload_unit_start_indicator
constexpr std::uint8_t kAdaptationBit = 0x20;
constexpr std::uint8_t kPayloadBit = 0x10;
constexpr std::uint8_t kCounterMask = 0x0F;
constexpr std::uint8_t kDiscontinuityBit = 0x80;
constexpr std::size_t kAdaptationFlagsOffset = ADAPTATION_LENGTH_OFFSET + 1;
constexpr int kCounterModulus = 16;

// The stream's place in the table, or -1 for a PID not looked at.
int StreamIndex(int packetPid) {
    switch (packetPid) {
        case PID_VIDEO:
            return 0;
        case PID_AUDIO:
            return 1;
        case PID_AUDIO_2:
            return 2;
        default:
            return -1;
    }
}

}  // namespace

void ContinuityCheck::Reset() {
    m_last.fill(kUnknown);
}

std::uint32_t ContinuityCheck::Check(const std::uint8_t* packets, std::size_t length) {
    std::uint32_t missing = 0;
    for (std::size_t start = 0; start + PKT_SIZE <= length; start += PKT_SIZE) {
        const std::uint8_t* const packet = packets + start;
        const int stream = StreamIndex(pid(packet));
        if (stream < 0 || (packet[3] & kPayloadBit) == 0) {
            continue;  // not ours, or adaptation only: the counter does not advance
        }
        const auto counter = static_cast<std::int8_t>(packet[3] & kCounterMask);
        const bool discontinuity = (packet[3] & kAdaptationBit) != 0 &&
                                   packet[ADAPTATION_LENGTH_OFFSET] > 0 &&
                                   (packet[kAdaptationFlagsOffset] & kDiscontinuityBit) != 0;
        // Where one recording on the tape ends and the next begins, the camcorder's encoder
        // started anew: every stream's counter jumps into the first packet of a new PES
        // packet. Counting that as a loss would report one at every scene and stop a capture
        // set to stop on drops at the first scene change. A real loss (a burst the kernel
        // threw away) ends inside a video PES packet all but always, so it is still seen.
        const bool unitStart = (packet[kUnitStartByte] & kUnitStartBit) != 0;
        std::int8_t& last = m_last[static_cast<std::size_t>(stream)];
        if (last != kUnknown && !discontinuity && !unitStart && counter != last) {
            // A duplicate repeats the counter; anything but the next value skipped packets.
            missing += static_cast<std::uint32_t>((counter - last - 1 + kCounterModulus) %
                                                  kCounterModulus);
        }
        last = counter;
    }
    return missing;
}

}  // namespace vornak
