// vornak-capture: captures what an HDV camcorder plays into .m2t files, without a window.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "CamcorderSources.h"
#include "CaptureCommand.h"
#include "StopSignals.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    vornak::CaptureCommandHooks hooks;
    hooks.stop = vornak::CatchStopSignals();
    vornak::InstallCamcorderSources(std::cerr);
    hooks.statusToTerminal = ::isatty(STDERR_FILENO) != 0;
    return vornak::RunCaptureCommand(args, std::cout, std::cerr, hooks);
}
