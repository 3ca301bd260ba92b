#include "CaptureSession.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "Com.h"
#include "DeviceCatalog.h"
#include "DeviceEnum.h"
#include "Guids.h"
#include "MediaFormats.h"
#include "PreviewPin.h"
#include "SceneSplitter.h"
#include "ThreadStart.h"

namespace vornak {
namespace {

constexpr char kErrNoFileName[] =
    "ERROR: Can't start capturing. The file name has not been choosen";
constexpr char kErrNoFolder[] =
    "ERROR: Can't start capturing. The directory for capturing files has not been choosen.";
constexpr char kErrExists[] = "ERROR: Can't start capturing. File %s already exists.";
constexpr char kErrCantCreate[] = "ERROR: Can't start capturing. File %s can't be created.";
constexpr char kCreatingFile[] = "Creating file %s";
constexpr char kStarted[] = "Capturing has been started";
constexpr char kEnded[] = "End of capturing";
constexpr char kNoMoreData[] = "INFO: No more data is received from camcoder. Capture stopped.";
constexpr char kInterrupted[] = "Capturing has been interrupted or end of tape reached.";
constexpr char kInterruptedBox[] =
    "End of capturing.\r\nCapturing has been interrupted or end of tape reached.";
constexpr char kPacketsLost[] = "WARNING: Some packets has been lost.";
constexpr char kStoppedOnDrops[] = "Capture has been stopped because of dropped packets\\frames.";
constexpr char kErrWriteFailed[] =
    "ERROR: The capture file can't be written in full (is the disk full?): %s";

// The preview's failures. Where the original asked to reinstall a system component, they name
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
constexpr ULONG kVideoPid = 0x810;
constexpr ULONG kAudioPid = 0x814;
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

// Room for "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and more, as the original buffer had.
constexpr int kGuidTextChars = 64;
constexpr int kSecondsPerHour = 3600;
constexpr int kSecondsPerMinute = 60;
constexpr std::uint32_t kMsPerSecond = 1000;

std::string Format(const char* pattern, const std::string& value) {
    const int length = std::snprintf(nullptr, 0, pattern, value.c_str());
    std::string out(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, value.c_str());
    return out;
}

std::string UpperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// A property of the bag as text; empty when it cannot be read.
std::string ReadText(IPropertyBag* bag, const char* name) {
    VARIANT value;
    VariantInit(&value);
    if (Failed(bag->Read(name, &value, nullptr)) || value.vt != VT_BSTR) {
        return {};
    }
    std::string text = std::move(value.bstrVal);
    VariantClear(&value);
    return text;
}

// One two-digit field of a binary-coded decimal timecode, from its top nibble down.
unsigned BcdField(DWORD frames, int shift) {
    constexpr DWORD kNibble = 0xF;
    constexpr unsigned kTens = 10;
    return ((frames >> (shift + 4)) & kNibble) * kTens + ((frames >> shift) & kNibble);
}

}  // namespace

CaptureSession::CaptureSession(CaptureView* view, LogSink* log, INotifyWindow* notifyWindow)
    : m_pView(view),
      m_pLog(log),
      m_pNotifyWindow(notifyWindow),
      m_ownerThread(std::this_thread::get_id()) {}

CaptureSession::~CaptureSession() {
    if (InCapture()) {
        StopRun();
    }
    ReleaseGraph();
    ResetDeviceState();
}

void CaptureSession::Log(const std::string& line) const {
    if (m_pLog != nullptr) {
        m_pLog->AddLog(line);
    }
}

// ---- Camcorder detection and transport ---------------------------------------------------

bool CaptureSession::FindCamcorder() {
    ComPtr<ICreateDevEnum> devices;
    if (Failed(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.ReceiveVoid()))) {
        return false;
    }
    ComPtr<IEnumMoniker> monikers;
    const HRESULT hr =
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Receive(), 0);
    devices.Reset();
    if (Failed(hr) || !monikers) {
        return false;
    }
    char accepted[kGuidTextChars];
    StringFromGUID2(CLSID_CamcorderDeviceClass, accepted, kGuidTextChars);
    const std::string acceptedUpper = UpperCase(accepted);

    int acceptedSeen = 0;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.Receive(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (Failed(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid()))) {
            continue;
        }
        VARIANT deviceClass;
        VariantInit(&deviceClass);
        if (Failed(bag->Read(kDeviceClassGuidProperty, &deviceClass, nullptr))) {
            continue;
        }
        const bool match = VarBstrCmp(UpperCase(deviceClass.bstrVal), acceptedUpper,
                                      LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
        VariantClear(&deviceClass);
        if (!match) {
            continue;
        }
        if (acceptedSeen++ < m_nDeviceIndex) {
            continue;  // another camcorder was asked for
        }
        m_camcorderName = ReadText(bag.Get(), kVendorTextProperty) + " " +
                          ReadText(bag.Get(), kModelTextProperty);
        bag.Reset();
        // A device whose filter cannot be made is passed over: the next one may work.
        if (Succeeded(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                            m_pCamcorder.ReceiveVoid())) &&
            m_pCamcorder) {
            break;
        }
    }
    return static_cast<bool>(m_pCamcorder);
}

