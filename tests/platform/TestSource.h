// A source filter for the base class tests: one output pin offering a configurable type and
// buffer request, counting its activations and noting the state of the filter downstream at
// each of them.
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
        peerStateAtActive = PeerState();
        return Failed(refuseActive) ? refuseActive : CBaseOutputPin::Active();
    }
    HRESULT Inactive() override {
        ++inactives;
        peerStateAtInactive = PeerState();
        return CBaseOutputPin::Inactive();
    }
    HRESULT Run(REFERENCE_TIME tStart) override {
        ++runs;
        lastStart = tStart;
        peerStateAtRun = PeerState();
        return S_OK;
    }
    IMemAllocator* Allocator() const { return m_pAllocator.Get(); }
    // The state of the filter this pin delivers into (stopped while unconnected): what a
    // streaming thread would find there at this moment.
    FILTER_STATE PeerState() const {
        FILTER_STATE state = State_Stopped;
        PIN_INFO info;
        if (m_Connected && Succeeded(m_Connected->QueryPinInfo(&info))) {
            info.pFilter->GetState(0, &state);
            info.pFilter->Release();
        }
        return state;
    }

    CMediaType offered{MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT};
    HRESULT refuseBuffers = S_OK;
    HRESULT refuseActive = S_OK;
    int actives = 0;
    int inactives = 0;
    int runs = 0;
    REFERENCE_TIME lastStart = 0;
    FILTER_STATE peerStateAtActive = State_Stopped;
    FILTER_STATE peerStateAtRun = State_Stopped;
    FILTER_STATE peerStateAtInactive = State_Stopped;
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
