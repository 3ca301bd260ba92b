#include "CUnknown.h"

namespace vornak {

CUnknown::CUnknown(const char* objectName) : m_pName(objectName) {}

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() {
    return static_cast<ULONG>(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1);
}

ULONG CUnknown::NonDelegatingRelease() {
    const LONG count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count < 0 ? 0 : count);
}

}  // namespace vornak
