#include "TapeOptionsParser.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "ToolVersion.h"

namespace vornak::tape {

namespace {

constexpr long long kMaxGops = 1000000;
constexpr long long kMaxScenes = 100000;
constexpr long long kMinPictureSide = 16;
constexpr long long kMaxPictureSide = 4095;  // 12 bits in the sequence header
constexpr long long kMaxPictureBytes = 16 << 20;
constexpr long long kMaxStray = 1 << 20;
constexpr long long kMaxPartial = 187;  // one byte short of a whole packet
constexpr std::uint64_t kMaxSize = std::uint64_t{1} << 40;
constexpr int kMinYear = 2000;
constexpr int kMaxYear = 2099;
constexpr int kShortGroup = 12;
constexpr int kLongGroup = 15;
constexpr double kMaxCutSeconds = 86400;

bool ParseNumber(const std::string& text, long long min, long long max, long long& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty() && value >= min && value <= max;
}

bool ParseField(const std::string& text, std::size_t at, std::size_t width, int min, int max,
                int& value) {
    long long number = 0;
    if (!ParseNumber(text.substr(at, width), min, max, number)) {
        return false;
    }
    for (std::size_t i = at; i < at + width; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;  // no signs inside a date
        }
    }
    value = static_cast<int>(number);
    return true;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    while (true) {
        const std::size_t comma = text.find(',', begin);
        parts.push_back(text.substr(begin, comma - begin));
        if (comma == std::string::npos) {
            return parts;
        }
        begin = comma + 1;
    }
}

SceneSpec DefaultScene(const DateTime& start, int gops) {
    SceneSpec scene;
    scene.start = start;
    scene.gops = gops;
    return scene;
}

}  // namespace

DateTime TapeOptionsParser::DefaultStart() {
    return DateTime{2006, 5, 1, 14, 3, 59};
}

bool TapeOptionsParser::ParseDateTime(const std::string& text, DateTime& date) {
    // YYYY-MM-DD HH:MM:SS
    constexpr std::size_t kLength = 19;
    if (text.size() != kLength || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return false;
    }
    DateTime d;
    if (!ParseField(text, 0, 4, kMinYear, kMaxYear, d.year) ||
        !ParseField(text, 5, 2, 1, 12, d.month) || !ParseField(text, 8, 2, 1, 31, d.day) ||
        !ParseField(text, 11, 2, 0, 23, d.hour) || !ParseField(text, 14, 2, 0, 59, d.minute) ||
        !ParseField(text, 17, 2, 0, 59, d.second) || d.day > DaysInMonth(d.year, d.month)) {
        return false;
    }
    date = d;
    return true;
}

bool TapeOptionsParser::ParseScene(const std::string& text, SceneSpec& scene, std::string& error) {
    const std::vector<std::string> parts = SplitCommas(text);
    SceneSpec s;
    long long gops = 0;
    if (parts.size() < 2 || !ParseDateTime(parts[0], s.start)) {
        error = "--scene wants \"YYYY-MM-DD HH:MM:SS,GOPS[,closed][,twodates][,nodates]\": " + text;
        return false;
    }
    if (!ParseNumber(parts[1], 1, kMaxGops, gops)) {
        error = "--scene: bad number of picture groups: " + parts[1];
        return false;
    }
    s.gops = static_cast<int>(gops);
    for (std::size_t i = 2; i < parts.size(); ++i) {
        if (parts[i] == "closed") {
            s.closedFirstGop = true;
        } else if (parts[i] == "twodates") {
            s.secondDatePack = true;
        } else if (parts[i] == "nodates") {
            s.noDates = true;
        } else {
            error = "--scene: unknown flag: " + parts[i];
            return false;
        }
    }
    scene = s;
    return true;
}

bool TapeOptionsParser::ParseSeconds(const std::string& text, std::uint64_t& ticks) {
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return false;
    }
    double seconds = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, seconds, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || seconds > kMaxCutSeconds) {
        return false;
    }
    ticks = static_cast<std::uint64_t>(
        std::llround(seconds * static_cast<double>(DatePackInserter::kTicksPerSecond)));
    return true;
}

