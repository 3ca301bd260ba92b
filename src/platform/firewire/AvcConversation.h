// One AV/C conversation at a time with each camcorder, across every handle of the process.
// libavc1394 takes the first FCP response that comes in on a handle, from whichever node and
// for whichever command, so two handles asking the same camcorder at once (the device listing
// and the link polling its mode) could each be handed the other's answer. Everything that
// sends AV/C commands to a camcorder holds its lock for the exchange.
//
// Thread-safe: For may be called from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace vornak {

class AvcConversation {
  public:
    // The lock of the camcorder with `guid`; every caller asking for the same GUID gets the
    // same mutex while anyone holds it.
    static std::shared_ptr<std::mutex> For(std::uint64_t guid);
};

}  // namespace vornak
