#include "CamcorderSources.h"

#include <memory>
#include <vector>

#include "DeviceCatalog.h"
#include "FireWireDeviceSource.h"
#include "VirtualCamcorderSource.h"

namespace vornak {

void InstallCamcorderSources(std::ostream& errors) {
    std::vector<std::shared_ptr<IDeviceSource>> sources;
    if (auto virtualCamcorder = VirtualCamcorderSource::FromEnvironment(errors)) {
        sources.push_back(std::move(virtualCamcorder));
    }
    sources.push_back(FireWireDeviceSource::Create());
    SetDeviceSources(std::move(sources));
}

}  // namespace vornak
