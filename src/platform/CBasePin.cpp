#include "CBasePin.h"

#include <utility>
#include <vector>

#include "CBaseFilter.h"
#include "CEnumMediaTypeList.h"
#include "CPinPropertySet.h"
#include "Guids.h"

namespace vornak {
namespace {

// A type that leaves its major type or format open only says what it wants to match.
bool IsPartiallySpecified(const AM_MEDIA_TYPE& mt) {
    return mt.majortype == GUID_NULL || mt.formattype == GUID_NULL;
}

bool MatchesPartial(const AM_MEDIA_TYPE& candidate, const AM_MEDIA_TYPE& partial) {
    if (partial.majortype != GUID_NULL && candidate.majortype != partial.majortype) {
        return false;
    }
    if (partial.subtype != GUID_NULL && candidate.subtype != partial.subtype) {
        return false;
    }
    if (partial.formattype != GUID_NULL) {
        if (candidate.formattype != partial.formattype || candidate.cbFormat != partial.cbFormat) {
            return false;
        }
        for (ULONG i = 0; i < candidate.cbFormat; ++i) {
            if (candidate.pbFormat[i] != partial.pbFormat[i]) {
                return false;
            }
        }
    }
    return true;
}

// Failures that only mean "not this type": another type may still do.
bool IsTypeRefusal(HRESULT hr) {
    return Succeeded(hr) || hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED;
}

}  // namespace

CBasePin::CBasePin(const char* objectName, CBaseFilter* filter, CCriticalSection* lock,
                   std::string pinName, PIN_DIRECTION direction)
    : CUnknown(objectName),
      m_name(std::move(pinName)),
      m_dir(direction),
      m_pFilter(filter),
      m_pPropertySet(std::make_unique<CPinPropertySet>(*this)) {
    if (lock == nullptr) {
        m_pOwnLock = std::make_unique<CCriticalSection>();
        lock = m_pOwnLock.get();
    }
    m_pLock = lock;
}

CBasePin::~CBasePin() = default;

HRESULT CBasePin::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CBasePin::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CBasePin::Release() {
    return NonDelegatingRelease();
}

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPin) {
        return GetInterface(static_cast<IPin*>(this), ppv);
    }
    if (riid == IID_IKsPropertySet && Category() != nullptr) {
        return GetInterface(static_cast<IKsPropertySet*>(m_pPropertySet.get()), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

ULONG CBasePin::NonDelegatingAddRef() {
    return m_pFilter->AddRef();
}

ULONG CBasePin::NonDelegatingRelease() {
    return m_pFilter->Release();
}

bool CBasePin::IsStopped() const {
    return m_pFilter->IsStopped();
}

HRESULT CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    if (pReceivePin == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(*m_pLock);
    if (m_Connected) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    if (pmt == nullptr) {
        return AgreeMediaType(pReceivePin, nullptr);
    }
    const CMediaType wanted(*pmt);
    return AgreeMediaType(pReceivePin, &wanted);
}

HRESULT CBasePin::AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt) {
    if (pmt != nullptr && !IsPartiallySpecified(*pmt)) {
        return AttemptConnection(pReceivePin, pmt);
    }
    HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
    // The receiving pin knows best what it wants: its types first, then ours.
    for (int pass = 0; pass < 2; ++pass) {
        ComPtr<IEnumMediaTypes> types;
        const HRESULT hr = pass == 0 ? pReceivePin->EnumMediaTypes(types.Receive())
                                     : EnumMediaTypes(types.Receive());
        if (Failed(hr) || !types) {
            continue;
        }
        const HRESULT tried = TryMediaTypes(pReceivePin, pmt, types.Get());
        if (Succeeded(tried)) {
            return S_OK;
        }
        if (!IsTypeRefusal(tried)) {
            failure = tried;
        }
    }
    return failure;
}

HRESULT CBasePin::TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum) {
    HRESULT failure = S_OK;
    for (;;) {
        AM_MEDIA_TYPE* candidate = nullptr;
        ULONG fetched = 0;
        if (pEnum->Next(1, &candidate, &fetched) != S_OK || fetched != 1) {
            break;
        }
        const CMediaType type(*candidate);
        DeleteMediaType(candidate);
        if (pmt != nullptr && !MatchesPartial(type, *pmt)) {
            continue;
        }
        const HRESULT hr = AttemptConnection(pReceivePin, &type);
        if (Succeeded(hr)) {
            return hr;
        }
        if (Succeeded(failure) || !IsTypeRefusal(hr)) {
            failure = hr;
        }
    }
    return Succeeded(failure) ? VFW_E_NO_ACCEPTABLE_TYPES : failure;
}

