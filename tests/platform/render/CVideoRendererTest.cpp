#include "CVideoRenderer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "RenderTestSupport.h"
#include "TestSource.h"

namespace vornak {
namespace {

using test::RecordingCanvas;

constexpr int kHdvWidth = 1440;
constexpr int kHdvHeight = 1088;

// Counts the renderer's requests to repaint; any thread.
class CountingWindow final : public IVideoClipWindow {
  public:
    void InvalidateVideo() override { ++invalidations; }
    std::atomic<int> invalidations{0};
};

// A renderer in windowless mode fed by a test source whose pin offers pictures of a given size.
class VideoRendererTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_renderer = ComPtr<CVideoRenderer>(new CVideoRenderer());
        m_source = ComPtr<test::TestSource>(new test::TestSource());
        ASSERT_EQ(m_renderer->SetRenderingMode(VMRMode_Windowless), S_OK);
        m_renderer->SetVideoClippingWindow(&m_window);
    }
    void TearDown() override {
        m_renderer->Stop();
        m_source->Pin()->Disconnect();
        m_renderer->GetPin(0)->Disconnect();
    }

    HRESULT Connect(int width, int height) {
        m_source->Pin()->offered = test::IyuvType(width, height);
        m_width = width;
        m_height = height;
        return m_source->Pin()->Connect(Input(), nullptr);
    }
    IPin* Input() { return m_renderer->GetPin(0); }
    HRESULT Deliver(const std::vector<std::uint8_t>& picture) {
        test::FakeSample sample(picture);
        ComPtr<IMemInputPin> input;
        EXPECT_EQ(Input()->QueryInterface(IID_IMemInputPin, input.ReceiveVoid()), S_OK);
        return input->Receive(&sample);
    }
    // Red on the left half, blue on the right; the lines outside the middle 1080 green.
    std::vector<std::uint8_t> SplitPicture() const {
        const int width = m_width;
        const int height = m_height;
        return test::IyuvPicture(width, height, [width, height](int x, int y) {
            if (y < 4 || y >= height - 4) {
                return test::kGreen;
            }
            return x < width / 2 ? test::kRed : test::kBlue;
        });
    }
    std::vector<std::uint8_t> Plain(test::Yuv colour) const {
        return test::IyuvPicture(m_width, m_height, [colour](int, int) { return colour; });
    }
    RecordingCanvas Repaint() {
        RecordingCanvas canvas;
        EXPECT_EQ(m_renderer->RepaintVideo(&m_window, &canvas), S_OK);
        return canvas;
    }
    void SetPosition(RECT source, RECT destination) {
        ASSERT_EQ(m_renderer->SetVideoPosition(&source, &destination), S_OK);
    }

    CountingWindow m_window;
    ComPtr<CVideoRenderer> m_renderer;
    ComPtr<test::TestSource> m_source;
    int m_width = 0;
    int m_height = 0;
};

TEST_F(VideoRendererTest, WindowlessModeIsTheOnlyModeAndComesFirst) {
    ComPtr<CVideoRenderer> fresh(new CVideoRenderer());
    ComPtr<IVMRWindowlessControl> control;
    EXPECT_EQ(fresh->QueryInterface(IID_IVMRWindowlessControl, control.ReceiveVoid()),
              E_NOINTERFACE);
    EXPECT_EQ(fresh->SetRenderingMode(VMRMode_Windowed), E_INVALIDARG);
    EXPECT_EQ(fresh->SetRenderingMode(4), E_INVALIDARG);
    EXPECT_EQ(fresh->QueryInterface(IID_IVMRWindowlessControl, control.ReceiveVoid()),
              E_NOINTERFACE);
    ASSERT_EQ(fresh->SetRenderingMode(VMRMode_Windowless), S_OK);
    DWORD mode = 0;
    EXPECT_EQ(fresh->GetRenderingMode(&mode), S_OK);
    EXPECT_EQ(mode, VMRMode_Windowless);
    ASSERT_EQ(fresh->QueryInterface(IID_IVMRWindowlessControl, control.ReceiveVoid()), S_OK);
    EXPECT_EQ(control.Get(), static_cast<IVMRWindowlessControl*>(fresh.Get()));
    CLSID clsid;
    EXPECT_EQ(fresh->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VideoMixingRenderer);
}

