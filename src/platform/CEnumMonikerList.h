// A moniker enumerator over a fixed list, taken when the enumerator was made.
#pragma once

#include <cstddef>
#include <vector>

#include "CEnumList.h"
#include "CEnumListItems.h"
#include "ComPtr.h"
#include "DeviceEnum.h"

namespace vornak {

struct CEnumMonikerListTraits : CEnumListItems<IMoniker*> {
    static constexpr const char* kName = "CEnumMonikerList";
    static const IID& Iid() { return IID_IEnumMoniker; }
    using Source = std::vector<ComPtr<IMoniker>>;
    static std::size_t Count(const Source& monikers) { return monikers.size(); }
    static IMoniker* At(const Source& monikers, std::size_t index) { return monikers[index].Get(); }
};

using CEnumMonikerList = CEnumList<IEnumMoniker, IMoniker*, CEnumMonikerListTraits>;
extern template class CEnumList<IEnumMoniker, IMoniker*, CEnumMonikerListTraits>;

}  // namespace vornak
