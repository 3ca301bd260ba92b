// The capture side of the "Capturing" page without its widgets: finding the camcorder, the
// graph that joins it to the capture sink filter, tape transport and timecode, graph events,
// and capture runs (one file, or one file per scene while the tape plays) with their checks.
// The page and the command-line capture each own one and drive it from their timer and their
// buttons; what it needs of them goes through CaptureView.
//
// Threads: every public method belongs to the owner's thread (the user-interface thread),
// except AddEngineDropped (any thread). The graph's event notification reaches the owner as a
// post to the notify window, which the owner turns into OnGraphEvent on its own thread. A
// split run's worker thread runs the split job and, when the stream runs dry, ends the run
// itself; it hands everything that concerns the owner back through CaptureView::Post.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CaptureFileWriter.h"
#include "CaptureLossReport.h"
#include "ComPtr.h"
#include "DeviceCatalog.h"
#include "DeviceControl.h"
#include "DiskSync.h"
#include "GraphInterfaces.h"
#include "HealthReportInput.h"
#include "LogSink.h"
#include "ManualResetEvent.h"
#include "MediaType.h"
#include "PreviewInterfaces.h"
#include "SampleChunk.h"
#include "SceneFileName.h"
#include "SceneJob.h"

namespace vornak {

class CaptureFilter;
class CapturePin;
class ICaptureGraphBuilder2;

// What a capture run takes from the page: read once, before the run starts.
struct CaptureOptions {
    std::string folder;
    std::string fileName;
    bool sceneSplit = true;
    bool dateTimeNaming = true;
    bool syncAudio = true;
    bool midScenes = true;
    std::string dateTimeFormat = kDefaultDateFormat;
    // Play the tape when the run starts (only ever sent to a camcorder in tape playback).
    bool startTape = true;
    // Writes NAME-report.json beside the run's files at its end: what the health check found in
    // each scene. A split run checks as it splits; a file run reads its files back after it.
    bool healthReport = false;
};

// Why the last run ended.
enum class RunEnd {
    None,
    Stopped,
    EndOfTape,
    StreamRanDry,
    DroppedPackets,
    WriteFailed,
    DeviceLost,
    StreamFailed  // the camcorder's stream could not be received
};

// What the session needs of the window (or program) that shows it.
class CaptureView {
  public:
    // Texts and enabled states from the session's state. Owner's thread only.
    virtual void UpdateControls() = 0;
    // A box with the text and an OK button; may block. `severity` says how grave the text is,
    // whose words begin with what the severity puts there, as a log line's. Owner's thread only.
    virtual void ShowMessage(LogSeverity severity, const std::string& text) = 0;
    virtual void SetDroppedText(const std::string& text) = 0;
    virtual void SetElapsedText(const std::string& text) = 0;
    // "Stop capture on dropped packets\frames" as it stands now. Owner's thread only.
    virtual bool StopOnDropped() const = 0;
    // The preview branch of a newly built graph; false when it cannot be built (a view
    // without a preview window has none).
    virtual bool BuildPreviewGraph() { return false; }
    // "Preview" as it stands now.
    virtual bool PreviewChecked() const { return false; }
    // Why no camcorder is found (no FireWire port, no permission), once per change of cause, as
    // a log line of `severity`. A view that shows it itself returns true; otherwise the session
    // logs it.
    virtual bool ShowDetectionProblem(LogSeverity /*severity*/, const std::string& /*line*/) {
        return false;
    }
    // Runs `call` on the owner's thread soon; callable from any thread. Calls posted while
    // the view exists either run or are dropped with it.
    virtual void Post(std::function<void()> call) = 0;

  protected:
    ~CaptureView() = default;
};

class CaptureSession {
  public:
    static constexpr char kExtension[] = "m2t";
    static constexpr char kDvExtension[] = "dv";  // a file run's DV: NAME.dv beside NAME.m2t
    static constexpr char kNoTimecode[] = "-:--:--:--";
    static constexpr char kReportSuffix[] = "-report.json";  // NAME-report.json
    // Milliseconds StopRun waits for the worker of a split run.
    static constexpr std::uint32_t kWorkerWaitMs = 10000;
    // Milliseconds StopRun waits for the camcorder to hand on what it received before the stop.
    static constexpr std::uint32_t kDeliveryWaitMs = 5000;
    // The end-of-tape check acts from its third call in a run on, so that the camcorder has
    // time to start playing.
    static constexpr std::uint32_t kEndOfTapeGraceChecks = 3;
    // Timer ticks (250 ms each) between the periodic steps.
    static constexpr std::uint32_t kChecksEvery = 4;
    static constexpr std::uint32_t kDetectEvery = 12;
    static constexpr std::uint32_t kPreviewLoadEvery = 40;
    // Preview chunks discarded between two load checks before the user is warned.
    static constexpr std::uint32_t kSlowPreviewDrops = 10;

