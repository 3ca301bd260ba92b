// The capture filter as the graph sees it: interface identities, its two pins, reference
// counting shared with the pins, and activation of the preview pin by the filter's state.
#include "CaptureFilter.h"

#include <gtest/gtest.h>

#include "CapturePin.h"
#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "PreviewPin.h"

namespace vornak {
namespace {

class CaptureFilterTest : public ::testing::Test {
  protected:
    CaptureFilterTest() {
        m_types[0].majortype = MEDIATYPE_Stream;
        m_filter = ComPtr<CaptureFilter>(new CaptureFilter(m_types, 0));
    }

    AM_MEDIA_TYPE m_types[1];
    ComPtr<CaptureFilter> m_filter;
};

void* Query(IUnknown* object, const IID& iid, HRESULT* result = nullptr) {
    void* out = reinterpret_cast<void*>(1);
    const HRESULT hr = object->QueryInterface(iid, &out);
    if (result != nullptr) {
        *result = hr;
    }
    if (Succeeded(hr)) {
        static_cast<IUnknown*>(static_cast<IBaseFilter*>(out))->Release();
    }
    return out;
}

TEST_F(CaptureFilterTest, AnswersTheFilterInterfacesWithOnePointerAndNothingElse) {
    IBaseFilter* filter = m_filter.Get();
    void* asUnknown = Query(filter, IID_IUnknown);
    EXPECT_EQ(asUnknown, static_cast<void*>(filter));
    EXPECT_EQ(Query(filter, IID_IPersist), asUnknown);
    EXPECT_EQ(Query(filter, IID_IMediaFilter), asUnknown);
    EXPECT_EQ(Query(filter, IID_IBaseFilter), asUnknown);

    HRESULT hr = S_OK;
    EXPECT_EQ(Query(filter, IID_IAMovieSetup, &hr), nullptr);
    EXPECT_EQ(hr, E_NOINTERFACE);
    EXPECT_EQ(Query(filter, IID_IPin, &hr), nullptr);
    EXPECT_EQ(hr, E_NOINTERFACE);
    EXPECT_EQ(filter->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(CaptureFilterTest, HasThePreviewPinFirstAndTheCapturePinSecond) {
    EXPECT_EQ(m_filter->GetPinCount(), 2);
    EXPECT_EQ(m_filter->GetPin(0), m_filter->GetPreviewPin());
    EXPECT_EQ(m_filter->GetPin(1), m_filter->GetCapturePin());
    EXPECT_EQ(m_filter->GetPin(2), nullptr);
    EXPECT_EQ(m_filter->GetPin(-1), nullptr);

    PIN_INFO info;
    ASSERT_EQ(m_filter->GetPin(0)->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.achName, "PreviewPin");
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(m_filter.Get()));
    info.pFilter->Release();

    ASSERT_EQ(m_filter->GetPin(1)->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.achName, "~CapturePin");
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    info.pFilter->Release();
    std::string id;
    EXPECT_EQ(m_filter->GetPin(1)->QueryId(&id), S_OK);
    EXPECT_EQ(id, "~CapturePin");
}

TEST_F(CaptureFilterTest, PinsCountTheirReferencesOnTheFilter) {
    const ULONG before = m_filter->AddRef();
    IPin* pin = m_filter->GetCapturePin();
    EXPECT_EQ(pin->AddRef(), before + 1);
    EXPECT_EQ(m_filter->Release(), before);
    EXPECT_EQ(pin->Release(), before - 1);
}

TEST_F(CaptureFilterTest, PauseActivatesTheConnectedPreviewPinAndStopDeactivatesIt) {
    // Unconnected: the state machine touches no pin and succeeds.
    EXPECT_EQ(m_filter->Pause(), S_OK);
    EXPECT_EQ(m_filter->GetPreviewPin()->DeliveryThreads(), 0);
    EXPECT_EQ(m_filter->Stop(), S_OK);

    ComPtr<test::SinkFilter> sink(new test::SinkFilter());
    ASSERT_EQ(m_filter->GetPreviewPin()->Connect(sink->Pin(), nullptr), S_OK);
    EXPECT_EQ(m_filter->Pause(), S_OK);
    EXPECT_EQ(m_filter->GetPreviewPin()->DeliveryThreads(), 1);
    EXPECT_EQ(m_filter->Run(0), S_OK);
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(m_filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ(m_filter->Stop(), S_OK);
    // The thread was told to end; the next activation waits for it.
    EXPECT_EQ(m_filter->Pause(), S_OK);
    EXPECT_EQ(m_filter->GetPreviewPin()->DeliveryThreads(), 1);
    EXPECT_EQ(m_filter->Stop(), S_OK);
    m_filter->GetPreviewPin()->Disconnect();
    sink->Pin()->Disconnect();
}

}  // namespace
}  // namespace vornak
