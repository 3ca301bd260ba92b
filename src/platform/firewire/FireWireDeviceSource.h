// The camcorders on the FireWire buses as devices of the video input category: each one found
// now, under the camcorder device class, with its vendor's and model's names. Binding makes a
// FireWireCamcorderFilter that finds its camcorder by GUID, so a bus reset between listing and
// binding does not send it to another node.
//
// Thread-safe: each listing scans the buses anew with handles of its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DeviceCatalog.h"
#include "FireWireLibrary.h"
#include "FireWireSysfsNames.h"

namespace vornak {

class FireWireDeviceSource : public IDeviceSource {
  public:
    // What a camcorder is called when neither its ROM nor the kernel names it.
    static constexpr const char* kUnnamedCamcorder = "FireWire camcorder";

    explicit FireWireDeviceSource(std::shared_ptr<FireWireLibrary> library,
                                  FireWireSysfsNames names = FireWireSysfsNames());
    // Over the system's libraries.
    static std::shared_ptr<FireWireDeviceSource> Create();

    std::vector<DeviceDescription> ListDevices(const CLSID& category) override;

    // "Vendor Model", either alone when the other is unknown, kUnnamedCamcorder when both are.
    static std::string FriendlyName(const std::string& vendor, const std::string& model);

  private:
    std::shared_ptr<FireWireLibrary> m_library;
    FireWireSysfsNames m_names;
};

}  // namespace vornak
