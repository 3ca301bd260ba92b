// Speed and memory of a split against a plain copy of the same tape, alternating in one run so
// that both see the same machine. Ratios are what count; absolute times on these machines vary.
// Both are flushed to the disk before they count as done: the split flushes every scene file
// and their folder, the copy its file and folder.
//
//   vornak-bench-split [--tape FILE | --size BYTES] [--runs N]
//                      [--sync | --list | --thumbnails | --report | --decode] [--dv] [--keep]
//
// --list also lists the tape's scenes (a split that writes nothing) in each run and sets the
// listing's time against the split's. --thumbnails sets `vornak-split --list-scenes
// --thumbnails` against `vornak-split --list-scenes` on a tape whose pictures decode. --dv
// measures the DV job on a raw DV tape (ffmpeg clips, dated a scene each). --report sets a
// listing with the health check against a plain listing. --decode times a checked listing that
// also decodes every picture (on a tape whose pictures decode), in pictures per second against
// real time.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DatePackInserter.h"
#include "DvDateWriter.h"
#include "DvSceneSplitter.h"
#include "FfmpegVideoDecodeCheck.h"
#include "SceneSplitter.h"
#include "SplitCommand.h"
#include "TakeTurns.h"
#include "TapeWriter.h"

namespace {

constexpr std::size_t kCopyBlock = vornak::SceneSplitter::kReadBufSize;
// Block size of the reference copy; --copy-block changes it to see how much of the difference
// is the block size alone.
std::size_t g_copyBlock = kCopyBlock;
constexpr double kPlainRatioTarget = 1.3;
constexpr double kPlainMemoryTargetMiB = 32.0;
constexpr double kSyncRatioTarget = 1.6;
constexpr double kSyncMemoryTargetMiB = 48.0;
constexpr double kListRatioTarget = 0.6;       // of the split's time
constexpr double kThumbnailRatioTarget = 1.3;  // of the listing's time
constexpr double kReportRatioTarget = 1.3;     // of the listing's time
constexpr double kDecodeSpeedTarget = 4.0;     // times real time
constexpr double kPicturesPerSecond = 25.0;    // HDV's real time
// The decodable tape: ten-second clips of ffmpeg's test picture at HDV's size and rate, each
// dated an hour after the one before, so that each is a scene.
constexpr int kClipSeconds = 10;
// Split raw DV instead of a transport stream.
bool g_dv = false;

struct Measurement {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system: what the work cost, whatever else the machine ran
    double peakMiB = 0;
    bool ok = false;
};

// The copy the split is measured against: the same block size as the split's reads, and, as
// the split flushes each scene file and then their folder before it calls itself done, the
// copy is flushed to the disk the same way (fdatasync, then fsync of the folder).
int CopyFile(const char* from, const char* to) {
    const int in = ::open(from, O_RDONLY);
    const int out = ::open(to, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (in < 0 || out < 0) {
        return 1;
    }
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(g_copyBlock);
    for (;;) {
        const ssize_t n = ::read(in, buffer.get(), g_copyBlock);
        if (n <= 0) {
            break;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buffer.get() + done, static_cast<std::size_t>(n - done));
            if (w <= 0) {
                return 1;
            }
            done += w;
        }
    }
    ::close(in);
    if (::fdatasync(out) != 0 || ::close(out) != 0) {
        return 1;
    }
    const int folder =
        ::open(std::filesystem::path(to).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    const bool synced = folder >= 0 && ::fsync(folder) == 0;
    if (folder >= 0) {
        ::close(folder);
    }
    return synced ? 0 : 1;
}

// How a listing looks for damage: not at all, by reading the stream, or also by decoding.
struct Check {
    bool health = false;
    vornak::VideoDecodeCheckMaker decode = {};
};

int SplitFile(const char* from, const char* outDir, bool sync, bool listOnly = false,
              const Check& check = {}, vornak::LogSink* log = nullptr) {
    const std::string base = std::string(outDir) + "/scene";
    if (g_dv) {
        vornak::DvSceneSplitter splitter(from, {.baseName = base,
                                                .extension = "dv",
                                                .listOnly = listOnly,
                                                .healthCheck = check.health,
                                                .decodeCheck = check.decode});
        splitter.SetLog(log);
        splitter.Run();
        return splitter.Failed() ? 1 : 0;
    }
    vornak::SceneSplitter splitter(from, {.baseName = base,
                                          .extension = "m2t",
                                          .syncAV = sync,
                                          .listOnly = listOnly,
                                          .healthCheck = check.health,
                                          .decodeCheck = check.decode});
    splitter.SetLog(log);
    splitter.Run();
    return splitter.Failed() ? 1 : 0;
}

// The check that decodes every picture, as `vornak-split --decode` makes it.
vornak::VideoDecodeCheckMaker DecodeCheckMaker() {
    return vornak::MakeFfmpegVideoDecodeCheck;
}

// Pictures and findings of a checked listing, counted from its scenes.
class SceneCounter : public vornak::LogSink {
  public:
    void AddLog(vornak::LogSeverity, const std::string&) override {}
    void SceneFinished(const vornak::SceneSummary& scene) override {
        pictures += scene.pictures;
        findings += scene.findings.size();
    }
    std::uint64_t pictures = 0;
    std::uint64_t findings = 0;
};

// Runs `work` in a child process so that its peak resident memory is its own.
template <typename Work>
Measurement Measure(Work work) {
    Measurement m;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        std::_Exit(work());
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child) {
        return m;
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    const auto toSeconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    m.cpuSeconds = toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void WarmCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kCopyBlock);
    while (fd >= 0 && ::read(fd, buffer.get(), kCopyBlock) > 0) {
    }
    if (fd >= 0) {
        ::close(fd);
    }
}

std::uint64_t ParseSize(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    std::uint64_t scale = 1;
    if (end != nullptr && *end != '\0') {
        switch (*end) {
            case 'k':
            case 'K':
                scale = 1ull << 10;
                break;
            case 'm':
            case 'M':
                scale = 1ull << 20;
                break;
            case 'g':
            case 'G':
                scale = 1ull << 30;
                break;
            default:
                return 0;
        }
    }
    return static_cast<std::uint64_t>(value * static_cast<double>(scale));
}

// Writes a tape of about `size` bytes whose pictures decode; false when ffmpeg is missing or
// fails.
bool MakeDecodableTape(const std::string& work, const std::string& tape, std::uint64_t size) {
    const std::string clip = work + "/clip.ts";
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "
        "testsrc2=size=1440x1080:rate=25 -f lavfi -i sine=frequency=1000:sample_rate=48000 -t " +
        std::to_string(kClipSeconds) +
        " -aspect 16:9 -c:v mpeg2video -b:v 25M -minrate 25M -maxrate 25M -bufsize 9M"
        " -g 12 -bf 2 -c:a mp2 -b:a 384k -ac 2 -mpegts_pmt_start_pid 0x100"
        " -streamid 0:0x810 -streamid 1:0x814 -f mpegts '" +
        clip + "'";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    std::vector<std::uint8_t> data(std::filesystem::file_size(clip));
    std::FILE* in = std::fopen(clip.c_str(), "rb");
    const bool read = in != nullptr && std::fread(data.data(), 1, data.size(), in) == data.size();
    if (in != nullptr) {
        std::fclose(in);
    }
    std::FILE* out = std::fopen(tape.c_str(), "wbx");
    if (!read || out == nullptr) {
        return false;
    }
    const int scenes = std::max<int>(1, static_cast<int>(size / data.size()));
    vornak::tape::DateTime when{2007, 6, 15, 0, 0, 0};
    bool ok = true;
    for (int i = 0; i < scenes && ok; ++i) {
        when.day = 15 + i / 24;
        when.hour = i % 24;
        vornak::tape::DatePackInserter inserter({when});
        std::vector<std::uint8_t> dated;
        ok = inserter.Feed(data.data(), data.size(), dated) && inserter.Finish(dated) &&
             std::fwrite(dated.data(), 1, dated.size(), out) == dated.size();
    }
    ok = std::fclose(out) == 0 && ok;
    std::filesystem::remove(clip);
    std::printf("Made a tape of %d scenes of %d s\n", scenes, kClipSeconds);
    return ok;
}

// Writes a raw 625/50 DV tape of about `size` bytes: an ffmpeg clip again and again, each copy
// dated an hour after the one before, so that each is a scene. False when ffmpeg is missing or
// fails.
bool MakeDvTape(const std::string& work, const std::string& tape, std::uint64_t size) {
    const std::string clip = work + "/clip.dv";
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc=size=720x576:rate=25 "
        "-f lavfi -i sine=frequency=440:sample_rate=48000 -t " +
        std::to_string(kClipSeconds) + " -target pal-dv '" + clip + "'";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    std::vector<std::uint8_t> data(std::filesystem::file_size(clip));
    std::FILE* in = std::fopen(clip.c_str(), "rb");
    const bool read = in != nullptr && std::fread(data.data(), 1, data.size(), in) == data.size();
    if (in != nullptr) {
        std::fclose(in);
    }
    std::filesystem::remove(clip);
    std::FILE* out = std::fopen(tape.c_str(), "wbx");
    if (!read || out == nullptr || data.size() % vornak::dv::kFrameSize625 != 0) {
        return false;
    }
    const int scenes = std::max<int>(1, static_cast<int>(size / data.size()));
    bool ok = true;
    for (int i = 0; i < scenes && ok; ++i) {
        vornak::tape::DateInsertOptions options;
        options.start = vornak::tape::DateTime{2007, 6, 15 + i / 24, i % 24, 0, 0};
        vornak::tape::DvDateWriter writer(options);
        std::vector<std::uint8_t> dated = data;
        for (std::size_t at = 0; at < dated.size(); at += vornak::dv::kFrameSize625) {
            writer.StampFrame(std::span(dated).subspan(at, vornak::dv::kFrameSize625),
                              vornak::dv::DvSystem::k625_50);
        }
        ok = std::fwrite(dated.data(), 1, dated.size(), out) == dated.size();
    }
    ok = std::fclose(out) == 0 && ok;
    std::printf("Made a DV tape of %d scenes of %d s\n", scenes, kClipSeconds);
    return ok;
}

int ListScenes(const std::string& tape, const std::string& thumbnailDir) {
    std::vector<std::string> args = {"--list-scenes", "--quiet"};
    if (!thumbnailDir.empty()) {
        args.push_back("--thumbnails");
        args.push_back(thumbnailDir);
    }
    args.push_back(tape);
    std::ostringstream out;
    std::ostringstream err;
    return vornak::RunSplitCommand(args, out, err, false);
}

void Usage() {
    std::printf(
        "Usage: vornak-bench-split [--tape FILE | --size BYTES] [--runs N] [--sync | --list]\n"
        "                          [--dv] [--keep]\n"
        "Splits a tape and copies it with %zu-byte blocks, alternating, each flushed to the\n"
        "disk (fdatasync of the files, fsync of their folder) before it counts as done, and\n"
        "prints the split/copy wall-time ratio and the split's peak resident memory.\n"
        "  --tape FILE   use this tape (default: make one with the tape generator)\n"
        "  --size BYTES  size of the generated tape, e.g. 200M or 1.5G (default 1.5G)\n"
        "  --runs N      copy/split pairs (default 3)\n"
        "  --sync        measure the audio and video sync mode\n"
        "  --list        also list the tape's scenes (--list-scenes) and print the\n"
        "                list/split wall-time ratio (target <= %.1f)\n"
        "  --thumbnails  instead, time --list-scenes --thumbnails against --list-scenes\n"
        "                on a tape made with ffmpeg (target <= %.1f)\n"
        "  --report      instead, time a listing with the health check against a plain\n"
        "                listing (target <= %.1f)\n"
        "  --decode      instead, time a checked listing that decodes every picture, in\n"
        "                pictures per second against real time (target >= %.0f times)\n"
        "  --dv          split a raw DV tape (made with ffmpeg unless --tape is given)\n"
        "  --keep        keep the generated tape\n"
        "  --copy-block BYTES  block size of the reference copy (default %zu)\n",
        kCopyBlock, kListRatioTarget, kThumbnailRatioTarget, kReportRatioTarget, kDecodeSpeedTarget,
        kCopyBlock);
}

// A checked listing against a plain one in turns (--report), or a listing that decodes every
// picture against real time (--decode).
bool TimeChecks(const std::string& tape, const std::string& work, double tapeMB, int runs,
                bool decode) {
    const std::string outDir = work + "/listing";
    std::filesystem::create_directory(outDir);
    Check check{true, {}};
    if (decode) {
        check.decode = DecodeCheckMaker();
    }
    SceneCounter counter;  // untimed: what the checked listing finds
    if (SplitFile(tape.c_str(), outDir.c_str(), false, true, {true, {}}, &counter) != 0) {
        return false;
    }
    std::printf("%llu pictures, %llu findings\n", static_cast<unsigned long long>(counter.pictures),
                static_cast<unsigned long long>(counter.findings));
    std::vector<double> listTimes, checkedTimes, ratios, cpuRatios;
    bool allOk = true;
    for (int run = 0; run < runs; ++run) {
        const auto runList = [&] {
            return Measure([&] { return SplitFile(tape.c_str(), outDir.c_str(), false, true); });
        };
        const auto runChecked = [&] {
            return Measure(
                [&] { return SplitFile(tape.c_str(), outDir.c_str(), false, true, check); });
        };
        const auto [listing, checked] = vornak::bench::TakeTurns(run, runList, runChecked);
        allOk = allOk && listing.ok && checked.ok;
        listTimes.push_back(listing.seconds);
        checkedTimes.push_back(checked.seconds);
        ratios.push_back(checked.seconds / std::max(listing.seconds, 1e-9));
        cpuRatios.push_back(checked.cpuSeconds / std::max(listing.cpuSeconds, 1e-9));
        std::printf(
            "run %d: list %.2f s (%.0f MB/s), %s %.2f s (%.0f MB/s), ratio %.2f, processor time "
            "ratio %.2f\n",
            run + 1, listing.seconds, tapeMB / listing.seconds, decode ? "decoding" : "checked",
            checked.seconds, tapeMB / checked.seconds, ratios.back(), cpuRatios.back());
    }
    const double ratio = Median(ratios);
    bool pass = allOk;
    if (decode) {
        const double perSecond =
            static_cast<double>(counter.pictures) / std::max(Median(checkedTimes), 1e-9);
        std::printf(
            "median: decoding %.2f s, %.0f pictures/s, %.1f times real time (target >= "
            "%.0f)\n",
            Median(checkedTimes), perSecond, perSecond / kPicturesPerSecond, kDecodeSpeedTarget);
        pass = pass && perSecond / kPicturesPerSecond >= kDecodeSpeedTarget;
    } else {
        std::printf(
            "median: list %.2f s, checked %.2f s, ratio %.2f (target <= %.1f), processor time "
            "ratio %.2f\n",
            Median(listTimes), Median(checkedTimes), ratio, kReportRatioTarget, Median(cpuRatios));
        pass = pass && ratio <= kReportRatioTarget;
    }
    std::printf("%s\n", pass ? "PASS" : (allOk ? "MISSED TARGET" : "FAILED RUN"));
    return pass;
}

}  // namespace

