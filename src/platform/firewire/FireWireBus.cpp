#include "FireWireBus.h"

#include <mutex>
#include <utility>

#include "AvcCodes.h"
#include "AvcConversation.h"
#include "FireWireHandle.h"

namespace vornak {
namespace {

// A quadlet read can fail once on a busy node; three failures in a row mean it is not there.
constexpr int kGuidReadAttempts = 3;
constexpr int kGuidHighShift = 32;
// Configuration ROMs give the vendor's name first, then the model's.
constexpr std::size_t kVendorLeaf = 0;
constexpr std::size_t kModelLeaf = 1;

std::string Trimmed(std::string text) {
    const auto end = text.find_last_not_of(std::string(" \t\r\n\0", 5));
    text.erase(end == std::string::npos ? 0 : end + 1);
    const auto begin = text.find_first_not_of(" \t\r\n");
    return begin == std::string::npos ? std::string() : text.substr(begin);
}

std::optional<std::uint32_t> ReadWithRetries(FireWireLibrary& library,
                                             FireWireLibrary::Handle handle, int node,
                                             std::uint64_t address) {
    for (int attempt = 0; attempt < kGuidReadAttempts; ++attempt) {
        if (auto value = library.ReadQuadlet(handle, avc::NodeId(node), address)) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace

FireWireBus::FireWireBus(std::shared_ptr<FireWireLibrary> library, FireWireSysfsNames names)
    : m_library(std::move(library)), m_names(std::move(names)) {}

template <typename Visit>
void FireWireBus::ForEachNode(Visit&& visit) const {
    int ports = 0;
    {
        FireWireHandle probe = FireWireHandle::Open(m_library);
        if (!probe) {
            return;  // no FireWire stack, or no permission to open it
        }
        ports = m_library->GetPortCount(probe.Get());
    }
    for (int port = 0; port < ports; ++port) {
        FireWireHandle handle = FireWireHandle::OpenPort(m_library, port);
        if (!handle) {
            continue;
        }
        const int nodes = m_library->GetNodeCount(handle.Get());
        const int local = m_library->GetLocalId(handle.Get()) & avc::kPhysicalIdMask;
        for (int node = 0; node < nodes; ++node) {
            if (node != local && visit(Location{port, node}, handle.Get())) {
                return;
            }
        }
    }
}

std::vector<FireWireBus::Camcorder> FireWireBus::FindCamcorders() const {
    std::vector<Camcorder> found;
    ForEachNode([&](const Location& location, FireWireLibrary::Handle handle) {
        const auto directory = m_library->GetDirectory(handle, location.node);
        if (!directory || !IsAvcUnit(*directory)) {
            return false;
        }
        // Without its GUID a camcorder could not be found again after a bus reset; with it,
        // the subunit question waits for any other conversation with the same camcorder.
        const auto guid = ReadGuid(*m_library, handle, location.node);
        if (!guid) {
            return false;
        }
        bool hasTape = false;
        {
            const auto conversation = AvcConversation::For(*guid);
            std::lock_guard lock(*conversation);
            hasTape = m_library->CheckSubunitType(handle, avc::NodeId(location.node),
                                                  avc::kSubunitTypeVcr);
        }
        if (hasTape) {
            found.push_back(Describe(location, *guid, *directory));
        }
        return false;
    });
    return found;
}

std::optional<FireWireBus::Location> FireWireBus::Locate(std::uint64_t guid) const {
    std::optional<Location> where;
    ForEachNode([&](const Location& location, FireWireLibrary::Handle handle) {
        if (ReadGuid(*m_library, handle, location.node) == guid) {
            where = location;
            return true;
        }
        return false;
    });
    return where;
}

std::optional<std::uint64_t> FireWireBus::ReadGuid(FireWireLibrary& library,
                                                   FireWireLibrary::Handle handle, int node) {
    const auto high = ReadWithRetries(library, handle, node, avc::kConfigRomGuidHigh);
    if (!high) {
        return std::nullopt;
    }
    const auto low = ReadWithRetries(library, handle, node, avc::kConfigRomGuidLow);
    if (!low) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(*high) << kGuidHighShift | *low;
}

bool FireWireBus::IsAvcUnit(const FireWireLibrary::RomDirectory& directory) {
    return directory.unitSpecId == avc::kUnitSpecId1394Ta &&
           (directory.unitSwVersion >> avc::kUnitSwVersionFamilyShift) ==
               avc::kUnitSwVersionAvcFamily;
}

FireWireBus::Camcorder FireWireBus::Describe(const Location& location, std::uint64_t guid,
                                             const FireWireLibrary::RomDirectory& directory) const {
    Camcorder camcorder{location, guid, {}, {}};
    const auto& leaves = directory.textLeaves;
    if (leaves.size() > kVendorLeaf) {
        camcorder.vendor = Trimmed(leaves[kVendorLeaf]);
    }
    if (leaves.size() > kModelLeaf) {
        camcorder.model = Trimmed(leaves[kModelLeaf]);
    }
    if (camcorder.vendor.empty() || camcorder.model.empty()) {
        if (const auto names = m_names.Find(guid)) {
            if (camcorder.vendor.empty()) {
                camcorder.vendor = names->vendor;
            }
            if (camcorder.model.empty()) {
                camcorder.model = names->model;
            }
        }
    }
    return camcorder;
}

}  // namespace vornak