    // `log` and `notifyWindow` may be null (silent; no event notification).
    CaptureSession(CaptureView* view, LogSink* log, INotifyWindow* notifyWindow);
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Camcorder and graph.
    bool FindCamcorder();
    void QueryDeviceControls();
    bool DetectCamcorder();
    void CheckDeviceMode();
    // Asks the camcorder which signal it plays out, and says so each time it changes to DV and
    // back (as the samples do when they change kind, whichever comes first: a short stretch can
    // pass between two questions). While the tape plays DV, a pause in its stream does not end the
    // run; a stretch of DV that sends nothing ends the scene in progress of a split run.
    void CheckOutputSignal();
    void OnGraphEvent();
    void ReleaseGraph();
    void ResetDeviceState();
    // The timer's camcorder steps for one tick: the once-a-second checks while a camcorder is
    // present, detection every third second while none is, the preview's load every tenth.
    void TimerSteps(std::uint32_t tick);

    // The preview branch: demultiplexer, decoders and renderers behind the sink's preview pin,
    // drawing into `window` (client area of `clientWidth` x `clientHeight`). `handOver` gives
    // the window the renderer's windowless control, and takes it back (null) before the
    // renderer goes. Every failure is logged; false leaves the capture branch as it was.
    using WindowlessHandOver = std::function<void(IVMRWindowlessControl*)>;
    bool BuildPreviewGraph(HWND window, int clientWidth, int clientHeight,
                           WindowlessHandOver handOver);
    static HRESULT CreateWindowlessRenderer(HWND window, IFilterGraph* graph,
                                            IVMRWindowlessControl** ppWindowless,
                                            IBaseFilter** ppRenderer);
    // Starts and stops delivery to the preview branch.
    void StartPreviewPin();
    void StopPreviewPin();
    // Warns once when the preview falls too far behind.
    void CheckPreviewLoad();
    // The preview's loudness, 0 to 100, or muted: applied now and to every preview graph built
    // later. The capture never hears of it.
    void SetPreviewVolume(int percent, bool muted);
    float PreviewVolume() const { return m_previewVolume; }
    // Says once when the sound output went away under the preview (a sound server stopped):
    // the preview goes on without sound.
    void CheckPreviewSound();
    IBaseFilter* Renderer() const { return m_pRenderer.Get(); }
    IVMRWindowlessControl* Windowless() const { return m_pWindowless.Get(); }

    // Tape transport; nothing without the transport face (OnStop also ends a run).
    void OnRewind();
    void OnPlay();
    void OnFastForward();
    void OnPause();
    void OnStop();
    void SendTransportMode(LONG mode);
    // The tape's transport mode (ED_MODE_...); false without a transport or when the camcorder
    // does not answer.
    bool GetTransportMode(LONG& mode) const;
    // The tape's timecode as "h:mm:ss:ff", or kNoTimecode.
    std::string TimecodeText() const;

    // Which camcorder of the accepted class to take: 0, the first, unless told otherwise.
    void SetDeviceIndex(int index) { m_nDeviceIndex = index; }

    // Capture runs.
    // Why a run with these options could not write its first file (folder, name, the length of
    // the file names), as an "ERROR: " line; empty when it can. `firstCounter`: the number its
    // first scene file takes.
    static std::string CheckOutput(const CaptureOptions& options, std::int32_t firstCounter);
    // Where capture files, scene files and their folders are flushed to; the system's disk
    // unless a test puts something in between. Not during a run.
    void SetDiskSync(DiskSync* sync) { m_pDiskSync = sync; }
    // Refuses with a message (and leaves the tape alone) when CheckOutput finds a problem.
    void OnRecord(const CaptureOptions& options);
    // Ends the run, once, whichever thread asks first; `reason` is kept for LastRunEnd.
    void StopRun(RunEnd reason = RunEnd::Stopped);
    RunEnd LastRunEnd() const { return m_lastRunEnd.load(std::memory_order_acquire); }
    void CheckEndOfTape();
    // While a run goes on: shows its dropped packets and frames, warns when they have grown,
    // and ends the run then when "Stop capture on dropped packets\frames" is ticked. A run
    // that has ended was counted a last time as it ended.
    void CheckDroppedPackets();
    // The dropped packets and frames of the run in progress, or of the last run: transport
    // packets the live queue discarded, the camcorder's side threw away or the continuity
    // check found missing, and broken pictures (the split job's, or the file run's own).
    // Final once the run has ended and its worker is done.
    std::uint64_t RunDropped() const;
    void ShowElapsedTime();
    // Ends a run whose file (or a split run's scene file) could not be written or flushed to
    // the disk, with a message; found after the run's end, it makes that end a write failure.
    void CheckCaptureFile();
    // The split job's broken pictures; any thread.
    void AddEngineDropped(int pictures);
    // Joins a split run's worker that has ended by itself.
    void ReclaimWorker();

