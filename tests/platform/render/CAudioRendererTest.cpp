#include "CAudioRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "Com.h"
#include "ComPtr.h"
#include "FilterRegistry.h"
#include "FilterTestSupport.h"
#include "GraphInterfaces.h"
#include "Guids.h"
#include "RenderTestSupport.h"
#include "TestSource.h"

namespace vornak {
namespace {

// A sound output that records what it is asked, with room for a set number of bytes per write.
// Its state is shared with the test, which keeps it after the renderer has gone.
struct PlaybackRecord {
    std::mutex lock;
    bool available = true;
    std::size_t room = SIZE_MAX;
    std::vector<WAVEFORMATEX> starts;
    int stops = 0;
    std::vector<std::uint8_t> played;
    float volume = 1;
    std::uint32_t losses = 0;
};

class FakePlayback final : public AudioPlayback {
  public:
    explicit FakePlayback(std::shared_ptr<PlaybackRecord> record) : m_record(std::move(record)) {}

    bool Supports(const WAVEFORMATEX&) override {
        std::lock_guard lock(m_record->lock);
        return m_record->available;
    }
    bool Start(const WAVEFORMATEX& format) override {
        std::lock_guard lock(m_record->lock);
        m_record->starts.push_back(format);
        return m_record->available;
    }
    std::size_t Write(const std::uint8_t* data, std::size_t size) override {
        std::lock_guard lock(m_record->lock);
        const std::size_t taken = std::min(size, m_record->room);
        m_record->played.insert(m_record->played.end(), data, data + taken);
        return taken;
    }
    void Stop() override {
        std::lock_guard lock(m_record->lock);
        ++m_record->stops;
    }
    void SetVolume(float volume) override {
        std::lock_guard lock(m_record->lock);
        m_record->volume = volume;
    }
    std::uint32_t Losses() const override {
        std::lock_guard lock(m_record->lock);
        return m_record->losses;
    }

  private:
    std::shared_ptr<PlaybackRecord> m_record;
};

class AudioRendererTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_renderer =
            ComPtr<CAudioRenderer>(new CAudioRenderer(std::make_unique<FakePlayback>(m_record)));
        m_source = ComPtr<test::TestSource>(new test::TestSource());
        m_source->Pin()->offered = test::PcmType(2, 48000);
    }
    void TearDown() override {
        m_renderer->Stop();
        m_source->Pin()->Disconnect();
        Input()->Disconnect();
    }
    IPin* Input() { return m_renderer->GetPin(0); }
    HRESULT Deliver(std::size_t bytes) {
        test::FakeSample sample(std::vector<std::uint8_t>(bytes, 0x5A));
        ComPtr<IMemInputPin> input;
        EXPECT_EQ(Input()->QueryInterface(IID_IMemInputPin, input.ReceiveVoid()), S_OK);
        return input->Receive(&sample);
    }

    std::shared_ptr<PlaybackRecord> m_record = std::make_shared<PlaybackRecord>();
    ComPtr<CAudioRenderer> m_renderer;
    ComPtr<test::TestSource> m_source;
};

