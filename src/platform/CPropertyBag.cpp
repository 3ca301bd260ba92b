#include "CPropertyBag.h"

#include <utility>

#include "Guids.h"

namespace vornak {

CPropertyBag::CPropertyBag(std::map<std::string, std::string> properties)
    : CUnknown("CPropertyBag"), m_properties(std::move(properties)) {}

HRESULT CPropertyBag::QueryInterface(REFIID riid, void** ppv) {
    return NonDelegatingQueryInterface(riid, ppv);
}

ULONG CPropertyBag::AddRef() {
    return NonDelegatingAddRef();
}

ULONG CPropertyBag::Release() {
    return NonDelegatingRelease();
}

HRESULT CPropertyBag::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
        return GetInterface(static_cast<IPropertyBag*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CPropertyBag::Read(const std::string& pszPropName, VARIANT* pVar, IErrorLog*) {
    if (pVar == nullptr) {
        return E_POINTER;
    }
    if (pVar->vt != VT_EMPTY && pVar->vt != VT_BSTR) {
        return E_FAIL;  // every property here is text and converts to nothing else
    }
    std::lock_guard lock(m_lock);
    const auto found = m_properties.find(pszPropName);
    if (found == m_properties.end()) {
        return E_INVALIDARG;
    }
    pVar->vt = VT_BSTR;
    pVar->bstrVal = found->second;
    return S_OK;
}

HRESULT CPropertyBag::Write(const std::string& pszPropName, const VARIANT* pVar) {
    if (pVar == nullptr) {
        return E_POINTER;
    }
    if (pVar->vt != VT_BSTR) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    m_properties[pszPropName] = pVar->bstrVal;
    return S_OK;
}

}  // namespace vornak
