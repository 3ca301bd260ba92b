// Enumerates the capture filter's pins in GetPin order: the preview pin, then the capture pin.
// Keeps the filter alive while it exists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CEnumList.h"
#include "CEnumListItems.h"
#include "ComPtr.h"
#include "StreamInterfaces.h"

namespace vornak {

class CaptureFilter;

struct CaptureEnumPinsTraits : CEnumListItems<IPin*> {
    static constexpr const char* kName = "CaptureEnumPins";
    static const IID& Iid() { return IID_IEnumPins; }
    // One reference held on the filter; its pins live as long as it does.
    using Source = ComPtr<CaptureFilter>;
    static std::size_t Count(const Source& filter);
    static IPin* At(const Source& filter, std::size_t index);
};

extern template class CEnumList<IEnumPins, IPin*, CaptureEnumPinsTraits>;

class CaptureEnumPins final : public CEnumList<IEnumPins, IPin*, CaptureEnumPinsTraits> {
  public:
    // Starts with one reference (the caller's) and adds one on the filter.
    CaptureEnumPins(CaptureFilter* filter, std::int32_t position);
};

}  // namespace vornak
