// A moniker enumerator over a fixed list, taken when the enumerator was made.
#pragma once

#include <cstddef>
#include <vector>

#include "CUnknown.h"
#include "ComPtr.h"
#include "DeviceEnum.h"

namespace vornak {

class CEnumMonikerList : public CUnknown, public IEnumMoniker {
  public:
    CEnumMonikerList(std::vector<ComPtr<IMoniker>> monikers, std::size_t position);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) override;
    HRESULT Skip(ULONG celt) override;
    HRESULT Reset() override;
    // A new enumerator over the same monikers, at the same position.
    HRESULT Clone(IEnumMoniker** ppenum) override;

  private:
    std::vector<ComPtr<IMoniker>> m_monikers;
    std::size_t m_nPosition;
};

}  // namespace vornak
