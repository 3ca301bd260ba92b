// How fast the capture side takes a tape: the virtual camcorder plays a tape into the capture
// pin as fast as it can, once into a capture file and once into a live split job; then a live
// run at twenty times the tape's rate shows whether the split job keeps up without a dropped
// chunk. CPU time is given per hour of HDV (25 Mbit/s), the measure that matters on a real
// camcorder, where the data never comes faster than that.
//
//   vornak-bench-capture [--tape FILE | --size BYTES] [--speed FACTOR] [--no-scan] [--keep]
//   vornak-bench-capture --dv FILE[,FILE...]
//
// --dv plays a DV tape (or a tape of several files, as VORNAK_VIRTUAL_CAMCORDER takes it) the
// same way: into a capture file (NAME.dv beside NAME.m2t) and into live split jobs, one for
// each stretch of the tape, with CPU time per hour of the tape's playing time.
//
// --speed sets the live run that must keep up (20 by default); unless --no-scan is given, the
// factor is then doubled until a chunk is dropped.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "ComPtr.h"
#include "Guids.h"
#include "LogSink.h"
#include "PrimedLiveSource.h"
#include "SceneFileName.h"
#include "SceneJobFactory.h"
#include "TapeWriter.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderPin.h"
#include "VirtualTape.h"

namespace {

namespace fs = std::filesystem;
using vornak::ComPtr;

constexpr double kDefaultTapeBytes = 1.5e9;
constexpr double kDefaultLiveSpeed = 20.0;
constexpr double kFastestFactor = 1280.0;
constexpr double kHdvBytesPerHour = 25e6 / 8 * 3600;
constexpr int kGroupsPerScene = 100;  // about a minute of recording per scene
constexpr auto kEndWait = std::chrono::hours(1);
// Data flows without pause while the tape plays; a pause this long would end the run early.
constexpr auto kLiveSilence = std::chrono::seconds(2);

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Result {
    double seconds = 0;
    double cpu = 0;
    std::uint32_t dropped = 0;
    double written = 0;  // bytes that reached the output files
    bool ok = true;
};

// Sums what the split job writes; a full-speed live run drops what the job cannot take.
class WrittenCounter : public vornak::LogSink {
  public:
    void AddLog(vornak::LogSeverity, const std::string&) override {}
    void AddWritten(std::uint32_t bytes) override { m_bytes += bytes; }
    double Bytes() const { return static_cast<double>(m_bytes.load()); }

  private:
    std::atomic<std::uint64_t> m_bytes{0};
};

// The camcorder connected to a capture filter, both running.
class Graph {
  public:
    Graph(const std::string& tape, double speed) {
        m_types[0].majortype = vornak::MEDIATYPE_Stream;
        m_filter = ComPtr<vornak::CaptureFilter>(new vornak::CaptureFilter(m_types, 0));
        m_camcorder = ComPtr<vornak::VirtualCamcorderFilter>(new vornak::VirtualCamcorderFilter());
        m_ok = m_camcorder->LoadTape(tape);
        m_camcorder->SetSpeed(speed);
        m_ok = m_ok && m_camcorder->GetOutputPin()->Connect(Pin(), nullptr) == vornak::S_OK &&
               m_filter->Run(0) == vornak::S_OK && m_camcorder->Run(0) == vornak::S_OK;
    }
    ~Graph() {
        m_camcorder->Stop();
        m_filter->Stop();
        m_camcorder->GetOutputPin()->Disconnect();
        Pin()->Disconnect();
    }
    bool Ok() const { return m_ok; }
    vornak::CapturePin* Pin() const { return m_filter->GetCapturePin(); }
    vornak::VirtualCamcorderFilter* Camcorder() const { return m_camcorder.Get(); }

