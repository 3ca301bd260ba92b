// Runs vornak-split in-process on string streams, for the command's tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "SplitCommand.h"

namespace vornak::test {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline RunResult Split(const std::vector<std::string>& args, bool terminal = false,
                       std::atomic<std::uint8_t>* stop = nullptr) {
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.status = RunSplitCommand(args, out, err, terminal, stop);
    result.out = out.str();
    result.err = err.str();
    return result;
}

}  // namespace vornak::test