HRESULT CBasePin::AttemptConnection(IPin* pReceivePin, const CMediaType* pmt) {
    HRESULT hr = CheckConnect(pReceivePin);
    if (Failed(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(pmt);
    if (hr == S_OK) {
        m_Connected = ComPtr<IPin>(pReceivePin);
        hr = SetMediaType(pmt);
        if (Succeeded(hr)) {
            hr = pReceivePin->ReceiveConnection(static_cast<IPin*>(this), pmt);
            if (Succeeded(hr)) {
                hr = CompleteConnect(pReceivePin);
                if (Succeeded(hr)) {
                    return hr;
                }
                pReceivePin->Disconnect();
            }
        }
    } else if (IsTypeRefusal(hr)) {
        hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    BreakConnect();
    m_Connected.Reset();
    return hr;
}

HRESULT CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
    if (pConnector == nullptr || pmt == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(*m_pLock);
    if (m_Connected) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    HRESULT hr = CheckConnect(pConnector);
    if (Failed(hr)) {
        BreakConnect();
        return hr;
    }
    const CMediaType type(*pmt);
    hr = CheckMediaType(&type);
    if (hr != S_OK) {
        BreakConnect();
        return IsTypeRefusal(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_Connected = ComPtr<IPin>(pConnector);
    hr = SetMediaType(&type);
    if (Succeeded(hr)) {
        hr = CompleteConnect(pConnector);
        if (Succeeded(hr)) {
            return S_OK;
        }
    }
    m_Connected.Reset();
    BreakConnect();
    return hr;
}

HRESULT CBasePin::Disconnect() {
    CAutoLock lock(*m_pLock);
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
    if (!m_Connected) {
        return S_FALSE;
    }
    const HRESULT hr = BreakConnect();
    if (Failed(hr)) {
        return hr;
    }
    m_Connected.Reset();
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pPin) {
    if (pPin == nullptr) {
        return E_POINTER;
    }
    *pPin = nullptr;
    if (!m_Connected) {
        return VFW_E_NOT_CONNECTED;
    }
    return HandOut(m_Connected.Get(), pPin);
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(*m_pLock);
    if (!m_Connected) {
        *pmt = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* pInfo) {
    if (pInfo == nullptr) {
        return E_POINTER;
    }
    pInfo->pFilter = m_pFilter;
    m_pFilter->AddRef();
    pInfo->dir = m_dir;
    pInfo->achName = m_name;
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* pPinDir) {
    if (pPinDir == nullptr) {
        return E_POINTER;
    }
    *pPinDir = m_dir;
    return S_OK;
}

HRESULT CBasePin::QueryId(std::string* id) {
    if (id == nullptr) {
        return E_POINTER;
    }
    *id = m_name;
    return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    const CMediaType type(*pmt);
    return CheckMediaType(&type) == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    std::vector<CMediaType> types;
    for (int position = 0;; ++position) {
        CMediaType type;
        if (GetMediaType(position, &type) != S_OK) {
            break;
        }
        types.push_back(type);
    }
    auto* enumerator = new CEnumMediaTypeList(std::move(types), 0);
    return HandOut(static_cast<IEnumMediaTypes*>(enumerator), ppEnum);
}

HRESULT CBasePin::QueryInternalConnections(IPin**, ULONG*) {
    return E_NOTIMPL;
}

HRESULT CBasePin::EndOfStream() {
    return S_OK;
}

HRESULT CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* pmt) {
    return m_mt.Set(*pmt);
}

HRESULT CBasePin::CheckConnect(IPin* pPin) {
    PIN_DIRECTION direction = PINDIR_INPUT;
    const HRESULT hr = pPin->QueryDirection(&direction);
    if (Failed(hr)) {
        return hr;
    }
    return direction == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*) {
    return E_UNEXPECTED;
}

}  // namespace vornak