  private:
    vornak::AM_MEDIA_TYPE m_types[1];
    ComPtr<vornak::CaptureFilter> m_filter;
    ComPtr<vornak::VirtualCamcorderFilter> m_camcorder;
    bool m_ok = false;
};

// The bytes the tape's parts hold, and how long they play.
struct TapeSize {
    double bytes = 0;
    double hours = 0;
};

TapeSize SizeOf(const vornak::VirtualMixedTape& tape) {
    TapeSize size;
    for (std::size_t i = 0; i < tape.PartCount(); ++i) {
        const vornak::VirtualTape& part = tape.Part(i);
        size.bytes += static_cast<double>(part.UnitCount() * part.UnitSize());
        size.hours += static_cast<double>(part.UnitCount() * part.UnitTimeNumerator()) /
                      static_cast<double>(part.UnitTimeDenominator()) / 3600;
    }
    return size;
}

// Into one file, and the DV into one beside it; every byte of the tape must be in them.
Result FileRun(const std::string& tape, const std::string& outPrefix) {
    Graph graph(tape, 0);
    Result result;
    const std::string out = outPrefix + ".m2t";
    const std::string dvOut = outPrefix + ".dv";
    vornak::CaptureFile file = vornak::CaptureFileWriter::CreateNew(out);
    if (!graph.Ok() || file == nullptr) {
        result.ok = false;
        return result;
    }
    const double cpu = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    graph.Pin()->StartCapture(std::move(file), [&dvOut] {
        vornak::CaptureFileWriter::Create created{};
        int error = 0;
        return vornak::CaptureFileWriter::CreateNew(
            dvOut, created, error, vornak::CaptureFileWriter::Packing::WholeWrites);
    });
    graph.Camcorder()->PlayTape();
    result.ok = graph.Camcorder()->WaitForEndOfTape(kEndWait);
    graph.Pin()->StopCapture();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpu = CpuSeconds() - cpu;
    result.dropped = graph.Pin()->Dropped();
    result.written = static_cast<double>(fs::file_size(out)) +
                     (fs::exists(dvOut) ? static_cast<double>(fs::file_size(dvOut)) : 0);
    result.ok = result.ok && !graph.Pin()->WriteFailed() &&
                result.written == SizeOf(graph.Camcorder()->Tape()).bytes;
    fs::remove(out);
    fs::remove(dvOut);
    return result;
}

Result LiveRun(const std::string& tape, const std::string& outDir, double speed) {
    Graph graph(tape, speed);
    Result result;
    if (!graph.Ok()) {
        result.ok = false;
        return result;
    }
    fs::create_directories(outDir);
    vornak::CapturePin* pin = graph.Pin();
    pin->SetTakeChunksTimeout(kLiveSilence);
    const double cpu = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    pin->StartCapture(nullptr);
    bool failed = false;
    WrittenCounter written;
    // As a capture's worker does: a job for each stretch of the tape, of the stretch's kind.
    std::thread worker([&] {
        do {
            std::unique_ptr<vornak::ChunkQueue> first = pin->TakeChunks();
            if (!first) {
                continue;
            }
            const vornak::ChunkKind kind = first->back()->kind;
            vornak::PrimedLiveSource source(pin, std::move(first));
            const std::unique_ptr<vornak::SceneJob> job = vornak::MakeLiveSceneJob(
                &source, kind, {.baseName = outDir + "/scene", .extension = "m2t"}, &written,
                nullptr);
            job->Run();
            failed = failed || vornak::IsFailure(job->Result());
        } while (pin->TakeLiveBreak());
        pin->EndLiveRun();
    });
    graph.Camcorder()->PlayTape();
    result.ok = graph.Camcorder()->WaitForEndOfTape(kEndWait);
    // Nothing more will come: the reader takes what is queued without waiting for more.
    pin->EndLiveRun();
    pin->StopCapture();
    worker.join();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpu = CpuSeconds() - cpu;
    result.dropped = pin->Dropped();
    result.written = written.Bytes();
    result.ok = result.ok && !failed;
    return result;
}

// `hours`: how long the tape plays; `of`: what kind of tape it is.
void Report(const char* name, const Result& r, double bytes, double hours, const char* of) {
    std::printf(
        "%-24s %6.1f MB/s in, %6.1f MB/s written, %6.1f s, CPU %6.1f s = %5.1f CPU s "
        "per hour of %s, dropped chunks %u%s\n",
        name, bytes / 1e6 / r.seconds, r.written / 1e6 / r.seconds, r.seconds, r.cpu, r.cpu / hours,
        of, r.dropped, r.ok ? "" : "  FAILED");
}

// A DV (or mixed) tape into a file run and live runs, timed per hour of its playing time.
int DvRun(const std::string& tape, const std::string& dir, double speed) {
    vornak::VirtualCamcorderFilter probe;
    if (!probe.LoadTape(tape)) {
        std::fprintf(stderr, "vornak-bench-capture: cannot read %s\n",
                     probe.Tape().FailedPath().c_str());
        return 1;
    }
    const TapeSize size = SizeOf(probe.Tape());
    std::printf("DV tape: %s (%.1f MB, %.3f hours of play, %zu parts)\n", tape.c_str(),
                size.bytes / 1e6, size.hours, probe.Tape().PartCount());
    std::fflush(stdout);
    const Result file = FileRun(tape, dir + "/capture");
    Report("file run, full speed", file, size.bytes, size.hours, "the tape");
    const Result live = LiveRun(tape, dir + "/live", 0);
    Report("live run, full speed", live, size.bytes, size.hours, "the tape");
    fs::remove_all(dir + "/live");
    char name[64];
    std::snprintf(name, sizeof name, "live run, %gx real time", speed);
    const Result paced = LiveRun(tape, dir + "/paced", speed);
    Report(name, paced, size.bytes, size.hours, "the tape");
    fs::remove_all(dir);
    return file.ok && live.ok && paced.ok && paced.dropped == 0 ? 0 : 1;
}

bool MakeTape(const std::string& path, double bytes) {
    vornak::tape::TapeWriter writer;
    const double groupBytes = static_cast<double>(writer.EstimatedGroupBytes());
    const int groups = std::max(1, static_cast<int>(bytes / groupBytes));
    vornak::tape::DateTime when;
    for (int done = 0; done < groups; done += kGroupsPerScene) {
        vornak::tape::SceneSpec scene;
        scene.start = when;
        scene.gops = std::min(kGroupsPerScene, groups - done);
        writer.AddScene(scene);
        when = vornak::tape::AddSeconds(when, 3600);
    }
    std::printf("Making a tape of %d picture groups...\n", groups);
    std::fflush(stdout);
    return writer.WriteFile(path);
}

}  // namespace