void CaptureSession::QueryDeviceControls() {
    std::lock_guard lock(m_stopLock);
    m_bHasExtDevice =
        Succeeded(m_pCamcorder->QueryInterface(IID_IAMExtDevice, m_pExtDevice.ReceiveVoid()));
    m_bHasTransport =
        Succeeded(m_pCamcorder->QueryInterface(IID_IAMExtTransport, m_pTransport.ReceiveVoid()));
    m_bHasTimecode =
        Succeeded(m_pCamcorder->QueryInterface(IID_IAMTimecodeReader, m_pTimecode.ReceiveVoid()));
}

void CaptureSession::CheckDeviceMode() {
    if (m_bHasExtDevice) {
        LONG type = 0;
        if (Failed(m_pExtDevice->GetCapability(ED_DEVCAP_DEVICE_TYPE, &type, nullptr))) {
            m_bVcrMode = false;
            m_pView->UpdateControls();
        } else if (type == ED_DEVTYPE_VCR) {
            if (!m_bVcrMode) {
                m_bVcrMode = true;
                m_pView->UpdateControls();
            }
        } else if (m_bVcrMode) {
            m_bVcrMode = false;
            m_pView->UpdateControls();
        }
    }
    CheckEndOfTape();
}

std::string CaptureSession::TimecodeText() const {
    if (m_bPresent && m_bHasTimecode) {
        TIMECODE_SAMPLE sample{};
        sample.dwFlags = ED_DEVCAP_TIMECODE_READ;
        if (Succeeded(m_pTimecode->GetTimecode(&sample))) {
            const DWORD f = sample.timecode.dwFrames;
            char text[sizeof "4294967295:99:99:99"];
            std::snprintf(text, sizeof text, "%u:%02u:%02u:%02u", BcdField(f, 24), BcdField(f, 16),
                          BcdField(f, 8), BcdField(f, 0));
            return text;
        }
    }
    return kNoTimecode;
}

void CaptureSession::SendTransportMode(LONG mode) {
    if (m_bHasTransport) {
        (void)m_pTransport->put_Mode(mode);
    }
}

void CaptureSession::OnRewind() {
    if (!m_bHasTransport) {
        return;
    }
    LONG mode = 0;
    const bool playing = Succeeded(m_pTransport->get_Mode(&mode)) && mode == ED_MODE_PLAY;
    (void)m_pTransport->put_Mode(playing ? ED_MODE_PLAY_FASTEST_REV : ED_MODE_REW);
}

void CaptureSession::OnPlay() {
    SendTransportMode(ED_MODE_PLAY);
}

void CaptureSession::OnFastForward() {
    if (!m_bHasTransport) {
        return;
    }
    LONG mode = 0;
    const bool playing = Succeeded(m_pTransport->get_Mode(&mode)) && mode == ED_MODE_PLAY;
    (void)m_pTransport->put_Mode(playing ? ED_MODE_PLAY_FASTEST_FWD : ED_MODE_FF);
}

void CaptureSession::OnPause() {
    SendTransportMode(ED_MODE_FREEZE);
}

void CaptureSession::OnStop() {
    if (InCapture()) {
        StopRun();
    } else {
        SendTransportMode(ED_MODE_STOP);
    }
}

