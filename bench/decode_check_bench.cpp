// Speed of the decode check alone: an HDV-like tape (1440 x 1080, 25 pictures a second, MPEG-2
// at 25 Mbit/s in picture groups of 12, as scripts/demo makes them, with a little moving grain
// so that the 25 Mbit/s carry picture rather than stuffing, as a camcorder's do) read into memory
// and its video fed through FfmpegVideoDecodeCheck as a split job would, on one thread (with and
// without the pictures' inverse transform) and with slice threads, in turns. The check as it is
// made (the last) must keep up with at least four times real time. libavcodec's MPEG-2 decoder has
// no frame threads to compare.
//
//   vornak-bench-decode-check [--tape FILE] [--seconds N] [--threads N] [--runs N]
//                             [--picture LAVFI-SOURCE] [--keep]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FfmpegVideoDecodeCheck.h"
#include "PesHeader.h"
#include "Pids.h"
#include "TransportPacket.h"

namespace {

constexpr double kPicturesPerSecond = 25.0;  // HDV 1080i at 50 fields a second
constexpr double kRealTimeTarget = 4.0;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Result {
    double seconds = 0;
    double cpuSeconds = 0;
    std::uint64_t packets = 0;
    std::uint64_t pictures = 0;
    std::size_t failures = 0;
};

Result Run(const std::vector<std::uint8_t>& ts, const vornak::FfmpegVideoDecodeCheck::Options& o) {
    using vornak::TransportPacket;
    Result result;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    vornak::FfmpegVideoDecodeCheck check(o);
    std::vector<std::uint64_t> failures;
    for (std::size_t at = 0; at + TransportPacket::kSize <= ts.size();
         at += TransportPacket::kSize) {
        const std::optional<TransportPacket> packet = TransportPacket::Parse(
            std::span<const std::uint8_t>(ts).subspan(at, TransportPacket::kSize));
        if (!packet || packet->pid() != vornak::PID_VIDEO) {
            continue;
        }
        std::span<const std::uint8_t> payload = packet->payload();
        const bool unitStart = packet->payload_unit_start_indicator();
        if (unitStart) {
            const std::optional<vornak::PesHeader> header = vornak::PesHeader::Parse(payload);
            payload = header ? payload.subspan(header->PayloadOffset()) : payload.subspan(0, 0);
        }
        check.Feed(payload.data(), payload.size(), unitStart, at);
        check.TakeFailures(failures);
    }
    check.Flush();
    check.TakeFailures(failures);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpuSeconds = CpuSeconds() - cpuStart;
    result.packets = check.PacketsDecoded();
    result.pictures = check.PicturesOut();
    result.failures = failures.size();
    return result;
}

bool MakeTape(const std::string& path, int seconds, const std::string& picture) {
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i '" + picture +
        "=size=1440x1080:rate=25,setsar=4/3,noise=alls=8:allf=t' -t " + std::to_string(seconds) +
        " -c:v mpeg2video -b:v 25M -minrate 25M -maxrate 25M -bufsize 9781248"
        " -g 12 -bf 2 -flags +cgop -sc_threshold 1000000000"
        " -mpegts_pmt_start_pid 0x100 -streamid 0:0x810 -f mpegts '" +
        path + "'";
    return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string tape;
    int seconds = 40;
    int threads = 0;
    int runs = 3;
    std::string picture = "testsrc2";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool more = i + 1 < argc;
        if (arg == "--tape" && more) {
            tape = argv[++i];
        } else if (arg == "--seconds" && more) {
            seconds = std::atoi(argv[++i]);
        } else if (arg == "--threads" && more) {
            threads = std::atoi(argv[++i]);
        } else if (arg == "--runs" && more) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--picture" && more) {
            picture = argv[++i];
        } else if (arg == "--keep") {
            keep = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--tape FILE] [--seconds N] [--threads N] [--runs N] "
                         "[--picture LAVFI-SOURCE] [--keep]\n",
                         argv[0]);
            return 2;
        }
    }
    bool made = false;
    if (tape.empty()) {
        tape = (std::filesystem::temp_directory_path() / "vornak-decode-bench.m2t").string();
        std::printf("Making a %d s HDV-like tape with ffmpeg: %s\n", seconds, tape.c_str());
        if (!MakeTape(tape, seconds, picture)) {
            std::fprintf(stderr, "ffmpeg could not make the tape\n");
            return 1;
        }
        made = true;
    }
    std::ifstream in(tape, std::ios::binary);
    const std::vector<std::uint8_t> ts((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
    if (made && !keep) {
        std::filesystem::remove(tape);
    }
    if (ts.empty()) {
        std::fprintf(stderr, "cannot read %s\n", tape.c_str());
        return 1;
    }
    std::printf("%.1f MB of tape\n", static_cast<double>(ts.size()) / 1e6);
    // Other work on the machine slows the wall clock, not the processor time a picture takes.
    double load[1] = {0};
    if (getloadavg(load, 1) == 1) {
        std::printf("load average %.1f on %u processors\n", load[0],
                    std::thread::hardware_concurrency());
    }

    const struct {
        const char* name;
        int threads;
        bool reconstruct;
    } ways[] = {
        {"one thread, whole pictures", 1, true},
        {"one thread", 1, false},
        {"two slice threads", 2, false},
        {"the check's own threads", threads, false},
    };
    bool ok = true;
    for (int run = 0; run < runs; ++run) {
        for (const auto& way : ways) {
            const Result r = Run(ts, {.threads = way.threads, .reconstruct = way.reconstruct});
            const double rate = static_cast<double>(r.pictures) / r.seconds;
            const double cpuRate = static_cast<double>(r.pictures) / r.cpuSeconds;
            std::printf(
                "run %d, %-26s: %llu pictures in %.2f s: %.0f pictures/s, %.1f x real "
                "time; %.2f s of processor time: %.0f pictures a processor second; "
                "%zu failures\n",
                run + 1, way.name, static_cast<unsigned long long>(r.pictures), r.seconds, rate,
                rate / kPicturesPerSecond, r.cpuSeconds, cpuRate, r.failures);
            if (way.threads == threads && !way.reconstruct &&
                (rate / kPicturesPerSecond < kRealTimeTarget || r.failures != 0 ||
                 r.pictures != r.packets)) {
                ok = false;
            }
        }
    }
    std::printf("%s (target: the check's own threading at least %.0f x real time, no failures)\n",
                ok ? "PASS" : "FAIL", kRealTimeTarget);
    return ok ? 0 : 1;
}
