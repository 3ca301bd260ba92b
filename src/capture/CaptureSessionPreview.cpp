// The preview branch: the MPEG-2 demultiplexer behind the sink's preview pin, its video and
// audio pins with their decoders, and the windowless renderer drawing into the preview window.
#include <algorithm>
#include <cstring>
#include <vector>

#include "CaptureFilter.h"
#include "CaptureSession.h"
#include "Com.h"
#include "FilterRegistry.h"
#include "Guids.h"
#include "MediaFormats.h"
#include "Pids.h"
#include "PinQueries.h"
#include "PreviewPin.h"

namespace vornak {
namespace {

// The preview's failures. Where a system component would be reinstalled elsewhere, they name
// what this build lacks.
constexpr char kErrNoDemux[] =
    "ERROR: Can't find MPEG2 Demultiplexer. Reinstall Vornak\r\nPreview is disabled.";
constexpr char kErrNoRenderer[] =
    "ERROR: Can't find Video Renderer. Reinstall Vornak\r\nPreview is disabled.";
constexpr char kErrConnectDemux[] =
    "ERROR: Vornak can't connect to MPEG2 demultiplexer. Try reinstalling Vornak\r\nPreview is "
    "disabled.";
constexpr char kErrOutOfMemory[] = "ERROR: Out of memory.\r\nPreview is disabled.";
constexpr char kErrConfigureDemux[] =
    "ERROR: Vornak is unable to configure MPEG2 Demultiplexer. Try reinstalling Vornak\r\n"
    "Preview is disabled.";
constexpr char kErrVideoOut[] =
    "ERROR: Vornak is unable to output video data. Try reinstalling Vornak\r\nPreview is "
    "disabled.";
constexpr char kErrVideoDecoder[] =
    "ERROR: Vornak can't find MPEG2 video decoder. Try to install and configure FFmpeg's "
    "libavcodec (mpeg2video).\r\nPreview is disabled.";
constexpr char kErrAudioDecoder[] =
    "ERROR: Vornak can't find MPEG1 audio decoder. Try to install and configure FFmpeg's "
    "libavcodec (mp2) and an audio output.\r\nAudio is turned off.";
constexpr char kNoAudioOutput[] =
    "WARNING: No audio output was found: the preview plays without sound.";
constexpr char kSoundWentAway[] =
    "WARNING: The sound output went away: the preview goes on without sound.";
constexpr char kErrRenderVideo[] =
    "ERROR: Vornak can't render video data. Try reinstalling Vornak\r\nPreview is disabled.";
constexpr char kSlowPreview[] =
    "WARNING: Your system may be not fast enough to preview video during capturing.\r\nYou can "
    "see artifacts in preview window or even some packets may be lost.\r\nIt's recommended to "
    "turn off preview.";

constexpr char kDemuxName[] = "Demux";
constexpr char kRendererName[] = "Video Mixing Renderer";
constexpr char kVideoPinName[] = "Video Pin";
constexpr char kAudioPinName[] = "Audio Pin";
// The name the graph gives the sound renderer it adds on its own.
constexpr char kSoundRendererName[] = "Default DirectSound Device";
constexpr int kFullVolume = 100;  // percent
constexpr ULONG kVideoPid = PID_VIDEO;
constexpr ULONG kAudioPid = PID_AUDIO;
// HDV's coded picture: 1440 x 1088, of which 1080 lines are shown.
constexpr LONG kHdvWidth = 1440;
constexpr LONG kHdvCodedHeight = 1088;
constexpr LONG kShownHeight = 1080;
constexpr LONG kCroppedLines = 4;  // at the top and at the bottom of a 1088-line picture
constexpr std::uint32_t kHdvBitRate = 25'000'000;
constexpr std::int64_t kFrameTime = 400'000;  // 100 ns units: 25 pictures a second
constexpr std::uint32_t kAspectX = 16;
constexpr std::uint32_t kAspectY = 9;
constexpr std::uint32_t kBitmapHeaderSize = 40;
constexpr std::uint32_t kMpeg2Profile = 4;  // main
constexpr std::uint32_t kMpeg2Level = 5;    // high-1440 in the format block's numbering
// Both format blocks are one byte longer than their record: the sequence header's byte, the
// record's remaining byte.
constexpr ULONG kVideoFormatSize = sizeof(MPEG2VIDEOINFO) + 1;
constexpr ULONG kAudioFormatSize = sizeof(MPEG1WAVEFORMAT) + 1;
constexpr std::uint16_t kAudioChannels = 2;
constexpr std::uint32_t kAudioRate = 48000;
constexpr std::uint16_t kAudioBlockAlign = 1152;
constexpr std::uint16_t kAudioBits = 16;
constexpr std::uint32_t kAudioHeadBitrate = 384000;

// Whether a decoder the graph may add takes the audio pin's stream. The decoder is let go of
// again: nothing would play what it decodes.
bool AudioDecoderConnects(IFilterGraph* graph, IPin* audioPin) {
    for (const RegisteredFilter& converter : RegisteredFilters(FilterRole::Converter)) {
        ComPtr<IBaseFilter> filter;
        if (Failed(converter.create(filter.Receive())) || !filter ||
            Failed(graph->AddFilter(filter.Get(), converter.name))) {
            continue;
        }
        bool connected = false;
        for (const ComPtr<IPin>& in : FilterPins(filter.Get())) {
            if (IsPinDirection(in.Get(), PINDIR_INPUT) &&
                Succeeded(audioPin->Connect(in.Get(), nullptr))) {
                connected = true;
                DisconnectBothEnds(audioPin);
                break;
            }
        }
        (void)graph->RemoveFilter(filter.Get());
        if (connected) {
            return true;
        }
    }
    return false;
}

template <typename Record>
std::unique_ptr<CMediaType> MakeType(const GUID& major, const GUID& sub, const GUID& format,
                                     const Record& record, ULONG formatSize) {
    auto type = std::make_unique<CMediaType>(major, sub);
    type->formattype = format;
    std::vector<std::uint8_t> block(formatSize, 0);
    std::memcpy(block.data(), &record, sizeof record);
    if (!type->SetFormat(block.data(), formatSize)) {
        return nullptr;
    }
    return type;
}

std::unique_ptr<CMediaType> MakeVideoType() {
    MPEG2VIDEOINFO info{};
    info.hdr.rcSource = RECT{0, 0, kHdvWidth, kHdvCodedHeight};
    info.hdr.dwBitRate = kHdvBitRate;
    info.hdr.AvgTimePerFrame = kFrameTime;
    info.hdr.dwPictAspectRatioX = kAspectX;
    info.hdr.dwPictAspectRatioY = kAspectY;
    info.hdr.bmiHeader.biSize = kBitmapHeaderSize;
    info.hdr.bmiHeader.biWidth = kHdvWidth;
    info.hdr.bmiHeader.biHeight = kHdvCodedHeight;
    info.cbSequenceHeader = 1;
    info.dwProfile = kMpeg2Profile;
    info.dwLevel = kMpeg2Level;
    return MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, info,
                    kVideoFormatSize);
}

std::unique_ptr<CMediaType> MakeAudioType() {
    MPEG1WAVEFORMAT wave{};
    wave.wfx.wFormatTag = WAVE_FORMAT_MPEG;
    wave.wfx.nChannels = kAudioChannels;
    wave.wfx.nSamplesPerSec = kAudioRate;
    wave.wfx.nAvgBytesPerSec = kAudioRate;
    wave.wfx.nBlockAlign = kAudioBlockAlign;
    wave.wfx.wBitsPerSample = kAudioBits;
    wave.wfx.cbSize = sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX);
    wave.fwHeadLayer = ACM_MPEG_LAYER2;
    wave.dwHeadBitrate = kAudioHeadBitrate;
    wave.fwHeadMode = ACM_MPEG_STEREO;
    return MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Packet, FORMAT_WaveFormatEx, wave,
                    kAudioFormatSize);
}