// ---- Graph ---------------------------------------------------------------------------------

bool CaptureSession::DetectCamcorder() {
    if (!m_bComInitialized) {
        (void)CoInitialize(nullptr);
        m_bComInitialized = true;
    }
    if (Failed(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph,
                                m_pGraph.ReceiveVoid()))) {
        return false;
    }
    if (Failed(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICaptureGraphBuilder2, m_pBuilder.ReceiveVoid()))) {
        return false;
    }
    ComPtr<IGraphBuilder> graphBuilder;
    if (Failed(m_pGraph->QueryInterface(IID_IGraphBuilder, graphBuilder.ReceiveVoid())) ||
        Failed(m_pBuilder->SetFiltergraph(graphBuilder.Get()))) {
        return false;
    }
    (void)m_pGraph->QueryInterface(IID_IMediaControl, m_pMediaControl.ReceiveVoid());
    // The event face is asked for by its plain id; the notification calls of the extended face
    // are made on the same object.
    ComPtr<IMediaEvent> events;
    if (Succeeded(m_pGraph->QueryInterface(IID_IMediaEvent, events.ReceiveVoid()))) {
        (void)events->QueryInterface(IID_IMediaEventEx, m_pMediaEvent.ReceiveVoid());
    }

    if (!FindCamcorder()) {
        return false;
    }
    m_pStreamType = std::make_unique<CMediaType>(MEDIATYPE_Stream);
    m_pSink = ComPtr<CaptureFilter>(new CaptureFilter(m_pStreamType.get(), 0));
    (void)m_pGraph->AddFilter(m_pSink.Get(), "");
    (void)m_pGraph->AddFilter(m_pCamcorder.Get(), "");
    if (Failed(m_pBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, m_pCamcorder.Get(), nullptr,
                                        m_pSink.Get()))) {
        return false;
    }
    {
        std::lock_guard lock(m_stopLock);
        m_pCapturePin = m_pSink->GetCapturePin();
    }
    QueryDeviceControls();
    if (m_pMediaEvent) {
        (void)m_pMediaEvent->SetNotifyWindow(m_pNotifyWindow, WM_USER, 0);
        (void)m_pMediaEvent->SetNotifyFlags(0);
    }
    return true;
}

void CaptureSession::TimerSteps(std::uint32_t tick) {
    ReclaimWorker();
    if (tick % kChecksEvery == 0 && m_bPresent) {
        CheckDeviceMode();
        CheckDroppedPackets();
        ShowElapsedTime();
        CheckCaptureFile();
    }
    if (tick % kDetectEvery == 0 && !m_bPresent) {
        m_bPresent = DetectCamcorder();
        if (m_bPresent) {
            m_bPreviewOk = m_pView->BuildPreviewGraph();
            if (m_pMediaControl) {
                (void)m_pMediaControl->Run();
            }
            CheckDeviceMode();
            m_pView->UpdateControls();
        } else {
            ReleaseGraph();
        }
    }
    if (tick % kPreviewLoadEvery == 0 && m_bPresent && !m_bSlowWarned) {
        CheckPreviewLoad();
    }
}

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

