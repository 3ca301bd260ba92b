// Runs vornak-split in-process on string streams, for the command's tests.
#pragma once

#include <sys/wait.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
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

// The same with standard output going to `out`; `result.out` stays empty.
inline RunResult SplitTo(std::ostream& out, const std::vector<std::string>& args) {
    std::ostringstream err;
    RunResult result;
    result.status = RunSplitCommand(args, out, err, false);
    result.err = err.str();
    return result;
}

// Runs the vornak-split program itself through the shell (`args` need no quoting), without the
// tests' leak suppressions: under the sanitizer builds the program must run clean on its own.
inline int RunSplitProgram(const std::string& args, const std::string& out,
                           const std::string& err) {
    const std::string command =
        "env -u LSAN_OPTIONS " VORNAK_SPLIT_PROGRAM " " + args + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vornak::test
