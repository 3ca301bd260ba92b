#include "SplitCommand.h"

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <sstream>
#include <utility>

#include "AnyInputSceneJob.h"
#include "CommandLineReader.h"
#include "DatePack.h"
#include "DescriptorStreamBuffer.h"
#include "HealthReport.h"
#include "InputFile.h"
#include "LogLineToText.h"
#include "LogSink.h"
#include "SceneFileName.h"
#include "SceneJobFactory.h"
#include "SceneListing.h"
#include "ScenePictures.h"
#include "SplitBatch.h"
#include "ToolVersion.h"

namespace vornak {

namespace {

constexpr const char* kProgram = "vornak-split";
constexpr int kBarWidth = 20;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr const char* kSyncDoesNothingForDv =
    "WARNING: --sync does nothing for DV, whose frames each carry their own sound; DV inputs "
    "are split without it";
constexpr const char* kDvContainerOnlyForDv =
    "WARNING: --dv-container does nothing for HDV; transport-stream inputs are split into "
    "transport-stream files as always";

constexpr const char* kImageExists =
    "ERROR: The report image already exists and won't be overwritten: ";
constexpr const char* kNoImageFolder = "ERROR: The folder of the report image does not exist: ";

// Why the report's picture cannot be written to `path`, as a log line; empty when it can.
std::string ImagePathProblem(const std::string& path) {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        return kImageExists + path;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        return kNoImageFolder + path;
    }
    return {};
}

// Receives the engine's reports for the whole run: prints log lines as they come and keeps the
// progress bar on stderr up to date.
class ConsoleLog : public LogSink {
  public:
    ConsoleLog(std::ostream& out, std::ostream& err, bool quiet, bool showBar,
               std::uint64_t totalBytes, std::size_t fileCount)
        : m_out(out),
          m_err(err),
          m_quiet(quiet),
          m_showBar(showBar),
          m_totalBytes(totalBytes),
          m_fileCount(fileCount) {}

    void AddLog(LogSeverity severity, const std::string& line) override {
        if (m_quiet && !IsProblem(severity)) {
            return;
        }
        // The bar shares the terminal with the log: lift it off its line first.
        ClearBar();
        if (m_quiet) {
            // Alone on stderr, the blank line a report may start with only adds noise.
            std::size_t start = line.find_first_not_of("\r\n");
            m_err << LogLineToText(line.substr(start));
            m_err.flush();
        } else {
            m_out << LogLineToText(line);
            m_out.flush();
        }
        Draw(true);
    }

    void AddWritten(std::uint32_t bytes) override {
        m_doneBytes += bytes;
        Draw(false);
    }

    void SceneFinished(const SceneSummary& scene) override {
        if (m_onScene) {
            m_onScene(scene);
        }
    }
    void OnScene(std::function<void(const SceneSummary&)> onScene) {
        m_onScene = std::move(onScene);
    }

    // The bar is exact at every file boundary, whatever the writes of the last file added up
    // to (an input may have changed size since it was measured, or not have been fully copied).
    void StartFile(std::size_t index, std::uint64_t doneBefore) {
        m_fileIndex = index;
        m_doneBytes = doneBefore;
        Draw(true);
    }
    void EndFile(std::uint64_t doneAfter) {
        m_doneBytes = doneAfter;
        Draw(true);
    }

    void Finish() { ClearBar(); }

  private:
    void Draw(bool force) {
        if (!m_showBar) {
            return;
        }
        auto now = std::chrono::steady_clock::now();
        if (!force && m_drawn && now - m_lastDraw < kRedrawInterval) {
            return;
        }
        m_lastDraw = now;
        std::uint64_t done = m_doneBytes < m_totalBytes ? m_doneBytes : m_totalBytes;
        int percent = m_totalBytes == 0 ? 0 : static_cast<int>(done * 100 / m_totalBytes);
        int filled = m_totalBytes == 0 ? 0 : static_cast<int>(done * kBarWidth / m_totalBytes);
        std::ostringstream bar;
        bar << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] ";
        bar.width(3);
        bar << percent << "%  file " << (m_fileIndex + 1) << "/" << m_fileCount;
        std::string text = bar.str();
        m_barLength = text.size() - 1;
        m_err << text;
        m_err.flush();
        m_drawn = true;
    }