bool CaptureSession::BuildPreviewGraph(HWND window, int clientWidth, int clientHeight,
                                       WindowlessHandOver handOver) {
    ComPtr<IBaseFilter> demux;
    if (Failed(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IBaseFilter, demux.ReceiveVoid()))) {
        Log(kErrNoDemux);
        return false;
    }
    const HRESULT made = CreateWindowlessRenderer(window, m_pGraph.Get(), m_pWindowless.Receive(),
                                                  m_pRenderer.Receive());
    m_windowlessHandOver = std::move(handOver);
    if (m_windowlessHandOver) {
        m_windowlessHandOver(m_pWindowless.Get());
    }
    if (Failed(made)) {
        Log(kErrNoRenderer);
        return false;
    }
    (void)m_pGraph->AddFilter(demux.Get(), kDemuxName);
    if (Failed(m_pBuilder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(m_pSink.Get()),
                                        nullptr, demux.Get()))) {
        Log(kErrConnectDemux);
        return false;
    }
    m_pVideoType = MakeVideoType();
    if (!m_pVideoType) {
        Log(kErrOutOfMemory);
        return false;
    }
    m_pAudioType = MakeAudioType();
    if (!m_pAudioType) {
        Log(kErrOutOfMemory);
        return false;
    }
    ComPtr<IMpeg2Demultiplexer> config;
    if (Failed(demux->QueryInterface(IID_IMpeg2Demultiplexer, config.ReceiveVoid()))) {
        Log(kErrConfigureDemux);
        return false;
    }
    {
        ComPtr<IPin> videoPin;
        if (Failed(
                config->CreateOutputPin(m_pVideoType.get(), kVideoPinName, videoPin.Receive()))) {
            Log(kErrVideoOut);
            return false;
        }
        // The graph puts a decoder between the pin and the renderer.
        if (Failed(MapPid(videoPin.Get(), kVideoPid)) ||
            Failed(m_pBuilder->RenderStream(nullptr, &MEDIATYPE_Video, videoPin.Get(), nullptr,
                                            m_pRenderer.Get()))) {
            Log(kErrVideoDecoder);
            return false;
        }
    }
    {
        // Without an audio pin the preview is silent, and nothing is said.
        ComPtr<IPin> audioPin;
        if (Succeeded(
                config->CreateOutputPin(m_pAudioType.get(), kAudioPinName, audioPin.Receive()))) {
            if (Failed(MapPid(audioPin.Get(), kAudioPid)) ||
                Failed(m_pBuilder->RenderStream(nullptr, &MEDIATYPE_Audio, audioPin.Get(), nullptr,
                                                nullptr))) {
                Log(kErrAudioDecoder);
            }
        }
    }
    config.Reset();
    LONG width = 0;
    LONG height = 0;
    if (Failed(m_pWindowless->GetNativeVideoSize(&width, &height, nullptr, nullptr))) {
        Log(kErrRenderVideo);
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
    }
    m_bPreviewRunning = true;
}

void CaptureSession::StopPreviewPin() {
    if (m_pSink && m_pSink->GetPreviewPin() != nullptr) {
        (void)m_pSink->GetPreviewPin()->Inactive();
    }
    m_bPreviewRunning = false;
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
        Log(kSlowPreview);
    }
}

void CaptureSession::OnGraphEvent() {
    while (m_pMediaEvent) {
        LONG code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        // An empty queue ends the handler, and so does any other failure: asking again would
        // only fail again.
        if (Failed(m_pMediaEvent->GetEvent(&code, &param1, &param2, 0))) {
            break;
        }
        if (code == EC_DEVICE_LOST) {
            if (InCapture()) {
                StopRun(RunEnd::DeviceLost);
            }
            (void)m_pMediaEvent->FreeEventParams(code, param1, param2);
            ReleaseGraph();
            ResetDeviceState();
            m_pView->UpdateControls();
        } else {
            (void)m_pMediaEvent->FreeEventParams(code, param1, param2);
        }
    }
}

void CaptureSession::ReleaseGraph() {
    // The split job reads the capture pin until its worker ends: the pin must outlive it.
    if (m_pWorker) {
        if (m_pCapturePin != nullptr) {
            m_pCapturePin->StopCapture();
        }
        m_pWorker->join();
        m_pWorker.reset();
    }
    if (m_pMediaControl) {
        (void)m_pMediaControl->Stop();
    }
    if (m_pGraph && m_pCamcorder) {
        (void)m_pGraph->RemoveFilter(m_pCamcorder.Get());
    }
    {
        std::lock_guard lock(m_stopLock);
        m_pExtDevice.Reset();
        m_pTransport.Reset();
        m_pTimecode.Reset();
        m_pCapturePin = nullptr;
    }
    m_pSink.Reset();
    m_pCamcorder.Reset();
    // The window must not draw through a renderer that is about to go.
    if (m_windowlessHandOver) {
        m_windowlessHandOver(nullptr);
        m_windowlessHandOver = nullptr;
    }
    m_pRenderer.Reset();
    m_pWindowless.Reset();
    m_pMediaControl.Reset();
    if (m_pMediaEvent) {
        (void)m_pMediaEvent->SetNotifyWindow(nullptr, WM_USER, 0);
        m_pMediaEvent.Reset();
    }
    m_pBuilder.Reset();
    m_pGraph.Reset();
    m_pStreamType.reset();
    m_pVideoType.reset();
    m_pAudioType.reset();
    if (m_bComInitialized) {
        CoUninitialize();
        m_bComInitialized = false;
    }
}

