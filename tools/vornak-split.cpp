// vornak-split: splits HDV transport-stream files into one file per recorded scene.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "SplitCommand.h"
#include "StopSignals.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    auto* stop = vornak::CatchStopSignals();
    return vornak::RunSplitCommand(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0, stop);
}
