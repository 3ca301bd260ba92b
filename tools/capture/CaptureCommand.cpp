#include "CaptureCommand.h"

#include <charconv>
#include <cmath>
#include <ostream>
#include <sstream>

#include "CamcorderList.h"
#include "CaptureConsole.h"
#include "CaptureRunner.h"
#include "CommandLineReader.h"
#include "DeviceCatalog.h"
#include "ToolVersion.h"

namespace vornak {
namespace {

constexpr const char* kProgram = "vornak-capture";

// The whole text as a number of the given type.
template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
    const char* const end = text.data() + text.size();
    const auto [last, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && last == end;
}

// "DIR/" and "DIR" name the same folder; the session puts the separator in.
std::string WithoutTrailingSlashes(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    return dir;
}

int UsageError(std::ostream& err, const std::string& message) {
    err << UsageErrorText(kProgram, message);
    return kCaptureExitUsage;
}

int ListCommand(std::ostream& out, std::ostream& err) {
    const std::vector<CamcorderListing> found = ListCamcorders();
    if (found.empty()) {
        // Why, when the FireWire side can tell (no port, no permission).
        for (const DeviceProblem& problem : DeviceListingProblems()) {
            err << problem.line << "\n";
        }
        err << kProgram << ": no camcorder found\n";
        return kCaptureExitFailed;
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        out << CamcorderListingLine(static_cast<int>(i), found[i]) << "\n";
    }
    out.flush();
    return kCaptureExitOk;
}

}  // namespace

std::string CaptureUsage() {
    std::ostringstream text;
    text
        << "Usage: " << kProgram << " [OPTION]...\n"
        << "Capture what an HDV or DV camcorder plays over FireWire: HDV into .m2t files and\n"
        << "DV into .dv files, one file per recorded scene (as vornak-split names them) or one\n"
        << "file of each kind for the whole capture; a tape that changes between HDV and DV\n"
        << "goes into files of each kind in tape order. Existing files are never overwritten.\n"
        << "\n"
        << "  --list               print the camcorders found, one a line, and exit\n"
        << "  --device N           use camcorder N of that list (default: 0, the first)\n"
        << "  --output-dir DIR     folder of the capture files, which must exist\n"
        << "                       (default: the current directory)\n"
        << "  --name NAME          the files' name, without extension (required)\n"
        << "  --single-file        write the whole capture to DIR/NAME.m2t (and what the tape\n"
        << "                       holds of DV to DIR/NAME.dv)\n"
        << "  --naming count|datetime\n"
        << "                       name scenes NAME-0000, NAME-0001, ... or by their recording\n"
        << "                       date and time (default: datetime)\n"
        << "  --format PATTERN     date-time pattern appended to the name, with %Y %M %D %h %m %s\n"
        << "                       for year, month, day, hour, minute, second (case-sensitive;\n"
        << "                       default: \"" << kDefaultDateFormat << "\")\n"
        << "  --no-sync            cut audio and video together, byte-exact (default)\n"
        << "  --sync               cut the audio at its own presentation time, so each scene\n"
        << "                       starts with its own sound (packets are kept, not changed)\n"
        << "  --count-mid-scenes   count mid-scenes as dropped frames\n"
        << "  --no-play            do not start the tape: capture what the camcorder sends\n"
        << "  --rewind             wind the tape to its start first (up to 10 minutes), then\n"
        << "                       capture it from there; needs a camcorder in tape playback\n"
        << "  --duration SECONDS   end the capture after that long\n"
        << "  --stop-on-drop       end the capture at the first dropped packet or frame\n"
        << "  --set-mtime          give each file the recording date and time of its first\n"
        << "                       date pack (local time) as modification time; a file\n"
        << "                       without one keeps the time it was written\n"
        << "  --report             write NAME-report.json beside the files at the end: what\n"
        << "                       a health check found in each scene (packets lost, broken\n"
        << "                       pictures, blocks and samples in error, timecode and date\n"
        << "                       jumps) and where; a split capture checks as it splits, a\n"
        << "                       --single-file capture reads its files back after the\n"
        << "                       capture. The log says where it went and what it found. A\n"
        << "                       report already there is refused before the tape moves\n"
        << "  --quiet              print only warnings and errors, no status line\n"
        << "  --help               show this help and exit\n"
        << "  --version            show the version and exit\n"
        << "Options also take the form --option=value; \"--\" ends the options.\n"
        << "\n"
        << "The tape is played at the start when the camcorder is in tape playback, and\n"
        << "stopped at the end; a camcorder in camera mode is never sent play or pause. The\n"
        << "capture ends at the end of the tape, when the stream stops for 5 seconds (scene\n"
        << "files), after --duration, at Ctrl-C or SIGTERM (a second Ctrl-C kills at once),\n"
        << "when the camcorder goes away or a file cannot be written. Without a camcorder\n"
        << "it gives up after two attempts three seconds apart.\n"
        << "\n"
        << "Packets or frames lost on the way to the files are counted while the capture\n"
        << "runs and once more as it ends, however it ends; the end then says how many and\n"
        << "at which timecodes they were noticed.\n"
        << "\n"
        << "Exit status: 0 when the capture ended normally (end of tape, no more data,\n"
        << "--duration, Ctrl-C) and lost nothing, 1 with no camcorder, a file that exists\n"
        << "or cannot be created or written in full, --rewind refused or a tape that does\n"
        << "not reach its start, or a camcorder lost during the capture, 2 for bad\n"
        << "usage, 3 when ended by --stop-on-drop (or, with it, when a loss is found as\n"
        << "the capture ends), 4 when the capture lost packets or frames and ended\n"
        << "otherwise normally.\n";
    return text.str();
}

std::string CaptureVersion() {
    return ToolVersionLine(kProgram);
}

bool ParseCaptureArgs(const std::vector<std::string>& args, CaptureCommandOptions& options,
                      std::string& error) {
    options = CaptureCommandOptions{};
    // The capture's files are named by its options; it takes no operands.
    auto onOperand = [&](const std::string& operand) {
        error = "unexpected argument: " + operand;
        return false;
    };
    auto onOption = [&](CommandLineOption& option) {
        const std::string& name = option.Name();
        if (name.rfind("--", 0) != 0) {
            error = "unexpected argument: " + option.Argument();
            return false;
        }
        auto takeValue = [&](std::string& value) { return option.TakeValue(value, error); };
        auto noValue = [&]() { return option.NoValue(error); };
        // Flags: each sets one switch.
        bool* flag = nullptr;
        bool flagValue = true;
        if (name == "--list") {
            flag = &options.list;
        } else if (name == "--single-file") {
            flag = &options.singleFile;
        } else if (name == "--sync" || name == "--no-sync") {
            flag = &options.sync;
            flagValue = name == "--sync";
        } else if (name == "--count-mid-scenes") {
            flag = &options.countMidScenes;
        } else if (name == "--no-play") {
            flag = &options.noPlay;
        } else if (name == "--rewind") {
            flag = &options.rewind;
        } else if (name == "--stop-on-drop") {
            flag = &options.stopOnDrop;
        } else if (name == "--set-mtime") {
            flag = &options.setMtime;
        } else if (name == "--report") {
            flag = &options.healthReport;
        } else if (name == "--quiet") {
            flag = &options.quiet;
        }
        if (flag != nullptr) {
            if (!noValue()) {
                return false;
            }
            *flag = flagValue;
            return true;
        }

        std::string value;
        if (name != "--device" && name != "--output-dir" && name != "--name" &&
            name != "--naming" && name != "--format" && name != "--duration") {
            error = "unknown option: " + option.Argument();
            return false;
        }
        if (!takeValue(value)) {
            return false;
        }
        if (name == "--device") {
            if (!ParseNumber(value, options.device) || options.device < 0) {
                error = "--device wants a camcorder number from --list, not '" + value + "'";
                return false;
            }
        } else if (name == "--output-dir") {
            if (value.empty()) {
                error = "--output-dir wants a folder";
                return false;
            }
            options.outputDir = value;
        } else if (name == "--name") {
            if (value.empty()) {
                error = "--name wants a file name";
                return false;
            }
            options.name = value;
        } else if (name == "--naming") {
            if (value != "count" && value != "datetime") {
                error = "--naming must be count or datetime, not '" + value + "'";
                return false;
            }
            options.dateTimeNaming = value == "datetime";
        } else if (name == "--format") {
            options.dateFormat = value;
        } else {
            double seconds = 0;
            if (!ParseNumber(value, seconds) || !std::isfinite(seconds) || seconds <= 0) {
                error = "--duration wants a number of seconds above 0, not '" + value + "'";
                return false;
            }
            options.durationSeconds = seconds;
        }
        return true;
    };
    StandardSwitches switches;
    if (!ReadCommandLine(args, switches, onOperand, onOption, error)) {
        return false;
    }
    options.help = switches.help;
    options.version = switches.version;
    if (options.rewind && options.noPlay) {
        error = "--rewind winds and plays the tape, --no-play leaves it alone: choose one";
        return false;
    }
    if (!options.help && !options.version && !options.list && options.name.empty()) {
        error = "option --name is required: the capture files' name, without extension";
        return false;
    }
    return true;
}

int RunCaptureCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const CaptureCommandHooks& hooks) {
    CaptureCommandOptions options;
    std::string error;
    if (!ParseCaptureArgs(args, options, error)) {
        return UsageError(err, error);
    }
    if (options.help) {
        out << CaptureUsage();
        return kCaptureExitOk;
    }
    if (options.version) {
        out << CaptureVersion();
        return kCaptureExitOk;
    }
    if (options.list) {
        return ListCommand(out, err);
    }
    options.outputDir = WithoutTrailingSlashes(options.outputDir);
    // Before the camcorder is looked for, let alone its tape played: a folder or a name that
    // cannot take the files is refused at once, in one line.
    if (const std::string problem =
            CaptureSession::CheckOutput(CaptureRunner::RunOptions(options), 0);
        !problem.empty()) {
        err << problem << "\n";
        return kCaptureExitFailed;
    }

    StopFlag ownStop{0};
    CaptureCommandHooks runHooks = hooks;
    if (runHooks.stop == nullptr) {
        runHooks.stop = &ownStop;
    }
    CaptureConsole console(out, err, options.quiet, hooks.statusToTerminal, options.stopOnDrop,
                           options.setMtime);
    console.SetOneTerminal(hooks.oneTerminal);
    CaptureRunner runner(options, runHooks, console);
    return runner.Run();
}

}  // namespace vornak
