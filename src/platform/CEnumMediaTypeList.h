// A media type enumerator over a fixed list, taken when the enumerator was made.
#pragma once

#include <cstddef>
#include <vector>

#include "CEnumList.h"
#include "CEnumListItems.h"
#include "MediaType.h"
#include "StreamInterfaces.h"

namespace vornak {

struct CEnumMediaTypeListTraits : CEnumListItems<AM_MEDIA_TYPE*> {
    static constexpr const char* kName = "CEnumMediaTypeList";
    static const IID& Iid() { return IID_IEnumMediaTypes; }
    using Source = std::vector<CMediaType>;
    static std::size_t Count(const Source& types) { return types.size(); }
    static const AM_MEDIA_TYPE& At(const Source& types, std::size_t index) { return types[index]; }
};

using CEnumMediaTypeList = CEnumList<IEnumMediaTypes, AM_MEDIA_TYPE*, CEnumMediaTypeListTraits>;
extern template class CEnumList<IEnumMediaTypes, AM_MEDIA_TYPE*, CEnumMediaTypeListTraits>;

}  // namespace vornak
