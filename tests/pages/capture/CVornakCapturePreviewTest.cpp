// The capturing page's preview with the virtual camcorder playing a tape that decodes: the
// renderer's picture in the preview window, the decoded sound, and switching the preview off
// and on while a capture goes on.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CBaseFilter.h"
#include "CBaseInputPin.h"
#include "CPreviewFrame.h"
#include "CVideoRenderer.h"
#include "CVornakCapture.h"
#include "CaptureFilter.h"
#include "CapturePageProbe.h"
#include "DatePackInserter.h"
#include "FakeCamcorder.h"
#include "FilterRegistry.h"
#include "Guids.h"
#include "MediaFormats.h"
#include "PreviewDecoders.h"
#include "PreviewPin.h"
#include "PreviewRenderers.h"
#include "ProcessEventsUntil.h"
#include "RecordingMessages.h"
#include "TestSupport.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderSource.h"

namespace vornak {
namespace {

using namespace std::chrono_literals;

constexpr int kToneHz = 1000;
constexpr int kClipSeconds = 4;
constexpr auto kSafetyLimit = 30s;

// Left half pure red, right half pure blue, with a 1 kHz tone: colours that can be checked in
// the right places after decoding and scaling.
bool MakeClip(const std::string& path) {
    const std::string command =
        "ffmpeg -loglevel error -f lavfi -i "
        "'color=c=red:s=720x1080:r=25[l];color=c=blue:s=720x1080:r=25[r];[l][r]hstack' "
        "-f lavfi -i sine=frequency=" +
        std::to_string(kToneHz) + ":sample_rate=48000 -t " + std::to_string(kClipSeconds) +
        " -c:v mpeg2video -b:v 25M -c:a mp2 -b:a 384k -ac 2 -mpegts_pmt_start_pid 0x100 "
        "-streamid 0:0x810 -streamid 1:0x814 -f mpegts '" +
        path + "'";
    return std::system(command.c_str()) == 0;
}

bool FfmpegAvailable() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// Takes the place of the audio renderer, so that the decoded sound can be checked on a machine
// without a sound card.
class PcmSink;

class PcmSinkPin : public CBaseInputPin {
  public:
    explicit PcmSinkPin(CBaseFilter* filter)
        : CBaseInputPin("PcmSinkPin", filter, nullptr, "Audio Input") {}
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return !refuse && pmt->majortype == MEDIATYPE_Audio && pmt->subtype == MEDIASUBTYPE_PCM
                   ? S_OK
                   : S_FALSE;
    }
    // As a machine without a sound output: nothing is taken.
    bool refuse = false;
    HRESULT Receive(IMediaSample* sample) override {
        const HRESULT hr = CBaseInputPin::Receive(sample);
        if (hr != S_OK) {
            return hr;
        }
        std::uint8_t* data = nullptr;
        sample->GetPointer(&data);
        const auto bytes = static_cast<std::size_t>(sample->GetActualDataLength());
        std::lock_guard lock(m_mutex);
        const std::size_t at = m_samples.size();
        m_samples.resize(at + bytes / sizeof(std::int16_t));
        std::memcpy(m_samples.data() + at, data, bytes - bytes % sizeof(std::int16_t));
        return S_OK;
    }
    std::vector<std::int16_t> Samples() const {
        std::lock_guard lock(m_mutex);
        return m_samples;
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<std::int16_t> m_samples;  // interleaved stereo
};

class PcmSink : public CBaseFilter {
  public:
    PcmSink() : CBaseFilter("PcmSink", nullptr, GUID_NULL), m_pin(this) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    PcmSinkPin& Pin() { return m_pin; }

  private:
    PcmSinkPin m_pin;
};

// The tone's frequency from the left channel's upward zero crossings.
double DominantFrequency(const std::vector<std::int16_t>& stereo, int rate) {
    int crossings = 0;
    for (std::size_t i = 2; i < stereo.size(); i += 2) {
        if (stereo[i - 2] < 0 && stereo[i] >= 0) {
            ++crossings;
        }
    }
    const double seconds = static_cast<double>(stereo.size() / 2) / rate;
    return seconds > 0 ? crossings / seconds : 0;
}

class CVornakCapturePreview : public ::testing::Test {
  protected:
    // What stands at the end of the sound's path.
    enum class Sound { Played, NoOutput, NoDecoder };