    void ClearBar() {
        if (!m_drawn) {
            return;
        }
        m_err << '\r' << std::string(m_barLength, ' ') << '\r';
        m_err.flush();
        m_drawn = false;
    }

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_quiet;
    bool m_showBar;
    std::uint64_t m_totalBytes;
    std::size_t m_fileCount;
    std::size_t m_fileIndex = 0;
    std::uint64_t m_doneBytes = 0;
    bool m_drawn = false;
    std::size_t m_barLength = 0;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::function<void(const SceneSummary&)> m_onScene;
};

// Gives a finished scene file its first recording date as modification time; a file without a
// date keeps the time it was written.
void SetSceneFileTime(const SceneSummary& scene, LogSink& log) {
    if (!scene.firstDate || scene.path.empty()) {
        return;
    }
    if (!SetModificationTime(scene.path, *scene.firstDate)) {
        log.AddLog(LogSeverity::Warning, kFileTimeNotSet + scene.path);
    }
}

// Flushes `out` and says why it could not take what was written to it: the system's reason
// where the stream keeps one. Empty when all of it went out.
std::string OutputFailure(std::ostream& out) {
    out.flush();
    if (out) {
        return {};
    }
    const auto* buffer = dynamic_cast<const DescriptorStreamBuffer*>(out.rdbuf());
    return std::strerror(buffer != nullptr && buffer->Error() != 0 ? buffer->Error() : EIO);
}

void ReportOutputFailure(std::ostream& err, const std::string& reason, bool listing) {
    err << kProgram << ": standard output can't be written (" << reason << ")"
        << (listing ? "; the listing is incomplete\n" : "\n");
}

// Writes the report and its picture, and prints the summary: on standard output, unless that
// holds a JSON listing. False when a file could not be written (the error says which).
bool WriteHealthReport(const SplitOptions& options, const SplitServices& services,
                       const std::vector<HealthReportInput>& health, std::ostream& out,
                       std::ostream& err) {
    bool written = true;
    std::string reason;
    if (!options.report.empty() && !HealthReport::Write(options.report, health, reason)) {
        err << LogLineToText(reason);
        written = false;
    }
    if (!options.reportImage.empty() && !services.writeImage(options.reportImage, health, reason)) {
        // The reason names the file.
        err << LogLineToText("ERROR: The report image could not be written: " + reason);
        written = false;
    }
    std::ostream& summary = options.json ? err : out;
    if (!options.report.empty()) {
        summary << "Health report: " << options.report << "\n";
    }
    summary << HealthReport::Summary(health) << "\n";
    summary.flush();
    return written;
}

}  // namespace

