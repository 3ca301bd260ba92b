// The FireWire buses as the backend sees them: every port of the machine, every node on it.
// A node whose configuration ROM names an AV/C unit and which has a tape recorder (VCR) subunit
// is a camcorder. Camcorders are told apart by their GUID, which stays when a bus reset
// renumbers the nodes.
//
// Each scan opens handles of its own, so any thread may scan at any time. Without a FireWire
// stack, without permission to open it, or without ports, a scan finds nothing and says nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FireWireLibrary.h"
#include "FireWireSysfsNames.h"

namespace vornak {

class FireWireBus {
  public:
    struct Location {
        int port = 0;
        int node = 0;  // the bare node number, 0..62
        friend bool operator==(const Location&, const Location&) = default;
    };

    struct Camcorder {
        Location location;
        std::uint64_t guid = 0;
        std::string vendor;
        std::string model;
    };

    explicit FireWireBus(std::shared_ptr<FireWireLibrary> library,
                         FireWireSysfsNames names = FireWireSysfsNames());

    // Every camcorder on every port, in port and node order.
    std::vector<Camcorder> FindCamcorders() const;
    // Where the node with `guid` is now; none when no port has it.
    std::optional<Location> Locate(std::uint64_t guid) const;

    // The GUID from the node's bus info block, read on `handle` (bound to the node's port). A
    // failed read is tried again a few times before giving up.
    static std::optional<std::uint64_t> ReadGuid(FireWireLibrary& library,
                                                 FireWireLibrary::Handle handle, int node);
    // True for a unit directory of the AV/C family (1394 TA specifier, version 0x01xxxx).
    static bool IsAvcUnit(const FireWireLibrary::RomDirectory& directory);

  private:
    // Calls `visit(location, handle)` for every node but the machine's own, port by port, until
    // it returns true.
    template <typename Visit>
    void ForEachNode(Visit&& visit) const;
    Camcorder Describe(const Location& location, std::uint64_t guid,
                       const FireWireLibrary::RomDirectory& directory) const;

    std::shared_ptr<FireWireLibrary> m_library;
    FireWireSysfsNames m_names;
};

}  // namespace vornak