    void SetUp() override {
        if (!FfmpegAvailable()) {
            GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape to preview";
        }
        ASSERT_TRUE(MakeClip(m_dir.File("clip.ts")));
        // A camcorder's tape carries the recording date of every picture group.
        tape::DateInsertOptions dates;
        dates.start.year = 2008;
        tape::DatePackInserter inserter(dates);
        ASSERT_TRUE(inserter.InsertFile(m_dir.File("clip.ts"), m_dir.File("tape.m2t")))
            << inserter.Error();
        ASSERT_GT(inserter.DatePacks(), 0u);
        RegisterPreviewDecoders();
        RegisterPreviewRenderers();
        m_pcm = ComPtr<PcmSink>(new PcmSink());
        m_pcm->Pin().refuse = m_sound == Sound::NoOutput;
        if (m_sound == Sound::NoDecoder) {
            UnregisterFilter(CLSID_VornakMpegAudioDecoder);
        }
        PcmSink* pcm = m_pcm.Get();
        RegisterFilter({CLSID_DSoundRender, "Default DirectSound Device", FilterRole::Renderer,
                        [pcm](IBaseFilter** filter) {
                            return HandOut(static_cast<IBaseFilter*>(pcm), filter);
                        }});

        VirtualCamcorderSource::Settings settings;
        settings.tapePath = m_dir.File("tape.m2t");
        settings.speed = 2;
        m_sources =
            std::make_unique<test::ScopedDeviceSources>(std::vector<std::shared_ptr<IDeviceSource>>{
                std::make_shared<VirtualCamcorderSource>(settings)});
        m_settings = {{"capture_preview", m_bPreviewOn ? "1" : "0"},
                      {"capture_scene_split", "0"},
                      {"capture_file_name", "capture"},
                      {"capture_output_dir", m_dir.Path()}};
        m_page = std::make_unique<CVornakCapture>();
        m_page->SetSettings(&m_settings);
        m_page->LoadPageSettings();
        m_page->OnSetActive();
        m_page->OnTimer();
        ASSERT_TRUE(m_page->CamcorderPresent());
    }
    void TearDown() override {
        m_page.reset();
        UnregisterFilter(CLSID_DSoundRender);
        RegisterPreviewDecoders();
    }
    std::string Log() const { return test::PageLog(*m_page); }
    CVideoRenderer* Renderer() const { return test::PageRenderer(*m_page); }
    VirtualCamcorderFilter* Camcorder() const { return test::PageCamcorder(*m_page); }

    Sound m_sound = Sound::Played;
    bool m_bPreviewOn = true;  // "Preview" as the page starts
    test::TempDir m_dir;
    test::RecordingMessages m_messages;
    ComPtr<PcmSink> m_pcm;
    std::unique_ptr<test::ScopedDeviceSources> m_sources;
    SettingsMap m_settings;
    std::unique_ptr<CVornakCapture> m_page;
};

TEST_F(CVornakCapturePreview, ShowsTheCamcordersPictureAndDecodesItsSound) {
    ASSERT_TRUE(m_page->Session().PreviewOk());
    CPreviewFrame* frame = m_page->PreviewFrame();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->size(), QSize(482, 272)) << "1/16, the default frame size";
    IVMRWindowlessControl* windowless = m_page->Session().Windowless();
    ASSERT_NE(windowless, nullptr);
    EXPECT_EQ(frame->Windowless(), windowless);
    LONG width = 0;
    LONG height = 0;
    ASSERT_EQ(windowless->GetNativeVideoSize(&width, &height, nullptr, nullptr), S_OK);
    EXPECT_EQ(width, 1440);
    EXPECT_EQ(height, 1088);
    RECT source;
    RECT destination;
    ASSERT_EQ(windowless->GetVideoPosition(&source, &destination), S_OK);
    EXPECT_EQ((std::vector<LONG>{source.left, source.top, source.right, source.bottom}),
              (std::vector<LONG>{0, 4, 1440, 1084}));
    EXPECT_EQ((std::vector<LONG>{destination.right, destination.bottom}),
              (std::vector<LONG>{480, 270}));

