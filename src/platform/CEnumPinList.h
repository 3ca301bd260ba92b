// A pin enumerator over a fixed list, taken when the enumerator was made.
#pragma once

#include <cstddef>
#include <vector>

#include "CUnknown.h"
#include "ComPtr.h"
#include "StreamInterfaces.h"

namespace vornak {

class CEnumPinList : public CUnknown, public IEnumPins {
  public:
    CEnumPinList(std::vector<ComPtr<IPin>> pins, std::size_t position);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cPins) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumPins** ppEnum) override;

  private:
    std::vector<ComPtr<IPin>> m_pins;
    std::size_t m_nPosition;
};

}  // namespace vornak
