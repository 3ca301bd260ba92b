// The camcorders on the FireWire buses as devices of the video input category: each one found
// now, under the camcorder device class, with its vendor's and model's names. Binding makes a
// FireWireCamcorderFilter that finds its camcorder by GUID, so a bus reset between listing and
// binding does not send it to another node.
//
// When a listing finds no camcorder, the source tells why if the user can do something about
// it: no FireWire device file at all (no controller, or its driver not loaded), or device
// files that this user may not open. An AV/C unit without a tape recorder (a tuner, a
// monitor) is not a camcorder, and not worth a word.
//
// Thread-safe: each listing scans the buses anew with handles of its own.
#pragma once

#include <memory>
#include <mutex>
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
    static constexpr const char* kNoPort = "INFO: No FireWire port was found.";
    // The first device file that cannot be opened, and the system's reason.
    static constexpr const char* kNoAccess =
        "WARNING: FireWire devices exist but cannot be opened (%s): see README, \"Access to "
        "FireWire devices\".";

    explicit FireWireDeviceSource(std::shared_ptr<FireWireLibrary> library,
                                  FireWireSysfsNames names = FireWireSysfsNames());
    // Over the system's libraries.
    static std::shared_ptr<FireWireDeviceSource> Create();

    std::vector<DeviceDescription> ListDevices(const CLSID& category) override;
    DeviceProblem ListingProblem() const override;

    // "Vendor Model", either alone when the other is unknown, kUnnamedCamcorder when both are.
    static std::string FriendlyName(const std::string& vendor, const std::string& model);

  private:
    // Why no camcorder was found: empty when there is nothing to say.
    DeviceProblem Diagnose() const;

    std::shared_ptr<FireWireLibrary> m_library;
    FireWireSysfsNames m_names;
    mutable std::mutex m_problemLock;
    DeviceProblem m_problem;  // guarded by m_problemLock
};

}  // namespace vornak
