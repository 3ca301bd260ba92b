// Reference-counted objects with interface discovery, after COM's IUnknown.
//
// Every interface here is an abstract class deriving from IUnknown. An object hands out a
// pointer to one of its interfaces through QueryInterface, with a reference added; the holder
// gives it back with Release. Objects delete themselves when their count drops to zero, so
// interfaces are never deleted directly.
#pragma once

#include "Guid.h"
#include "HResult.h"

namespace vornak {

class IUnknown {
  public:
    // On success `*ppv` holds the interface with a reference added; otherwise it is null.
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;
};

// The object's own counting and discovery, kept apart from the IUnknown face so that an object
// whose count belongs to another (a pin counted on its filter) can still be told apart.
class INonDelegatingUnknown {
  public:
    virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG NonDelegatingAddRef() = 0;
    virtual ULONG NonDelegatingRelease() = 0;

  protected:
    ~INonDelegatingUnknown() = default;
};

// Hands out `object` as the interface asked for: adds a reference and stores it.
template <typename Interface>
HRESULT GetInterface(Interface* object, void** ppv) {
    object->AddRef();
    *ppv = object;
    return S_OK;
}

// Hands out `object` through a typed out-parameter, with a reference added.
template <typename Interface>
HRESULT HandOut(Interface* object, Interface** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

}  // namespace vornak