    const std::string& CamcorderName() const { return m_camcorderName; }
    bool Present() const { return m_bPresent; }
    bool VcrMode() const { return m_bVcrMode; }
    // The camcorder last said that it plays DV.
    bool DvSignal() const { return m_bDvSignal; }
    bool InCapture() const { return m_bInCapture.load(std::memory_order_acquire); }
    bool HasExtDevice() const { return m_bHasExtDevice; }
    bool HasTransport() const { return m_bHasTransport; }
    bool HasTimecode() const { return m_bHasTimecode; }
    bool PreviewOk() const { return m_bPreviewOk; }
    void SetPreviewOk(bool ok) { m_bPreviewOk = ok; }
    bool GraphBuilt() const { return static_cast<bool>(m_pGraph); }
    bool WorkerRunning() const { return m_pWorker != nullptr; }
    std::int32_t SceneCounter() const { return m_nSceneCounter; }

    IFilterGraph* Graph() const { return m_pGraph.Get(); }
    ICaptureGraphBuilder2* Builder() const { return m_pBuilder.Get(); }
    IBaseFilter* Camcorder() const { return m_pCamcorder.Get(); }
    CaptureFilter* Sink() const { return m_pSink.Get(); }
    CapturePin* GetCapturePin() const { return m_pCapturePin; }

    bool PreviewRunning() const { return m_bPreviewRunning; }

    // Shared with the preview: whether its pin runs, and its slow-system warning state, which
    // a run's start clears.
    bool m_bPreviewRunning = false;
    bool m_bSlowWarned = false;
    std::uint32_t m_nPreviewBaseline = 0;

  private:
    // Finds the preview graph's sound renderer and gives it the volume.
    void FindPreviewSound();

    static constexpr char kErrDisconnected[] =
        "ERROR: The camcorder was disconnected during capturing.";

    void StartRun(CaptureFile file, const std::string& capturePath, bool startTape);
    // The maker of a file run's DV file, which the capture pin calls when the first DV frame
    // comes.
    std::function<CaptureFile()> DvFileMaker(const std::string& path);
    // One stretch of a split run: the job for the kind of the chunks `first` holds, reporting
    // to `log`.
    SplitResult SplitStretch(const CaptureOptions& options, std::unique_ptr<ChunkQueue> first,
                             LogSink* log);
    // A file run's health report: its files are read back by a checked listing on a worker of
    // its own, which writes the report. Owner's thread only.
    void StartReportReadBack();
    // Writes the run's health report and says where it went and what it found; any thread.
    void WriteRunReport(const std::vector<HealthReportInput>& inputs) const;
    // A file run's file that got nothing, because the tape held only DV, is removed.
    void RemoveEmptyCaptureFile();
    void CaptureWorker(const CaptureOptions& options);
    // The number the next split run's first file takes: a run under the last run's name goes
    // on numbering.
    std::int32_t NextSceneCounter(const std::string& fileName) const;
    void SyncCaptureFolder();
    // Says that the camcorder plays DV, or HDV again, when that is news; any thread.
    void AnnounceKind(bool dv);
    void Log(const std::string& line) const;  // an Info line
    void Log(LogSeverity severity, const std::string& line) const;
    // Tells why no camcorder was found, when the reason has changed since the last detection.
    void ReportDetectionProblems(bool found);
    // The graph's camcorder offers IDeviceReport: its messages go to the log.
    void ConnectDeviceReport();
    // UpdateControls on the owner's thread, from whichever thread asks.
    void UpdateControlsFromAnyThread();
    bool OnOwnerThread() const { return std::this_thread::get_id() == m_ownerThread; }
    bool TapePlays() const;
    static std::uint32_t TickCount();
    // The run's dropped packets and frames as counted now; any thread.
    std::uint64_t CountDropped() const;
    // The part of them that the capture pin and the camcorder count.
    std::uint64_t CountPinAndDeviceDrops() const;
    // Takes the count, shows it and warns when it has grown since the last time; true then.
    // `where`: the place on the tape where it was noticed.
    bool NoteDropped(const std::string& where);
    // Where the run is: the tape's timecode, or (with no tape moving) the time since the run
    // started. Owner's thread only; other threads take the owner's last reading.
    std::string LossPlace();
    // The ending run's last count, warned of with a summary of what was lost where, before
    // its end is logged; from then on only the split job's late broken pictures can add to it.
    void FinalDropCheck();
    // The count once more after a split job that outlived the end of its run has finished.
    void LateDropCheck();
    // The warning that sums up what the run lost and where, when it lost anything.
    void LogLossSummary();
    void ShowDroppedText(std::uint64_t count);

