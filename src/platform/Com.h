// Object creation by class id, after COM: a thread initialises the library, creates objects of
// registered classes, and uninitialises it again. Creation on a thread that has not initialised
// fails, as COM's does, so that code which forgets it is caught in tests.
#pragma once

#include <functional>

#include "Guid.h"
#include "HResult.h"
#include "Unknown.h"

namespace vornak {

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

// Counts per thread: S_OK for the first call on a thread, S_FALSE for each further one.
HRESULT CoInitialize(void* pvReserved);
// Undoes one CoInitialize of this thread; does nothing when none is left.
void CoUninitialize();
// How many CoInitialize calls of this thread are not yet undone.
int CoInitializeCount();

// Makes an object of `rclsid` and asks it for `riid`. CO_E_NOTINITIALIZED on a thread that has
// not initialised; REGDB_E_CLASSNOTREG for an unknown class; CLASS_E_NOAGGREGATION when an
// outer object is given.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv);

// Makes a new object and asks it for `riid` (handing out a reference only on success).
using ClassFactory = std::function<HRESULT(REFIID riid, void** ppv)>;
// Registers or replaces a class; an empty factory removes it. The filter graph, the capture
// graph builder and the system device enumerator are registered from the start.
void RegisterClassFactory(REFCLSID rclsid, ClassFactory factory);

}  // namespace vornak
