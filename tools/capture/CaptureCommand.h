// vornak-capture as a library: option parsing, the camcorder list and the capture run, kept out
// of main() so that tests drive it in-process with plain streams, their own device sources and
// a stop flag of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "DiskSync.h"
#include "SceneFileName.h"
#include "SceneSplitter.h"

namespace vornak {

class CaptureSession;

// Exit statuses of vornak-capture.
inline constexpr int kCaptureExitOk = 0;
inline constexpr int kCaptureExitFailed = 1;   // no camcorder, a file problem, camcorder lost
inline constexpr int kCaptureExitUsage = 2;    // the command line was wrong
inline constexpr int kCaptureExitDropped = 3;  // ended by --stop-on-drop
inline constexpr int kCaptureExitLost = 4;     // packets or frames were lost, ended otherwise

struct CaptureCommandOptions {
    bool list = false;
    int device = 0;
    std::string outputDir = ".";
    std::string name;
    bool singleFile = false;
    bool dateTimeNaming = true;
    std::string dateFormat = kDefaultDateFormat;
    bool sync = false;
    bool countMidScenes = false;
    bool noPlay = false;
    bool rewind = false;  // wind the tape to its start before capturing
    std::optional<double> durationSeconds;
    bool stopOnDrop = false;
    bool setMtime = false;      // files get their first recording date as modification time
    bool healthReport = false;  // NAME-report.json beside the files
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// What the caller provides besides the command line. The device sources are not among them:
// the program installs the real ones, tests their own, before the call.
struct CaptureCommandHooks {
    // Set (e.g. by a signal handler) to end the capture cleanly; may be null.
    StopFlag* stop = nullptr;
    // `err` is a terminal that may show the status line.
    bool statusToTerminal = false;
    // `out` and `err` are the same terminal: what the log has said there is not said again.
    bool oneTerminal = false;
    // The period of the loop's timer; the capture session's steps count in these ticks.
    std::chrono::milliseconds tick{250};
    // Where the files and their folder are flushed to; null: the system's disk.
    DiskSync* diskSync = nullptr;
    // Detection attempts (one every twelve ticks) before giving up.
    int detectAttempts = 2;
    // For tests, on the loop's thread: once the camcorder is found, before the run starts; and
    // after each tick's steps.
    std::function<void(CaptureSession&)> onCamcorderFound;
    std::function<void(CaptureSession&, std::uint32_t tick)> onTick;
};

// Fills `options` from the arguments (without the program name). Returns false with a message
// naming the option in `error` when the command line is unusable.
bool ParseCaptureArgs(const std::vector<std::string>& args, CaptureCommandOptions& options,
                      std::string& error);

// Runs vornak-capture and returns its exit status.
int RunCaptureCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const CaptureCommandHooks& hooks = {});

// The text --help prints.
std::string CaptureUsage();
// The line --version prints, "vornak-capture (Vornak) 0.77".
std::string CaptureVersion();

}  // namespace vornak