void CaptureSession::ResetDeviceState() {
    std::lock_guard lock(m_stopLock);
    m_bPresent = false;
    m_bVcrMode = false;
    m_bInCapture.store(false, std::memory_order_release);
    m_bHasExtDevice = false;
    m_bHasTransport = false;
    m_bHasTimecode = false;
    m_bPreviewOk = false;
    m_nLastDropped = 0;
    m_nPreviewBaseline = 0;
}

// ---- Capture runs --------------------------------------------------------------------------

void CaptureSession::OnRecord(const CaptureOptions& options) {
    if (options.fileName.empty()) {
        Log(kErrNoFileName);
        m_pView->ShowMessage(kErrNoFileName);
        return;
    }
    if (options.folder.empty()) {
        Log(kErrNoFolder);
        m_pView->ShowMessage(kErrNoFolder);
        return;
    }
    // The worker of the last split run reads the capture pin until it ends; StopRun waited
    // for it, and one that outlived that wait is waited for now.
    if (m_pWorker) {
        m_pWorker->join();
        m_pWorker.reset();
    }
    if (options.sceneSplit) {
        m_bSceneSplitRun = true;
        StartRun(CaptureFile(), {}, options.startTape);
        // The worker takes its own copy: the page's texts are read now, not while it runs.
        m_pWorkerDone = std::make_unique<ManualResetEvent>("CaptureWorkerDone");
        m_pWorker = std::make_unique<std::thread>(
            StartThread(ThreadPriority::Normal, [this, options] { CaptureWorker(options); }));
        return;
    }
    const std::string path =
        options.folder + "/" + options.fileName + "." + std::string(kExtension);
    // Created exclusively: a file that is already there, readable or not, or that appears
    // meanwhile, is never truncated.
    CaptureFile file(std::fopen(path.c_str(), "wbx"));
    if (!file) {
        const std::string message = Format(errno == EEXIST ? kErrExists : kErrCantCreate, path);
        Log(message);
        m_pView->ShowMessage(message);
        return;
    }
    Log(Format(kCreatingFile, path));
    m_bSceneSplitRun = false;
    StartRun(std::move(file), path, options.startTape);
}

void CaptureSession::StartRun(CaptureFile file, const std::string& capturePath, bool startTape) {
    Log(kStarted);
    m_dwStartTick = m_dwNowTick = TickCount();
    m_capturePath = capturePath;
    m_bWriteFailReported = false;
    if (m_pCapturePin != nullptr) {
        m_pCapturePin->StartCapture(std::move(file));
    }
    // A camcorder in camera mode may record onto the tape when told to play: it streams its
    // live picture anyway.
    if (startTape && m_bVcrMode) {
        SendTransportMode(ED_MODE_PLAY);
    }
    m_lastRunEnd.store(RunEnd::None, std::memory_order_release);
    m_nEndTicks = 0;
    m_bInCapture.store(true, std::memory_order_release);
    m_pView->UpdateControls();
    m_bSlowWarned = false;
    m_nLastDropped = 0;
    m_nPreviewBaseline = 0;
    m_nEngineDropped.store(0, std::memory_order_relaxed);
}

void CaptureSession::CaptureWorker(const CaptureOptions& options) {
    if (options.fileName != m_lastCaptureName) {
        m_nSceneCounter = 0;
    }
    m_lastCaptureName = options.fileName;
    const std::string prefix = options.folder + "/" + options.fileName;
    {
        SceneSplitter job(m_pCapturePin, prefix, kExtension, nullptr, m_nSceneCounter,
                          options.dateTimeNaming, options.syncAudio, options.dateTimeFormat,
                          options.midScenes);
        job.SetLog(m_pLog);
        job.Run();
        m_nSceneCounter = job.Counter();
        m_pCapturePin->EndLiveRun();
    }
    if (InCapture()) {
        Log(kNoMoreData);
        StopRun(RunEnd::StreamRanDry);
    }
    m_pWorkerDone->Set();
    m_pView->Post([this] { ReclaimWorker(); });
}

