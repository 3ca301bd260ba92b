// Lends out a fixed set of equal buffers as media samples. GetBuffer waits for a free one;
// Decommit wakes every waiter with VFW_E_NOT_COMMITTED. Each sample out holds a reference on
// the allocator, so the memory outlives every sample.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "CMediaSample.h"
#include "CUnknown.h"
#include "StreamInterfaces.h"

namespace vornak {

class CMemAllocator : public CUnknown, public IMemAllocator {
  public:
    CMemAllocator();

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Only while decommitted with every sample back. The buffer size is rounded up so that
    // prefix and buffer fill whole alignment units; the alignment must be a power of two.
    HRESULT SetProperties(const ALLOCATOR_PROPERTIES* pRequest,
                          ALLOCATOR_PROPERTIES* pActual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
    HRESULT Commit() override;
    HRESULT Decommit() override;
    HRESULT GetBuffer(IMediaSample** ppBuffer, const REFERENCE_TIME* pStartTime,
                      const REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
    HRESULT ReleaseBuffer(IMediaSample* pBuffer) override;

  private:
    ~CMemAllocator() override;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    ALLOCATOR_PROPERTIES m_props;
    bool m_bCommitted = false;
    bool m_bAllocated = false;
    std::vector<std::unique_ptr<std::uint8_t[]>> m_memory;
    std::vector<std::unique_ptr<CMediaSample>> m_samples;
    std::vector<CMediaSample*> m_free;
};

}  // namespace vornak