bool TapeOptionsParser::ParseSize(const std::string& text, std::uint64_t& bytes) {
    if (text.empty()) {
        return false;
    }
    double multiplier = 1;
    std::string number = text;
    switch (text.back()) {
        case 'K':
        case 'k':
            multiplier = 1024.0;
            break;
        case 'M':
        case 'm':
            multiplier = 1024.0 * 1024;
            break;
        case 'G':
        case 'g':
            multiplier = 1024.0 * 1024 * 1024;
            break;
        case 'T':
        case 't':
            multiplier = 1024.0 * 1024 * 1024 * 1024;
            break;
        default:
            break;
    }
    if (multiplier > 1) {
        number.pop_back();
    }
    if (number.empty() || number.front() < '0' || number.front() > '9') {
        return false;
    }
    double value = 0;
    const char* end = number.data() + number.size();
    auto [ptr, ec] = std::from_chars(number.data(), end, value, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end) {
        return false;
    }
    const double total = std::round(value * multiplier);
    if (!(total >= 1) || total > static_cast<double>(kMaxSize)) {
        return false;
    }
    bytes = static_cast<std::uint64_t>(total);
    return true;
}

TapeOptionsParser::Result TapeOptionsParser::Parse(const std::vector<std::string>& args) {
    Result result;
    MkTapeCommand& cmd = result.command;
    std::vector<SceneSpec> explicitScenes;
    long long sceneCount = 0;
    long long sceneGops = kDefaultSceneGops;
    std::uint64_t size = 0;
    std::vector<std::string> positional;
    std::string generatorOnly;  // the first option that only a generated tape takes
    bool addDates = false;
    bool addDvDates = false;
    bool hasStart = false;
    DateTime start;
    auto fail = [&result](const std::string& message) {
        result.ok = false;
        result.error = message;
        return result;
    };

    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const std::size_t eq = arg.find('=');
            arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        auto flag = [&](const char* name) { return arg == name; };
        if (flag("--help") || flag("-h")) {
            cmd.help = true;
            result.ok = true;
            return result;
        }
        if (flag("--version")) {
            cmd.version = true;
            result.ok = true;
            return result;
        }
        if (flag("--closed-gops") || flag("--no-audio") || flag("--quiet")) {
            if (hasValue) {
                return fail(arg + " takes no value");
            }
            if (arg != "--quiet" && generatorOnly.empty()) {
                generatorOnly = arg;
            }
            if (arg == "--closed-gops") {
                cmd.options.closedGops = true;
            } else if (arg == "--no-audio") {
                cmd.options.audio = false;
            } else {
                cmd.quiet = true;
            }
            continue;
        }
        static const char* const kWithValue[] = {
            "--scene",     "--scenes",       "--scene-gops",    "--size",
            "--gop",       "--picture-size", "--picture-bytes", "--broken",
            "--stray",     "--partial",      "--damaged-date",  "--seed",
            "--add-dates", "--start",        "--cut-after",     "--add-dv-dates"};
        bool known = false;
        for (const char* name : kWithValue) {
            known = known || arg == name;
        }
        if (!known) {
            return fail("unknown option: " + arg);
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                return fail(arg + " needs a value");
            }
            value = args[++i];
        }
        long long number = 0;
        auto number_in = [&](long long min, long long max) {
            return ParseNumber(value, min, max, number);
        };
        const std::string bad = "bad value for " + arg + ": " + value;
        const bool forDates = arg == "--add-dates" || arg == "--add-dv-dates" || arg == "--start" ||
                              arg == "--cut-after";
        if (!forDates && arg != "--scene" && generatorOnly.empty()) {
            generatorOnly = arg;
        }
        if (arg == "--add-dates") {
            if (value.empty()) {
                return fail(bad);
            }
            addDates = true;
            cmd.datesInput = value;
        } else if (arg == "--add-dv-dates") {
            if (value.empty()) {
                return fail(bad);
            }
            addDvDates = true;
            cmd.dvDatesInput = value;
        } else if (arg == "--start") {
            if (!ParseDateTime(value, start)) {
                return fail("--start wants \"YYYY-MM-DD HH:MM:SS\": " + value);
            }
            hasStart = true;
        } else if (arg == "--cut-after") {
            // At 0 every group would move: no scene before the cut.
            if (!ParseSeconds(value, cmd.dates.cutAfterTicks) || cmd.dates.cutAfterTicks == 0) {
                return fail(bad);
            }
            cmd.dates.cut = true;
        } else if (arg == "--scene") {
            SceneSpec scene;
            std::string error;
            if (!ParseScene(value, scene, error)) {
                return fail(error);
            }
            explicitScenes.push_back(scene);
        } else if (arg == "--scenes") {
            if (!number_in(1, kMaxScenes)) {
                return fail(bad);
            }
            sceneCount = number;
        } else if (arg == "--scene-gops") {
            if (!number_in(1, kMaxGops)) {
                return fail(bad);
            }
            sceneGops = number;
        } else if (arg == "--size") {
            if (!ParseSize(value, size)) {
                return fail(bad);
            }
        } else if (arg == "--gop") {
            if (!number_in(kShortGroup, kLongGroup) ||
                (number != kShortGroup && number != kLongGroup)) {
                return fail("--gop must be 12 or 15");
            }
            cmd.options.gopLength = static_cast<int>(number);
        } else if (arg == "--picture-size") {
            const std::size_t x = value.find('x');
            long long w = 0, h = 0;
            if (x == std::string::npos ||
                !ParseNumber(value.substr(0, x), kMinPictureSide, kMaxPictureSide, w) ||
                !ParseNumber(value.substr(x + 1), kMinPictureSide, kMaxPictureSide, h)) {
                return fail(bad);
            }
            cmd.options.width = static_cast<int>(w);
            cmd.options.height = static_cast<int>(h);
        } else if (arg == "--picture-bytes") {
            if (!number_in(1, kMaxPictureBytes)) {
                return fail(bad);
            }
            cmd.options.pictureBytes = static_cast<std::size_t>(number);
        } else if (arg == "--broken") {
            if (!number_in(0, std::numeric_limits<long>::max())) {
                return fail(bad);
            }
            cmd.options.brokenPictures.push_back(static_cast<long>(number));
        } else if (arg == "--stray") {
            if (!number_in(0, kMaxStray)) {
                return fail(bad);
            }
            cmd.options.strayBytesAtStart = static_cast<std::size_t>(number);
        } else if (arg == "--partial") {
            if (!number_in(0, kMaxPartial)) {
                return fail(bad);
            }
            cmd.options.partialLastPacket = static_cast<std::size_t>(number);
        } else if (arg == "--damaged-date") {
            if (!number_in(0, std::numeric_limits<long>::max())) {
                return fail(bad);
            }
            cmd.options.damagedDatePacks.push_back(static_cast<long>(number));
        } else {  // --seed
            if (!number_in(0, std::numeric_limits<std::uint32_t>::max())) {
                return fail(bad);
            }
            cmd.options.seed = static_cast<std::uint32_t>(number);
        }
    }

    if (positional.size() != 1) {
        return fail(positional.empty() ? "no output file given" : "only one output file, please");
    }
    if (!explicitScenes.empty() && sceneCount > 0) {
        return fail("--scene and --scenes cannot be combined");
    }
    cmd.output = positional.front();

    if (addDates && addDvDates) {
        return fail("--add-dates and --add-dv-dates cannot be combined");
    }
    if (addDates || addDvDates) {
        const std::string mode = addDates ? "--add-dates" : "--add-dv-dates";
        if (!generatorOnly.empty()) {
            return fail(generatorOnly + " does not apply to " + mode);
        }
        if (explicitScenes.size() > 1) {
            return fail(
                addDates ? "--add-dates takes one --scene: the input's picture groups make the rest"
                         : "--add-dv-dates takes one --scene: the input's frames make the rest");
        }
        if (hasStart && !explicitScenes.empty()) {
            return fail("--start and --scene cannot be combined");
        }
        cmd.dates.start = hasStart                 ? start
                          : explicitScenes.empty() ? DefaultStart()
                                                   : explicitScenes.front().start;
        result.ok = true;
        return result;
    }
    if (hasStart || cmd.dates.cut) {
        return fail("--start and --cut-after work only with --add-dates");
    }

    DateTime next = DefaultStart();
    auto appendScene = [&]() {
        cmd.scenes.push_back(DefaultScene(next, static_cast<int>(sceneGops)));
        next = AddSeconds(next, kSceneSpacingSeconds);
    };
    if (!explicitScenes.empty()) {
        cmd.scenes = explicitScenes;
        next = AddSeconds(explicitScenes.back().start, kSceneSpacingSeconds);
    } else if (sceneCount > 0) {
        for (long long s = 0; s < sceneCount; ++s) {
            appendScene();
        }
    } else if (size == 0) {
        appendScene();
    }
    if (size > 0) {
        const std::uint64_t perGroup = TapeWriter(cmd.options).EstimatedGroupBytes();
        std::uint64_t total = cmd.options.strayBytesAtStart;
        for (const SceneSpec& scene : cmd.scenes) {
            total += perGroup * static_cast<std::uint64_t>(scene.gops);
        }
        while (total < size) {
            appendScene();
            total += perGroup * static_cast<std::uint64_t>(sceneGops);
        }
    }
    result.ok = true;
    return result;
}

