#include "Com.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "CCaptureGraphBuilder.h"
#include "CFilterGraph.h"
#include "CSystemDeviceEnum.h"
#include "Guids.h"

namespace vornak {
namespace {

thread_local int t_initializeCount = 0;

// A new object of `Class` asked for `riid`: the object goes again if it has no such face.
template <typename Class, typename Primary>
HRESULT CreateObject(REFIID riid, void** ppv) {
    Primary* object = new Class();
    object->AddRef();
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

struct ClassRegistry {
    std::mutex lock;
    std::vector<std::pair<CLSID, ClassFactory>> classes;

    ClassRegistry() {
        classes.emplace_back(CLSID_FilterGraph, CreateObject<CFilterGraph, IGraphBuilder>);
        classes.emplace_back(CLSID_CaptureGraphBuilder2,
                             CreateObject<CCaptureGraphBuilder, ICaptureGraphBuilder2>);
        classes.emplace_back(CLSID_SystemDeviceEnum,
                             CreateObject<CSystemDeviceEnum, ICreateDevEnum>);
    }
};

// Made and filled on first use, so that classes registered from static initialisers of other
// files (in whatever order they run) find the built-in ones in place.
ClassRegistry& Registry() {
    static ClassRegistry registry;
    return registry;
}

ClassFactory FindFactory(REFCLSID rclsid) {
    ClassRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    for (const auto& [clsid, factory] : registry.classes) {
        if (clsid == rclsid) {
            return factory;
        }
    }
    return {};
}

}  // namespace

HRESULT CoInitialize(void*) {
    return t_initializeCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_initializeCount > 0) {
        --t_initializeCount;
    }
}

int CoInitializeCount() {
    return t_initializeCount;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (t_initializeCount == 0) {
        return CO_E_NOTINITIALIZED;
    }
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    // Called outside the registry's lock: a factory may well create objects of other classes.
    const ClassFactory factory = FindFactory(rclsid);
    if (!factory) {
        return REGDB_E_CLASSNOTREG;
    }
    const HRESULT hr = factory(riid, ppv);
    if (Failed(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

void RegisterClassFactory(REFCLSID rclsid, ClassFactory factory) {
    ClassRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    auto same = std::find_if(registry.classes.begin(), registry.classes.end(),
                             [&](const auto& entry) { return entry.first == rclsid; });
    if (!factory) {
        if (same != registry.classes.end()) {
            registry.classes.erase(same);
        }
    } else if (same != registry.classes.end()) {
        same->second = std::move(factory);
    } else {
        registry.classes.emplace_back(rclsid, std::move(factory));
    }
}

}  // namespace vornak
