// Connecting an output pin to an input pin through the base classes: type agreement,
// allocator negotiation, refusals that leave both pins unconnected, and delivery.
#include "CBasePin.h"

#include <gtest/gtest.h>

#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "TestSource.h"

namespace vornak {
namespace {

class CBasePinTest : public ::testing::Test {
  protected:
    CBasePinTest() : m_source(new test::TestSource()), m_sink(new test::SinkFilter()) {}
    ~CBasePinTest() override {
        m_source->Stop();
        m_sink->Stop();
        Out()->Disconnect();
        In()->Disconnect();
    }
    test::TestSourcePin* Out() const { return m_source->Pin(); }
    test::SinkPin* In() const { return m_sink->Pin(); }
    bool Unconnected() const {
        IPin* peer = nullptr;
        return Out()->ConnectedTo(&peer) == VFW_E_NOT_CONNECTED &&
               In()->ConnectedTo(&peer) == VFW_E_NOT_CONNECTED;
    }

    ComPtr<test::TestSource> m_source;
    ComPtr<test::SinkFilter> m_sink;
};

TEST_F(CBasePinTest, ConnectAgreesOnTheSourcesTypeAndTheSinksAllocator) {
    ASSERT_EQ(Out()->Connect(In(), nullptr), S_OK);
    IPin* peer = nullptr;
    ASSERT_EQ(In()->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, static_cast<IPin*>(Out()));
    peer->Release();
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(In()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    FreeMediaType(mt);

    ComPtr<IMemAllocator> sinkAllocator;
    ASSERT_EQ(In()->GetAllocator(sinkAllocator.Receive()), S_OK);
    EXPECT_EQ(sinkAllocator.Get(), Out()->Allocator());
    ALLOCATOR_PROPERTIES props;
    ASSERT_EQ(sinkAllocator->GetProperties(&props), S_OK);
    EXPECT_EQ(props.cBuffers, 2);
    EXPECT_EQ(props.cbBuffer, 1000);
    EXPECT_EQ(Out()->Connect(In(), nullptr), VFW_E_ALREADY_CONNECTED);
}

TEST_F(CBasePinTest, RefusedTypesLeaveBothPinsUnconnected) {
    Out()->offered = CMediaType(MEDIATYPE_Video);  // the sink takes streams only
    EXPECT_EQ(Out()->Connect(In(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_TRUE(Unconnected());

    CMediaType complete(MEDIATYPE_Video, MEDIATYPE_Video);
    complete.formattype = FORMAT_VideoInfo;
    EXPECT_EQ(Out()->Connect(In(), &complete), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_TRUE(Unconnected());

    test::TestSource other;  // output to output
    other.AddRef();
    EXPECT_EQ(Out()->Connect(other.Pin(), nullptr), VFW_E_INVALID_DIRECTION);
    EXPECT_TRUE(Unconnected());
}

TEST_F(CBasePinTest, AFailedBufferDecisionUndoesTheConnectionOnBothSides) {
    Out()->refuseBuffers = E_FAIL;
    EXPECT_EQ(Out()->Connect(In(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_TRUE(Unconnected());
}

TEST_F(CBasePinTest, ConnectionsChangeOnlyWhileStopped) {
    ASSERT_EQ(m_source->Pause(), S_OK);
    EXPECT_EQ(Out()->Connect(In(), nullptr), VFW_E_NOT_STOPPED);
    ASSERT_EQ(m_source->Stop(), S_OK);
    ASSERT_EQ(Out()->Connect(In(), nullptr), S_OK);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(In()->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(m_sink->Stop(), S_OK);
    EXPECT_EQ(In()->Disconnect(), S_OK);
    EXPECT_EQ(In()->Disconnect(), S_FALSE);
}

TEST_F(CBasePinTest, DeliversSamplesWhileTheSinkStreams) {
    ASSERT_EQ(Out()->Connect(In(), nullptr), S_OK);
    ASSERT_EQ(m_source->Pause(), S_OK);  // commits the allocator
    IMediaSample* sample = nullptr;
    ASSERT_EQ(Out()->GetDeliveryBuffer(&sample, nullptr, nullptr, 0), S_OK);
    std::uint8_t* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    data[0] = 0x47;
    data[1] = 0x11;
    sample->SetActualDataLength(2);

    EXPECT_EQ(Out()->Deliver(sample), VFW_E_WRONG_STATE);  // the sink is stopped
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(Out()->Deliver(sample), S_OK);
    EXPECT_EQ(Out()->DeliverBeginFlush(), S_OK);
    EXPECT_EQ(Out()->Deliver(sample), S_FALSE);
    EXPECT_EQ(Out()->DeliverEndFlush(), S_OK);
    EXPECT_EQ(Out()->DeliverEndOfStream(), S_OK);
    sample->Release();

    const auto samples = In()->Samples();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].data, (test::Bytes{0x47, 0x11}));
    EXPECT_EQ(In()->EndOfStreams(), 1);
}

TEST_F(CBasePinTest, DescribesItselfAndEnumeratesItsTypes) {
    PIN_INFO info;
    ASSERT_EQ(Out()->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.achName, "Out");
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(m_source.Get()));
    info.pFilter->Release();
    EXPECT_EQ(Out()->QueryAccept(&Out()->offered), S_OK);
    const CMediaType video(MEDIATYPE_Video);
    EXPECT_EQ(Out()->QueryAccept(&video), S_FALSE);

    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(Out()->EnumMediaTypes(types.Receive()), S_OK);
    AM_MEDIA_TYPE* mt[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(2, mt, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(mt[0]->subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    DeleteMediaType(mt[0]);
    EXPECT_EQ(Out()->EndOfStream(), E_UNEXPECTED);
}

}  // namespace
}  // namespace vornak
