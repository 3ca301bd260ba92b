#include "CaptureEnumMediaTypes.h"

#include <algorithm>

#include "CapturePin.h"

namespace vornak {

template class CEnumList<IEnumMediaTypes, AM_MEDIA_TYPE*, CaptureEnumMediaTypesTraits>;

namespace {

bool HasSnapshot(const CaptureEnumMediaTypesTraits::Source& source) {
    return source.snapshot.subtype != GUID_NULL;
}

}  // namespace

std::size_t CaptureEnumMediaTypesTraits::Count(const Source& source) {
    return (HasSnapshot(source) ? 1 : 0) +
           static_cast<std::size_t>(std::max(source.pin->TypeCount(), 0));
}

const AM_MEDIA_TYPE& CaptureEnumMediaTypesTraits::At(const Source& source, std::size_t index) {
    if (HasSnapshot(source)) {
        if (index == 0) {
            return source.snapshot;
        }
        --index;
    }
    return source.pin->Types()[index];
}

void CaptureEnumMediaTypesTraits::Refresh(Source& source) {
    source.snapshot.Set(source.pin->ConnectionType());
}

CaptureEnumMediaTypes::CaptureEnumMediaTypes(CapturePin* pin, const AM_MEDIA_TYPE& snapshot,
                                             std::int32_t position)
    : CEnumList(Source{ComPtr<IPin>(static_cast<IPin*>(pin)), pin, CMediaType(snapshot)},
                static_cast<std::size_t>(std::max(position, 0))) {
    AddRef();
}

}  // namespace vornak
