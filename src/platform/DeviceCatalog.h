// Where the system device enumerator's devices come from: device sources (the virtual
// camcorder, the FireWire bus, fakes in tests), asked in their order whenever an enumerator is
// made, so that devices appear and vanish between enumerations as they are plugged in and out.
//
// Thread-safe: sources may be set and devices listed from any thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Guid.h"
#include "HResult.h"
#include "StreamInterfaces.h"

namespace vornak {

// Property names of a device's property bag.
inline constexpr char kDeviceClassGuidProperty[] = "DeviceClassGUID";
inline constexpr char kVendorTextProperty[] = "VendorText";
inline constexpr char kModelTextProperty[] = "ModelText";
inline constexpr char kFriendlyNameProperty[] = "FriendlyName";

struct DeviceDescription {
    // The property bag; none means that binding to it fails.
    std::optional<std::map<std::string, std::string>> properties;
    // Makes the device's filter with a reference for the caller; a failure is passed on by the
    // moniker's BindToObject.
    std::function<HRESULT(IBaseFilter** filter)> bind;
};

// Why a listing found nothing, when the source can tell a user something he can act on.
struct DeviceProblem {
    std::string line;      // one log line as the user reads it; empty: nothing to tell
    bool warning = false;  // a "WARNING: " line (no permission) rather than an "INFO: " one
    bool operator==(const DeviceProblem&) const = default;
};

class IDeviceSource {
  public:
    virtual ~IDeviceSource() = default;
    // The devices of `category` present now. Called on the thread that enumerates.
    virtual std::vector<DeviceDescription> ListDevices(const CLSID& category) = 0;
    // Why the last listing found nothing (no hardware, no permission), when the source can
    // tell; an empty line otherwise. Any thread.
    virtual DeviceProblem ListingProblem() const { return {}; }
};

// Replaces the sources; devices are listed source by source in this order.
void SetDeviceSources(std::vector<std::shared_ptr<IDeviceSource>> sources);
std::vector<std::shared_ptr<IDeviceSource>> DeviceSources();
// Every device of `category` from every source, in order.
std::vector<DeviceDescription> ListDevices(const CLSID& category);
// The problems the sources found in their last listings, in source order, empty ones left out.
std::vector<DeviceProblem> DeviceListingProblems();

}  // namespace vornak