// Maps one stream identifier to a demultiplexer output pin, as elementary stream.
HRESULT MapPid(IPin* pin, ULONG pid) {
    ComPtr<IMPEG2PIDMap> map;
    HRESULT hr = pin->QueryInterface(IID_IMPEG2PIDMap, map.ReceiveVoid());
    if (Succeeded(hr)) {
        hr = map->MapPID(1, &pid, MEDIA_ELEMENTARY_STREAM);
    }
    return hr;
}

}  // namespace

HRESULT CaptureSession::CreateWindowlessRenderer(HWND window, IFilterGraph* graph,
                                                 IVMRWindowlessControl** ppWindowless,
                                                 IBaseFilter** ppRenderer) {
    if (graph == nullptr || ppWindowless == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = CoCreateInstance(CLSID_VideoMixingRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IBaseFilter, reinterpret_cast<void**>(ppRenderer));
    if (Failed(hr)) {
        return hr;
    }
    hr = graph->AddFilter(*ppRenderer, kRendererName);
    if (Failed(hr)) {
        (*ppRenderer)->Release();
        *ppRenderer = nullptr;
        return hr;
    }
    {
        ComPtr<IVMRFilterConfig> config;
        hr = (*ppRenderer)->QueryInterface(IID_IVMRFilterConfig, config.ReceiveVoid());
        if (Succeeded(hr)) {
            hr = config->SetRenderingMode(VMRMode_Windowless);
        }
        if (Failed(hr)) {
            return hr;
        }
    }
    ComPtr<IVMRWindowlessControl> windowless;
    hr = (*ppRenderer)->QueryInterface(IID_IVMRWindowlessControl, windowless.ReceiveVoid());
    if (Succeeded(hr)) {
        hr = windowless->SetVideoClippingWindow(window);
    }
    if (Failed(hr)) {
        return hr;
    }
    windowless->AddRef();
    *ppWindowless = windowless.Get();
    return S_OK;
}

void CaptureSession::FindPreviewSound() {
    m_pPreviewSound.Reset();
    m_nSoundLossesSaid = 0;
    ComPtr<IBaseFilter> renderer;
    if (Succeeded(m_pGraph->FindFilterByName(kSoundRendererName, renderer.Receive())) && renderer &&
        Succeeded(renderer->QueryInterface(IID_IPreviewSound, m_pPreviewSound.ReceiveVoid()))) {
        (void)m_pPreviewSound->SetVolume(m_previewVolume);
    }
}

bool CaptureSession::BuildPreviewGraph(HWND window, int clientWidth, int clientHeight,
                                       WindowlessHandOver handOver) {
    m_bNoAudioOutput = false;
    ComPtr<IBaseFilter> demux;
    if (Failed(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IBaseFilter, demux.ReceiveVoid()))) {
        Log(LogSeverity::Error, kErrNoDemux);
        return false;
    }
    const HRESULT made = CreateWindowlessRenderer(window, m_pGraph.Get(), m_pWindowless.Receive(),
                                                  m_pRenderer.Receive());
    m_windowlessHandOver = std::move(handOver);
    if (m_windowlessHandOver) {
        m_windowlessHandOver(m_pWindowless.Get());
    }
    if (Failed(made)) {
        Log(LogSeverity::Error, kErrNoRenderer);
        return false;
    }
    (void)m_pGraph->AddFilter(demux.Get(), kDemuxName);
    if (Failed(m_pBuilder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(m_pSink.Get()),
                                        nullptr, demux.Get()))) {
        Log(LogSeverity::Error, kErrConnectDemux);
        return false;
    }
    m_pVideoType = MakeVideoType();
    if (!m_pVideoType) {
        Log(LogSeverity::Error, kErrOutOfMemory);
        return false;
    }
    m_pAudioType = MakeAudioType();
    if (!m_pAudioType) {
        Log(LogSeverity::Error, kErrOutOfMemory);
        return false;
    }
    ComPtr<IMpeg2Demultiplexer> config;
    if (Failed(demux->QueryInterface(IID_IMpeg2Demultiplexer, config.ReceiveVoid()))) {
        Log(LogSeverity::Error, kErrConfigureDemux);
        return false;
    }
    {
        ComPtr<IPin> videoPin;
        if (Failed(
                config->CreateOutputPin(m_pVideoType.get(), kVideoPinName, videoPin.Receive()))) {
            Log(LogSeverity::Error, kErrVideoOut);
            return false;
        }
        // The graph puts a decoder between the pin and the renderer.
        if (Failed(MapPid(videoPin.Get(), kVideoPid)) ||
            Failed(m_pBuilder->RenderStream(nullptr, &MEDIATYPE_Video, videoPin.Get(), nullptr,
                                            m_pRenderer.Get()))) {
            Log(LogSeverity::Error, kErrVideoDecoder);
            return false;
        }
    }
    {
        // Without an audio pin the preview is silent, and nothing is said.
        ComPtr<IPin> audioPin;
        if (Succeeded(
                config->CreateOutputPin(m_pAudioType.get(), kAudioPinName, audioPin.Receive()))) {
            if (Failed(MapPid(audioPin.Get(), kAudioPid))) {
                Log(LogSeverity::Error, kErrAudioDecoder);
            } else if (Failed(m_pBuilder->RenderStream(nullptr, &MEDIATYPE_Audio, audioPin.Get(),
                                                       nullptr, nullptr))) {
                // The sound stops at the decoder or at the output: only a missing decoder is
                // worth sending the user to install FFmpeg. A missing output matters only to
                // whoever watches the preview: it is said when the preview is on.
                if (AudioDecoderConnects(m_pGraph.Get(), audioPin.Get())) {
                    m_bNoAudioOutput = true;
                } else {
                    Log(LogSeverity::Error, kErrAudioDecoder);
                }
            }
        }
    }
    config.Reset();
    FindPreviewSound();
    LONG width = 0;
    LONG height = 0;
    if (Failed(m_pWindowless->GetNativeVideoSize(&width, &height, nullptr, nullptr))) {
        Log(LogSeverity::Error, kErrRenderVideo);
        return false;
    }
    const RECT source = height > kShownHeight
                            ? RECT{0, kCroppedLines, width, height - kCroppedLines}
                            : RECT{0, 0, width, height};
    const RECT destination{0, 0, clientWidth, clientHeight};
    (void)m_pWindowless->SetVideoPosition(&source, &destination);
    return true;
}

