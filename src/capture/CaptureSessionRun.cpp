// Capture runs: a file run into one file, or a split run whose worker splits the live queue
// into scene files; the checks that end them; the end of a run, once, from either thread.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "CaptureSession.h"
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
constexpr char kErrScenesFailed[] =
    "ERROR: The scene files can't be written in full (is the disk full?): %s";
constexpr int kSecondsPerHour = 3600;
constexpr int kSecondsPerMinute = 60;
constexpr std::uint32_t kMsPerSecond = 1000;

std::string Format(const char* pattern, const std::string& value) {
    const int length = std::snprintf(nullptr, 0, pattern, value.c_str());
    std::string out(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, value.c_str());
    return out;
}

// The split job's reports, passed on to the session's log, with a note of any error: the job
// goes on after a scene file could not be made, and the run is to end instead.
class JobLog : public LogSink {
  public:
    JobLog(LogSink* target, std::atomic<bool>& failed) : m_pTarget(target), m_failed(failed) {}

    void AddLog(const std::string& line) override {
        if (line.rfind(kErrorPrefix, 0) == 0 || line.rfind(kFatalPrefix, 0) == 0) {
            m_failed.store(true, std::memory_order_release);
        }
        if (m_pTarget != nullptr) {
            m_pTarget->AddLog(line);
        }
    }
    void AddWritten(std::uint32_t bytes) override {
        if (m_pTarget != nullptr) {
            m_pTarget->AddWritten(bytes);
        }
    }
    void AddDropped(int pictures) override {
        if (m_pTarget != nullptr) {
            m_pTarget->AddDropped(pictures);
        }
    }
    void SceneFinished(const SceneSummary& scene) override {
        if (m_pTarget != nullptr) {
            m_pTarget->SceneFinished(scene);
        }
    }

  private:
    static constexpr char kErrorPrefix[] = "ERROR: ";
    static constexpr char kFatalPrefix[] = "FATAL ERROR: ";
    LogSink* m_pTarget;
    std::atomic<bool>& m_failed;
};

}  // namespace

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
        StartRun(CaptureFile(), options.folder + "/" + options.fileName, options.startTape);
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
    CaptureFileWriter::Create created{};
    int error = 0;
    CaptureFile file = CaptureFileWriter::CreateNew(path, created, error);
    if (!file) {
        const std::string message =
            created == CaptureFileWriter::Create::AlreadyExists
                ? Format(kErrExists, path)
                : Format(kErrCantCreate, path) + " (" + std::strerror(error) + ")";
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
    m_bWriteFailReported.store(false);
    m_bJobFailed.store(false);
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
    JobLog log(m_pLog, m_bJobFailed);
    {
        SceneSplitter job(m_pCapturePin, prefix, kExtension, nullptr, m_nSceneCounter,
                          options.dateTimeNaming, options.syncAudio, options.dateTimeFormat,
                          options.midScenes);
        job.SetLog(&log);
        job.Run();
        if (job.Failed()) {
            m_bJobFailed.store(true, std::memory_order_release);
        }
        m_nSceneCounter = job.Counter();
        m_pCapturePin->EndLiveRun();
    }
    if (InCapture()) {
        if (m_bJobFailed.load(std::memory_order_acquire)) {
            // The job has named the file it could not write; saying that no more data came
            // would be wrong.
            if (!m_bWriteFailReported.exchange(true)) {
                const std::string message = Format(kErrScenesFailed, prefix);
                Log(message);
                StopRun(RunEnd::WriteFailed);
                m_pView->Post([this, message] { m_pView->ShowMessage(message); });
            }
        } else {
            Log(kNoMoreData);
            StopRun(RunEnd::StreamRanDry);
        }
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
    // A file run's pin, or a split run's job, could not write all it had to.
    const bool failed = m_bSceneSplitRun ? m_bJobFailed.load(std::memory_order_acquire)
                                         : m_pCapturePin != nullptr && m_pCapturePin->WriteFailed();
    if (!failed || m_bWriteFailReported.exchange(true)) {
        return;
    }
    const std::string message =
        Format(m_bSceneSplitRun ? kErrScenesFailed : kErrWriteFailed, m_capturePath);
    Log(message);
    StopRun(RunEnd::WriteFailed);
    m_pView->ShowMessage(message);
}

void CaptureSession::AddEngineDropped(int pictures) {
    m_nEngineDropped.fetch_add(static_cast<std::uint32_t>(pictures), std::memory_order_relaxed);
}

}  // namespace vornak
