// What vornak-capture costs, run as the program itself with the virtual camcorder:
//  - the CPU time (user + system, of the child process) of a scene-split capture of a tape
//    played at its own rate, given per hour of HDV (25 Mbit/s): what a real camcorder costs;
//  - the wall time of a --single-file capture of a large tape played as fast as the capture
//    takes it, against a plain copy of the same file with 12,582,840-byte blocks that is flushed
//    to the disk (fdatasync) before it closes, as the capture's file is, taking turns at going
//    first. The capture's time is given twice: until the file is complete (all but its last
//    64 KB of packets, which go out when the run ends), and until the program has exited, its
//    file and folder flushed (it notices the end of the tape at its third once-a-second check,
//    or the next one after).
//
//   vornak-bench-capture-command [--seconds N] [--size BYTES] [--runs N] [--keep]
//
// vornak-capture and vornak-mktape are taken from the folder this program is in.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TakeTurns.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCopyBlock = 12'582'840;
constexpr double kHdvBytesPerSecond = 25e6 / 8;
constexpr double kSecondsPerHour = 3600;
constexpr double kDefaultTapeSeconds = 30;
constexpr char kDefaultSize[] = "1.5G";
constexpr int kDefaultRuns = 3;
constexpr auto kSizePoll = std::chrono::milliseconds(5);
// The capture file is written 64 KB of whole packets at a time: the last ones reach the file
// when the run ends.
constexpr std::uintmax_t kWriteSlack = 64 * 1024;
constexpr double kMicro = 1e-6;
constexpr double kBytesPerMB = 1e6;

struct Measurement {
    double seconds = 0;      // until the child exited
    double dataSeconds = 0;  // until the watched file reached its size (0: not watched)
    double cpuSeconds = 0;   // the child's user + system time
    bool ok = false;
};

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * kMicro;
}

// Runs `argv` with `env` added to the environment; while it runs, notes when `watch` (if any)
// reaches `watchSize` bytes.
Measurement RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& watch = {}, std::uintmax_t watchSize = 0) {
    Measurement m;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        for (const std::string& setting : env) {
            ::putenv(const_cast<char*>(setting.c_str()));
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        std::_Exit(127);
    }
    if (child < 0) {
        return m;
    }
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(child, &status, watch.empty() ? 0 : WNOHANG, &usage);
        if (done == child) {
            break;
        }
        if (done < 0) {
            return m;
        }
        std::error_code ec;
        if (m.dataSeconds == 0 && fs::file_size(watch, ec) >= watchSize && !ec) {
            m.dataSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        std::this_thread::sleep_for(kSizePoll);
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!watch.empty() && m.dataSeconds == 0) {
        m.dataSeconds = m.seconds;  // complete only as the program ended
    }
    return m;
}

// The copy the capture is measured against, in a child process like the capture.
Measurement Copy(const std::string& from, const std::string& to) {
    Measurement m;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open(from.c_str(), O_RDONLY);
        const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kCopyBlock);
        if (in < 0 || out < 0) {
            std::_Exit(1);
        }
        ssize_t n = 0;
        while ((n = ::read(in, buffer.get(), kCopyBlock)) > 0) {
            for (ssize_t done = 0; done < n;) {
                const ssize_t w =
                    ::write(out, buffer.get() + done, static_cast<std::size_t>(n - done));
                if (w <= 0) {
                    std::_Exit(1);
                }
                done += w;
            }
        }
        // Flushed as the capture's file is: a copy in the page cache alone is not done yet.
        const bool flushed = ::fdatasync(out) == 0;
        std::_Exit(flushed && ::close(out) == 0 && n == 0 ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child) {
        return m;
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

std::uint64_t FolderBytes(const std::string& dir) {
    std::uint64_t total = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        total += entry.file_size();
    }
    return total;
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

void Usage() {
    std::printf(
        "Usage: vornak-bench-capture-command [--seconds N] [--size BYTES] [--runs N] [--keep]\n"
        "Runs vornak-capture with the virtual camcorder: CPU seconds per hour of HDV of a\n"
        "scene-split capture at the tape's own rate, and the wall time of a --single-file\n"
        "capture at full speed against a copy with %zu-byte blocks, both flushed to the disk,\n"
        "alternating.\n"
        "  --seconds N   length of the tape played at its own rate (default %.0f)\n"
        "  --size BYTES  size of the tape for the full-speed capture, as vornak-mktape\n"
        "                takes it (default %s)\n"
        "  --runs N      copy/capture pairs (default %d)\n"
        "  --keep        keep the work folder\n",
        kCopyBlock, kDefaultTapeSeconds, kDefaultSize, kDefaultRuns);
}

}  // namespace

