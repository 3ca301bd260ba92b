// vornak-split as a library: option parsing, per-input naming and the run over all inputs, kept
// out of main() so that tests can drive it with plain streams.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "HealthReportInput.h"
#include "SceneJobNames.h"
#include "SceneNumberList.h"
#include "VideoDecodeCheck.h"

namespace vornak {

// Exit statuses of vornak-split.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;         // an input or an output failed
inline constexpr int kExitUsage = 2;          // the command line was wrong
inline constexpr int kExitDamage = 4;         // --fail-on-damage: the health check found something
inline constexpr int kExitInterrupted = 130;  // stopped by a signal before the end

struct SplitOptions {
    std::vector<std::string> files;
    std::string outputDir;               // empty: next to each input
    std::optional<std::string> newName;  // replaces every input's base name
    bool dateTimeNaming = true;
    std::string dateFormat;  // set to the default pattern by the parser
    bool sync = false;
    bool listScenes = false;  // list each input's scenes; write no file
    bool json = false;        // the list as one JSON document
    bool setMtime = false;    // scene files get their first recording date as modification time
    std::optional<SceneNumberList> scenes;  // the scenes to write; none: all of them
    std::string thumbnailDir;               // with listScenes: a JPEG per scene goes here
    std::string contactSheet;               // with listScenes: each input's contact sheet
    std::string dvContainer;                // "avi" or "mov": DV scenes go into it; empty: raw .dv
    std::string report;                     // the health report goes here (JSON); empty: none
    std::string reportImage;                // the health report as a picture (PNG); empty: none
    bool failOnDamage = false;
    bool decode = false;  // the health check decodes every picture too
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Fills `options` from the arguments (without the program name). Returns false with a message
// in `error` when the command line is unusable.
bool ParseSplitArgs(const std::vector<std::string>& args, SplitOptions& options,
                    std::string& error);

// Draws the health report's picture to a new file (HealthImage::Write); false, with `reason`,
// when it could not.
using HealthImageWriter = std::function<bool(
    const std::string& path, std::span<const HealthReportInput> inputs, std::string& reason)>;

// What main() links in for the command that the command's own library does not: decoding
// pictures (libavcodec) and drawing the report's picture. An empty one makes its option refused.
struct SplitServices {
    VideoDecodeCheckMaker decodeCheck;
    HealthImageWriter writeImage;
};

// Runs vornak-split. `progressToTerminal` says whether `err` is a terminal that may show the
// progress bar. `stop` (may be null) ends the run early when set, e.g. from a signal handler.
int RunSplitCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool progressToTerminal, std::atomic<std::uint8_t>* stop = nullptr,
                    const SplitServices& services = {});

// The text --help prints.
std::string SplitUsage();

// The line --version prints, "vornak-split (Vornak) 0.77".
std::string SplitVersion();

}  // namespace vornak
