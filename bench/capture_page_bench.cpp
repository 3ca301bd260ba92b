// The whole window at work: the "Capturing" page records a tape from the virtual camcorder
// into scene files, first at twenty times the tape's rate (nothing may be dropped), then at
// the tape's own rate, where the CPU time of the whole program is what a real capture costs,
// given per hour of HDV.
//
//   vornak-bench-capture-page [--seconds N] [--speed FACTOR] [--keep]
//
// --seconds is the tape's length at its own rate (30 by default), --speed the fast run's factor.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QThread>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "CVornakCapture.h"
#include "CapturePin.h"
#include "DeviceCatalog.h"
#include "MessageService.h"
#include "SettingsMap.h"
#include "TapeWriter.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderSource.h"

namespace {

namespace fs = std::filesystem;

constexpr double kDefaultSeconds = 30;
constexpr double kDefaultSpeed = 20;
constexpr int kPicturesPerGroup = 15;
constexpr int kPicturesPerSecond = 25;
constexpr int kScenes = 3;
constexpr double kSecondsPerHour = 3600;
constexpr auto kTick = std::chrono::milliseconds(vornak::CVornakCapture::kTimerPeriodMs);

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Boxes would wait for a click that never comes: they are printed instead.
class PrintedMessages : public vornak::MessageService {
  public:
    void Information(QWidget*, const QString&, const QString& text) override { Print(text); }
    void Warning(QWidget*, const QString&, const QString& text) override { Print(text); }
    void Error(QWidget*, const QString&, const QString& text) override { Print(text); }
    bool Question(QWidget*, const QString&, const QString& text) override {
        Print(text);
        return false;
    }
    bool Confirm(QWidget*, const QString&, const QString& text, const QString&) override {
        Print(text);
        return false;
    }

  private:
    static void Print(const QString& text) {
        std::printf("  box: %s\n", text.toLocal8Bit().replace("\r\n", " / ").constData());
    }
};

struct RunResult {
    double wall = 0;
    double cpu = 0;
    std::uint32_t chunksDropped = 0;
    std::string framesDropped;
    std::size_t files = 0;
    bool ok = false;
};

// One split run of the whole tape through the page, its timer ticking as in the window.
RunResult CaptureThroughThePage(const std::string& tape, double speed, const std::string& out) {
    vornak::VirtualCamcorderSource::Settings settings;
    settings.tapePath = tape;
    settings.speed = speed;
    vornak::SetDeviceSources({std::make_shared<vornak::VirtualCamcorderSource>(settings)});
    fs::create_directories(out);
    vornak::SettingsMap map{{"capture_file_name", "bench"},
                            {"capture_output_dir", out},
                            {"capture_scene_split", "1"},
                            {"capture_add_timestamp", "0"}};
    RunResult result;
    {
        vornak::CVornakCapture page;
        page.SetSettings(&map);
        page.LoadPageSettings();
        page.OnSetActive();
        page.OnTimer();
        if (!page.CamcorderPresent()) {
            std::fprintf(stderr,
                         "vornak-bench-capture-page: the virtual camcorder was not found\n");
            vornak::SetDeviceSources({});
            return result;
        }
        const double cpu0 = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        qobject_cast<QAbstractButton*>(page.control(vornak::CVornakCapture::kIdRecord))->click();
        auto next = start;
        while (page.Session().InCapture() || page.Session().WorkerRunning()) {
            next += kTick;
            while (std::chrono::steady_clock::now() < next) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                QThread::msleep(5);
            }
            page.OnTimer();
        }
        result.wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.cpu = CpuSeconds() - cpu0;
        result.chunksDropped = page.Session().GetCapturePin()->Dropped();
        result.framesDropped =
            qobject_cast<QLabel*>(page.control(vornak::CVornakCapture::kIdDropped))
                ->text()
                .toStdString();
        result.ok = true;
    }
    vornak::SetDeviceSources({});
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out)) {
        ++result.files;
    }
    return result;
}

}  // namespace

int main(int argc, char* argv[]) {
    double seconds = kDefaultSeconds;
    double speed = kDefaultSpeed;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--speed") == 0 && i + 1 < argc) {
            speed = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else {
            std::fprintf(stderr,
                         "Usage: vornak-bench-capture-page [--seconds N] [--speed FACTOR] "
                         "[--keep]\n");
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    if (seconds <= 0 || speed <= 0) {
        std::fprintf(stderr, "vornak-bench-capture-page: --seconds and --speed must be > 0\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    PrintedMessages messages;
    vornak::MessageService::Install(&messages);

    const fs::path work =
        fs::temp_directory_path() / ("vornak-bench-page-" + std::to_string(::getpid()));
    fs::create_directories(work);
    const std::string tape = (work / "tape.m2t").string();
    vornak::tape::TapeWriter writer{vornak::tape::TapeOptions{}};
    const int groups = static_cast<int>(seconds * kPicturesPerSecond / kPicturesPerGroup);
    vornak::tape::DateTime date;
    for (int scene = 0; scene < kScenes; ++scene) {
        vornak::tape::SceneSpec spec;
        spec.start = vornak::tape::AddSeconds(date, scene * static_cast<int>(kSecondsPerHour));
        spec.gops = std::max(1, groups / kScenes);
        writer.AddScene(spec);
    }
    if (!writer.WriteFile(tape)) {
        std::fprintf(stderr, "vornak-bench-capture-page: can't write %s\n", tape.c_str());
        return 1;
    }
    const double tapeSeconds = static_cast<double>(fs::file_size(tape)) * 8 / 25e6;
    std::printf("tape: %s, %.0f MB, %.1f s at 25 Mbit/s, %d scenes\n", tape.c_str(),
                fs::file_size(tape) / 1e6, tapeSeconds, kScenes);

    const RunResult fast = CaptureThroughThePage(tape, speed, (work / "fast").string());
    std::printf(
        "split run at %.0fx through the page: %.2f s, %zu files, chunks dropped %u, "
        "frames dropped %s\n",
        speed, fast.wall, fast.files, fast.chunksDropped, fast.framesDropped.c_str());
    const RunResult real = CaptureThroughThePage(tape, 1, (work / "real").string());
    std::printf(
        "split run at the tape's rate: %.2f s wall, %.2f s CPU, %.1f CPU seconds per "
        "hour of HDV, chunks dropped %u\n",
        real.wall, real.cpu, real.cpu / tapeSeconds * kSecondsPerHour, real.chunksDropped);
    vornak::MessageService::Install(nullptr);
    if (!keep) {
        fs::remove_all(work);
    }
    const bool ok = fast.ok && real.ok && fast.chunksDropped == 0 && fast.framesDropped == "0" &&
                    fast.files == kScenes && real.chunksDropped == 0;
    std::printf("%s\n", ok ? "OK: nothing dropped" : "FAILED: something was dropped or missing");
    return ok ? 0 : 1;
}