    m_page->OnPlay();
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return Renderer()->GetCounts().received >= 10; }));
    const QImage shown = frame->grab().toImage();
    const BgraPicture& drawn = Renderer()->LastDrawnPicture();
    ASSERT_EQ(drawn.width, 480);
    ASSERT_EQ(drawn.height, 270);
    // Inside the border: left quarter red, right quarter blue, nowhere black.
    const QColor left = shown.pixelColor(shown.width() / 4, shown.height() / 2);
    const QColor right = shown.pixelColor(3 * shown.width() / 4, shown.height() / 2);
    EXPECT_GT(left.red(), 200) << left.name().toStdString();
    EXPECT_LT(left.blue(), 60) << left.name().toStdString();
    EXPECT_GT(right.blue(), 200) << right.name().toStdString();
    EXPECT_LT(right.red(), 60) << right.name().toStdString();

    ASSERT_TRUE(
        test::ProcessEventsUntil([&] { return m_pcm->Pin().Samples().size() >= 2 * 48000 / 2; }));
    EXPECT_NEAR(DominantFrequency(m_pcm->Pin().Samples(), 48000), kToneHz, kToneHz * 0.03);
}

TEST_F(CVornakCapturePreview, SwitchingThePreviewOffAndOnKeepsTheCaptureGoing) {
    IFilterGraph* graph = m_page->Session().Graph();
    m_page->OnRecord();
    ASSERT_TRUE(m_page->Session().InCapture())
        << (m_messages.boxes.empty() ? "" : m_messages.boxes[0].text.toStdString());
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return Renderer()->GetCounts().received >= 3; }));

    auto* preview = qobject_cast<QCheckBox*>(m_page->control(CVornakCapture::kIdPreview));
    preview->click();
    EXPECT_FALSE(m_page->PreviewFrame()->isVisible());
    EXPECT_FALSE(m_page->Session().PreviewRunning());
    const auto sentBefore = Camcorder()->PacketsSent();
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return Camcorder()->PacketsSent() > sentBefore; }));
    const auto receivedOff = Renderer()->GetCounts().received;

    preview->click();
    EXPECT_TRUE(m_page->PreviewFrame()->isVisible());
    EXPECT_EQ(m_page->Session().Graph(), graph) << "the graph is not built again";
    ASSERT_TRUE(test::ProcessEventsUntil(
        [&] { return Renderer()->GetCounts().received > receivedOff + 2; }));

    ASSERT_TRUE(Camcorder()->WaitForEndOfTape(kSafetyLimit));
    m_page->OnStop();
    EXPECT_FALSE(m_page->Session().InCapture());
    // Every packet of the tape reached the capture file, preview or not.
    EXPECT_TRUE(test::ReadAll(m_dir.File("capture.m2t")) == test::ReadAll(m_dir.File("tape.m2t")));
}

TEST_F(CVornakCapturePreview, OnlyAPlaceTheUserChoseIsKept) {
    CPreviewFrame* frame = m_page->PreviewFrame();
    ASSERT_TRUE(frame->isVisible());
    // A tool window of the page's window, so that a click there cannot hide it.
    EXPECT_EQ(frame->parentWidget(), m_page->window());
    EXPECT_EQ(frame->windowType(), Qt::Tool);

    // Opened beside the window: a place worked out afresh next time, not kept.
    SettingsMap written;
    m_page->SetSettings(&written);
    m_page->SavePageSettings();
    EXPECT_EQ(written.count("capture_preview_x"), 0u);
    EXPECT_EQ(written.count("capture_preview_y"), 0u);

    // Dragged by the user: kept.
    frame->Move(frame->X() - 20, frame->Y());
    m_page->SavePageSettings();
    EXPECT_EQ(written["capture_preview_x"], std::to_string(frame->X()));
}

}  // namespace
}  // namespace vornak

