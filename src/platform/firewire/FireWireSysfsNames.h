// Vendor and model names of FireWire devices as the kernel's firewire-core publishes them
// (/sys/bus/firewire/devices/fw*/{guid,vendor_name,model_name}): what a camcorder is called when
// its configuration ROM read through libraw1394 carries no text of its own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vornak {

class FireWireSysfsNames {
  public:
    struct Names {
        std::string vendor;
        std::string model;
    };

    static constexpr const char* kDefaultRoot = "/sys/bus/firewire/devices";

    explicit FireWireSysfsNames(std::filesystem::path root = kDefaultRoot);

    // The names of the device with `guid`; none when no device there has that GUID. A name the
    // kernel does not know is empty. Never throws: an unreadable tree counts as empty.
    std::optional<Names> Find(std::uint64_t guid) const;

  private:
    std::filesystem::path m_root;
};

}  // namespace vornak
