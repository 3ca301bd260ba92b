// Filters the graph may add on its own: converters, tried in order of registration when an
// output pin and an input pin do not agree on a type, and renderers, the end of a stream
// rendered without a sink. The preview's demultiplexer, decoders and renderers register here.
//
// Thread-safe.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Guid.h"
#include "HResult.h"
#include "StreamInterfaces.h"

namespace vornak {

enum class FilterRole { Converter, Renderer };

struct RegisteredFilter {
    CLSID clsid;
    std::string name;  // the name the graph gives it
    FilterRole role;
    // A new filter with a reference for the caller.
    std::function<HRESULT(IBaseFilter** filter)> create;
};

// Adds or, for a class id already registered, replaces.
void RegisterFilter(RegisteredFilter filter);
void UnregisterFilter(const CLSID& clsid);
std::vector<RegisteredFilter> RegisteredFilters(FilterRole role);

}  // namespace vornak
