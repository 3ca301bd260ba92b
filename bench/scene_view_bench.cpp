// How long the scenes page's scene view takes to show a tape: from choosing it until every
// scene's row and thumbnail are in, with the tape already in the page cache (target: 2 s for a
// gigabyte). The tape must decode; one comes from
//
//   vornak-bench-split --thumbnails --size 1G --keep
//
//   vornak-bench-scene-view --tape FILE [--runs N]
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CSceneView.h"

namespace {

constexpr double kTargetSecondsPerGigabyte = 2.0;
constexpr int kBoundMs = 120'000;
constexpr std::size_t kWarmBlock = 1 << 24;

void WarmCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buffer(kWarmBlock);
    while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    if (fd >= 0) {
        ::close(fd);
    }
}

bool AllShown(const vornak::CSceneView& view, const std::string& tape) {
    return view.IsComplete(tape) &&
           view.PicturesIn(tape) == static_cast<std::size_t>(view.topLevelItemCount());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    std::string tape;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tape" && i + 1 < argc) {
            tape = argv[++i];
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::printf(
                "Usage: vornak-bench-scene-view --tape FILE [--runs N]\n"
                "Times the scenes page's scene view from choosing FILE until every scene and\n"
                "its thumbnail are shown (target: %.0f s per GB, tape in the page cache).\n"
                "A tape that decodes: vornak-bench-split --thumbnails --size 1G --keep\n",
                kTargetSecondsPerGigabyte);
            return arg == "--help" ? 0 : 2;
        }
    }
    if (tape.empty()) {
        std::fprintf(stderr, "vornak-bench-scene-view: --tape FILE is needed\n");
        return 2;
    }
    const double gigabytes = static_cast<double>(std::filesystem::file_size(tape)) / 1e9;
    WarmCache(tape);
    std::vector<double> times;
    bool ok = true;
    for (int run = 0; run < runs; ++run) {
        auto view = std::make_unique<vornak::CSceneView>();
        QElapsedTimer clock;
        clock.start();
        view->ShowTape(tape);
        while (!AllShown(*view, tape) && clock.elapsed() < kBoundMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(500);
        }
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        ok = ok && AllShown(*view, tape);
        times.push_back(seconds);
        std::printf("run %d: %d scenes with thumbnails in %.2f s\n", run + 1,
                    view->topLevelItemCount(), seconds);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double target = kTargetSecondsPerGigabyte * std::max(1.0, gigabytes);
    std::printf("median %.2f s for %.2f GB (target <= %.1f s)\n%s\n", median, gigabytes, target,
                ok && median <= target ? "PASS" : (ok ? "MISSED TARGET" : "FAILED RUN"));
    return ok && median <= target ? 0 : 1;
}
