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

// Both streams end on the same terminal, as in an interactive shell.
bool OneTerminal() {
    struct stat out {};
    struct stat err {};
    return ::isatty(STDOUT_FILENO) != 0 && ::isatty(STDERR_FILENO) != 0 &&
           ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 &&
           out.st_rdev == err.st_rdev;
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
