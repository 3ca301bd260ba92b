#include "CaptureEnumPins.h"

#include <algorithm>

#include "CBasePin.h"
#include "CaptureFilter.h"

namespace vornak {

template class CEnumList<IEnumPins, IPin*, CaptureEnumPinsTraits>;

std::size_t CaptureEnumPinsTraits::Count(const Source&) {
    return CaptureFilter::kPinCount;
}

IPin* CaptureEnumPinsTraits::At(const Source& filter, std::size_t index) {
    return static_cast<IPin*>(filter->GetPin(static_cast<int>(index)));
}

CaptureEnumPins::CaptureEnumPins(CaptureFilter* filter, std::int32_t position)
    : CEnumList(ComPtr<CaptureFilter>(filter), static_cast<std::size_t>(std::max(position, 0))) {
    AddRef();
}

}  // namespace vornak
