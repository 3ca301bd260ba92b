#include "CaptureSession.h"

#include <chrono>
#include <cstdio>

#include "CamcorderMonikers.h"
#include "CaptureFilter.h"
#include "CapturePin.h"
#include "Com.h"
#include "DeviceCatalog.h"
#include "DeviceEnum.h"
#include "Guids.h"

namespace vornak {
namespace {

constexpr char kPlaysDv[] = "INFO: The camcorder plays DV: it is captured into DV files (.dv).";
constexpr char kPlaysHdv[] = "INFO: The camcorder plays HDV: it is captured into HDV files (.m2t).";

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
    Log(LogSeverity::Info, line);
}

void CaptureSession::Log(LogSeverity severity, const std::string& line) const {
    if (m_pLog != nullptr) {
        m_pLog->AddLog(severity, line);
    }
}

// ---- Camcorder detection and transport ---------------------------------------------------

bool CaptureSession::FindCamcorder() {
    int acceptedSeen = 0;
    ForEachCamcorder([&](IMoniker* moniker, const std::string& vendor, const std::string& model) {
        if (acceptedSeen++ < m_nDeviceIndex) {
            return true;  // another camcorder was asked for
        }
        m_camcorderName = vendor + " " + model;
        // A device whose filter cannot be made is passed over: the next one may work.
        return Failed(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                            m_pCamcorder.ReceiveVoid())) ||
               !m_pCamcorder;
    });
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
    ConnectDeviceReport();
}

void CaptureSession::ConnectDeviceReport() {
    if (Failed(m_pCamcorder->QueryInterface(IID_IDeviceReport, m_pDeviceReport.ReceiveVoid()))) {
        return;
    }
    // The camcorder speaks from its own threads; the log is written on the owner's.
    (void)m_pDeviceReport->SetLogHandler([this](const std::string& line) {
        m_pView->Post([this, line] { Log(LogSeverity::Error, line); });
    });
}

void CaptureSession::ReportDetectionProblems(bool found) {
    std::vector<DeviceProblem> problems =
        found ? std::vector<DeviceProblem>() : DeviceListingProblems();
    if (problems == m_detectionProblems) {
        return;  // said already: detection runs every 3 s
    }
    m_detectionProblems = std::move(problems);
    for (const DeviceProblem& problem : m_detectionProblems) {
        const LogSeverity severity = problem.warning ? LogSeverity::Warning : LogSeverity::Info;
        if (!m_pView->ShowDetectionProblem(severity, problem.line)) {
            Log(severity, problem.line);
        }
    }
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
    CheckOutputSignal();
    CheckEndOfTape();
}

void CaptureSession::CheckOutputSignal() {
    LONG signal = VORNAK_SIGNAL_HDV;
    // A camcorder that cannot tell is taken to play HDV.
    const bool dv =
        m_bHasExtDevice &&
        Succeeded(m_pExtDevice->GetCapability(VORNAK_DEVCAP_OUTPUT_SIGNAL, &signal, nullptr)) &&
        signal == VORNAK_SIGNAL_DV;
    const bool hold = dv && InCapture() && TapePlays();
    if (m_pCapturePin != nullptr) {
        // Held before the break, so that the reader after it never counts this silence.
        m_pCapturePin->HoldLiveRun(hold);
    }
    if (dv && InCapture() && m_bSceneSplitRun && m_pCapturePin != nullptr) {
        // A stretch that sends nothing ends the scene before it where HDV comes back; one that
        // sends DV ends it where its first frame comes.
        m_pCapturePin->NoteDvSignal();
    }
    if (dv != m_bDvSignal) {
        AnnounceKind(dv);
    }
    m_bDvSignal = dv;
}

void CaptureSession::AnnounceKind(bool dv) {
    if (m_bAnnouncedDv.exchange(dv, std::memory_order_acq_rel) != dv) {
        Log(dv ? kPlaysDv : kPlaysHdv);
    }
}

bool CaptureSession::TapePlays() const {
    LONG mode = 0;
    return m_bVcrMode && m_bHasTransport && Succeeded(m_pTransport->get_Mode(&mode)) &&
           mode == ED_MODE_PLAY;
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

bool CaptureSession::GetTransportMode(LONG& mode) const {
    return m_bHasTransport && Succeeded(m_pTransport->get_Mode(&mode));
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

    const bool found = FindCamcorder();
    ReportDetectionProblems(found);
    if (!found) {
        return false;
    }
    m_pStreamType = std::make_unique<CMediaType>(MEDIATYPE_Stream);
    m_pSink = ComPtr<CaptureFilter>(new CaptureFilter(m_pStreamType.get(), 0));
    m_pSink->GetCapturePin()->SetKindChangeHandler(
        [this](ChunkKind kind) { AnnounceKind(kind == ChunkKind::Dv); });
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
            CheckOutputSignal();  // before the stream starts
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
    if (m_bPresent) {
        CheckPreviewSound();
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
        if (code == EC_ERRORABORT) {
            // The camcorder's stream failed (it has said why in the log): the run ends with an
            // error, the camcorder stays.
            (void)m_pMediaEvent->FreeEventParams(code, param1, param2);
            if (InCapture()) {
                StopRun(RunEnd::StreamFailed);
            }
        } else if (code == EC_DEVICE_LOST) {
            // A run cut short must say why (StopRun does, once the scenes already received are
            // written): "End of capturing" alone reads like a normal end.
            const bool runLost = InCapture();
            if (runLost) {
                StopRun(RunEnd::DeviceLost);
            }
            (void)m_pMediaEvent->FreeEventParams(code, param1, param2);
            ReleaseGraph();
            ResetDeviceState();
            m_pView->UpdateControls();
            if (runLost) {
                // After the page has let go of the camcorder, so that the box stands over a
                // page that no longer offers it.
                m_pView->ShowMessage(LogSeverity::Error, kErrDisconnected);
            }
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
    if (m_pDeviceReport) {
        // Waits for a message being passed on; none comes after it.
        (void)m_pDeviceReport->SetLogHandler({});
        m_pDeviceReport.Reset();
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
    m_pPreviewSound.Reset();
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
    m_bDvSignal = false;
    m_bAnnouncedDv.store(false, std::memory_order_release);
    m_bInCapture.store(false, std::memory_order_release);
    m_bHasExtDevice = false;
    m_bHasTransport = false;
    m_bHasTimecode = false;
    m_bPreviewOk = false;
    m_bNoAudioOutput = false;
    m_nPreviewBaseline = 0;
}

std::uint32_t CaptureSession::TickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace vornak
