#include "FilterRegistry.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <utility>

namespace vornak {
namespace {

struct Registry {
    std::mutex lock;
    std::vector<RegisteredFilter> filters;  // in order of registration
};

// Made on first use, so that filters registered from static initialisers find it ready.
Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

void RegisterFilter(RegisteredFilter filter) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.lock);
    auto same = std::find_if(registry.filters.begin(), registry.filters.end(),
                             [&](const RegisteredFilter& f) { return f.clsid == filter.clsid; });
    if (same != registry.filters.end()) {
        *same = std::move(filter);  // keeps its place in the order of trial
    } else {
        registry.filters.push_back(std::move(filter));
    }
}

void UnregisterFilter(const CLSID& clsid) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.lock);
    std::erase_if(registry.filters, [&](const RegisteredFilter& f) { return f.clsid == clsid; });
}

std::vector<RegisteredFilter> RegisteredFilters(FilterRole role) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.lock);
    std::vector<RegisteredFilter> result;
    std::copy_if(registry.filters.begin(), registry.filters.end(), std::back_inserter(result),
                 [&](const RegisteredFilter& f) { return f.role == role; });
    return result;
}

}  // namespace vornak
