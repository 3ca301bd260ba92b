// How a CEnumList hands its items out, by the type of item: an interface pointer leaves with a
// reference added, a media type as a deep copy in task memory (freed with DeleteMediaType).
// Traits of an enumerator take these by deriving from them.
#pragma once

#include "HResult.h"
#include "MediaType.h"
#include "Unknown.h"

namespace vornak {

template <class Item>
struct CEnumListItems;

template <class Interface>
struct CEnumListItems<Interface*> {
    static HRESULT HandOut(Interface* item, Interface** out) { return vornak::HandOut(item, out); }
    static void TakeBack(Interface* item) { item->Release(); }
};

template <>
struct CEnumListItems<AM_MEDIA_TYPE*> {
    static HRESULT HandOut(const AM_MEDIA_TYPE& item, AM_MEDIA_TYPE** out) {
        AM_MEDIA_TYPE* copy = CreateMediaType(&item);
        if (copy == nullptr) {
            return E_OUTOFMEMORY;
        }
        *out = copy;
        return S_OK;
    }
    static void TakeBack(AM_MEDIA_TYPE* item) { DeleteMediaType(item); }
};

}  // namespace vornak