    CaptureView* m_pView;
    LogSink* m_pLog;
    INotifyWindow* m_pNotifyWindow;
    std::thread::id m_ownerThread;

    std::string m_camcorderName;
    ComPtr<IFilterGraph> m_pGraph;
    ComPtr<ICaptureGraphBuilder2> m_pBuilder;
    ComPtr<IMediaControl> m_pMediaControl;
    ComPtr<IMediaEventEx> m_pMediaEvent;
    ComPtr<CaptureFilter> m_pSink;
    CapturePin* m_pCapturePin = nullptr;  // the sink's; no reference of its own
    ComPtr<IBaseFilter> m_pCamcorder;
    std::unique_ptr<CMediaType> m_pStreamType;
    std::unique_ptr<CMediaType> m_pVideoType;
    std::unique_ptr<CMediaType> m_pAudioType;
    ComPtr<IBaseFilter> m_pRenderer;
    ComPtr<IVMRWindowlessControl> m_pWindowless;
    ComPtr<IPreviewSound> m_pPreviewSound;  // null when the preview has no sound renderer
    WindowlessHandOver m_windowlessHandOver;
    ComPtr<IAMExtDevice> m_pExtDevice;
    ComPtr<IAMExtTransport> m_pTransport;
    ComPtr<IAMTimecodeReader> m_pTimecode;
    ComPtr<IDeviceReport> m_pDeviceReport;
    std::vector<DeviceProblem> m_detectionProblems;
    // The camcorder's dropped packets when the run started.
    std::uint64_t m_nDeviceDroppedBase = 0;
    bool m_bComInitialized = false;

    bool m_bPresent = false;
    bool m_bVcrMode = false;
    bool m_bDvSignal = false;
    std::atomic<bool> m_bAnnouncedDv{false};
    bool m_bHasExtDevice = false;
    bool m_bHasTransport = false;
    bool m_bHasTimecode = false;
    bool m_bPreviewOk = false;
    // The preview's sound has no output: said when the preview is switched on.
    bool m_bNoAudioOutput = false;
    float m_previewVolume = 1;
    std::uint32_t m_nSoundLossesSaid = 0;

    // Runs.
    std::atomic<bool> m_bInCapture{false};
    std::atomic<std::uint32_t> m_nEngineDropped{0};
    std::uint32_t m_dwStartTick = 0;
    std::uint32_t m_dwNowTick = 0;
    std::uint32_t m_nEndTicks = 0;
    // The run's losses and the places they were noticed; the owner's last place, for a check
    // on the worker's thread, which must not talk to the camcorder.
    mutable std::mutex m_lossLock;
    CaptureLossReport m_losses;
    std::string m_lastPlace;
    // Set as the run ends: the capture pin's and the camcorder's counts are taken for good
    // (what they count after the end is not the run's).
    std::atomic<bool> m_bDropsFrozen{false};
    std::atomic<std::uint64_t> m_nFrozenDrops{0};
    bool m_bSceneSplitRun = false;
    int m_nDeviceIndex = 0;
    std::atomic<RunEnd> m_lastRunEnd{RunEnd::None};
    std::atomic<bool> m_bWriteFailReported{false};
    std::atomic<bool> m_bJobFailed{false};        // the split job could not make or write a file
    std::atomic<bool> m_bJobCreateFailed{false};  // ... because it could not make one
    std::string m_capturePath;
    std::string m_reportPath;     // the run's health report; empty: none
    std::string m_dvCapturePath;  // a file run's DV file
    std::atomic<bool> m_bDvFileMade{false};
    std::string m_captureFolder;
    std::string m_folderSyncError;  // a file run's folder could not be flushed: the message
    DiskSync* m_pDiskSync = &DiskSync::System();
    // The end steps of a run happen once, whichever thread gets there first.
    std::mutex m_stopLock;
    std::unique_ptr<std::thread> m_pWorker;
    std::unique_ptr<ManualResetEvent> m_pWorkerDone;
    // Written by each worker in turn; workers never overlap (the next starts after the last
    // one was joined).
    std::string m_lastCaptureName;
    std::int32_t m_nSceneCounter = 0;
};

}  // namespace vornak
