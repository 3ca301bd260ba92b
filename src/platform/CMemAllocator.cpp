#include "CMemAllocator.h"

#include <cstdint>

#include "Guids.h"

namespace vornak {

CMemAllocator::CMemAllocator() : CUnknown("CMemAllocator") {}

CMemAllocator::~CMemAllocator() = default;

HRESULT CMemAllocator::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CMemAllocator::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CMemAllocator::Release() {
    return NonDelegatingRelease();
}

HRESULT CMemAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMemAllocator) {
        return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMemAllocator::SetProperties(const ALLOCATOR_PROPERTIES* pRequest,
                                     ALLOCATOR_PROPERTIES* pActual) {
    if (pRequest == nullptr || pActual == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (m_bCommitted) {
        return VFW_E_ALREADY_COMMITTED;
    }
    if (m_free.size() != m_samples.size()) {
        return VFW_E_BUFFERS_OUTSTANDING;
    }
    const LONG align = pRequest->cbAlign == 0 ? 1 : pRequest->cbAlign;
    if (align < 0 || (align & (align - 1)) != 0 || pRequest->cBuffers < 0 ||
        pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0) {
        return VFW_E_BADALIGN;
    }
    ALLOCATOR_PROPERTIES granted = *pRequest;
    granted.cbAlign = align;
    const LONG whole = granted.cbBuffer + granted.cbPrefix;
    if (whole % align != 0) {
        granted.cbBuffer += align - whole % align;
    }
    m_props = granted;
    *pActual = granted;
    m_bAllocated = false;
    return S_OK;
}

HRESULT CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
    if (pProps == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pProps = m_props;
    return S_OK;
}

HRESULT CMemAllocator::Commit() {
    std::lock_guard lock(m_mutex);
    if (m_props.cBuffers <= 0 || m_props.cbBuffer <= 0) {
        return VFW_E_SIZENOTSET;
    }
    if (!m_bAllocated) {
        // Only reached with every sample back (SetProperties checks it).
        m_samples.clear();
        m_memory.clear();
        m_free.clear();
        const auto align = static_cast<std::uintptr_t>(m_props.cbAlign);
        const auto bytes = static_cast<std::size_t>(m_props.cbPrefix + m_props.cbBuffer) + align;
        for (LONG i = 0; i < m_props.cBuffers; ++i) {
            m_memory.push_back(std::make_unique<std::uint8_t[]>(bytes));
            const auto raw = reinterpret_cast<std::uintptr_t>(m_memory.back().get()) +
                             static_cast<std::uintptr_t>(m_props.cbPrefix);
            auto* data = reinterpret_cast<std::uint8_t*>((raw + align - 1) & ~(align - 1));
            m_samples.push_back(std::make_unique<CMediaSample>(this, data, m_props.cbBuffer));
            m_free.push_back(m_samples.back().get());
        }
        m_bAllocated = true;
    }
    m_bCommitted = true;
    return S_OK;
}

HRESULT CMemAllocator::Decommit() {
    {
        std::lock_guard lock(m_mutex);
        m_bCommitted = false;
    }
    m_changed.notify_all();
    return S_OK;
}

HRESULT CMemAllocator::GetBuffer(IMediaSample** ppBuffer, const REFERENCE_TIME* pStartTime,
                                 const REFERENCE_TIME* pEndTime, DWORD dwFlags) {
    if (ppBuffer == nullptr) {
        return E_POINTER;
    }
    *ppBuffer = nullptr;
    CMediaSample* sample = nullptr;
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (!m_bCommitted) {
                return VFW_E_NOT_COMMITTED;
            }
            if (!m_free.empty()) {
                break;
            }
            if ((dwFlags & AM_GBF_NOWAIT) != 0) {
                return VFW_E_TIMEOUT;
            }
            m_changed.wait(lock);
        }
        sample = m_free.back();
        m_free.pop_back();
        sample->Prepare();
    }
    AddRef();  // for the sample while it is out
    sample->SetTime(pStartTime, pEndTime);
    *ppBuffer = sample;
    return S_OK;
}

HRESULT CMemAllocator::ReleaseBuffer(IMediaSample* pBuffer) {
    if (pBuffer == nullptr) {
        return E_POINTER;
    }
    {
        std::lock_guard lock(m_mutex);
        m_free.push_back(static_cast<CMediaSample*>(pBuffer));
    }
    m_changed.notify_all();
    Release();  // may be the last reference: nothing of this object is touched after it
    return S_OK;
}

}  // namespace vornak
