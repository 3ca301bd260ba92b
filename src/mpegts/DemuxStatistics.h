// What the demultiplexer passed over, as counts that any thread may read while the streaming
// thread adds to them.
#pragma once

#include <atomic>
#include <cstdint>

namespace vornak {

struct DemuxStatistics {
    // Transport packets refused whole: bad sync byte, error flag, impossible adaptation field.
    std::atomic<std::uint64_t> damagedPackets{0};
    // Gaps in a mapped PID's continuity counter; each discards the PES being gathered.
    std::atomic<std::uint64_t> continuityBreaks{0};
    // PES packets given up: unreadable header, cut short, or larger than the limit.
    std::atomic<std::uint64_t> damagedPes{0};
    // PES packets that found no free downstream sample at once.
    std::atomic<std::uint64_t> droppedPes{0};
    std::atomic<std::uint64_t> deliveredPes{0};
};

}  // namespace vornak
