// vornak-mktape: writes a synthetic HDV tape for the tests, the demo and the benchmarks, or adds
// recording-date packs to a stream made elsewhere (HDV) or dates the frames of a raw DV file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "DatePackInserter.h"
#include "DvDateWriter.h"
#include "TapeOptionsParser.h"
#include "TapeWriter.h"

int main(int argc, char** argv) {
    using vornak::tape::TapeOptionsParser;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const TapeOptionsParser::Result parsed = TapeOptionsParser::Parse(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "vornak-mktape: %s\nTry 'vornak-mktape --help'.\n",
                     parsed.error.c_str());
        return 2;
    }
    const vornak::tape::MkTapeCommand& cmd = parsed.command;
    if (cmd.help) {
        std::fputs(TapeOptionsParser::Usage().c_str(), stdout);
        return 0;
    }
    if (cmd.version) {
        std::fputs(TapeOptionsParser::Version().c_str(), stdout);
        return 0;
    }

    if (!cmd.dvDatesInput.empty()) {
        vornak::tape::DvDateWriter writer(cmd.dates);
        if (!writer.WriteFile(cmd.dvDatesInput, cmd.output)) {
            std::fprintf(stderr, "vornak-mktape: %s\n", writer.Error().c_str());
            return 1;
        }
        if (!cmd.quiet) {
            std::printf(
                "%s: %llu DV frames of %s dated, %llu bytes outside whole frames, %d scenes\n",
                cmd.output.c_str(), static_cast<unsigned long long>(writer.Frames()),
                cmd.dvDatesInput.c_str(), static_cast<unsigned long long>(writer.OtherBytes()),
                writer.Scenes());
        }
        return 0;
    }

    if (!cmd.datesInput.empty()) {
        vornak::tape::DatePackInserter inserter(cmd.dates);
        if (!inserter.InsertFile(cmd.datesInput, cmd.output)) {
            std::fprintf(stderr, "vornak-mktape: %s\n", inserter.Error().c_str());
            return 1;
        }
        if (!cmd.quiet) {
            std::printf("%s: %llu packets of %s, %llu date packs added, %d scenes\n",
                        cmd.output.c_str(), static_cast<unsigned long long>(inserter.PacketsIn()),
                        cmd.datesInput.c_str(),
                        static_cast<unsigned long long>(inserter.DatePacks()), inserter.Scenes());
        }
        return 0;
    }

    vornak::tape::TapeWriter writer(cmd.options);
    for (const auto& scene : cmd.scenes) {
        writer.AddScene(scene);
    }
    if (!writer.WriteFile(cmd.output)) {
        std::fprintf(stderr, "vornak-mktape: %s\n", writer.Error().c_str());
        return 1;
    }
    if (!cmd.quiet) {
        std::printf("%s: %llu bytes, %zu scenes, %zu picture groups\n", cmd.output.c_str(),
                    static_cast<unsigned long long>(writer.Size()), cmd.scenes.size(),
                    writer.Gops().size());
    }
    return 0;
}
