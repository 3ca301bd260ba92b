#include "DeviceCatalog.h"

#include <mutex>
#include <utility>

namespace vornak {
namespace {

struct Catalog {
    std::mutex lock;
    std::vector<std::shared_ptr<IDeviceSource>> sources;
};

// Made on first use, so that sources set from other static initialisers find it ready.
Catalog& TheCatalog() {
    static Catalog catalog;
    return catalog;
}

}  // namespace

void SetDeviceSources(std::vector<std::shared_ptr<IDeviceSource>> sources) {
    Catalog& catalog = TheCatalog();
    std::vector<std::shared_ptr<IDeviceSource>> previous;
    {
        std::lock_guard lock(catalog.lock);
        previous = std::exchange(catalog.sources, std::move(sources));
    }
    // `previous` goes here, outside the lock: a source may take its time shutting down.
}

std::vector<std::shared_ptr<IDeviceSource>> DeviceSources() {
    Catalog& catalog = TheCatalog();
    std::lock_guard lock(catalog.lock);
    return catalog.sources;
}

std::vector<DeviceDescription> ListDevices(const CLSID& category) {
    // Sources are asked outside the lock (a bus scan is slow); the copies keep them alive
    // even if they are replaced meanwhile.
    std::vector<DeviceDescription> devices;
    for (const std::shared_ptr<IDeviceSource>& source : DeviceSources()) {
        if (!source) {
            continue;
        }
        std::vector<DeviceDescription> found = source->ListDevices(category);
        devices.insert(devices.end(), std::make_move_iterator(found.begin()),
                       std::make_move_iterator(found.end()));
    }
    return devices;
}

std::vector<DeviceProblem> DeviceListingProblems() {
    std::vector<DeviceProblem> problems;
    for (const std::shared_ptr<IDeviceSource>& source : DeviceSources()) {
        if (source) {
            if (DeviceProblem problem = source->ListingProblem(); !problem.line.empty()) {
                problems.push_back(std::move(problem));
            }
        }
    }
    return problems;
}

}  // namespace vornak