std::string TapeOptionsParser::Version() {
    return ToolVersionLine("vornak-mktape");
}

std::string TapeOptionsParser::Usage() {
    return "Usage: vornak-mktape [options] OUTPUT.m2t\n"
           "   or: vornak-mktape --add-dates INPUT [--start DATE] [--cut-after SECONDS] OUTPUT\n"
           "   or: vornak-mktape --add-dv-dates INPUT [--start DATE] [--cut-after SECONDS] OUTPUT\n"
           "Writes a synthetic HDV tape (MPEG-2 transport stream) for tests and demos.\n"
           "An existing OUTPUT is never overwritten.\n"
           "\n"
           "Scenes:\n"
           "  --scene \"YYYY-MM-DD HH:MM:SS,GOPS[,closed][,twodates][,nodates]\"\n"
           "                      one scene: recording start, picture groups, and whether its\n"
           "                      first group is closed, carries two date packs, or the scene\n"
           "                      has no date packs at all (repeatable, in tape order)\n"
           "  --scenes N          N scenes, each 1 h 3 s after the one before\n"
           "  --scene-gops G      picture groups per generated scene (default 10)\n"
           "  --size BYTES        add scenes until the tape reaches BYTES (K, M, G, T: x1024)\n"
           "                      default: one scene of 10 groups at 2006-05-01 14:03:59\n"
           "Stream:\n"
           "  --gop 12|15         pictures per group (default 15)\n"
           "  --picture-size WxH  picture size in the sequence header (default 1440x1080)\n"
           "  --picture-bytes N   elementary bytes per picture (default 125000, 25 Mbit/s)\n"
           "  --closed-gops       every picture group closed\n"
           "  --no-audio          no MPEG-1 Layer II audio on PID 0x814\n"
           "Damage:\n"
           "  --broken PICNUM     picture PICNUM (coded order, from 0) has 67 slices (repeatable)\n"
           "  --stray N           N garbage bytes before the first packet\n"
           "  --partial N         end with a packet cut to N bytes (1 to 187)\n"
           "  --damaged-date N    date pack N (from 0) points outside its packet (repeatable)\n"
           "Dating another stream (an ffmpeg clip, say):\n"
           "  --add-dates INPUT   copy the transport stream INPUT to OUTPUT packet for packet,\n"
           "                      adding a recording-date pack on PID 0x811 after each video\n"
           "                      packet (0x810) in which a picture-group header begins; each\n"
           "                      date is the start plus the whole seconds since the first\n"
           "                      group by the video timestamps\n"
           "  --start \"YYYY-MM-DD HH:MM:SS\"\n"
           "                      date of the first group (default 2006-05-01 14:03:59); a\n"
           "                      single --scene gives it too, its other fields unused\n"
           "  --cut-after SECONDS from the first group at or after SECONDS (fractions allowed)\n"
           "                      on, dates are one hour later: a second scene\n"
           "Dating a raw DV file (an ffmpeg clip, say):\n"
           "  --add-dv-dates INPUT copy the raw DV (DIF) file INPUT to OUTPUT, changing only\n"
           "                      these packs of each frame, in every copy (VAUX, subcode and\n"
           "                      AAUX; empty slots filled where camcorders put them): the\n"
           "                      recording date and time (the start plus the whole seconds\n"
           "                      of the frames before it), the timecode (from 00:00:00:00,\n"
           "                      drop-frame for 525/60) and the recording-start flag (set on\n"
           "                      the first frame, cleared on the others); bytes outside\n"
           "                      whole frames are copied as they are. --start and\n"
           "                      --cut-after work as above; the frame at the cut is flagged\n"
           "                      as a recording start too\n"
           "Other:\n"
           "  --seed N            seed of the random picture data (default 1)\n"
           "  --quiet             no summary line\n"
           "  --help              this text\n"
           "  --version           the program's version\n"
           "\n"
           "Exit status: 0 written, 1 the file could not be created or written (or, with\n"
           "--add-dates, INPUT could not be read or is no transport stream with picture\n"
           "groups; with --add-dv-dates, INPUT could not be read or holds no DV frame),\n"
           "2 bad usage.\n";
}

}  // namespace vornak::tape
