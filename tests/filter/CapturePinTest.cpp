// The capture pin's connection contract: interface identities, ReceiveConnection, Connect,
// Disconnect, ConnectedTo, ConnectionMediaType, QueryAccept in any state, the allocator it
// refuses to offer, and a real output pin connecting to it.
#include "CapturePin.h"

#include <gtest/gtest.h>

#include "CaptureFilter.h"
#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderPin.h"

namespace vornak {
namespace {

class CapturePinTest : public ::testing::Test {
  protected:
    CapturePinTest() {
        m_types[0].majortype = MEDIATYPE_Stream;
        m_filter = ComPtr<CaptureFilter>(new CaptureFilter(m_types, 0));
        m_peer = ComPtr<test::SinkFilter>(new test::SinkFilter());
    }
    CapturePin* Pin() const { return m_filter->GetCapturePin(); }
    IPin* Peer() const { return m_peer->Pin(); }

    static CMediaType VideoType(int width, int height) {
        CMediaType type(MEDIATYPE_Video);
        VIDEOINFOHEADER info;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;
        type.SetFormat(reinterpret_cast<const std::uint8_t*>(&info), sizeof info);
        return type;
    }

    AM_MEDIA_TYPE m_types[1];
    ComPtr<test::SinkFilter> m_peer;
    ComPtr<CaptureFilter> m_filter;
};

TEST_F(CapturePinTest, AnswersPinAndSampleInterfacesWithTheirOwnPointers) {
    void* unknown = nullptr;
    void* pin = nullptr;
    void* memInput = nullptr;
    IPin* asPin = Pin();
    ASSERT_EQ(asPin->QueryInterface(IID_IUnknown, &unknown), S_OK);
    ASSERT_EQ(asPin->QueryInterface(IID_IPin, &pin), S_OK);
    ASSERT_EQ(asPin->QueryInterface(IID_IMemInputPin, &memInput), S_OK);
    EXPECT_EQ(unknown, pin);
    EXPECT_EQ(pin, static_cast<void*>(asPin));
    EXPECT_NE(memInput, pin);
    EXPECT_EQ(memInput, static_cast<void*>(static_cast<IMemInputPin*>(Pin())));
    // Asked through its sample face, it answers the same.
    void* again = nullptr;
    ASSERT_EQ(static_cast<IMemInputPin*>(memInput)->QueryInterface(IID_IPin, &again), S_OK);
    EXPECT_EQ(again, pin);
    for (int i = 0; i < 4; ++i) {
        asPin->Release();
    }
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(asPin->QueryInterface(IID_IBaseFilter, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST_F(CapturePinTest, ReceiveConnectionTakesAnyStreamTypeOnce) {
    const CMediaType video(MEDIATYPE_Video);
    EXPECT_EQ(Pin()->ReceiveConnection(Peer(), &video), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(Pin()->ReceiveConnection(nullptr, &video), E_POINTER);
    EXPECT_EQ(Pin()->ReceiveConnection(Peer(), nullptr), E_POINTER);

    const CMediaType anySubtype(MEDIATYPE_Stream, MEDIATYPE_Video);
    ASSERT_EQ(Pin()->ReceiveConnection(Peer(), &anySubtype), S_OK);
    const CMediaType transport(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_EQ(Pin()->ReceiveConnection(Peer(), &transport), VFW_E_ALREADY_CONNECTED);

    IPin* connected = nullptr;
    ASSERT_EQ(Pin()->ConnectedTo(&connected), S_OK);
    EXPECT_EQ(connected, Peer());
    connected->Release();
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(Pin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIATYPE_Video);
    FreeMediaType(mt);
    // The base pin never learns of it: the filter's states leave this pin alone.
    EXPECT_FALSE(Pin()->IsConnected());
}

TEST_F(CapturePinTest, DisconnectForgetsThePeerAndTheSubtype) {
    EXPECT_EQ(Pin()->Disconnect(), S_FALSE);
    const CMediaType transport(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    ASSERT_EQ(Pin()->ReceiveConnection(Peer(), &transport), S_OK);
    EXPECT_EQ(Pin()->Disconnect(), S_OK);
    EXPECT_EQ(Pin()->ConnectionType().subtype, GUID_NULL);
    EXPECT_EQ(Pin()->ConnectionType().majortype, MEDIATYPE_Stream);
    IPin* connected = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(Pin()->ConnectedTo(&connected), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(connected, nullptr);
    AM_MEDIA_TYPE mt;
    EXPECT_EQ(Pin()->ConnectionMediaType(&mt), VFW_E_NOT_CONNECTED);
    // The peer's reference went back: the pin can connect again.
    EXPECT_EQ(Pin()->ReceiveConnection(Peer(), &transport), S_OK);
    EXPECT_EQ(Pin()->Disconnect(), S_OK);
}

TEST_F(CapturePinTest, QueryAcceptChecksTheMajorTypeAndChangesTheConnectionEvenWhileRunning) {
    const CMediaType transport(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    const CMediaType other(MEDIATYPE_Stream, MEDIATYPE_Video);
    EXPECT_EQ(Pin()->QueryAccept(&other), S_OK);  // unconnected: nothing to change
    EXPECT_EQ(Pin()->ConnectionType().subtype, GUID_NULL);

    ASSERT_EQ(Pin()->ReceiveConnection(Peer(), &transport), S_OK);
    ASSERT_EQ(m_filter->Run(0), S_OK);
    EXPECT_EQ(Pin()->QueryAccept(&other), S_OK);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(Pin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIATYPE_Video);
    FreeMediaType(mt);

    const CMediaType video(MEDIATYPE_Video);
    EXPECT_EQ(Pin()->QueryAccept(&video), S_FALSE);
    EXPECT_EQ(Pin()->ConnectionType().subtype, MEDIATYPE_Video);  // unchanged by a refusal
    EXPECT_EQ(m_filter->Stop(), S_OK);
    EXPECT_EQ(Pin()->Disconnect(), S_OK);
}

TEST_F(CapturePinTest, VideoTypesNeedAPictureSize) {
    // This filter accepts video as its major type.
    m_types[0].majortype = MEDIATYPE_Video;
    ComPtr<CaptureFilter> videoFilter(new CaptureFilter(m_types, 0));
    CapturePin* pin = videoFilter->GetCapturePin();
    const CMediaType noWidth = VideoType(0, 1080);
    const CMediaType noHeight = VideoType(1440, 0);
    const CMediaType sized = VideoType(1440, 1080);
    const CMediaType noFormat(MEDIATYPE_Video);
    EXPECT_EQ(pin->QueryAccept(&noWidth), S_FALSE);
    EXPECT_EQ(pin->QueryAccept(&noHeight), S_FALSE);
    EXPECT_EQ(pin->QueryAccept(&sized), S_OK);
    EXPECT_EQ(pin->QueryAccept(&noFormat), S_OK);
    EXPECT_EQ(pin->ReceiveConnection(Peer(), &noWidth), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(pin->Connect(Peer(), &noHeight), S_FALSE);
    EXPECT_EQ(pin->Connect(Peer(), &sized), S_OK);
}

TEST_F(CapturePinTest, ConnectOnlyChecksTheTypeAndNeverConnects) {
    EXPECT_EQ(Pin()->Connect(Peer(), nullptr), S_OK);
    const CMediaType open;  // major and subtype left open
    const CMediaType stream(MEDIATYPE_Stream);
    const CMediaType withSubtype(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    const CMediaType video(MEDIATYPE_Video);
    EXPECT_EQ(Pin()->Connect(Peer(), &open), S_OK);
    EXPECT_EQ(Pin()->Connect(Peer(), &stream), S_OK);
    EXPECT_EQ(Pin()->Connect(Peer(), &withSubtype), S_FALSE);
    EXPECT_EQ(Pin()->Connect(Peer(), &video), S_FALSE);
    IPin* connected = nullptr;
    EXPECT_EQ(Pin()->ConnectedTo(&connected), VFW_E_NOT_CONNECTED);

    ASSERT_EQ(Pin()->ReceiveConnection(Peer(), &withSubtype), S_OK);
    EXPECT_EQ(Pin()->Connect(Peer(), nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(Pin()->Disconnect(), S_OK);
}

TEST_F(CapturePinTest, LeavesTheAllocatorToTheUpstreamPin) {
    IMemAllocator* allocator = reinterpret_cast<IMemAllocator*>(1);
    EXPECT_EQ(Pin()->GetAllocator(&allocator), VFW_E_NO_ALLOCATOR);
    EXPECT_EQ(allocator, nullptr);
    ALLOCATOR_PROPERTIES props;
    EXPECT_EQ(Pin()->GetAllocatorRequirements(&props), E_NOTIMPL);
    EXPECT_EQ(Pin()->ReceiveCanBlock(), S_FALSE);
    PIN_DIRECTION direction = PINDIR_OUTPUT;
    EXPECT_EQ(Pin()->QueryDirection(&direction), S_OK);
    EXPECT_EQ(direction, PINDIR_INPUT);

    // A real output pin therefore brings an allocator of its own, and the connection stands.
    ComPtr<VirtualCamcorderFilter> camcorder(new VirtualCamcorderFilter());
    ASSERT_EQ(camcorder->GetOutputPin()->Connect(Pin(), nullptr), S_OK);
    IPin* connected = nullptr;
    ASSERT_EQ(Pin()->ConnectedTo(&connected), S_OK);
    EXPECT_EQ(connected, static_cast<IPin*>(camcorder->GetOutputPin()));
    connected->Release();
    EXPECT_EQ(Pin()->ConnectionType().subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_EQ(camcorder->GetOutputPin()->Disconnect(), S_OK);
    EXPECT_EQ(Pin()->Disconnect(), S_OK);
}

}  // namespace
}  // namespace vornak
