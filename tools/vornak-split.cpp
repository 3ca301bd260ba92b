// vornak-split: splits HDV transport-stream files into one file per recorded scene.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "ContactSheet.h"
#include "DescriptorStreamBuffer.h"
#include "FfmpegVideoDecodeCheck.h"
#include "HealthImage.h"
#include "SplitCommand.h"
#include "StopSignals.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    auto* stop = vornak::CatchStopSignals();
    // Not std::cout: a failed write must keep its reason until the run reports it.
    vornak::DescriptorStreamBuffer standardOutput(STDOUT_FILENO);
    std::ostream out(&standardOutput);
    vornak::SplitServices services;
    services.decodeCheck = vornak::MakeFfmpegVideoDecodeCheck;
    services.writeImage = vornak::HealthImage::Write;
    const int status =
        vornak::RunSplitCommand(args, out, std::cerr, ::isatty(STDERR_FILENO) != 0, stop, services);
    // The contact sheets' font caches would otherwise fail the sanitizer builds' leak check.
    vornak::ContactSheet::ReleaseLibraryCaches();
    return status;
}
