// Enumerates the capture pin's types: the connection's type (taken when the enumerator was
// made or last Reset) if the pin is connected, then the pin's accepted types. Keeps the pin,
// and so its filter, alive while it exists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CEnumList.h"
#include "CEnumListItems.h"
#include "ComPtr.h"
#include "MediaType.h"
#include "StreamInterfaces.h"

namespace vornak {

class CapturePin;

struct CaptureEnumMediaTypesTraits : CEnumListItems<AM_MEDIA_TYPE*> {
    static constexpr const char* kName = "CaptureEnumMediaTypes";
    static const IID& Iid() { return IID_IEnumMediaTypes; }
    struct Source {
        ComPtr<IPin> hold;  // the one reference held on the pin
        CapturePin* pin;
        CMediaType snapshot;
    };
    static std::size_t Count(const Source& source);
    static const AM_MEDIA_TYPE& At(const Source& source, std::size_t index);
    // Takes a fresh snapshot of the connection's type.
    static void Refresh(Source& source);
};

extern template class CEnumList<IEnumMediaTypes, AM_MEDIA_TYPE*, CaptureEnumMediaTypesTraits>;

// Each type handed out is a deep copy in task memory (DeleteMediaType frees it).
class CaptureEnumMediaTypes final
    : public CEnumList<IEnumMediaTypes, AM_MEDIA_TYPE*, CaptureEnumMediaTypesTraits> {
  public:
    // Starts with one reference (the caller's) and adds one on the pin.
    CaptureEnumMediaTypes(CapturePin* pin, const AM_MEDIA_TYPE& snapshot, std::int32_t position);
};

}  // namespace vornak