int main(int argc, char** argv) {
    double tapeSeconds = kDefaultTapeSeconds;
    std::string size = kDefaultSize;
    int runs = kDefaultRuns;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            tapeSeconds = std::max(1.0, std::atof(argv[++i]));
        } else if (arg == "--size" && i + 1 < argc) {
            size = argv[++i];
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--keep") {
            keep = true;
        } else {
            Usage();
            return arg == "--help" ? 0 : 2;
        }
    }
    const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    const std::string capture = (bin / "vornak-capture").string();
    const std::string mktape = (bin / "vornak-mktape").string();
    char dirTemplate[] = "/tmp/vornak-bench-capture-XXXXXX";
    if (::mkdtemp(dirTemplate) == nullptr) {
        std::fprintf(stderr, "vornak-bench-capture-command: cannot create a work folder\n");
        return 1;
    }
    const std::string work = dirTemplate;
    bool allOk = true;

    // 1. CPU time of a split capture at the tape's own rate.
    const std::string shortTape = work + "/short.m2t";
    const auto shortBytes = static_cast<std::uint64_t>(tapeSeconds * kHdvBytesPerSecond);
    if (!RunChild({mktape, "--quiet", "--size", std::to_string(shortBytes), shortTape}, {}).ok) {
        std::fprintf(stderr, "vornak-bench-capture-command: cannot make %s\n", shortTape.c_str());
        return 1;
    }
    const std::string scenes = work + "/scenes";
    fs::create_directory(scenes);
    const Measurement live =
        RunChild({capture, "--quiet", "--output-dir", scenes, "--name", "live"},
                 {"VORNAK_VIRTUAL_CAMCORDER=" + shortTape, "VORNAK_VIRTUAL_SPEED=1"});
    const double shortTapeBytes = static_cast<double>(fs::file_size(shortTape));
    const bool liveWhole = FolderBytes(scenes) == fs::file_size(shortTape);
    allOk = allOk && live.ok && liveWhole;
    const double hours = shortTapeBytes / (kHdvBytesPerSecond * kSecondsPerHour);
    std::printf(
        "split capture at the tape's rate: %.1f MB tape, %.1f s wall, %.2f s CPU: %.1f CPU "
        "seconds per hour of HDV%s\n",
        shortTapeBytes / kBytesPerMB, live.seconds, live.cpuSeconds, live.cpuSeconds / hours,
        liveWhole ? "" : " (SCENE FILES INCOMPLETE)");
    std::fflush(stdout);
    fs::remove_all(scenes);

    // 2. Wall time of a full-speed single-file capture against a copy.
    const std::string tape = work + "/tape.m2t";
    std::printf("Making a %s tape...\n", size.c_str());
    std::fflush(stdout);
    if (!RunChild({mktape, "--quiet", "--size", size, tape}, {}).ok) {
        std::fprintf(stderr, "vornak-bench-capture-command: cannot make %s\n", tape.c_str());
        return 1;
    }
    const std::uintmax_t tapeSize = fs::file_size(tape);
    const double tapeMB = static_cast<double>(tapeSize) / kBytesPerMB;
    WarmCache(tape);
    std::vector<double> copyTimes, dataTimes, exitTimes, ratios;
    for (int run = 0; run < runs; ++run) {
        const std::string copyPath = work + "/copy.m2t";
        const std::string capturePath = work + "/capture.m2t";
        const auto runCopy = [&] {
            const Measurement m = Copy(tape, copyPath);
            fs::remove(copyPath);
            return m;
        };
        const auto runCapture = [&] {
            const Measurement m = RunChild(
                {capture, "--quiet", "--single-file", "--output-dir", work, "--name", "capture"},
                {"VORNAK_VIRTUAL_CAMCORDER=" + tape, "VORNAK_VIRTUAL_SPEED=0"}, capturePath,
                tapeSize - kWriteSlack);
            std::error_code ec;
            const bool whole = fs::file_size(capturePath, ec) == tapeSize && !ec;
            fs::remove(capturePath);
            Measurement checked = m;
            checked.ok = m.ok && whole;
            return checked;
        };
        const auto [copy, captured] = vornak::bench::TakeTurns(run, runCopy, runCapture);
        allOk = allOk && copy.ok && captured.ok;
        copyTimes.push_back(copy.seconds);
        dataTimes.push_back(captured.dataSeconds);
        exitTimes.push_back(captured.seconds);
        ratios.push_back(captured.dataSeconds / std::max(copy.seconds, 1e-9));
        std::printf(
            "run %d: copy %.2f s (%.0f MB/s), capture complete after %.2f s (%.0f MB/s), exited "
            "after %.2f s (%.2f s CPU), ratio %.2f%s\n",
            run + 1, copy.seconds, tapeMB / copy.seconds, captured.dataSeconds,
            tapeMB / std::max(captured.dataSeconds, 1e-9), captured.seconds, captured.cpuSeconds,
            ratios.back(), captured.ok ? "" : " (FAILED)");
        std::fflush(stdout);
    }
    std::printf(
        "median over %d runs of a %.1f MB tape: copy %.2f s, capture complete %.2f s, exited "
        "%.2f s; capture/copy ratio %.2f (complete), %.2f (exited)\n",
        runs, tapeMB, Median(copyTimes), Median(dataTimes), Median(exitTimes), Median(ratios),
        Median(exitTimes) / std::max(Median(copyTimes), 1e-9));
    std::printf("%s\n", allOk ? "OK" : "FAILED RUN");
    if (!keep) {
        fs::remove_all(work);
    } else {
        std::printf("kept %s\n", work.c_str());
    }
    return allOk ? 0 : 1;
}
