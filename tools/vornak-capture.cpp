// vornak-capture: captures what an HDV camcorder plays into .m2t files, without a window.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "CamcorderSources.h"
#include "CaptureCommand.h"

namespace {

// Lock-free, so storing to it from a signal handler is safe.
std::atomic<std::uint8_t> g_stop{0};
static_assert(std::atomic<std::uint8_t>::is_always_lock_free);

extern "C" void OnStopSignal(int) {
    g_stop.store(1);
}

void CatchStopSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // The first signal ends the capture with its files whole; a second kills at once, in case
    // the clean stop is not wanted.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    CatchStopSignals();
    vornak::InstallCamcorderSources(std::cerr);
    vornak::CaptureCommandHooks hooks;
    hooks.stop = &g_stop;
    hooks.statusToTerminal = ::isatty(STDERR_FILENO) != 0;
    return vornak::RunCaptureCommand(args, std::cout, std::cerr, hooks);
}
