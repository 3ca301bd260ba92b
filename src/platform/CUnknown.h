// The base of every reference-counted object of the media layer.
#pragma once

#include <atomic>

#include "Unknown.h"

namespace vornak {

class CUnknown : public INonDelegatingUnknown {
  public:
    // `objectName` is a label for diagnostics; it must outlive the object (a literal).
    explicit CUnknown(const char* objectName);
    virtual ~CUnknown() = default;
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    // The base answers no interface; each class answers for its own, IUnknown included, with
    // the pointer of its primary interface.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override;
    // Deletes the object when the count reaches zero.
    ULONG NonDelegatingRelease() override;

    const char* ObjectName() const { return m_pName; }

  protected:
    // A new object starts at zero; its creator takes the first reference.
    std::atomic<LONG> m_cRef{0};

  private:
    const char* m_pName;
};

}  // namespace vornak