TEST_F(AudioRendererTest, TakesSixteenBitPcmOnly) {
    const CMediaType stereo = test::PcmType(2, 48000);
    const CMediaType mono = test::PcmType(1, 32000);
    EXPECT_EQ(Input()->QueryAccept(&stereo), S_OK);
    EXPECT_EQ(Input()->QueryAccept(&mono), S_OK);

    const CMediaType eightBit = test::PcmType(2, 48000, 8);
    EXPECT_EQ(Input()->QueryAccept(&eightBit), S_FALSE);
    CMediaType mpeg = test::PcmType(2, 48000);
    mpeg.subtype = MEDIASUBTYPE_MPEG1Packet;
    EXPECT_EQ(Input()->QueryAccept(&mpeg), S_FALSE);
    CMediaType badAlign = test::PcmType(2, 48000);
    reinterpret_cast<WAVEFORMATEX*>(badAlign.pbFormat)->nBlockAlign = 2;
    EXPECT_EQ(Input()->QueryAccept(&badAlign), S_FALSE);
    CMediaType noFormat(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    noFormat.formattype = FORMAT_WaveFormatEx;
    EXPECT_EQ(Input()->QueryAccept(&noFormat), S_FALSE);
    const CMediaType video = test::IyuvType(64, 48);
    EXPECT_EQ(Input()->QueryAccept(&video), S_FALSE);
}

TEST_F(AudioRendererTest, WithoutASoundOutputEveryConnectionIsRefused) {
    m_record->available = false;
    const CMediaType stereo = test::PcmType(2, 48000);
    EXPECT_EQ(Input()->QueryAccept(&stereo), S_FALSE);
    EXPECT_TRUE(Failed(m_source->Pin()->Connect(Input(), nullptr)));
    EXPECT_FALSE(m_renderer->GetPin(0)->IsConnected());
}

TEST_F(AudioRendererTest, PlaysWhileRunningAndStopsWithTheGraph) {
    ASSERT_EQ(m_source->Pin()->Connect(Input(), nullptr), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    {
        std::lock_guard lock(m_record->lock);
        ASSERT_EQ(m_record->starts.size(), 1u);
        EXPECT_EQ(m_record->starts[0].nSamplesPerSec, 48000u);
        EXPECT_EQ(m_record->starts[0].nChannels, 2);
    }
    EXPECT_EQ(Deliver(4 * 480), S_OK);
    EXPECT_EQ(m_record->played.size(), 4u * 480u);

    // Paused: the sound is let go, not queued up behind the live one.
    ASSERT_EQ(m_renderer->Pause(), S_OK);
    EXPECT_EQ(Deliver(4 * 100), S_OK);
    EXPECT_EQ(m_record->played.size(), 4u * 480u);

    ASSERT_EQ(m_renderer->Stop(), S_OK);
    EXPECT_EQ(m_record->stops, 1);
    EXPECT_EQ(Deliver(4), VFW_E_WRONG_STATE);
    const CAudioRenderer::Counts counts = m_renderer->GetCounts();
    EXPECT_EQ(counts.receivedBytes, 4u * 580u);
    EXPECT_EQ(counts.playedBytes, 4u * 480u);
    EXPECT_EQ(counts.droppedBytes, 4u * 100u);
}

TEST_F(AudioRendererTest, SoundThatDoesNotFitIsDroppedAndCounted) {
    m_record->room = 1000;
    ASSERT_EQ(m_source->Pin()->Connect(Input(), nullptr), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    EXPECT_EQ(Deliver(4000), S_OK);
    EXPECT_EQ(m_renderer->GetCounts().playedBytes, 1000u);
    EXPECT_EQ(m_renderer->GetCounts().droppedBytes, 3000u);
}

// The graph renders a sound pin with a registered renderer: it must fail when there is no
// sound output (the capture page then turns the preview's sound off) and succeed otherwise.
// The capture page reaches the playback through the filter: volume in, lost outputs out.
TEST_F(AudioRendererTest, ThePreviewSoundFaceReachesThePlayback) {
    ComPtr<IPreviewSound> sound;
    ASSERT_EQ(m_renderer->QueryInterface(IID_IPreviewSound, sound.ReceiveVoid()), S_OK);
    EXPECT_EQ(sound->SetVolume(0.25F), S_OK);
    EXPECT_EQ(sound->OutputLosses(), 0u);
    {
        std::lock_guard lock(m_record->lock);
        EXPECT_FLOAT_EQ(m_record->volume, 0.25F);
        m_record->losses = 2;
    }
    EXPECT_EQ(sound->OutputLosses(), 2u);
}

TEST(AudioRendererInGraph, RenderingSoundFailsWithoutAnOutput) {
    auto record = std::make_shared<PlaybackRecord>();
    RegisterFilter(RegisteredFilter{CLSID_DSoundRender, CAudioRenderer::kFilterName,
                                    FilterRole::Renderer, [record](IBaseFilter** filter) {
                                        auto* renderer = new CAudioRenderer(
                                            std::make_unique<FakePlayback>(record));
                                        return HandOut(static_cast<IBaseFilter*>(renderer), filter);
                                    }});
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    for (const bool available : {false, true}) {
        record->available = available;
        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.ReceiveVoid()),
                  S_OK);
        ComPtr<test::TestSource> source(new test::TestSource());
        source->Pin()->offered = test::PcmType(2, 48000);
        ASSERT_EQ(graph->AddFilter(source.Get(), "Decoder"), S_OK);
        const HRESULT hr = graph->Render(source->Pin());
        if (available) {
            EXPECT_EQ(hr, S_OK);
            ComPtr<IBaseFilter> renderer;
            EXPECT_EQ(graph->FindFilterByName(CAudioRenderer::kFilterName, renderer.Receive()),
                      S_OK);
        } else {
            EXPECT_EQ(hr, VFW_E_CANNOT_RENDER);
            EXPECT_FALSE(source->Pin()->IsConnected());
        }
    }
    CoUninitialize();
    UnregisterFilter(CLSID_DSoundRender);
}

}  // namespace
}  // namespace vornak