std::string SplitUsage() {
    std::ostringstream text;
    text
        << "Usage: " << kProgram << " [OPTION]... FILE...\n"
        << "Split HDV transport-stream files (.m2t, .ts) and DV files (raw .dv or .dif, DV in\n"
        << "AVI type 1 or 2, DV in QuickTime .mov) into one file per recorded scene. Bytes are\n"
        << "copied exactly; existing files are never overwritten. An input is told by its\n"
        << "content, whatever its name; DV scene files end in .dv (see --dv-container).\n"
        << "\n"
        << "  --output-dir DIR     write the scene files into DIR (default: next to each input)\n"
        << "  --name NAME          use NAME instead of each input's name; numbering then\n"
        << "                       continues across inputs (without --output-dir, NAME is a\n"
        << "                       path from the current directory)\n"
        << "  --naming count|datetime\n"
        << "                       name scenes NAME-0000, NAME-0001, ... or by their recording\n"
        << "                       date and time (default: datetime)\n"
        << "  --format PATTERN     date-time pattern appended to the name, with %Y %M %D %h %m %s\n"
        << "                       for year, month, day, hour, minute, second (case-sensitive;\n"
        << "                       default: \"" << kDefaultDateFormat << "\")\n"
        << "  --no-sync            cut audio and video together, byte-exact (default)\n"
        << "  --sync               cut the audio at its own presentation time, so each scene\n"
        << "                       starts with its own sound (packets are kept, not changed);\n"
        << "                       nothing for DV, whose frames each carry their own sound\n"
        << "  --list-scenes        write no file: list each input's scenes as a split would\n"
        << "                       make them (number, offset and length in bytes, first and\n"
        << "                       last recording date and time, pictures, duration at 25\n"
        << "                       pictures a second, broken pictures; for DV also the\n"
        << "                       system, 525/60 or 625/50, the aspect, the first and last\n"
        << "                       timecode and the frames with damaged video or audio, and\n"
        << "                       the duration at the system's frame rate; frames cut short\n"
        << "                       count as broken)\n"
        << "  --json               with --list-scenes: print the list as one JSON document\n"
        << "                       (in a file name, each byte that is not UTF-8 is written\n"
        << "                       as \"\\udcXX\", XX its value, as Python's surrogateescape)\n"
        << "  --thumbnails DIR     with --list-scenes: write each scene's first picture,\n"
        << "                       fitted into 320 x 240 pixels, to DIR/BASE-NNNN.jpg\n"
        << "                       (BASE: the input's name, NNNN: the scene number; DIR\n"
        << "                       must exist); with --json each scene names its file\n"
        << "                       under \"thumbnail\"\n"
        << "  --contact-sheet FILE.jpg\n"
        << "                       with --list-scenes: write each input's scenes as one\n"
        << "                       picture, four thumbnails a row captioned with number,\n"
        << "                       first date and time and duration (FILE-1.jpg, FILE-2.jpg,\n"
        << "                       ... past 40 scenes; FILE-BASE.jpg for several inputs);\n"
        << "                       the name must end in .jpg or .jpeg and is kept as given\n"
        << "  --set-mtime          give each scene file the recording date and time of its\n"
        << "                       first date pack (local time) as modification time\n"
        << "  --scenes LIST        write only these scenes of each input, numbered as\n"
        << "                       --list-scenes numbers them, e.g. 0,2-4 (the others are\n"
        << "                       read and skipped; their files get the same names as in\n"
        << "                       a full split)\n"
        << "  --dv-container avi|mov\n"
        << "                       put each DV scene into an AVI (type 2) or QuickTime file,\n"
        << "                       NAME.avi or NAME.mov, instead of a raw .dv file; the\n"
        << "                       frames are copied byte for byte (bytes between frames\n"
        << "                       that begin none are left out, and the log says so);\n"
        << "                       HDV inputs are split as always\n"
        << "  --report FILE.json   check each scene for damage as it is read (packets lost,\n"
        << "                       broken pictures, picture groups without a date, timecode\n"
        << "                       jumps; for DV also video blocks and audio samples in\n"
        << "                       error, frames missing and date jumps) and write what was\n"
        << "                       found, per scene with where, to FILE.json; print a summary\n"
        << "                       on standard output (on standard error with --json). With\n"
        << "                       or without --list-scenes. The report is written also when\n"
        << "                       an input failed or the run was stopped: that input is\n"
        << "                       marked \"complete\": false and holds the scenes read before\n"
        << "  --report-image FILE.png\n"
        << "                       check the scenes as --report does and draw each input as\n"
        << "                       a strip along its time, each finding a mark coloured by\n"
        << "                       its kind (with or without --report)\n"
        << "  --decode             with --report or --report-image: also decode every\n"
        << "                       picture, and report those that do not decode (slower)\n"
        << "  --fail-on-damage     with --report or --report-image: exit 4 when the check\n"
        << "                       found anything\n"
        << "  --quiet              print only warnings and errors, no progress\n"
        << "  --help               show this help and exit\n"
        << "  --version            show the version and exit\n"
        << "Options also take the form --option=value; \"--\" ends the options.\n"
        << "\n"
        << "Each input is checked before it is read: its output folder (and the folders of\n"
        << "thumbnails and contact sheets) must exist and be writable, and its file names\n"
        << "must fit the file system. Only regular files that hold a transport stream or DV\n"
        << "are split. Every scene file and its folder are flushed to the disk before the split\n"
        << "counts as done. An input that is not listed in full (it failed, or the run was\n"
        << "stopped) keeps no thumbnails. A report or report image that exists already is\n"
        << "refused before anything is read, and never overwritten.\n"
        << "\n"
        << "Exit status: 0 when every input was split (or listed) and flushed to the disk,\n"
        << "1 when an input could not be opened or read, is no regular file or holds\n"
        << "neither a transport stream nor DV, its scene or picture files could not be made, "
           "written in full\n"
        << "or flushed, it lacks a scene that --scenes names, or standard output could not\n"
        << "be written, or the report or its image could not be written, 2 for bad usage,\n"
        << "4 with --fail-on-damage when the check found anything and nothing failed,\n"
        << "130 when interrupted (130 comes before 1, and 1 before 4).\n";
    return text.str();
}

