#include "StopSignals.h"

#include <csignal>

namespace vornak {
namespace {

// Lock-free, so storing to it from a signal handler is safe.
std::atomic<std::uint8_t> g_stop{0};
static_assert(std::atomic<std::uint8_t>::is_always_lock_free);

extern "C" void OnStopSignal(int) {
    g_stop.store(1);
}

}  // namespace

std::atomic<std::uint8_t>* CatchStopSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the handler is gone after the first signal
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return &g_stop;
}

}  // namespace vornak
