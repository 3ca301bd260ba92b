// A media type enumerator over a fixed list, taken when the enumerator was made.
#pragma once

#include <cstddef>
#include <vector>

#include "CUnknown.h"
#include "MediaType.h"
#include "StreamInterfaces.h"

namespace vornak {

class CEnumMediaTypeList : public CUnknown, public IEnumMediaTypes {
  public:
    CEnumMediaTypeList(std::vector<CMediaType> types, std::size_t position);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cMediaTypes) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMediaTypes** ppEnum) override;

  private:
    std::vector<CMediaType> m_types;
    std::size_t m_nPosition;
};

}  // namespace vornak
