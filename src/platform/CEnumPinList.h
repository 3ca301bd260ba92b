// A pin enumerator over a fixed list, taken when the enumerator was made.
#pragma once

#include <cstddef>
#include <vector>

#include "CEnumList.h"
#include "CEnumListItems.h"
#include "ComPtr.h"
#include "StreamInterfaces.h"

namespace vornak {

struct CEnumPinListTraits : CEnumListItems<IPin*> {
    static constexpr const char* kName = "CEnumPinList";
    static const IID& Iid() { return IID_IEnumPins; }
    using Source = std::vector<ComPtr<IPin>>;
    static std::size_t Count(const Source& pins) { return pins.size(); }
    static IPin* At(const Source& pins, std::size_t index) { return pins[index].Get(); }
};

using CEnumPinList = CEnumList<IEnumPins, IPin*, CEnumPinListTraits>;
extern template class CEnumList<IEnumPins, IPin*, CEnumPinListTraits>;

}  // namespace vornak
