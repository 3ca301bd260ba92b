// Listing devices: the system device enumerator hands out one moniker per device of a
// category; a moniker binds to the device's property bag (its names) or to its filter.
#pragma once

#include <string>

#include "Guid.h"
#include "HResult.h"
#include "StreamInterfaces.h"
#include "Unknown.h"

namespace vornak {

using VARTYPE = std::uint16_t;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_BSTR = 8;

// A property value. Only text is used here; texts are 8-bit, like every text of the program.
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    std::string bstrVal;
};
inline void VariantInit(VARIANT* var) {
    *var = VARIANT{};
}
inline HRESULT VariantClear(VARIANT* var) {
    *var = VARIANT{};
    return S_OK;
}

class IErrorLog;
class IBindCtx;

class IPropertyBag : public IUnknown {
  public:
    // Asked with vt VT_EMPTY or VT_BSTR, gives the property as text. E_INVALIDARG when the
    // device has no such property.
    virtual HRESULT Read(const std::string& pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) = 0;
    virtual HRESULT Write(const std::string& pszPropName, const VARIANT* pVar) = 0;
};

class IMoniker : public IUnknown {
  public:
    // IID_IPropertyBag: the device's property bag.
    virtual HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid,
                                  void** ppvObj) = 0;
    // IID_IBaseFilter: the device's filter, made anew on every call.
    virtual HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult,
                                 void** ppvResult) = 0;
};

class IEnumMoniker : public IUnknown {
  public:
    // S_OK while it could hand out all `celt`; S_FALSE when fewer remained.
    virtual HRESULT Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMoniker** ppenum) = 0;
};

class ICreateDevEnum : public IUnknown {
  public:
    // The devices of `clsidDeviceClass` at the time of the call, in the order of the device
    // sources. S_FALSE and no enumerator when there are none.
    virtual HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                          DWORD dwFlags) = 0;
};

// Braced text form of a GUID into `lpsz` (at least 39 characters). Returns the characters
// written with the terminator, or 0 when the buffer is too small.
int StringFromGUID2(REFGUID rguid, char* lpsz, int cchMax);

inline constexpr ULONG LOCALE_USER_DEFAULT = 1024;
inline constexpr HRESULT VARCMP_LT = 0;
inline constexpr HRESULT VARCMP_EQ = 1;
inline constexpr HRESULT VARCMP_GT = 2;
// Compare flag: ASCII letters compare without regard to case.
inline constexpr ULONG NORM_IGNORECASE = 0x00000001;
// Compares two texts byte by byte (flags 0: case matters). The locale is not used: texts are
// compared as unsigned bytes, a shorter text before a longer one it begins.
HRESULT VarBstrCmp(const std::string& left, const std::string& right, ULONG lcid, ULONG dwFlags);

}  // namespace vornak
