// Transport packets and PES packets made by hand, for the tests of the transport stream's
// readers and of the preview that stands on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "Pids.h"

namespace vornak::test {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kVideoPid = PID_VIDEO;
inline constexpr std::uint16_t kAudioPid = PID_AUDIO;
inline constexpr std::uint8_t kVideoStreamId = 0xE0;
inline constexpr std::uint8_t kAudioStreamId = 0xC0;
inline constexpr std::size_t kPacketSize = 188;

// A PES packet around `payload`; `bounded` writes its length (audio), else 0 (video).
Bytes MakePes(std::uint8_t streamId, const Bytes& payload, std::optional<std::int64_t> pts,
              bool bounded);
// Cuts `pes` into transport packets of `pid`, counting on from `counter` (left at the next
// value); the last packet is padded with adaptation-field stuffing.
Bytes Packetize(std::uint16_t pid, const Bytes& pes, std::uint8_t& counter);
// `count` bytes of a pattern that never contains the sync byte, starting at `seed`.
Bytes Pattern(std::size_t count, std::uint8_t seed);

}  // namespace vornak::test
