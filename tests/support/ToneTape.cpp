#include "ToneTape.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>

#include "DatePackInserter.h"
#include "TestSupport.h"

namespace vornak::test {

namespace {
constexpr int kSampleRate = 48000;
constexpr std::int64_t kSecondsBetweenClips = 3600;
}  // namespace

ToneTape MakeToneTape(const std::string& scratchDir, const std::vector<ToneClip>& clips) {
    ToneTape tape;
    tape::DateTime date{2006, 5, 1, 10, 0, 0};
    for (std::size_t i = 0; i < clips.size(); ++i) {
        const std::string clip = scratchDir + "/tone" + std::to_string(i) + ".ts";
        char timing[96];
        std::snprintf(timing, sizeof timing, "-t %.3f -output_ts_offset %.6f", clips[i].seconds,
                      clips[i].clockOffsetSeconds);
        // As a camcorder records: closed groups of 12 with two B pictures, 384 kbit/s sound.
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "
            "testsrc=size=1440x1080:rate=25 -f lavfi -i sine=frequency=" +
            std::to_string(clips[i].hertz) + ":sample_rate=" + std::to_string(kSampleRate) + " " +
            timing +
            " -c:v mpeg2video -b:v 8M -g 12 -bf 2 -flags +cgop -sc_threshold 1000000000"
            " -c:a mp2 -b:a 384k -ac 2 -mpegts_pmt_start_pid 0x100 -streamid 0:0x810"
            " -streamid 1:0x814 -f mpegts '" +
            clip + "'";
        if (std::system(command.c_str()) != 0) {
            tape.error = "ffmpeg failed: " + command;
            return tape;
        }
        tape::DatePackInserter inserter({date});
        date = tape::AddSeconds(date, kSecondsBetweenClips);
        const std::vector<std::uint8_t> data = ReadAll(clip);
        std::remove(clip.c_str());
        tape.clipStarts.push_back(tape.bytes.size());
        if (!inserter.Feed(data.data(), data.size(), tape.bytes) || !inserter.Finish(tape.bytes)) {
            tape.error = "cannot date " + clip + ": " + inserter.Error();
            return tape;
        }
    }
    return tape;
}

std::vector<float> DecodeSound(const std::string& path) {
    const std::string command = "ffmpeg -nostdin -v quiet -i '" + path + "' -map 0:a:0 -ac 1 -ar " +
                                std::to_string(kSampleRate) + " -f f32le -";
    std::vector<float> sound;
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    float block[4096];
    std::size_t got = 0;
    while (pipe && (got = std::fread(block, sizeof(float), std::size(block), pipe.get())) > 0) {
        sound.insert(sound.end(), block, block + got);
    }
    return sound;
}

double ToneLevel(const std::vector<float>& sound, std::size_t first, std::size_t count,
                 double hertz) {
    if (count == 0 || first + count > sound.size()) {
        return 0.0;
    }
    const double step = 2.0 * std::numbers::pi * hertz / kSampleRate;
    double re = 0.0;
    double im = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        re += sound[first + i] * std::cos(step * static_cast<double>(i));
        im -= sound[first + i] * std::sin(step * static_cast<double>(i));
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(count);
}

}  // namespace vornak::test