int main(int argc, char** argv) {
    std::string tape;
    std::uint64_t size = ParseSize("1.5G");
    int runs = 3;
    bool sync = false;
    bool list = false;
    bool thumbnails = false;
    bool report = false;
    bool decode = false;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else if (arg == "--tape" && i + 1 < argc) {
            tape = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            size = ParseSize(argv[++i]);
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--sync") {
            sync = true;
        } else if (arg == "--list") {
            list = true;
        } else if (arg == "--thumbnails") {
            thumbnails = true;
        } else if (arg == "--report") {
            report = true;
        } else if (arg == "--decode") {
            decode = true;
        } else if (arg == "--copy-block" && i + 1 < argc) {
            g_copyBlock = std::max<std::uint64_t>(1, ParseSize(argv[++i]));
        } else if (arg == "--dv") {
            g_dv = true;
        } else if (arg == "--keep") {
            keep = true;
        } else {
            Usage();
            return 2;
        }
    }

    namespace fs = std::filesystem;
    char dirTemplate[] = "/tmp/vornak-bench-XXXXXX";
    const char* work = (!tape.empty() || size > 0) ? ::mkdtemp(dirTemplate) : nullptr;
    if (work == nullptr) {
        std::fprintf(stderr, "vornak-bench-split: cannot create a work folder\n");
        return 1;
    }
    bool generated = false;
    if (g_dv && (sync || thumbnails)) {
        Usage();
        return 2;
    }
    if (tape.empty() && g_dv) {
        tape = std::string(work) + "/bench.dv";
        std::printf("Making a DV tape with ffmpeg...\n");
        std::fflush(stdout);
        if (!MakeDvTape(work, tape, size)) {
            std::fprintf(stderr, "vornak-bench-split: cannot make %s (is ffmpeg installed?)\n",
                         tape.c_str());
            fs::remove_all(work);
            return 1;
        }
        generated = true;
    } else if (tape.empty() && (thumbnails || decode)) {
        tape = std::string(work) + "/bench.m2t";
        std::printf("Making a decodable tape with ffmpeg...\n");
        std::fflush(stdout);
        if (!MakeDecodableTape(work, tape, size)) {
            std::fprintf(stderr, "vornak-bench-split: cannot make %s (is ffmpeg installed?)\n",
                         tape.c_str());
            fs::remove_all(work);
            return 1;
        }
        generated = true;
    } else if (tape.empty()) {
        tape = std::string(work) + "/bench.m2t";
        // About 25 Mbit/s of video plus sound: roughly 1.95 MB per 15-picture group.
        constexpr double kBytesPerGroup = 1.95e6;
        constexpr int kGroupsPerScene = 100;  // one minute of recording per scene
        const int scenes = std::max(
            1, static_cast<int>(static_cast<double>(size) / (kBytesPerGroup * kGroupsPerScene)));
        vornak::tape::TapeWriter writer;
        vornak::tape::DateTime when;
        for (int i = 0; i < scenes; ++i) {
            vornak::tape::SceneSpec scene;
            scene.start = when;
            scene.gops = kGroupsPerScene;
            writer.AddScene(scene);
            when.hour = (when.hour + 1) % 24;
        }
        std::printf("Making a tape of %d scenes...\n", scenes);
        std::fflush(stdout);
        if (!writer.WriteFile(tape)) {
            std::fprintf(stderr, "vornak-bench-split: cannot write %s\n", tape.c_str());
            return 1;
        }
        generated = true;
    }
    const double tapeMB = static_cast<double>(fs::file_size(tape)) / 1e6;
    std::printf(
        "Tape: %s (%.1f MB), %s mode, %d runs, copy blocks of %zu bytes, both flushed to the "
        "disk\n",
        tape.c_str(), tapeMB, g_dv ? "DV" : (sync ? "sync" : "plain"), runs, g_copyBlock);
    WarmCache(tape);

    if ((sync && list) || (thumbnails && (sync || list)) ||
        ((report || decode) && (sync || list || thumbnails))) {
        Usage();
        return 2;
    }
    if (report || decode) {
        const bool pass = TimeChecks(tape, work, tapeMB, runs, decode);
        if (generated && !keep) {
            fs::remove(tape);
        }
        if (!keep) {
            fs::remove_all(work);
        }
        return pass ? 0 : 1;
    }
    if (thumbnails) {
        std::vector<double> listTimes, thumbnailTimes, ratios;
        bool allOk = true;
        const std::string pictures = std::string(work) + "/thumbnails";
        for (int run = 0; run < runs; ++run) {
            fs::create_directory(pictures);
            const auto runList = [&] { return Measure([&] { return ListScenes(tape, ""); }); };
            const auto runThumbnails = [&] {
                return Measure([&] { return ListScenes(tape, pictures); });
            };
            const auto [listing, withPictures] =
                vornak::bench::TakeTurns(run, runList, runThumbnails);
            const auto files = std::distance(fs::directory_iterator(pictures), {});
            fs::remove_all(pictures);
            allOk = allOk && listing.ok && withPictures.ok && files > 0;
            listTimes.push_back(listing.seconds);
            thumbnailTimes.push_back(withPictures.seconds);
            ratios.push_back(withPictures.seconds / std::max(listing.seconds, 1e-9));
            std::printf(
                "run %d: list %.2f s (%.0f MB/s), list with %ld thumbnails %.2f s, ratio %.2f, "
                "peak %.1f MiB\n",
                run + 1, listing.seconds, tapeMB / listing.seconds, static_cast<long>(files),
                withPictures.seconds, ratios.back(), withPictures.peakMiB);
        }
        const double ratio = Median(ratios);
        std::printf("median: list %.2f s, with thumbnails %.2f s, ratio %.2f (target <= %.1f)\n",
                    Median(listTimes), Median(thumbnailTimes), ratio, kThumbnailRatioTarget);
        const bool pass = allOk && ratio <= kThumbnailRatioTarget;
        std::printf("%s\n", pass ? "PASS" : (allOk ? "MISSED TARGET" : "FAILED RUN"));
        if (generated && !keep) {
            fs::remove(tape);
        }
        if (!keep) {
            fs::remove_all(work);
        }
        return pass ? 0 : 1;
    }
    std::vector<double> copyTimes, splitTimes, ratios, listTimes, listRatios;
    double listPeakMiB = 0;
    double peakMiB = 0;
    bool allOk = true;
    for (int run = 0; run < runs; ++run) {
        const std::string copyPath = std::string(work) + "/copy.m2t";
        const std::string outDir = std::string(work) + "/scenes";
        fs::create_directory(outDir);
        const auto runCopy = [&] {
            const Measurement m = Measure([&] { return CopyFile(tape.c_str(), copyPath.c_str()); });
            fs::remove(copyPath);
            return m;
        };
        const auto runSplit = [&] {
            const Measurement m =
                Measure([&] { return SplitFile(tape.c_str(), outDir.c_str(), sync); });
            fs::remove_all(outDir);
            return m;
        };
        const auto [copy, split] = vornak::bench::TakeTurns(run, runCopy, runSplit);
        allOk = allOk && copy.ok && split.ok;
        copyTimes.push_back(copy.seconds);
        splitTimes.push_back(split.seconds);
        ratios.push_back(split.seconds / std::max(copy.seconds, 1e-9));
        peakMiB = std::max(peakMiB, split.peakMiB);
        std::printf(
            "run %d: copy %.2f s (%.0f MB/s), split %.2f s (%.0f MB/s), ratio %.2f, split peak "
            "%.1f MiB\n",
            run + 1, copy.seconds, tapeMB / copy.seconds, split.seconds, tapeMB / split.seconds,
            ratios.back(), split.peakMiB);
        if (list) {
            // Reading alone: it goes last, after the others' writeback has had its turn.
            const Measurement listing =
                Measure([&] { return SplitFile(tape.c_str(), outDir.c_str(), false, true); });
            allOk = allOk && listing.ok;
            listTimes.push_back(listing.seconds);
            listRatios.push_back(listing.seconds / std::max(split.seconds, 1e-9));
            listPeakMiB = std::max(listPeakMiB, listing.peakMiB);
            std::printf("run %d: list %.2f s (%.0f MB/s), list/split ratio %.2f\n", run + 1,
                        listing.seconds, tapeMB / listing.seconds, listRatios.back());
        }
    }
    const double ratio = Median(ratios);
    const double ratioTarget = sync ? kSyncRatioTarget : kPlainRatioTarget;
    const double memoryTarget = sync ? kSyncMemoryTargetMiB : kPlainMemoryTargetMiB;
    std::printf(
        "median: copy %.2f s, split %.2f s, split/copy ratio %.2f (target <= %.1f), "
        "peak resident %.1f MiB (target <= %.0f)\n",
        Median(copyTimes), Median(splitTimes), ratio, ratioTarget, peakMiB, memoryTarget);
    bool pass = allOk && ratio <= ratioTarget && peakMiB <= memoryTarget;
    if (list) {
        const double listRatio = Median(listRatios);
        std::printf(
            "median: list %.2f s, list/split ratio %.2f (target <= %.1f), list/copy ratio %.2f, "
            "peak resident %.1f MiB\n",
            Median(listTimes), listRatio, kListRatioTarget,
            Median(listTimes) / std::max(Median(copyTimes), 1e-9), listPeakMiB);
        pass = pass && listRatio <= kListRatioTarget;
    }
    std::printf("%s\n", pass ? "PASS" : (allOk ? "MISSED TARGET" : "FAILED RUN"));
    if (generated && !keep) {
        fs::remove(tape);
    }
    if (!keep) {
        fs::remove_all(work);
    }
    return pass ? 0 : 1;
}
