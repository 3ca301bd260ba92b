#include "CaptureRunner.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "DatePack.h"
#include "DeviceControl.h"
#include "DvFirstDate.h"

namespace vornak {
namespace {

constexpr char kProgram[] = "vornak-capture";
constexpr double kBytesPerMegabyte = 1e6;
// A timer that never waits would spin the loop.
constexpr std::chrono::milliseconds kShortestTick{1};

}  // namespace

CaptureRunner::CaptureRunner(const CaptureCommandOptions& options, const CaptureCommandHooks& hooks,
                             CaptureConsole& console)
    : m_options(options),
      m_hooks(hooks),
      m_console(console),
      m_singleFilePath(options.outputDir + "/" + options.name + "." +
                       std::string(CaptureSession::kExtension)),
      m_singleDvPath(options.outputDir + "/" + options.name + "." +
                     std::string(CaptureSession::kDvExtension)),
      m_session(&console, &console, &console) {
    m_session.SetDeviceIndex(options.device);
    if (hooks.diskSync != nullptr) {
        m_session.SetDiskSync(hooks.diskSync);
    }
    // Before anything runs: the split job's thread reports dropped pictures through it.
    m_console.SetSession(&m_session);
}

int CaptureRunner::Run() {
    const std::chrono::milliseconds period = std::max(m_hooks.tick, kShortestTick);
    auto next = std::chrono::steady_clock::now();
    for (std::uint32_t tick = 0; m_phase != Phase::Ended; ++tick) {
        if (m_phase == Phase::WaitingForCamcorder) {
            WaitStep(tick);
        } else if (m_phase == Phase::Rewinding) {
            RewindStep(tick);
        } else {
            CaptureStep(tick);
        }
        if (m_hooks.onTick) {
            m_hooks.onTick(m_session, tick);
        }
        if (m_phase == Phase::Ended) {
            break;
        }
        next += period;
        // After a step that took long (a stop waits for the split job), the ticks go on at
        // their pace instead of catching up in a burst that would rush the once-a-second checks.
        if (const auto now = std::chrono::steady_clock::now(); next < now) {
            next = now + period;
        }
        // Graph events and the split job's calls run between the ticks, as soon as they come.
        m_console.RunPostedUntil(next);
    }
    m_console.RunPosted();
    m_console.EndStatus();
    return m_nExitStatus;
}

bool CaptureRunner::StopRequested() const {
    return m_hooks.stop != nullptr && m_hooks.stop->load() != 0;
}

void CaptureRunner::WaitStep(std::uint32_t tick) {
    if (StopRequested()) {
        m_console.Problem(std::string(kProgram) + ": stopped before the capture started");
        m_nExitStatus = kCaptureExitFailed;
        m_phase = Phase::Ended;
        return;
    }
    // Detection runs at tick 0 and every twelfth tick after it, as on the page.
    m_session.TimerSteps(tick);
    if (m_session.Present()) {
        if (m_hooks.onCamcorderFound) {
            m_hooks.onCamcorderFound(m_session);
        }
        if (m_options.rewind) {
            StartRewind();
        } else {
            StartCapture();
        }
        return;
    }
    if (tick % CaptureSession::kDetectEvery == 0 && ++m_nDetectAttempts >= m_hooks.detectAttempts) {
        std::string message = std::string(kProgram) + ": no camcorder found";
        if (m_options.device != 0) {
            message += " as device " + std::to_string(m_options.device);
        }
        m_console.Problem(message + "; '" + kProgram + " --list' shows the camcorders found");
        m_nExitStatus = kCaptureExitFailed;
        m_phase = Phase::Ended;
    }
}

CaptureOptions CaptureRunner::RunOptions(const CaptureCommandOptions& options) {
    CaptureOptions run;
    run.folder = options.outputDir;
    run.fileName = options.name;
    run.sceneSplit = !options.singleFile;
    run.dateTimeNaming = options.dateTimeNaming;
    run.syncAudio = options.sync;
    run.midScenes = !options.countMidScenes;
    run.dateTimeFormat = options.dateFormat;
    run.startTape = !options.noPlay;
    run.healthReport = options.healthReport;
    return run;
}

void CaptureRunner::EndBeforeTheCapture(const std::string& problem) {
    m_console.EndStatus();
    m_console.Problem(std::string(kProgram) + ": " + problem);
    m_nExitStatus = kCaptureExitFailed;
    m_phase = Phase::Ended;
}

void CaptureRunner::StartRewind() {
    if (!m_session.HasTransport()) {
        EndBeforeTheCapture("--rewind: the camcorder's tape cannot be driven from here");
        return;
    }
    // A camcorder in camera mode has no tape to wind, and a command to it may start recording.
    if (!m_session.VcrMode()) {
        EndBeforeTheCapture(
            "--rewind needs a camcorder in tape playback (VCR) mode; this one is in camera mode");
        return;
    }
    m_session.SendTransportMode(ED_MODE_REW);
    m_rewindStart = std::chrono::steady_clock::now();
    m_bSeenWinding = false;
    m_phase = Phase::Rewinding;
}

void CaptureRunner::RewindStep(std::uint32_t tick) {
    if (StopRequested()) {
        m_session.SendTransportMode(ED_MODE_STOP);
        EndBeforeTheCapture("stopped before the capture started");
        return;
    }
    m_session.TimerSteps(tick);
    if (!m_session.Present()) {
        EndBeforeTheCapture("the camcorder was lost while the tape was rewinding");
        return;
    }
    LONG mode = ED_MODE_STOP;
    if (m_session.GetTransportMode(mode) && mode != ED_MODE_STOP) {
        m_bSeenWinding = true;
    }
    const auto elapsed = std::chrono::steady_clock::now() - m_rewindStart;
    // The tape stops by itself at its start.
    if (mode == ED_MODE_STOP && (m_bSeenWinding || elapsed >= kRewindSettle)) {
        m_console.EndStatus();
        StartCapture();
        return;
    }
    if (elapsed >= kRewindTimeout) {
        m_session.SendTransportMode(ED_MODE_STOP);
        EndBeforeTheCapture("the tape did not reach its start within 10 minutes");
        return;
    }
    m_console.DrawStatusText("Rewinding ... " + m_session.TimecodeText());
}

void CaptureRunner::StartCapture() {
    m_session.OnRecord(RunOptions(m_options));
    if (!m_session.InCapture()) {
        // The session has said why (a file in the way, or one that cannot be made).
        m_nExitStatus = kCaptureExitFailed;
        m_phase = Phase::Ended;
        return;
    }
    m_runStart = std::chrono::steady_clock::now();
    m_phase = Phase::Capturing;
}

void CaptureRunner::CaptureStep(std::uint32_t tick) {
    if (m_session.InCapture()) {
        const bool timeIsUp = m_options.durationSeconds &&
                              std::chrono::steady_clock::now() - m_runStart >=
                                  std::chrono::duration<double>(*m_options.durationSeconds);
        if (StopRequested() || timeIsUp) {
            m_session.StopRun(RunEnd::Stopped);
        } else {
            m_session.TimerSteps(tick);
        }
    }
    if (m_session.InCapture()) {
        ShowStatus();
        return;
    }
    // A split job that outlived the stop's wait is still finishing and flushing its last file:
    // the program ends, and says how, only once that is done.
    m_session.ReclaimWorker();
    if (m_session.WorkerRunning()) {
        return;
    }
    if (m_options.singleFile && m_options.setMtime) {
        SetSingleFileTime();
    }
    m_nExitStatus = RunEndStatus();
    m_phase = Phase::Ended;
}

void CaptureRunner::ShowStatus() {
    CaptureConsole::Status status;
    status.timecode = m_session.TimecodeText();
    if (m_options.singleFile) {
        // The DV file counts once the run has made it.
        status.megabytes = 0;
        status.files = 0;
        for (const std::string* path : {&m_singleFilePath, &m_singleDvPath}) {
            std::error_code ec;
            const std::uintmax_t size = std::filesystem::file_size(*path, ec);
            if (!ec) {
                status.megabytes += static_cast<double>(size) / kBytesPerMegabyte;
                ++status.files;
            }
        }
    } else {
        status.megabytes = static_cast<double>(m_console.BytesWritten()) / kBytesPerMegabyte;
        status.files = m_console.FilesCreated();
    }
    m_console.DrawStatus(status);
}

void CaptureRunner::SetSingleFileTime() {
    // A file run is only ever stopped on this thread, and the capture pin closes its files as
    // it stops: all of them are on disk now. Only a run that started gets here, so a file that
    // was already in its way is never touched: NAME.dv is there only when the run made it, and
    // NAME.m2t is gone when the run removed it empty.
    const auto setTime = [this](const std::string& path, auto readFirstDate) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            return;
        }
        bool readFailed = false;
        const std::optional<RecordingDate> date = readFirstDate(path, readFailed);
        if (readFailed) {
            m_console.FileTimeNotSet(path);
        } else if (date) {
            m_console.SetFileTime(path, *date);
        }
    };
    setTime(m_singleFilePath, ReadFirstRecordingDate);
    setTime(m_singleDvPath, ReadFirstDvRecordingDate);
}

int CaptureRunner::RunEndStatus() {
    // The session has said why the run ended, in its log and in its box: once is enough.
    switch (m_session.LastRunEnd()) {
        case RunEnd::DeviceLost:
        case RunEnd::WriteFailed:
        case RunEnd::StreamFailed:  // the camcorder's own message says why
            return kCaptureExitFailed;
        case RunEnd::DroppedPackets:
            return kCaptureExitDropped;
        default:
            break;
    }
    // A capture that lost anything did not end well, however it ended; the session has said
    // what and where. Found only as the run ended, it is what --stop-on-drop was asked to catch.
    if (m_session.RunDropped() > 0) {
        return m_options.stopOnDrop ? kCaptureExitDropped : kCaptureExitLost;
    }
    return kCaptureExitOk;
}

}  // namespace vornak
