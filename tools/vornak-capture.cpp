// vornak-capture: captures what an HDV camcorder plays into .m2t files, without a window.
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "CamcorderSources.h"
#include "CaptureCommand.h"
#include "StopSignals.h"

namespace {

// Both streams end in the same place: one terminal, as in an interactive shell, or one file or
// pipe, as with "2>&1 | tee capture.log". A box there would only repeat the log's lines.
bool OneTerminal() {
    struct stat out {};
    struct stat err {};
    if (::fstat(STDOUT_FILENO, &out) != 0 || ::fstat(STDERR_FILENO, &err) != 0) {
        return false;
    }
    if (::isatty(STDOUT_FILENO) != 0 && ::isatty(STDERR_FILENO) != 0) {
        return out.st_rdev == err.st_rdev;
    }
    return out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    vornak::CaptureCommandHooks hooks;
    hooks.stop = vornak::CatchStopSignals();
    vornak::InstallCamcorderSources(std::cerr);
    hooks.statusToTerminal = ::isatty(STDERR_FILENO) != 0;
    hooks.oneTerminal = OneTerminal();
    return vornak::RunCaptureCommand(args, std::cout, std::cerr, hooks);
}
