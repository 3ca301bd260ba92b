// Ctrl-C and SIGTERM for the command-line programs: the first asks the work to stop cleanly
// (files finished whole), a second kills at once, in case the clean stop is not wanted.
#pragma once

#include <atomic>
#include <cstdint>

namespace vornak {

// Installs the handlers and returns the flag the first signal sets.
std::atomic<std::uint8_t>* CatchStopSignals();

}  // namespace vornak
