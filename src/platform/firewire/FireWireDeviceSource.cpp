#include "FireWireDeviceSource.h"

#include <utility>

#include "FireWireBus.h"
#include "FireWireCamcorderFilter.h"
#include "Guids.h"
#include "LibFireWireLibrary.h"
#include "MessageText.h"

namespace vornak {

FireWireDeviceSource::FireWireDeviceSource(std::shared_ptr<FireWireLibrary> library,
                                           FireWireSysfsNames names)
    : m_library(std::move(library)), m_names(std::move(names)) {}

std::shared_ptr<FireWireDeviceSource> FireWireDeviceSource::Create() {
    return std::make_shared<FireWireDeviceSource>(std::make_shared<LibFireWireLibrary>());
}

std::vector<DeviceDescription> FireWireDeviceSource::ListDevices(const CLSID& category) {
    std::vector<DeviceDescription> devices;
    if (category != CLSID_VideoInputDeviceCategory) {
        return devices;
    }
    const FireWireBus bus(m_library, m_names);
    const std::vector<FireWireBus::Camcorder> camcorders = bus.FindCamcorders();
    {
        DeviceProblem problem = camcorders.empty() ? Diagnose() : DeviceProblem();
        std::lock_guard lock(m_problemLock);
        m_problem = std::move(problem);
    }
    for (const FireWireBus::Camcorder& camcorder : camcorders) {
        DeviceDescription device;
        device.properties = std::map<std::string, std::string>{
            {kDeviceClassGuidProperty, GuidToString(CLSID_CamcorderDeviceClass)},
            {kVendorTextProperty, camcorder.vendor},
            {kModelTextProperty, camcorder.model},
            {kFriendlyNameProperty, FriendlyName(camcorder.vendor, camcorder.model)},
        };
        device.bind = [library = m_library, guid = camcorder.guid,
                       listedAt = camcorder.location](IBaseFilter** filter) -> HRESULT {
            if (filter == nullptr) {
                return E_POINTER;
            }
            *filter = nullptr;
            // The filter checks the GUID before every command and finds the camcorder anew
            // when it has moved, so where it was listed is a good first guess.
            auto* camcorder = new FireWireCamcorderFilter(library, guid, listedAt);
            return HandOut(static_cast<IBaseFilter*>(camcorder), filter);
        };
        devices.push_back(std::move(device));
    }
    return devices;
}

DeviceProblem FireWireDeviceSource::ListingProblem() const {
    std::lock_guard lock(m_problemLock);
    return m_problem;
}

DeviceProblem FireWireDeviceSource::Diagnose() const {
    // With firewire-core a raw1394 handle opens without a controller and without permission
    // alike, and just shows no port; the device files tell the two apart.
    const FireWireLibrary::DeviceFiles files = m_library->ProbeDeviceFiles();
    if (files.count == 0) {
        return {kNoPort, false};
    }
    if (files.openable > 0) {
        return {};
    }
    const std::string what = files.firstRefusedPath + ": " + files.firstRefusedReason;
    return {MessageText(kNoAccess, what.c_str()), true};
}

std::string FireWireDeviceSource::FriendlyName(const std::string& vendor,
                                               const std::string& model) {
    if (vendor.empty() && model.empty()) {
        return kUnnamedCamcorder;
    }
    if (vendor.empty() || model.empty()) {
        return vendor + model;
    }
    return vendor + " " + model;
}

}  // namespace vornak
