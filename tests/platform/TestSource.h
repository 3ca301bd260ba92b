// A source filter for the base class tests: one output pin offering a configurable type and
// buffer request, counting its activations.
#pragma once

#include <memory>

#include "CBaseFilter.h"
#include "CBaseOutputPin.h"
#include "Guids.h"

namespace vornak::test {

class TestSource;

class TestSourcePin : public CBaseOutputPin {
  public:
    explicit TestSourcePin(CBaseFilter* filter)
        : CBaseOutputPin("TestSourcePin", filter, nullptr, "Out") {}

    HRESULT GetMediaType(int position, CMediaType* pmt) override {
        if (position != 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        *pmt = offered;
        return S_OK;
    }
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return pmt->majortype == offered.majortype ? S_OK : S_FALSE;
    }
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override {
        if (Failed(refuseBuffers)) {
            return refuseBuffers;
        }
        pRequest->cBuffers = 2;
        pRequest->cbBuffer = 1000;
        ALLOCATOR_PROPERTIES actual;
        return pAlloc->SetProperties(pRequest, &actual);
    }
    HRESULT Active() override {
        ++actives;
        return Failed(refuseActive) ? refuseActive : CBaseOutputPin::Active();
    }
    HRESULT Inactive() override {
        ++inactives;
        return CBaseOutputPin::Inactive();
    }
    HRESULT Run(REFERENCE_TIME tStart) override {
        ++runs;
        lastStart = tStart;
        return S_OK;
    }
    IMemAllocator* Allocator() const { return m_pAllocator.Get(); }

    CMediaType offered{MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT};
    HRESULT refuseBuffers = S_OK;
    HRESULT refuseActive = S_OK;
    int actives = 0;
    int inactives = 0;
    int runs = 0;
    REFERENCE_TIME lastStart = 0;
};

class TestSource : public CBaseFilter {
  public:
    TestSource()
        : CBaseFilter("TestSource", nullptr, GUID_NULL),
          m_pPin(std::make_unique<TestSourcePin>(this)) {}
    ~TestSource() override { m_pPin.reset(); }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pPin.get() : nullptr; }
    TestSourcePin* Pin() const { return m_pPin.get(); }

  private:
    std::unique_ptr<TestSourcePin> m_pPin;
};

}  // namespace vornak::test