void CaptureSession::StartPreviewPin() {
    if (!m_bPreviewRunning) {
        if (m_pSink && m_pSink->GetPreviewPin() != nullptr) {
            (void)m_pSink->GetPreviewPin()->Active();
        }
        m_bSlowWarned = false;
        m_nPreviewBaseline = 0;
        if (m_bNoAudioOutput) {
            m_bNoAudioOutput = false;  // once for each preview graph
            Log(LogSeverity::Warning, kNoAudioOutput);
        }
    }
    m_bPreviewRunning = true;
}

void CaptureSession::StopPreviewPin() {
    if (m_pSink && m_pSink->GetPreviewPin() != nullptr) {
        (void)m_pSink->GetPreviewPin()->Inactive();
    }
    m_bPreviewRunning = false;
}

void CaptureSession::SetPreviewVolume(int percent, bool muted) {
    m_previewVolume =
        muted ? 0.0F : static_cast<float>(std::clamp(percent, 0, kFullVolume)) / kFullVolume;
    if (m_pPreviewSound) {
        (void)m_pPreviewSound->SetVolume(m_previewVolume);
    }
}

void CaptureSession::CheckPreviewSound() {
    if (!m_pPreviewSound) {
        return;
    }
    const std::uint32_t losses = m_pPreviewSound->OutputLosses();
    if (losses != m_nSoundLossesSaid) {
        m_nSoundLossesSaid = losses;
        Log(LogSeverity::Warning, kSoundWentAway);
    }
}

void CaptureSession::CheckPreviewLoad() {
    if (!m_bPreviewOk || !m_pView->PreviewChecked() || !m_pSink ||
        m_pSink->GetPreviewPin() == nullptr) {
        return;
    }
    const std::uint32_t dropped = m_pSink->GetPreviewPin()->Dropped();
    if (dropped - m_nPreviewBaseline > kSlowPreviewDrops) {
        m_nPreviewBaseline = dropped;
        m_bSlowWarned = true;
        Log(LogSeverity::Warning, kSlowPreview);
    }
}

}  // namespace vornak
