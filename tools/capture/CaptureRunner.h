// One capture from the command line: waits for the camcorder, starts the run, drives the
// capture session from a single-threaded loop with the page's 250 ms timer, ends the run on a
// stop request or after the chosen time, and turns the way the run ended into an exit status.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "CaptureCommand.h"
#include "CaptureConsole.h"
#include "CaptureSession.h"

namespace vornak {

class CaptureRunner {
  public:
    // `console` must outlive the runner: the session reports to it until it goes.
    CaptureRunner(const CaptureCommandOptions& options, const CaptureCommandHooks& hooks,
                  CaptureConsole& console);
    CaptureRunner(const CaptureRunner&) = delete;
    CaptureRunner& operator=(const CaptureRunner&) = delete;

    // What the capture session is asked to record.
    static CaptureOptions RunOptions(const CaptureCommandOptions& options);

    // Runs the loop until the capture has ended; returns the exit status.
    int Run();

    // The longest a tape may take to wind back to its start.
    static constexpr std::chrono::minutes kRewindTimeout{10};
    // A camcorder may answer a moment late to a new command: before it has been seen winding,
    // "stopped" means "at the start" only after this long.
    static constexpr std::chrono::seconds kRewindSettle{2};

  private:
    enum class Phase { WaitingForCamcorder, Rewinding, Capturing, Ended };

    void WaitStep(std::uint32_t tick);
    void CaptureStep(std::uint32_t tick);
    void StartRewind();
    void RewindStep(std::uint32_t tick);
    void EndBeforeTheCapture(const std::string& problem);
    void StartCapture();
    bool StopRequested() const;
    void ShowStatus();
    void SetSingleFileTime();
    int RunEndStatus();

    const CaptureCommandOptions m_options;
    const CaptureCommandHooks m_hooks;
    CaptureConsole& m_console;
    Phase m_phase = Phase::WaitingForCamcorder;
    int m_nDetectAttempts = 0;
    int m_nExitStatus = kCaptureExitOk;
    std::chrono::steady_clock::time_point m_runStart;
    std::chrono::steady_clock::time_point m_rewindStart;
    bool m_bSeenWinding = false;
    std::string m_singleFilePath;
    std::string m_singleDvPath;
    // Declared last so that it goes first, while everything it reports to still exists.
    CaptureSession m_session;
};

}  // namespace vornak
