#include "CBaseFilter.h"

#include <vector>

#include "CBasePin.h"
#include "CEnumPinList.h"
#include "GraphInterfaces.h"
#include "Guids.h"

namespace vornak {

CBaseFilter::CBaseFilter(const char* objectName, CCriticalSection* lock, const CLSID& clsid)
    : CUnknown(objectName), m_clsid(clsid) {
    if (lock == nullptr) {
        m_pOwnLock = std::make_unique<CCriticalSection>();
        lock = m_pOwnLock.get();
    }
    m_pLock = lock;
}

CBaseFilter::~CBaseFilter() = default;

HRESULT CBaseFilter::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CBaseFilter::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CBaseFilter::Release() {
    return NonDelegatingRelease();
}

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
        riid == IID_IBaseFilter) {
        return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseFilter::GetClassID(CLSID* pClassID) {
    if (pClassID == nullptr) {
        return E_POINTER;
    }
    *pClassID = m_clsid;
    return S_OK;
}

HRESULT CBaseFilter::Stop() {
    CAutoLock lock(*m_pLock);
    HRESULT result = S_OK;
    if (State() != State_Stopped) {
        const int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin == nullptr) {
                break;
            }
            if (pin->IsConnected()) {
                const HRESULT hr = pin->Inactive();
                if (Failed(hr) && Succeeded(result)) {
                    result = hr;
                }
            }
        }
    }
    m_State.store(State_Stopped, std::memory_order_release);
    return result;
}

HRESULT CBaseFilter::Pause() {
    CAutoLock lock(*m_pLock);
    if (State() == State_Stopped) {
        const int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin == nullptr) {
                break;
            }
            if (pin->IsConnected()) {
                const HRESULT hr = pin->Active();
                if (Failed(hr)) {
                    return hr;
                }
            }
        }
    }
    m_State.store(State_Paused, std::memory_order_release);
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock lock(*m_pLock);
    if (State() == State_Stopped) {
        const HRESULT hr = Pause();
        if (Failed(hr)) {
            return hr;
        }
    }
    m_tStart = tStart;
    if (State() == State_Paused) {
        const int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin == nullptr) {
                break;
            }
            if (pin->IsConnected()) {
                const HRESULT hr = pin->Run(tStart);
                if (Failed(hr)) {
                    return hr;
                }
            }
        }
    }
    m_State.store(State_Running, std::memory_order_release);
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* State) {
    if (State == nullptr) {
        return E_POINTER;
    }
    *State = this->State();
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* pClock) {
    CAutoLock lock(*m_pLock);
    m_pClock = ComPtr<IReferenceClock>(pClock);
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** pClock) {
    if (pClock == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(*m_pLock);
    *pClock = m_pClock.Get();
    if (*pClock != nullptr) {
        (*pClock)->AddRef();
    }
    return S_OK;
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME& rtStream) {
    CAutoLock lock(*m_pLock);
    if (!m_pClock) {
        return E_FAIL;  // no clock to tell the time by
    }
    const HRESULT hr = m_pClock->GetTime(&rtStream);
    if (Succeeded(hr)) {
        rtStream -= m_tStart;
    }
    return hr;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    std::vector<ComPtr<IPin>> pins;
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
        if (CBasePin* pin = GetPin(i)) {
            pins.emplace_back(static_cast<IPin*>(pin));
        }
    }
    auto* enumerator = new CEnumPinList(std::move(pins), 0);
    return HandOut(static_cast<IEnumPins*>(enumerator), ppEnum);
}

HRESULT CBaseFilter::FindPin(const std::string& id, IPin** ppPin) {
    if (ppPin == nullptr) {
        return E_POINTER;
    }
    *ppPin = nullptr;
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
        CBasePin* pin = GetPin(i);
        if (pin != nullptr && pin->Name() == id) {
            return HandOut(static_cast<IPin*>(pin), ppPin);
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
    if (pInfo == nullptr) {
        return E_POINTER;
    }
    pInfo->achName = m_name;
    pInfo->pGraph = m_pGraph;
    if (m_pGraph != nullptr) {
        m_pGraph->AddRef();
    }
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, const std::string& name) {
    CAutoLock lock(*m_pLock);
    IMediaEventSink* sink = nullptr;
    if (pGraph != nullptr &&
        Succeeded(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
        // The graph holds this filter; a reference back would keep both alive for ever.
        sink->Release();
    }
    {
        std::lock_guard sinkLock(m_sinkLock);
        m_pSink = sink;
    }
    m_pGraph = pGraph;
    m_name = pGraph != nullptr ? name : std::string();
    return S_OK;
}

HRESULT CBaseFilter::NotifyEvent(LONG eventCode, LONG_PTR param1, LONG_PTR param2) {
    // Held across the call so that a graph that makes its filters leave before it goes can
    // be sure that no notification is still on its way in.
    std::lock_guard sinkLock(m_sinkLock);
    if (m_pSink == nullptr) {
        return S_FALSE;
    }
    return m_pSink->Notify(eventCode, param1, param2);
}

HRESULT CBaseFilter::QueryVendorInfo(std::string*) {
    return E_NOTIMPL;
}

}  // namespace vornak
