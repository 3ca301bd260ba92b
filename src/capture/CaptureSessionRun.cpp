// Capture runs: a file run into one file, or a split run whose worker splits the live queue
// into scene files; the checks that end them; the end of a run, once, from either thread.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "CaptureSession.h"
#include "HealthReport.h"
#include "HealthSceneLog.h"
#include "MessageText.h"
#include "OutputCheck.h"
#include "PrimedLiveSource.h"
#include "SceneJobFactory.h"
#include "ThreadStart.h"

namespace vornak {
namespace {

constexpr char kErrNoFileName[] =
    "ERROR: Can't start capturing. The file name has not been choosen";
constexpr char kErrNoFolder[] =
    "ERROR: Can't start capturing. The directory for capturing files has not been choosen.";
constexpr char kErrExists[] = "ERROR: Can't start capturing. File %s already exists.";
constexpr char kErrCantCreate[] = "ERROR: Can't start capturing. File %s can't be created.";
constexpr char kErrDvCantCreate[] = "ERROR: The DV capture file can't be created: %s (%s)";
constexpr char kEmptyRemoved[] = "INFO: The tape held no HDV: the empty file %s is removed.";
constexpr char kCreatingFile[] = "Creating file: %s";
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
constexpr char kErrScenesNotCreated[] =
    "ERROR: The scene files can't be created (the log says why): %s";
constexpr char kErrFolderNotSynced[] = "ERROR: This folder can't be written to the disk: %s (%s)";
constexpr char kReadingBack[] = "Reading the capture files back for the health report";
constexpr char kReportWritten[] = "Health report: %s";
constexpr char kHealthClean[] = "Health: %s";
constexpr char kHealthDamage[] = "WARNING: Health: %s";
constexpr char kElapsedPlace[] = "elapsed ";
constexpr int kSecondsPerHour = 3600;
constexpr int kSecondsPerMinute = 60;
constexpr std::uint32_t kMsPerSecond = 1000;

std::string Format(const char* pattern, const std::string& value) {
    return MessageText(pattern, value.c_str());
}

std::string Format2(const char* pattern, const std::string& first, const std::string& second) {
    return MessageText(pattern, first.c_str(), second.c_str());
}

// "h:mm:ss" of a time in milliseconds.
std::string ElapsedText(std::uint32_t milliseconds) {
    const std::uint32_t seconds = milliseconds / kMsPerSecond;
    char text[sizeof "4294967295:59:59"];
    std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / kSecondsPerHour,
                  (seconds / kSecondsPerMinute) % kSecondsPerMinute, seconds % kSecondsPerMinute);
    return text;
}

}  // namespace

// ---- Capture runs --------------------------------------------------------------------------

void CaptureSession::OnRecord(const CaptureOptions& options) {
    if (options.fileName.empty()) {
        Log(LogSeverity::Error, kErrNoFileName);
        m_pView->ShowMessage(LogSeverity::Error, kErrNoFileName);
        return;
    }
    if (options.folder.empty()) {
        Log(LogSeverity::Error, kErrNoFolder);
        m_pView->ShowMessage(LogSeverity::Error, kErrNoFolder);
        return;
    }
    // The worker of the last split run reads the capture pin until it ends; StopRun waited
    // for it, and one that outlived that wait is waited for now.
    if (m_pWorker) {
        m_pWorker->join();
        m_pWorker.reset();
    }
    // Before the tape moves: a run that could not write its first file would play the tape
    // for nothing.
    if (const std::string problem = CheckOutput(options, NextSceneCounter(options.fileName));
        !problem.empty()) {
        Log(LogSeverity::Error, problem);
        m_pView->ShowMessage(LogSeverity::Error, problem);
        return;
    }
    // The report is refused now, as NAME.dv is: one in the way would be found only after the
    // tape had played.
    m_reportPath.clear();
    if (options.healthReport) {
        const std::string report = options.folder + "/" + options.fileName + kReportSuffix;
        if (struct stat st{}; ::lstat(report.c_str(), &st) == 0) {
            const std::string message = Format(kErrExists, report);
            Log(LogSeverity::Error, message);
            m_pView->ShowMessage(LogSeverity::Error, message);
            return;
        }
        m_reportPath = report;
    }
    m_captureFolder = options.folder;
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
    // The DV file is made only when DV comes; one already there is refused now, before the
    // tape moves, as the HDV file is.
    const std::string dvPath =
        options.folder + "/" + options.fileName + "." + std::string(kDvExtension);
    if (struct stat st{}; ::lstat(dvPath.c_str(), &st) == 0) {
        const std::string message = Format(kErrExists, dvPath);
        Log(LogSeverity::Error, message);
        m_pView->ShowMessage(LogSeverity::Error, message);
        return;
    }
    // Created exclusively: a file that is already there, readable or not, or that appears
    // meanwhile, is never truncated.
    CaptureFileWriter::Create created{};
    int error = 0;
    CaptureFile file = CaptureFileWriter::CreateNew(path, created, error);
    if (file) {
        file->SetDiskSync(m_pDiskSync);
    } else {
        const std::string message =
            created == CaptureFileWriter::Create::AlreadyExists
                ? Format(kErrExists, path)
                : Format(kErrCantCreate, path) + " (" + std::strerror(error) + ")";
        Log(LogSeverity::Error, message);
        m_pView->ShowMessage(LogSeverity::Error, message);
        return;
    }
    Log(Format(kCreatingFile, path));
    m_bSceneSplitRun = false;
    m_dvCapturePath = dvPath;
    m_bDvFileMade.store(false, std::memory_order_relaxed);
    StartRun(std::move(file), path, options.startTape);
}

