// A buffer lent out by a memory allocator. Releasing the last reference gives it back.
#pragma once

#include <atomic>
#include <cstdint>

#include "StreamInterfaces.h"

namespace vornak {

class CMediaSample final : public IMediaSample {
  public:
    // `buffer` belongs to `allocator`, which also owns this sample.
    CMediaSample(IMemAllocator* allocator, std::uint8_t* buffer, LONG size);
    ~CMediaSample() = default;
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    // At zero the sample goes back to its allocator.
    ULONG Release() override;

    HRESULT GetPointer(std::uint8_t** ppBuffer) override;
    LONG GetSize() override { return m_cbBuffer; }
    HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    HRESULT SetTime(const REFERENCE_TIME* pTimeStart, const REFERENCE_TIME* pTimeEnd) override;
    LONG GetActualDataLength() override { return m_lActual; }
    HRESULT SetActualDataLength(LONG length) override;
    HRESULT IsDiscontinuity() override { return m_bDiscontinuity ? S_OK : S_FALSE; }
    HRESULT SetDiscontinuity(bool discontinuity) override;

    // Called by the allocator as it lends the sample out: one reference, full length, no times,
    // no discontinuity.
    void Prepare();

  private:
    IMemAllocator* m_pAllocator;  // owns this sample
    std::uint8_t* m_pBuffer;
    LONG m_cbBuffer;
    LONG m_lActual;
    std::atomic<LONG> m_cRef{0};
    bool m_bHasTimes = false;
    bool m_bDiscontinuity = false;
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tEnd = 0;
};

}  // namespace vornak
