// Command line of vornak-mktape, turned into the scenes and options of one tape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DatePackInserter.h"
#include "TapeWriter.h"

namespace vornak::tape {

struct MkTapeCommand {
    TapeOptions options;
    std::vector<SceneSpec> scenes;  // complete, including the scenes --size added
    std::string output;
    // --add-dates: copy this stream with date packs added instead of generating a tape.
    std::string datesInput;
    DateInsertOptions dates;
    // --add-dv-dates: copy this raw DV file with every frame dated instead (options in `dates`).
    std::string dvDatesInput;
    bool quiet = false;
    bool help = false;     // only --help was acted on; nothing else is filled in
    bool version = false;  // only --version was acted on; nothing else is filled in
};

class TapeOptionsParser {
  public:
    struct Result {
        bool ok = false;
        std::string error;  // one line, for bad usage
        MkTapeCommand command;
    };

    // `args` are the arguments after the program name.
    static Result Parse(const std::vector<std::string>& args);
    static std::string Usage();
    // "vornak-mktape (Vornak) 0.77", the line --version prints.
    static std::string Version();

    // "YYYY-MM-DD HH:MM:SS,GOPS[,closed][,twodates][,nodates]"
    static bool ParseScene(const std::string& text, SceneSpec& scene, std::string& error);
    // "YYYY-MM-DD HH:MM:SS", years 2000 to 2099 (the tape holds two digits).
    static bool ParseDateTime(const std::string& text, DateTime& date);
    // Bytes, with an optional fraction and a K, M, G or T suffix (powers of 1024).
    static bool ParseSize(const std::string& text, std::uint64_t& bytes);
    // Seconds with an optional fraction, 0 to a day, as 90 kHz ticks.
    static bool ParseSeconds(const std::string& text, std::uint64_t& ticks);

    static DateTime DefaultStart();
    static constexpr int kDefaultSceneGops = 10;
    // Generated scenes each start this long after the one before.
    static constexpr std::int64_t kSceneSpacingSeconds = 3600 + 3;
};

}  // namespace vornak::tape
