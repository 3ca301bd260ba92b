// The media layer's enumerators (IEnumPins, IEnumMediaTypes, IEnumMoniker): a sequence walked
// with a position, one item at a time or in batches.
//
// Traits say what is walked and how an item leaves:
//   Traits::kName                     a label for diagnostics (a literal)
//   Traits::Iid()                     the enumerator interface's id
//   Traits::Source                    what is walked; a clone gets a copy of it
//   Traits::Count(source)             how many items there are
//   Traits::At(source, index)         item `index`, as HandOut takes it
//   Traits::HandOut(item, Item* out)  hands it out (a reference added, or a copy made); S_OK or
//                                     a failure that leaves *out alone
//   Traits::TakeBack(Item)            undoes one HandOut
//   Traits::Refresh(source)           optional: Reset's chance to look at the source anew
// CEnumListItems.h has the two ways items leave: AddRef'd interface pointers and media types
// copied into task memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <new>
#include <utility>

#include "CUnknown.h"
#include "Guids.h"
#include "HResult.h"

namespace vornak {

template <class Interface, class Item, class Traits>
class CEnumList : public CUnknown, public Interface {
  public:
    using Source = typename Traits::Source;

    // Starts with no reference; its creator takes the first.
    CEnumList(Source source, std::size_t position)
        : CUnknown(Traits::kName), m_source(std::move(source)), m_nPosition(position) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return NonDelegatingQueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return NonDelegatingAddRef(); }
    ULONG Release() override { return NonDelegatingRelease(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == Traits::Iid()) {
            return GetInterface(static_cast<Interface*>(this), ppv);
        }
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    // S_OK when all `count` items went out, S_FALSE when fewer were left. The count may be left
    // out only when one item is asked for. A hand-out that fails takes back what the call
    // handed out and leaves the position where it was.
    HRESULT Next(ULONG count, Item* items, ULONG* pcFetched) override {
        if (items == nullptr || (pcFetched == nullptr && count > 1)) {
            return E_POINTER;
        }
        const std::size_t length = Traits::Count(m_source);
        ULONG fetched = 0;
        while (fetched < count && m_nPosition + fetched < length) {
            const HRESULT hr =
                Traits::HandOut(Traits::At(m_source, m_nPosition + fetched), &items[fetched]);
            if (Failed(hr)) {
                while (fetched > 0) {
                    --fetched;
                    Traits::TakeBack(items[fetched]);
                    items[fetched] = nullptr;
                }
                return hr;
            }
            ++fetched;
        }
        m_nPosition += fetched;
        if (pcFetched != nullptr) {
            *pcFetched = fetched;
        }
        return fetched == count ? S_OK : S_FALSE;
    }

    // S_FALSE when fewer than `count` items were left to pass over; the position then stops at
    // the end.
    HRESULT Skip(ULONG count) override {
        const std::size_t length = Traits::Count(m_source);
        const std::size_t left = length - std::min(m_nPosition, length);
        m_nPosition = length - left + std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }

    HRESULT Reset() override {
        if constexpr (requires(Source & source) { Traits::Refresh(source); }) {
            Traits::Refresh(m_source);
        }
        m_nPosition = 0;
        return S_OK;
    }

    // A new enumerator over the same source, at the same position.
    HRESULT Clone(Interface** ppEnum) override {
        if (ppEnum == nullptr) {
            return E_POINTER;
        }
        auto* clone = new (std::nothrow) CEnumList(m_source, m_nPosition);
        if (clone == nullptr) {
            *ppEnum = nullptr;
            return E_OUTOFMEMORY;
        }
        return HandOut(static_cast<Interface*>(clone), ppEnum);
    }

  private:
    Source m_source;
    std::size_t m_nPosition;
};

}  // namespace vornak