namespace vornak {
namespace {

TEST_F(CVornakCapturePreview, FrameSizesAndTheSlowPreviewWarning) {
    ASSERT_TRUE(m_page->Session().PreviewOk());
    auto* sizes = qobject_cast<QComboBox*>(m_page->control(CVornakCapture::kIdFrameSize));
    const QSize expected[] = {{1922, 1082}, {962, 542}, {482, 272}, {242, 137}};
    // Sizes larger than the screen are fitted to it.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (int choice = 0; choice < 4; ++choice) {
        sizes->setCurrentIndex(choice);
        const QSize size = m_page->PreviewFrame()->size();
        EXPECT_EQ(size, CPreviewFrame::FitSize(expected[choice], area.size()))
            << sizes->currentText().toStdString();
        EXPECT_TRUE(area.contains(m_page->PreviewFrame()->geometry()))
            << sizes->currentText().toStdString();
    }

    // The warning comes when more than ten chunks were skipped since the last one; the
    // difference is taken in 32 bits, as the count wraps.
    CaptureSession& session = m_page->Session();
    const std::uint32_t dropped = session.Sink()->GetPreviewPin()->Dropped();
    const std::string warning =
        "WARNING: Your system may be not fast enough to preview video during capturing.";
    session.m_nPreviewBaseline = dropped - 10;
    session.CheckPreviewLoad();
    EXPECT_FALSE(session.m_bSlowWarned);
    session.m_nPreviewBaseline = dropped - 11;
    session.CheckPreviewLoad();
    EXPECT_TRUE(session.m_bSlowWarned);
    EXPECT_EQ(session.m_nPreviewBaseline, dropped);
    m_page->FlushLog();
    const QString log =
        qobject_cast<QPlainTextEdit*>(m_page->control(CPageWithLog::kIdLogBox))->toPlainText();
    EXPECT_EQ(log.count(QString::fromStdString(warning)), 1);

    // Switching the preview off and on again starts the pin afresh, warning state and all.
    auto* preview = qobject_cast<QCheckBox*>(m_page->control(CVornakCapture::kIdPreview));
    preview->click();
    preview->click();
    EXPECT_FALSE(session.m_bSlowWarned);
    EXPECT_EQ(session.m_nPreviewBaseline, 0u);
}

// Without a sound the preview still shows the picture; only a missing decoder is an error.
class CVornakCapturePreviewSound : public CVornakCapturePreview,
                                   public ::testing::WithParamInterface<bool> {
  protected:
    CVornakCapturePreviewSound() { m_sound = GetParam() ? Sound::NoOutput : Sound::NoDecoder; }
};

TEST_P(CVornakCapturePreviewSound, SaysWhetherTheOutputOrTheDecoderIsMissing) {
    EXPECT_TRUE(m_page->Session().PreviewOk());
    const std::string log = Log();
    const std::string noOutput =
        "WARNING: No audio output was found: the preview plays without sound.";
    const std::string noDecoder = "ERROR: Vornak can't find MPEG1 audio decoder.";
    EXPECT_EQ(log.find(GetParam() ? noOutput : noDecoder) != std::string::npos, true) << log;
    EXPECT_EQ(log.find(GetParam() ? noDecoder : noOutput), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(OutputAndDecoder, CVornakCapturePreviewSound, ::testing::Bool());

// A missing sound output matters only to whoever watches the preview: said once it is on.
class CVornakCapturePreviewOff : public CVornakCapturePreview {
  protected:
    CVornakCapturePreviewOff() {
        m_sound = Sound::NoOutput;
        m_bPreviewOn = false;
    }
};

TEST_F(CVornakCapturePreviewOff, SaysTheSoundOutputIsMissingOnlyOnceThePreviewIsOn) {
    const std::string noOutput = "WARNING: No audio output was found";
    ASSERT_TRUE(m_page->Session().PreviewOk());
    EXPECT_EQ(Log().find(noOutput), std::string::npos) << Log();
    qobject_cast<QCheckBox*>(m_page->control(CVornakCapture::kIdPreview))->click();
    const std::string log = Log();
    EXPECT_NE(log.find(noOutput), std::string::npos) << log;
}

}  // namespace
}  // namespace vornak
