// Preview delivery: allocator negotiation, activation by the filter and by hand, the 257 and
// 33 chunk rules, cutting chunks to the sample buffer, and the delivery thread's lifetime
// (one thread at a time, and none left behind by the destructor).
#include "PreviewPin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "CMemAllocator.h"
#include "CaptureFilter.h"
#include "CapturePin.h"
#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"

namespace vornak {
namespace {

using test::Bytes;

// A chunk of `packets` transport packets, every byte `tag`.
std::unique_ptr<SampleChunk> Chunk(std::uint8_t tag, std::size_t packets = 1) {
    auto chunk = std::make_unique<SampleChunk>();
    chunk->cbData = static_cast<std::int32_t>(packets * 188);
    chunk->pData = std::make_unique<std::uint8_t[]>(packets * 188);
    std::fill_n(chunk->pData.get(), packets * 188, tag);
    return chunk;
}

// Grants less than asked: buffers of 1000 bytes.
class StingyAllocator final : public IMemAllocator {
  public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT SetProperties(const ALLOCATOR_PROPERTIES* request,
                          ALLOCATOR_PROPERTIES* actual) override {
        *actual = *request;
        actual->cbBuffer = 1000;
        return S_OK;
    }
    HRESULT GetProperties(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    HRESULT Commit() override { return E_NOTIMPL; }
    HRESULT Decommit() override { return E_NOTIMPL; }
    HRESULT GetBuffer(IMediaSample**, const REFERENCE_TIME*, const REFERENCE_TIME*,
                      DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT ReleaseBuffer(IMediaSample*) override { return E_NOTIMPL; }
};

class PreviewPinTest : public ::testing::Test {
  protected:
    PreviewPinTest() {
        m_types[0].majortype = MEDIATYPE_Stream;
        m_filter = ComPtr<CaptureFilter>(new CaptureFilter(m_types, 0));
        m_sink = ComPtr<test::SinkFilter>(new test::SinkFilter());
    }
    ~PreviewPinTest() override { Unplug(); }

    PreviewPin* Pin() const { return m_filter ? m_filter->GetPreviewPin() : nullptr; }
    test::SinkPin* Sink() const { return m_sink->Pin(); }

    // Preview branch connected and running; the filter activates the pin.
    void Plug() {
        ASSERT_EQ(Pin()->Connect(Sink(), nullptr), S_OK);
        ASSERT_EQ(m_sink->Run(0), S_OK);
        ASSERT_EQ(m_filter->Run(0), S_OK);
    }
    // Breaks the connection both ways, so that neither filter keeps the other alive.
    void Unplug() {
        Sink()->OpenGate();
        if (m_filter) {
            m_filter->Stop();
            Pin()->Disconnect();
        }
        m_sink->Stop();
        Sink()->Disconnect();
    }
    void Feed(const Bytes& sourcePackets) {
        test::FakeSample sample(sourcePackets);
        EXPECT_EQ(m_filter->GetCapturePin()->Receive(&sample), S_OK);
    }
    // Holds the delivery thread inside the sink with one chunk, so that chunks pile up.
    void HoldTheThread(std::uint8_t tag = 0xA0) {
        Sink()->CloseGate();
        const std::size_t before = Sink()->Arrivals();
        Pin()->QueueChunk(Chunk(tag));
        ASSERT_TRUE(Sink()->WaitForArrivals(before + 1));
    }
    std::vector<std::uint8_t> Tags() const {
        std::vector<std::uint8_t> tags;
        for (const auto& sample : Sink()->Samples()) {
            tags.push_back(sample.data.empty() ? 0 : sample.data.front());
        }
        return tags;
    }

    AM_MEDIA_TYPE m_types[1];
    ComPtr<test::SinkFilter> m_sink;
    ComPtr<CaptureFilter> m_filter;
};

TEST_F(PreviewPinTest, AsksForTenBuffersThatEachHoldADvFrame) {
    ASSERT_EQ(Pin()->Connect(Sink(), nullptr), S_OK);
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(Sink()->GetAllocator(allocator.Receive()), S_OK);
    ALLOCATOR_PROPERTIES props;
    ASSERT_EQ(allocator->GetProperties(&props), S_OK);
    EXPECT_EQ(props.cBuffers, 10);
    EXPECT_EQ(props.cbBuffer, 144000);

    AM_MEDIA_TYPE mt;
    ASSERT_EQ(Pin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.majortype, MEDIATYPE_Stream);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_EQ(mt.cbFormat, 0u);
    FreeMediaType(mt);
}

TEST_F(PreviewPinTest, RefusesAllocatorsThatGrantSmallerBuffers) {
    StingyAllocator stingy;
    ALLOCATOR_PROPERTIES request;
    EXPECT_EQ(Pin()->DecideBufferSize(&stingy, &request), E_FAIL);

    ComPtr<IMemAllocator> committed(new CMemAllocator());
    ASSERT_EQ(committed->SetProperties(&request, &request), S_OK);
    ASSERT_EQ(committed->Commit(), S_OK);
    EXPECT_EQ(Pin()->DecideBufferSize(committed.Get(), &request), VFW_E_ALREADY_COMMITTED);
}

TEST_F(PreviewPinTest, ActiveWithoutAConnectionOnlyResetsTheCounter) {
    for (int i = 0; i <= 257; ++i) {
        Pin()->QueueChunk(Chunk(1));
    }
    ASSERT_EQ(Pin()->Dropped(), 257u);
    EXPECT_EQ(Pin()->Active(), VFW_E_NO_ALLOCATOR);
    EXPECT_EQ(Pin()->Dropped(), 0u);
    EXPECT_EQ(Pin()->DeliveryThreads(), 0);
    // Preview stayed off in the capture pin: an idle pin still takes nothing in.
    Feed(test::SourcePackets(2));
    EXPECT_EQ(Pin()->QueuedChunks(), 1u);
}

TEST_F(PreviewPinTest, OverflowingTheQueueDiscardsTheWholeBacklog) {
    for (std::size_t i = 0; i < PreviewPin::kQueueLimit + 1; ++i) {
        Pin()->QueueChunk(Chunk(1));
    }
    EXPECT_EQ(Pin()->QueuedChunks(), 257u);  // 256 waiting took one more
    EXPECT_EQ(Pin()->Dropped(), 0u);
    Pin()->QueueChunk(Chunk(2));
    EXPECT_EQ(Pin()->QueuedChunks(), 1u);
    EXPECT_EQ(Pin()->Dropped(), 257u);
}

TEST_F(PreviewPinTest, ReceivedChunksReachTheSinkWhileActiveOnly) {
    Plug();
    const Bytes packets = test::SourcePackets(3);
    Feed(packets);
    ASSERT_TRUE(Sink()->WaitForArrivals(1));
    EXPECT_EQ(Sink()->Samples().front().data, test::TransportPackets(packets));

    ASSERT_EQ(m_filter->Stop(), S_OK);
    Feed(packets);
    EXPECT_EQ(Pin()->QueuedChunks(), 0u);
}

TEST_F(PreviewPinTest, ALiveRunAndThePreviewBothGetEveryChunk) {
    Plug();
    CapturePin* capture = m_filter->GetCapturePin();
    capture->StartCapture(nullptr);
    const Bytes packets = test::SourcePackets(4);
    Feed(packets);
    ASSERT_TRUE(Sink()->WaitForArrivals(1));
    EXPECT_EQ(Sink()->Samples().front().data, test::TransportPackets(packets));
    auto batch = capture->TakeChunks();
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(Bytes(batch->back()->pData.get(), batch->back()->pData.get() + 4 * 188),
              test::TransportPackets(packets));
}

TEST_F(PreviewPinTest, FallingBehindBy33ChunksSkipsToTheNewest) {
    Plug();
    HoldTheThread();
    for (std::uint8_t tag = 1; tag <= 33; ++tag) {
        Pin()->QueueChunk(Chunk(tag));
    }
    Sink()->OpenGate();
    ASSERT_TRUE(Sink()->WaitForArrivals(2));
    Pin()->QueueChunk(Chunk(0xB0));  // a later chunk still comes through
    ASSERT_TRUE(Sink()->WaitForArrivals(3));
    EXPECT_EQ(Tags(), (std::vector<std::uint8_t>{0xA0, 33, 0xB0}));
    EXPECT_EQ(Pin()->Dropped(), 32u);
}

TEST_F(PreviewPinTest, ThirtyTwoWaitingChunksAreAllDeliveredInOrder) {
    Plug();
    HoldTheThread();
    std::vector<std::uint8_t> expected{0xA0};
    for (std::uint8_t tag = 1; tag <= 32; ++tag) {
        Pin()->QueueChunk(Chunk(tag));
        expected.push_back(tag);
    }
    Sink()->OpenGate();
    ASSERT_TRUE(Sink()->WaitForArrivals(33));
    EXPECT_EQ(Tags(), expected);
    EXPECT_EQ(Pin()->Dropped(), 0u);
}

TEST_F(PreviewPinTest, CutsLongChunksToTheBufferAndMarksTheLengthOfShortOnes) {
    Plug();
    Pin()->QueueChunk(Chunk(7, 800));  // 150400 bytes
    Pin()->QueueChunk(Chunk(8, 2));
    ASSERT_TRUE(Sink()->WaitForArrivals(2));
    const auto samples = Sink()->Samples();
    ASSERT_EQ(samples[0].data.size(), 144000u);
    EXPECT_EQ(samples[0].bufferSize, 144000);
    EXPECT_EQ(samples[0].data, Bytes(144000, 7));
    EXPECT_EQ(samples[1].data, Bytes(2 * 188, 8));
}

TEST_F(PreviewPinTest, ActiveTwiceKeepsTheThreadAndItsQueue) {
    Plug();
    HoldTheThread();
    Pin()->QueueChunk(Chunk(1));
    Pin()->QueueChunk(Chunk(2));
    EXPECT_EQ(Pin()->Active(), S_OK);
    EXPECT_EQ(Pin()->DeliveryThreads(), 1);
    EXPECT_EQ(Pin()->QueuedChunks(), 2u);
    Sink()->OpenGate();
    // The second Active reset the event: the waiting chunks go out with the next arrival.
    Pin()->QueueChunk(Chunk(3));
    ASSERT_TRUE(Sink()->WaitForArrivals(4));
    EXPECT_EQ(Tags(), (std::vector<std::uint8_t>{0xA0, 1, 2, 3}));
}

TEST_F(PreviewPinTest, ActiveRightAfterInactiveLeavesOneThreadAndDropsOldChunks) {
    Plug();
    // The old thread may look at its run flag before or after the new Active: repeat, so that
    // a pin that does not wait for it is caught whichever way the race goes.
    for (int round = 0; round < 10; ++round) {
        HoldTheThread();
        const std::size_t delivered = Sink()->Completed();
        EXPECT_EQ(Pin()->Inactive(), S_OK);  // does not wait: the thread is still in the sink
        EXPECT_EQ(Sink()->Completed(), delivered);
        Pin()->QueueChunk(Chunk(1));  // left over from before

        auto reactivated = std::async(std::launch::async, [this] { return Pin()->Active(); });
        Sink()->OpenGate();
        ASSERT_EQ(reactivated.get(), S_OK);
        ASSERT_EQ(Pin()->DeliveryThreads(), 1) << "round " << round;
        EXPECT_EQ(Pin()->QueuedChunks(), 0u);
    }
    const std::size_t before = Sink()->Arrivals();
    Pin()->QueueChunk(Chunk(2));
    ASSERT_TRUE(Sink()->WaitForArrivals(before + 1));
    const auto tags = Tags();
    EXPECT_EQ(std::count(tags.begin(), tags.end(), 1), 0);  // leftovers never went out
    EXPECT_EQ(tags.back(), 2);
}

TEST_F(PreviewPinTest, DestroyingTheFilterWaitsForTheDeliveryThread) {
    Plug();
    HoldTheThread();
    // Break the sink's hold on the filter; the delivery thread stays inside the sink.
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(Sink()->Disconnect(), S_OK);
    auto destroyed = std::async(std::launch::async, [this] { m_filter.Reset(); });
    Sink()->OpenGate();
    destroyed.get();
    EXPECT_EQ(Sink()->Completed(), 1u);
}

}  // namespace
}  // namespace vornak