TEST_F(VideoRendererTest, TakesOnlyPlanarPicturesWithASize) {
    const CMediaType hdv = test::IyuvType(1440, 1088);
    EXPECT_EQ(Input()->QueryAccept(&hdv), S_OK);
    CMediaType wrongSubtype = test::IyuvType(1440, 1088);
    wrongSubtype.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    EXPECT_EQ(Input()->QueryAccept(&wrongSubtype), S_FALSE);
    CMediaType noFormat(MEDIATYPE_Video, MEDIASUBTYPE_IYUV);
    noFormat.formattype = FORMAT_VideoInfo;
    EXPECT_EQ(Input()->QueryAccept(&noFormat), S_FALSE);
    CMediaType noWidth = test::IyuvType(0, 1088);
    EXPECT_EQ(Input()->QueryAccept(&noWidth), S_FALSE);
    CMediaType audio = test::PcmType(2, 48000);
    EXPECT_EQ(Input()->QueryAccept(&audio), S_FALSE);
}

TEST_F(VideoRendererTest, NativeSizeIsTheConnectionsPictureSize) {
    LONG width = -1;
    LONG height = -1;
    EXPECT_EQ(m_renderer->GetNativeVideoSize(&width, &height, nullptr, nullptr),
              VFW_E_NOT_CONNECTED);
    ASSERT_EQ(Connect(kHdvWidth, kHdvHeight), S_OK);
    EXPECT_EQ(m_renderer->GetNativeVideoSize(&width, &height, nullptr, nullptr), S_OK);
    EXPECT_EQ(width, kHdvWidth);
    EXPECT_EQ(height, kHdvHeight);
    // Until told otherwise the whole picture is shown at its own size.
    RECT source;
    RECT destination;
    EXPECT_EQ(m_renderer->GetVideoPosition(&source, &destination), S_OK);
    EXPECT_EQ(source.right, kHdvWidth);
    EXPECT_EQ(destination.bottom, kHdvHeight);
    // Once connected the mode can no longer change; asking for the same mode is no change.
    EXPECT_EQ(m_renderer->SetRenderingMode(VMRMode_Windowless), S_OK);

    m_source->Pin()->Disconnect();
    Input()->Disconnect();
    EXPECT_EQ(m_renderer->GetNativeVideoSize(&width, &height, nullptr, nullptr),
              VFW_E_NOT_CONNECTED);
}

TEST_F(VideoRendererTest, PositionMustFitThePicture) {
    ASSERT_EQ(Connect(1280, 720), S_OK);
    const RECT beyond{0, 0, 1281, 720};
    const RECT empty{10, 10, 10, 20};
    const RECT inverted{0, 0, -5, 100};
    const RECT fine{0, 0, 640, 360};
    EXPECT_EQ(m_renderer->SetVideoPosition(&beyond, &fine), E_INVALIDARG);
    EXPECT_EQ(m_renderer->SetVideoPosition(&empty, &fine), E_INVALIDARG);
    EXPECT_EQ(m_renderer->SetVideoPosition(&fine, &inverted), E_INVALIDARG);
    EXPECT_EQ(m_renderer->SetVideoPosition(nullptr, &fine), S_OK);
    RECT source;
    RECT destination;
    m_renderer->GetVideoPosition(&source, &destination);
    EXPECT_EQ(source.right, 1280);  // kept
    EXPECT_EQ(destination.right, 640);
}