std::string SplitVersion() {
    return ToolVersionLine(kProgram);
}

bool ParseSplitArgs(const std::vector<std::string>& args, SplitOptions& options,
                    std::string& error) {
    options = SplitOptions{};
    options.dateFormat = kDefaultDateFormat;
    auto onOperand = [&](const std::string& file) {
        options.files.push_back(file);
        return true;
    };
    auto onOption = [&](CommandLineOption& option) {
        const std::string& name = option.Name();
        auto takeValue = [&](std::string& value) { return option.TakeValue(value, error); };
        auto noValue = [&]() { return option.NoValue(error); };

        if (name == "--output-dir") {
            if (!takeValue(options.outputDir)) {
                return false;
            }
        } else if (name == "--name") {
            std::string value;
            if (!takeValue(value)) {
                return false;
            }
            options.newName = value;
        } else if (name == "--naming") {
            std::string value;
            if (!takeValue(value)) {
                return false;
            }
            if (value == "count") {
                options.dateTimeNaming = false;
            } else if (value == "datetime") {
                options.dateTimeNaming = true;
            } else {
                error = "--naming must be count or datetime, not '" + value + "'";
                return false;
            }
        } else if (name == "--format") {
            if (!takeValue(options.dateFormat)) {
                return false;
            }
        } else if (name == "--sync" || name == "--no-sync") {
            if (!noValue()) {
                return false;
            }
            options.sync = name == "--sync";
        } else if (name == "--list-scenes" || name == "--json" || name == "--set-mtime") {
            if (!noValue()) {
                return false;
            }
            (name == "--list-scenes" ? options.listScenes
             : name == "--json"      ? options.json
                                     : options.setMtime) = true;
        } else if (name == "--thumbnails" || name == "--contact-sheet") {
            if (!takeValue(name == "--thumbnails" ? options.thumbnailDir : options.contactSheet)) {
                return false;
            }
            if ((name == "--thumbnails" ? options.thumbnailDir : options.contactSheet).empty()) {
                error = "option " + name + " needs a value";
                return false;
            }
        } else if (name == "--scenes") {
            std::string value;
            if (!takeValue(value)) {
                return false;
            }
            options.scenes = SceneNumberList::Parse(value, error);
            if (!options.scenes) {
                return false;
            }
        } else if (name == "--dv-container") {
            if (!takeValue(options.dvContainer)) {
                return false;
            }
            if (options.dvContainer != "avi" && options.dvContainer != "mov") {
                error = "--dv-container must be avi or mov, not '" + options.dvContainer + "'";
                return false;
            }
        } else if (name == "--report" || name == "--report-image") {
            std::string& value = name == "--report" ? options.report : options.reportImage;
            if (!takeValue(value)) {
                return false;
            }
            if (value.empty()) {
                error = "option " + name + " needs a value";
                return false;
            }
        } else if (name == "--fail-on-damage" || name == "--decode") {
            if (!noValue()) {
                return false;
            }
            (name == "--decode" ? options.decode : options.failOnDamage) = true;
        } else if (name == "--quiet") {
            if (!noValue()) {
                return false;
            }
            options.quiet = true;
        } else {
            error = "unknown option: " + option.Argument();
            return false;
        }
        return true;
    };
    StandardSwitches switches;
    if (!ReadCommandLine(args, switches, onOperand, onOption, error)) {
        return false;
    }
    options.help = switches.help;
    options.version = switches.version;
    if (options.json && !options.listScenes) {
        error = "--json goes with --list-scenes";
        return false;
    }
    if ((!options.thumbnailDir.empty() || !options.contactSheet.empty()) && !options.listScenes) {
        error = std::string(options.thumbnailDir.empty() ? "--contact-sheet" : "--thumbnails") +
                " goes with --list-scenes";
        return false;
    }
    const bool healthCheck = !options.report.empty() || !options.reportImage.empty();
    if ((options.decode || options.failOnDamage) && !healthCheck) {
        error = std::string(options.decode ? "--decode" : "--fail-on-damage") +
                " goes with --report or --report-image";
        return false;
    }
    if (!options.report.empty() && options.report == options.reportImage) {
        error = "--report and --report-image need two files";
        return false;
    }
    if (options.listScenes && options.sync) {
        error = "--list-scenes lists the scenes of a split without --sync";
        return false;
    }
    if (options.listScenes && options.scenes) {
        error = "--scenes chooses the scenes to write, and --list-scenes writes none";
        return false;
    }
    if (options.listScenes && options.setMtime) {
        error = "--set-mtime sets the times of scene files, and --list-scenes writes none";
        return false;
    }
    return true;
}

int RunSplitCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool progressToTerminal, std::atomic<std::uint8_t>* stop,
                    const SplitServices& services) {
    SplitOptions options;
    std::string error;
    if (!ParseSplitArgs(args, options, error)) {
        err << UsageErrorText(kProgram, error);
        return kExitUsage;
    }
    if (options.help || options.version) {
        out << (options.help ? SplitUsage() : SplitVersion());
        if (const std::string reason = OutputFailure(out); !reason.empty()) {
            ReportOutputFailure(err, reason, false);
            return kExitFailed;
        }
        return kExitOk;
    }
    if (options.files.empty()) {
        err << UsageErrorText(kProgram, "no input files");
        return kExitUsage;
    }
    if (!options.contactSheet.empty()) {
        if (const std::string problem =
                ScenePictures::ContactSheetNameProblem(options.contactSheet);
            !problem.empty()) {
            err << UsageErrorText(kProgram, problem);
            return kExitUsage;
        }
    }
    if (options.decode && !services.decodeCheck) {
        err << UsageErrorText(kProgram,
                              "--decode is not available: this build decodes no pictures");
        return kExitUsage;
    }
    if (!options.reportImage.empty() && !services.writeImage) {
        err << UsageErrorText(kProgram,
                              "--report-image is not available: this build draws no pictures");
        return kExitUsage;
    }
    ScenePictures pictures(options.thumbnailDir, options.contactSheet, options.files.size() > 1);
    // Refused before anything is read, as a whole tape read for pictures that cannot be
    // written would be wasted.
    if (const std::string problem = pictures.CheckFolders(); !problem.empty()) {
        err << LogLineToText(problem);
        return kExitFailed;
    }
    for (const std::string& problem :
         {options.report.empty() ? std::string() : HealthReport::PathProblem(options.report),
          options.reportImage.empty() ? std::string() : ImagePathProblem(options.reportImage)}) {
        if (!problem.empty()) {
            err << LogLineToText(problem);
            return kExitFailed;
        }
    }
    const bool healthCheck = !options.report.empty() || !options.reportImage.empty();
    std::vector<HealthReportInput> health;

    StopFlag ownStop{0};
    StopFlag* stopFlag = stop != nullptr ? stop : &ownStop;

    std::uint64_t totalBytes = 0;
    for (const auto& path : options.files) {
        std::int64_t size = InputFile::SizeOf(path);
        if (size > 0) {
            totalBytes += static_cast<std::uint64_t>(size);
        }
    }

    // A listing keeps standard output for the list: the log shows only its problems, on stderr.
    ConsoleLog log(out, err, options.quiet || options.listScenes,
                   progressToTerminal && !options.quiet, totalBytes, options.files.size());
    SceneListing listing(options.json, !options.thumbnailDir.empty());
    std::int32_t scenesOfInput = 0;
    log.OnScene([&](const SceneSummary& scene) {
        ++scenesOfInput;
        if (healthCheck && !health.empty()) {
            health.back().scenes.push_back(scene);
        }
        if (options.listScenes) {
            listing.AddScene(scene);
            pictures.AddScene(scene);
        } else if (options.setMtime) {
            SetSceneFileTime(scene, log);
        }
    });
    bool scenesMissing = false;
    SplitBatch::Options batch;
    batch.outputDir = options.outputDir;
    batch.newName = options.newName;
    batch.job.stopFlag = stopFlag;
    batch.job.dateTimeNaming = options.dateTimeNaming;
    batch.job.syncAV = options.sync;
    batch.job.dateFormat = options.dateFormat;
    batch.job.listOnly = options.listScenes;
    batch.job.healthCheck = healthCheck;
    if (options.decode) {
        batch.job.decodeCheck = services.decodeCheck;
    }
    // After a stop each input still to come is started, and ends at once: the log names them all.
    batch.skipInputsAfterStop = false;
    std::optional<dv::DvContainer> dvContainer;
    if (!options.dvContainer.empty()) {
        dvContainer =
            options.dvContainer == "avi" ? dv::DvContainer::kAvi : dv::DvContainer::kQuickTime;
    }
    bool containerNoted = false;
    batch.makeJob = AnyInputSceneJobMaker(dvContainer, [&](const std::string&) {
        if (!containerNoted) {
            log.AddLog(LogSeverity::Warning, kDvContainerOnlyForDv);
            containerNoted = true;
        }
    });
    SplitBatch::Hooks hooks;
    hooks.inputStarting = [&log](std::size_t index, std::uint64_t doneBytes) {
        log.StartFile(index, doneBytes);
    };
    hooks.listingRefusal = [&pictures](const std::string& path) {
        return pictures.CheckNames(path);
    };
    bool syncNoted = false;
    hooks.jobStarting = [&](const std::string& path, std::uint64_t size) {
        if (options.sync && !syncNoted && IsDvInput(path)) {
            log.AddLog(LogSeverity::Warning, kSyncDoesNothingForDv);
            syncNoted = true;
        }
        listing.StartFile(path, size);
        pictures.StartFile(path);
        scenesOfInput = 0;
        if (healthCheck) {
            health.push_back({path, {}, false});
        }
    };
    if (options.scenes) {
        hooks.sceneChoice = [&options](const std::string&) -> std::function<bool(std::int32_t)> {
            return [&options](std::int32_t number) { return options.scenes->Contains(number); };
        };
    }
    hooks.inputDone = [&](const SplitBatch::Outcome& input) {
        log.EndFile(input.doneBytes);
        if (healthCheck) {
            if (!input.result) {
                health.push_back({input.path, {}, false});  // refused: nothing was read
            } else if (!health.empty()) {
                health.back().complete = !input.Failed() && stopFlag->load() == 0;
            }
        }
        if (!input.result) {
            return true;  // refused: nothing was listed
        }
        if (options.listScenes) {
            // The bar leaves the terminal line to the list.
            log.Finish();
            const bool complete = !input.Failed() && stopFlag->load() == 0;
            pictures.EndFile(complete, log);
            listing.SetThumbnails(pictures.Thumbnails());
            listing.EndFile(complete, out);
        }
        if (!input.Failed() && options.scenes && stopFlag->load() == 0) {
            if (std::string missing = options.scenes->Missing(scenesOfInput); !missing.empty()) {
                log.AddLog(LogSeverity::Warning,
                           "WARNING: This file has no scene " + missing + ": " + input.path);
                scenesMissing = true;
            }
        }
        // The rest of a list that cannot be written has nowhere to go.
        return !options.listScenes || static_cast<bool>(out);
    };
    SplitBatch run(std::move(batch), std::move(hooks), &log);
    run.Run(options.files);
    log.Finish();
    listing.Finish(out);
    bool reportFailed = false;
    if (healthCheck) {
        reportFailed = !WriteHealthReport(options, services, health, out, err);
    }
    const std::string outputFailure = OutputFailure(out);
    if (!outputFailure.empty()) {
        ReportOutputFailure(err, outputFailure, options.listScenes);
    }

    for (const auto& path : run.FailedInputs()) {
        err << kProgram << (options.listScenes ? ": not listed: " : ": not split completely: ")
            << path << "\n";
    }
    if (stopFlag->load() != 0) {
        // A listing writes nothing, so nothing of it can be incomplete on the disk.
        err << kProgram
            << (options.listScenes ? ": stopped before the end; the listing is incomplete\n"
                                   : ": stopped before the end; the last scene file may be "
                                     "incomplete\n");
        return kExitInterrupted;
    }
    if (!run.FailedInputs().empty() || scenesMissing || pictures.Failed() ||
        !outputFailure.empty() || reportFailed) {
        return kExitFailed;
    }
    return options.failOnDamage && HealthReport::AnyDamage(health) ? kExitDamage : kExitOk;
}

}  // namespace vornak