void CaptureSession::ReclaimWorker() {
    if (m_pWorker && m_pWorkerDone->IsSet()) {
        m_pWorker->join();
        m_pWorker.reset();
    }
}

void CaptureSession::StopRun(RunEnd reason) {
    {
        std::lock_guard lock(m_stopLock);
        bool running = true;
        if (!m_bInCapture.compare_exchange_strong(running, false, std::memory_order_acq_rel)) {
            return;  // another thread is ending this run, or has ended it
        }
        m_lastRunEnd.store(reason, std::memory_order_release);
        if (m_bHasTransport) {
            (void)m_pTransport->put_Mode(ED_MODE_STOP);
        }
        if (m_pCapturePin != nullptr) {
            m_pCapturePin->StopCapture();
        }
    }
    if (OnOwnerThread() && m_pWorker) {
        // A worker that does not end in time is left to end by itself: its thread object is
        // kept until it has, and joined then.
        if (m_pWorkerDone->WaitFor(std::chrono::milliseconds(kWorkerWaitMs))) {
            m_pWorker->join();
            m_pWorker.reset();
        }
    }
    Log(kEnded);
    if (OnOwnerThread()) {
        CheckCaptureFile();
    }
    UpdateControlsFromAnyThread();
}

void CaptureSession::UpdateControlsFromAnyThread() {
    if (OnOwnerThread()) {
        m_pView->UpdateControls();
    } else {
        m_pView->Post([this] { m_pView->UpdateControls(); });
    }
}

void CaptureSession::CheckEndOfTape() {
    if (!InCapture() || !m_bVcrMode || !m_bHasTransport) {
        return;
    }
    ++m_nEndTicks;
    LONG mode = 0;
    if (Failed(m_pTransport->get_Mode(&mode)) || mode == ED_MODE_PLAY ||
        m_nEndTicks < kEndOfTapeGraceChecks) {
        return;
    }
    StopRun(RunEnd::EndOfTape);
    Log(kInterrupted);
    m_pView->ShowMessage(kInterruptedBox);
}

void CaptureSession::CheckDroppedPackets() {
    if (m_pCapturePin == nullptr) {
        return;
    }
    const std::uint32_t count = m_bSceneSplitRun ? m_nEngineDropped.load(std::memory_order_relaxed)
                                                 : m_pCapturePin->Dropped();
    const std::uint32_t previous = m_nLastDropped;
    m_nLastDropped = count;
    m_pView->SetDroppedText(std::to_string(static_cast<std::int32_t>(count)));
    if (previous < count) {
        Log(kPacketsLost);
        // Drops counted while a stopped split run drains its queue end nothing more.
        if (m_pView->StopOnDropped() && InCapture()) {
            StopRun(RunEnd::DroppedPackets);
            Log(kStoppedOnDrops);
            m_pView->ShowMessage(kStoppedOnDrops);
        }
    }
}

void CaptureSession::ShowElapsedTime() {
    if (InCapture()) {
        m_dwNowTick = TickCount();
    }
    const std::uint32_t seconds = (m_dwNowTick - m_dwStartTick) / kMsPerSecond;
    char text[sizeof "4294967295:59:59"];
    std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / kSecondsPerHour,
                  (seconds / kSecondsPerMinute) % kSecondsPerMinute, seconds % kSecondsPerMinute);
    m_pView->SetElapsedText(text);
}

void CaptureSession::CheckCaptureFile() {
    if (m_bSceneSplitRun || m_bWriteFailReported || m_pCapturePin == nullptr ||
        !m_pCapturePin->WriteFailed()) {
        return;
    }
    m_bWriteFailReported = true;
    const std::string message = Format(kErrWriteFailed, m_capturePath);
    Log(message);
    StopRun(RunEnd::WriteFailed);
    m_pView->ShowMessage(message);
}

void CaptureSession::AddEngineDropped(int pictures) {
    m_nEngineDropped.fetch_add(static_cast<std::uint32_t>(pictures), std::memory_order_relaxed);
}

std::uint32_t CaptureSession::TickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace vornak