TEST_F(VideoRendererTest, BlackBeforeAnyPicture) {
    ASSERT_EQ(Connect(kHdvWidth, kHdvHeight), S_OK);
    SetPosition({0, 4, kHdvWidth, kHdvHeight - 4}, {0, 0, 480, 270});
    const RecordingCanvas canvas = Repaint();
    EXPECT_TRUE(canvas.drawings.empty());
    ASSERT_EQ(canvas.blacks.size(), 1u);
    EXPECT_EQ(canvas.blacks[0].right, 480);
    EXPECT_EQ(canvas.blacks[0].bottom, 270);
    EXPECT_EQ(m_renderer->RepaintVideo(&m_window, nullptr), E_POINTER);
}

TEST_F(VideoRendererTest, PictureIsCroppedAndScaledToTheDestination) {
    ASSERT_EQ(Connect(kHdvWidth, kHdvHeight), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    SetPosition({0, 4, kHdvWidth, kHdvHeight - 4}, {10, 20, 490, 290});
    const int before = m_window.invalidations;
    ASSERT_EQ(Deliver(SplitPicture()), S_OK);
    EXPECT_GT(m_window.invalidations, before);

    const RecordingCanvas canvas = Repaint();
    ASSERT_EQ(canvas.drawings.size(), 1u);
    const RecordingCanvas::Drawing& d = canvas.drawings[0];
    EXPECT_EQ(d.width, 480);
    EXPECT_EQ(d.height, 270);
    EXPECT_EQ(d.x, 10);
    EXPECT_EQ(d.y, 20);
    // The green lines above and below the 1080 stay out of the picture, edges included.
    for (int x : {0, 100, 239, 240, 400, 479}) {
        for (int y : {0, 1, 135, 268, 269}) {
            const test::Rgb c = d.At(x, y);
            EXPECT_FALSE(test::IsGreenish(c)) << x << "," << y;
            if (x < 236) {
                EXPECT_TRUE(test::IsReddish(c)) << x << "," << y;
            } else if (x > 243) {
                EXPECT_TRUE(test::IsBluish(c)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(m_renderer->LastDrawnPicture().width, 480);
    const CVideoRenderer::Counts counts = m_renderer->GetCounts();
    EXPECT_EQ(counts.received, 1u);
    EXPECT_EQ(counts.drawn, 1u);
    EXPECT_EQ(counts.late, 0u);
}

TEST_F(VideoRendererTest, WholePictureShownWhenNotCropped) {
    ASSERT_EQ(Connect(kHdvWidth, kHdvHeight), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    SetPosition({0, 0, kHdvWidth, kHdvHeight}, {0, 0, 480, 272});
    ASSERT_EQ(Deliver(SplitPicture()), S_OK);
    const RecordingCanvas canvas = Repaint();
    ASSERT_EQ(canvas.drawings.size(), 1u);
    EXPECT_TRUE(test::IsGreenish(canvas.drawings[0].At(100, 0)));
    EXPECT_TRUE(test::IsGreenish(canvas.drawings[0].At(400, 271)));
}

TEST_F(VideoRendererTest, NewPositionRescalesTheLastPicture) {
    ASSERT_EQ(Connect(kHdvWidth, kHdvHeight), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    SetPosition({0, 4, kHdvWidth, kHdvHeight - 4}, {0, 0, 480, 270});
    ASSERT_EQ(Deliver(SplitPicture()), S_OK);
    Repaint();

    // The window grew while no new picture came: the same picture at the new size.
    SetPosition({0, 4, kHdvWidth, kHdvHeight - 4}, {0, 0, 960, 540});
    const RecordingCanvas canvas = Repaint();
    ASSERT_EQ(canvas.drawings.size(), 1u);
    const RecordingCanvas::Drawing& d = canvas.drawings[0];
    EXPECT_EQ(d.width, 960);
    EXPECT_EQ(d.height, 540);
    EXPECT_TRUE(test::IsReddish(d.At(10, 0)));
    EXPECT_TRUE(test::IsBluish(d.At(950, 539)));
}

TEST_F(VideoRendererTest, NewerPictureReplacesOneNotYetPainted) {
    ASSERT_EQ(Connect(64, 48), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    SetPosition({0, 0, 64, 48}, {0, 0, 32, 24});
    ASSERT_EQ(Deliver(Plain(test::kRed)), S_OK);
    ASSERT_EQ(Deliver(Plain(test::kGreen)), S_OK);
    ASSERT_EQ(Deliver(Plain(test::kBlue)), S_OK);
    const RecordingCanvas canvas = Repaint();
    ASSERT_EQ(canvas.drawings.size(), 1u);
    EXPECT_TRUE(test::IsBluish(canvas.drawings[0].At(16, 12)));
    CVideoRenderer::Counts counts = m_renderer->GetCounts();
    EXPECT_EQ(counts.received, 3u);
    EXPECT_EQ(counts.late, 2u);
    EXPECT_EQ(counts.drawn, 1u);

    // A paint with nothing new shows the same picture again without counting it twice.
    const RecordingCanvas again = Repaint();
    ASSERT_EQ(again.drawings.size(), 1u);
    EXPECT_TRUE(test::IsBluish(again.drawings[0].At(16, 12)));
    EXPECT_EQ(m_renderer->GetCounts().drawn, 1u);
}

TEST_F(VideoRendererTest, ShortSampleIsRefusedAndCounted) {
    ASSERT_EQ(Connect(64, 48), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    std::vector<std::uint8_t> picture = Plain(test::kRed);
    picture.pop_back();
    EXPECT_EQ(Deliver(picture), E_INVALIDARG);
    EXPECT_EQ(m_renderer->GetCounts().refused, 1u);
    EXPECT_EQ(m_renderer->GetCounts().received, 0u);
    EXPECT_TRUE(Repaint().drawings.empty());
}

TEST_F(VideoRendererTest, ForgottenWindowIsNotCalled) {
    ASSERT_EQ(Connect(64, 48), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    m_renderer->SetVideoClippingWindow(nullptr);
    const int before = m_window.invalidations;
    ASSERT_EQ(Deliver(Plain(test::kRed)), S_OK);
    EXPECT_EQ(m_renderer->DisplayModeChanged(), S_OK);
    EXPECT_EQ(m_window.invalidations, before);
    EXPECT_EQ(m_renderer->GetCounts().displayChanges, 1u);
}

TEST_F(VideoRendererTest, PicturesArriveWhileTheWindowPaints) {
    ASSERT_EQ(Connect(160, 120), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    SetPosition({0, 0, 160, 120}, {0, 0, 80, 60});
    constexpr int kPictures = 200;
    std::atomic<bool> done{false};
    // The pictures start once the window has painted: on a loaded machine they could all have
    // come before the first paint, and then nothing would overlap.
    std::atomic<bool> painted{false};
    std::thread stream([&] {
        while (!painted) {
            std::this_thread::yield();
        }
        const std::vector<std::uint8_t> red = Plain(test::kRed);
        const std::vector<std::uint8_t> blue = Plain(test::kBlue);
        for (int i = 0; i < kPictures; ++i) {
            EXPECT_EQ(Deliver(i % 2 == 0 ? red : blue), S_OK);
        }
        done = true;
    });
    do {
        const RecordingCanvas canvas = Repaint();
        for (const RecordingCanvas::Drawing& d : canvas.drawings) {
            // Never half of one picture and half of another.
            const bool red = test::IsReddish(d.At(0, 0));
            EXPECT_TRUE(red || test::IsBluish(d.At(0, 0)));
            EXPECT_EQ(red, test::IsReddish(d.At(79, 59)));
        }
        painted = true;
    } while (!done);
    stream.join();
    Repaint();
    const CVideoRenderer::Counts counts = m_renderer->GetCounts();
    EXPECT_EQ(counts.received, static_cast<std::uint64_t>(kPictures));
    // Every picture was either painted or replaced by a newer one.
    EXPECT_EQ(counts.drawn + counts.late, counts.received);
    EXPECT_GE(counts.drawn, 1u);
}

}  // namespace
}  // namespace vornak