int main(int argc, char** argv) {
    std::string tape;
    double size = kDefaultTapeBytes;
    double speed = kDefaultLiveSpeed;
    bool keep = false;
    bool scan = true;
    std::string dvTape;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tape" && i + 1 < argc) {
            tape = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            size = std::atof(argv[++i]);
        } else if (arg == "--speed" && i + 1 < argc) {
            speed = std::atof(argv[++i]);
        } else if (arg == "--keep") {
            keep = true;
        } else if (arg == "--no-scan") {
            scan = false;
        } else if (arg == "--dv" && i + 1 < argc) {
            dvTape = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: vornak-bench-capture [--tape FILE | --size BYTES] "
                         "[--speed FACTOR] [--no-scan] [--keep]\n"
                         "       vornak-bench-capture --dv FILE[,FILE...]\n");
            return 2;
        }
    }
    char dirTemplate[] = "/tmp/vornak-bench-capture-XXXXXX";
    const char* work = ::mkdtemp(dirTemplate);
    if (work == nullptr) {
        std::fprintf(stderr, "vornak-bench-capture: cannot create a work folder\n");
        return 1;
    }
    const std::string dir = work;
    if (!dvTape.empty()) {
        return DvRun(dvTape, dir, speed);
    }
    if (tape.empty()) {
        tape = dir + "/tape.m2t";
        if (!MakeTape(tape, size)) {
            std::fprintf(stderr, "vornak-bench-capture: cannot write %s\n", tape.c_str());
            return 1;
        }
    }
    const double bytes = static_cast<double>(fs::file_size(tape));
    vornak::VirtualTape probe;
    probe.Open(tape);
    std::printf(
        "Tape: %s (%.1f MB, %.2f hours of HDV, %.1f Mbit/s by its clock), %zu source "
        "packets per sample\n",
        tape.c_str(), bytes / 1e6, bytes / kHdvBytesPerHour, probe.BitRate() / 1e6,
        vornak::VirtualCamcorderFilter::kDefaultPacketsPerSample);
    std::fflush(stdout);

    const double hours = bytes / kHdvBytesPerHour;
    const Result file = FileRun(tape, dir + "/capture");
    Report("file run, full speed", file, bytes, hours, "HDV");

    const Result live = LiveRun(tape, dir + "/live", 0);
    Report("live run, full speed", live, bytes, hours, "HDV");
    fs::remove_all(dir + "/live");

    // The required rate first, then doubling it until the split job falls behind: the camcorder
    // never waits for the reader, so an unpaced live run only shows how much it drops.
    bool keepsUp = false;
    double fastestKept = 0;
    for (double factor = speed; factor <= kFastestFactor; factor *= 2) {
        char name[64];
        std::snprintf(name, sizeof name, "live run, %gx real time", factor);
        const Result paced = LiveRun(tape, dir + "/paced", factor);
        Report(name, paced, bytes, hours, "HDV");
        fs::remove_all(dir + "/paced");
        const bool kept = paced.ok && paced.dropped == 0;
        if (factor == speed) {
            keepsUp = kept;
        }
        if (!kept || !scan) {
            break;
        }
        fastestKept = factor;
    }
    std::printf("Live run at %gx real time %s\n", speed,
                keepsUp ? "keeps up: no chunk dropped" : "does NOT keep up");
    if (scan && fastestKept > 0) {
        std::printf("Fastest live run without a dropped chunk: %gx real time\n", fastestKept);
    }
    if (!keep) {
        fs::remove_all(dir);
    } else {
        std::printf("Kept %s\n", dir.c_str());
    }
    return file.ok && keepsUp ? 0 : 1;
}