std::function<CaptureFile()> CaptureSession::DvFileMaker(const std::string& path) {
    return [this, path]() -> CaptureFile {
        CaptureFileWriter::Create created{};
        int error = 0;
        CaptureFile file = CaptureFileWriter::CreateNew(path, created, error,
                                                        CaptureFileWriter::Packing::WholeWrites);
        if (!file) {
            Log(LogSeverity::Error, Format2(kErrDvCantCreate, path, std::strerror(error)));
            return nullptr;
        }
        file->SetDiskSync(m_pDiskSync);
        m_bDvFileMade.store(true, std::memory_order_release);
        Log(Format(kCreatingFile, path));
        return file;
    };
}

void CaptureSession::RemoveEmptyCaptureFile() {
    struct stat st {};
    if (!m_bDvFileMade.load(std::memory_order_acquire) ||
        ::lstat(m_capturePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) {
        return;
    }
    if (::unlink(m_capturePath.c_str()) == 0) {
        Log(Format(kEmptyRemoved, m_capturePath));
    }
}

void CaptureSession::StartRun(CaptureFile file, const std::string& capturePath, bool startTape) {
    Log(kStarted);
    m_dwStartTick = m_dwNowTick = TickCount();
    m_capturePath = capturePath;
    m_bWriteFailReported.store(false);
    m_bJobFailed.store(false);
    m_bJobCreateFailed.store(false);
    m_folderSyncError.clear();
    m_nEngineDropped.store(0, std::memory_order_relaxed);
    m_bDropsFrozen.store(false, std::memory_order_release);
    m_nFrozenDrops.store(0, std::memory_order_relaxed);
    {
        std::lock_guard lock(m_lossLock);
        m_losses.Reset();
        m_lastPlace.clear();
    }
    ShowDroppedText(0);
    m_nDeviceDroppedBase = 0;
    if (m_pDeviceReport) {
        (void)m_pDeviceReport->GetDroppedPackets(&m_nDeviceDroppedBase);
    }
    if (m_pCapturePin != nullptr) {
        const bool fileRun = static_cast<bool>(file);
        m_pCapturePin->StartCapture(
            std::move(file), fileRun ? DvFileMaker(m_dvCapturePath) : CapturePin::DvFileMaker());
    }
    // A camcorder in camera mode may record onto the tape when told to play: it streams its
    // live picture anyway.
    if (startTape && m_bVcrMode) {
        SendTransportMode(ED_MODE_PLAY);
    }
    CheckOutputSignal();
    m_lastRunEnd.store(RunEnd::None, std::memory_order_release);
    m_nEndTicks = 0;
    m_bInCapture.store(true, std::memory_order_release);
    m_pView->UpdateControls();
    m_bSlowWarned = false;
    m_nPreviewBaseline = 0;
}

std::int32_t CaptureSession::NextSceneCounter(const std::string& fileName) const {
    return fileName == m_lastCaptureName ? m_nSceneCounter : 0;
}

std::string CaptureSession::CheckOutput(const CaptureOptions& options, std::int32_t firstCounter) {
    // The name is a file's name, never a path: checked as one, "/" and all.
    if (!options.sceneSplit || options.fileName.find('/') != std::string::npos) {
        return CheckOutputFile(options.folder, options.fileName + "." + kExtension);
    }
    return CheckSceneOutput(options.folder + "/" + options.fileName, kExtension, firstCounter,
                            options.dateTimeNaming, options.dateTimeFormat);
}

void CaptureSession::CaptureWorker(const CaptureOptions& options) {
    m_nSceneCounter = NextSceneCounter(options.fileName);
    m_lastCaptureName = options.fileName;
    const std::string prefix = options.folder + "/" + options.fileName;
    SplitResult result = SplitResult::Completed;
    // With a report, the jobs report through a log that keeps their scenes.
    HealthSceneLog healthLog(m_pLog, true);
    LogSink* const jobLog = m_reportPath.empty() ? m_pLog : &healthLog;
    const auto failedResult = [](SplitResult r) {
        return r == SplitResult::CreateFailed || r == SplitResult::WriteFailed;
    };
    // Each stretch of the tape, HDV or DV, is a job of its own: the scene in progress ends where
    // the camcorder changed what it sends, and the numbering goes on after it.
    do {
        std::unique_ptr<ChunkQueue> first = m_pCapturePin->TakeChunks();
        if (first) {
            healthLog.StartInput(prefix);
            result = SplitStretch(options, std::move(first), jobLog);
            if (IsFailure(result)) {
                healthLog.MarkIncomplete();
            }
        }
    } while (!failedResult(result) && m_pCapturePin->TakeLiveBreak());
    m_pCapturePin->EndLiveRun();
    if (!m_reportPath.empty()) {
        WriteRunReport(healthLog.Inputs());
    }
    const bool failed = failedResult(result);
    m_bJobFailed.store(failed, std::memory_order_release);
    m_bJobCreateFailed.store(result == SplitResult::CreateFailed, std::memory_order_release);
    if (InCapture()) {
        if (failed) {
            // The job has named the file it could not make or write; saying that no more data
            // came would be wrong.
            if (!m_bWriteFailReported.exchange(true)) {
                const std::string message = Format(
                    result == SplitResult::CreateFailed ? kErrScenesNotCreated : kErrScenesFailed,
                    prefix);
                Log(LogSeverity::Error, message);
                StopRun(RunEnd::WriteFailed);
                m_pView->Post(
                    [this, message] { m_pView->ShowMessage(LogSeverity::Error, message); });
            }
        } else {
            Log(kNoMoreData);
            StopRun(RunEnd::StreamRanDry);
        }
    } else if (failed) {
        // The run was stopped before the job had closed its last file, and that failed: the
        // owner says so, even when it no longer waits for this worker.
        m_pView->Post([this] { CheckCaptureFile(); });
    }
    m_pWorkerDone->Set();
    m_pView->Post([this] { ReclaimWorker(); });
}

SplitResult CaptureSession::SplitStretch(const CaptureOptions& options,
                                         std::unique_ptr<ChunkQueue> first, LogSink* log) {
    const ChunkKind kind = first->back()->kind;
    PrimedLiveSource source(m_pCapturePin, std::move(first));
    SceneSplitterSettings settings;
    settings.baseName = options.folder + "/" + options.fileName;
    settings.extension = kExtension;
    settings.firstCounter = m_nSceneCounter;
    settings.dateTimeNaming = options.dateTimeNaming;
    settings.syncAV = options.syncAudio;
    settings.dateFormat = options.dateTimeFormat;
    settings.midScenesOk = options.midScenes;
    settings.healthCheck = !m_reportPath.empty();
    // Each scene file is flushed to the disk as it closes, and the folder at the end.
    const std::unique_ptr<SceneJob> job =
        MakeLiveSceneJob(&source, kind, settings, log, m_pDiskSync);
    job->Run();
    m_nSceneCounter = job->Counter();
    return job->Result();
}

void CaptureSession::StartReportReadBack() {
    // The files the run made and kept: NAME.m2t is gone when it got nothing, and NAME.dv is
    // there only when DV came.
    std::vector<std::string> files;
    for (const std::string* path : {&m_capturePath, &m_dvCapturePath}) {
        struct stat st {};
        const bool made = path == &m_capturePath || m_bDvFileMade.load(std::memory_order_acquire);
        if (made && ::lstat(path->c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            files.push_back(*path);
        }
    }
    Log(kReadingBack);
    m_pWorkerDone = std::make_unique<ManualResetEvent>("CaptureReportDone");
    m_pWorker = std::make_unique<std::thread>(StartThread(ThreadPriority::Normal, [this, files] {
        // The listing's own lines would only repeat what the run said.
        HealthSceneLog healthLog(m_pLog, false);
        for (const std::string& file : files) {
            healthLog.StartInput(file);
            SceneSplitterSettings settings;
            settings.baseName = file;
            settings.extension = kExtension;
            settings.listOnly = true;
            settings.healthCheck = true;
            const std::unique_ptr<SceneJob> job = MakeSceneJob(file, settings, &healthLog, {});
            job->Run();
            if (job->Result() != SplitResult::Completed) {
                healthLog.MarkIncomplete();
            }
        }
        WriteRunReport(healthLog.Inputs());
        m_pWorkerDone->Set();
        m_pView->Post([this] { ReclaimWorker(); });
    }));
}

void CaptureSession::WriteRunReport(const std::vector<HealthReportInput>& inputs) const {
    std::string reason;
    if (!HealthReport::Write(m_reportPath, inputs, reason)) {
        Log(LogSeverity::Error, reason);
        return;
    }
    Log(Format(kReportWritten, m_reportPath));
    const bool damage = HealthReport::AnyDamage(inputs);
    std::string summary = HealthReport::Summary(inputs);
    // One line in the log for each input.
    for (std::size_t start = 0; start <= summary.size();) {
        std::size_t end = summary.find('\n', start);
        end = end == std::string::npos ? summary.size() : end;
        const std::string line = summary.substr(start, end - start);
        Log(damage ? LogSeverity::Warning : LogSeverity::Info,
            Format(damage ? kHealthDamage : kHealthClean, line));
        start = end + 1;
    }
}

void CaptureSession::ReclaimWorker() {
    if (m_pWorker && m_pWorkerDone->IsSet()) {
        m_pWorker->join();
        m_pWorker.reset();
        if (!InCapture()) {
            LateDropCheck();
        }
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
        if (m_pDeviceReport && m_pCapturePin != nullptr) {
            // The camcorder's side may still hold seconds of the tape received before the stop:
            // they belong in the run's files (and what does not come in time, in its losses).
            (void)m_pDeviceReport->WaitUntilDelivered(kDeliveryWaitMs);
        }
        if (m_pCapturePin != nullptr) {
            // A file run's file is flushed to the disk as the pin closes it; its folder, so that
            // the file's name is as safe as its data, before the run is reported ended.
            m_pCapturePin->StopCapture();
            if (!m_bSceneSplitRun) {
                RemoveEmptyCaptureFile();
                SyncCaptureFolder();
            }
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
    // The loss comes after what the split job made of the data received before it, and before
    // what the run lost.
    if (reason == RunEnd::DeviceLost) {
        Log(LogSeverity::Error, kErrDisconnected);
    }
    // However the run ended, what it lost is said before its end, and only then.
    FinalDropCheck();
    Log(kEnded);
    if (OnOwnerThread()) {
        CheckCaptureFile();
        if (!m_bSceneSplitRun && !m_reportPath.empty()) {
            StartReportReadBack();
        }
    } else if (!m_bSceneSplitRun && !m_reportPath.empty()) {
        m_pView->Post([this] { StartReportReadBack(); });
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
    m_pView->ShowMessage(LogSeverity::Info, kInterruptedBox);
}

void CaptureSession::CheckDroppedPackets() {
    if (m_pCapturePin == nullptr || !InCapture()) {
        return;
    }
    if (NoteDropped(LossPlace()) && m_pView->StopOnDropped() && InCapture()) {
        StopRun(RunEnd::DroppedPackets);
        Log(kStoppedOnDrops);
        m_pView->ShowMessage(LogSeverity::Info, kStoppedOnDrops);
    }
}

std::uint64_t CaptureSession::RunDropped() const {
    std::lock_guard lock(m_lossLock);
    return m_losses.Total();
}

std::uint64_t CaptureSession::CountDropped() const {
    // A split run's broken pictures are the job's; a file run's, the pin's own.
    const std::uint64_t pictures =
        m_bSceneSplitRun ? m_nEngineDropped.load(std::memory_order_relaxed) : 0;
    return pictures + (m_bDropsFrozen.load(std::memory_order_acquire)
                           ? m_nFrozenDrops.load(std::memory_order_relaxed)
                           : CountPinAndDeviceDrops());
}

std::uint64_t CaptureSession::CountPinAndDeviceDrops() const {
    std::uint64_t packets = 0;
    if (m_pCapturePin != nullptr) {
        // Chunks the live queue discarded (or the file run's broken pictures), and packets
        // missing from the stream that arrived.
        packets = std::uint64_t{m_pCapturePin->Dropped()} + m_pCapturePin->LostPackets();
    }
    // Packets the camcorder's side had to throw away.
    std::uint64_t device = m_nDeviceDroppedBase;
    if (m_pDeviceReport && Failed(m_pDeviceReport->GetDroppedPackets(&device))) {
        device = m_nDeviceDroppedBase;
    }
    return packets + (device > m_nDeviceDroppedBase ? device - m_nDeviceDroppedBase : 0);
}

bool CaptureSession::NoteDropped(const std::string& where) {
    const std::uint64_t count = CountDropped();
    bool grew = false;
    {
        std::lock_guard lock(m_lossLock);
        grew = m_losses.Note(count, where);
    }
    ShowDroppedText(count);
    if (grew) {
        Log(LogSeverity::Warning, kPacketsLost);
    }
    return grew;
}

void CaptureSession::ShowDroppedText(std::uint64_t count) {
    std::string text = std::to_string(count);
    if (OnOwnerThread()) {
        m_pView->SetDroppedText(text);
    } else {
        m_pView->Post([this, text] { m_pView->SetDroppedText(text); });
    }
}

std::string CaptureSession::LossPlace() {
    std::string place;
    if (OnOwnerThread()) {
        // A camcorder in camera mode moves no tape: its timecode says nothing of where.
        if (m_bVcrMode) {
            place = TimecodeText();
        }
        if (place == kNoTimecode) {
            place.clear();
        }
    } else {
        std::lock_guard lock(m_lossLock);
        place = m_lastPlace;
    }
    if (place.empty()) {
        place = kElapsedPlace + ElapsedText(TickCount() - m_dwStartTick);
    }
    if (OnOwnerThread()) {
        std::lock_guard lock(m_lossLock);
        m_lastPlace = place;
    }
    return place;
}

void CaptureSession::FinalDropCheck() {
    const std::string where = LossPlace();
    // The pin and the camcorder go on counting after the run (the camcorder may still stream);
    // only the split job, which may still be at work, adds to the run's count from now on.
    m_nFrozenDrops.store(CountPinAndDeviceDrops(), std::memory_order_relaxed);
    m_bDropsFrozen.store(true, std::memory_order_release);
    NoteDropped(where);
    LogLossSummary();
}

void CaptureSession::LateDropCheck() {
    if (NoteDropped(LossPlace())) {
        LogLossSummary();
    }
}

void CaptureSession::LogLossSummary() {
    std::string summary;
    {
        std::lock_guard lock(m_lossLock);
        summary = m_losses.Summary();
    }
    if (!summary.empty()) {
        Log(LogSeverity::Warning, summary);
    }
}

void CaptureSession::ShowElapsedTime() {
    if (InCapture()) {
        m_dwNowTick = TickCount();
    }
    m_pView->SetElapsedText(ElapsedText(m_dwNowTick - m_dwStartTick));
}

void CaptureSession::SyncCaptureFolder() {
    if (const int error = m_pDiskSync->SyncFolder(m_captureFolder); error != 0) {
        m_folderSyncError = Format2(kErrFolderNotSynced, m_captureFolder, std::strerror(error));
    }
}

void CaptureSession::CheckCaptureFile() {
    // A file run's pin, or a split run's job, could not write all it had to, or flush it.
    std::string message;
    if (m_bSceneSplitRun) {
        if (m_bJobFailed.load(std::memory_order_acquire)) {
            message =
                Format(m_bJobCreateFailed.load(std::memory_order_acquire) ? kErrScenesNotCreated
                                                                          : kErrScenesFailed,
                       m_capturePath);
        }
    } else if (m_pCapturePin != nullptr && m_pCapturePin->WriteFailed()) {
        message = Format(kErrWriteFailed,
                         m_pCapturePin->DvWriteFailed() ? m_dvCapturePath : m_capturePath);
    } else {
        message = m_folderSyncError;
    }
    if (message.empty() || m_bWriteFailReported.exchange(true)) {
        return;
    }
    Log(LogSeverity::Error, message);
    if (InCapture()) {
        StopRun(RunEnd::WriteFailed);
    } else {
        // Found as the run ended (its last flush): the run did not end well after all.
        m_lastRunEnd.store(RunEnd::WriteFailed, std::memory_order_release);
    }
    m_pView->ShowMessage(LogSeverity::Error, message);
}

void CaptureSession::AddEngineDropped(int pictures) {
    m_nEngineDropped.fetch_add(static_cast<std::uint32_t>(pictures), std::memory_order_relaxed);
}

}  // namespace vornak
