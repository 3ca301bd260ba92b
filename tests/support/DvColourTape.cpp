#include "DvColourTape.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "DvDateWriter.h"

namespace vornak::test {

namespace {

constexpr int kFirstHour = 10;

std::string MakeClip(const std::string& path, const DvColourScene& scene) {
    char colour[16];
    std::snprintf(colour, sizeof colour, "0x%02X%02X%02X", scene.colour.red, scene.colour.green,
                  scene.colour.blue);
    const std::string command =
        std::string("ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i color=c=") +
        colour + (scene.pal ? ":size=720x576:rate=25" : ":size=720x480:rate=30000/1001") +
        " -frames:v " + std::to_string(scene.frames) + " -aspect " + scene.aspect + " -target " +
        (scene.pal ? "pal-dv" : "ntsc-dv") + " -an -f dv '" + path + "'";
    return std::system(command.c_str()) == 0 ? std::string() : "ffmpeg failed: " + command;
}

}  // namespace

std::string WriteDvColourTape(const std::string& path, const std::vector<DvColourScene>& scenes) {
    std::ofstream tape(path, std::ios::binary | std::ios::trunc);
    const std::string clip = path + ".clip.dv";
    const std::string dated = path + ".dated.dv";
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        if (std::string problem = MakeClip(clip, scenes[i]); !problem.empty()) {
            return problem;
        }
        tape::DateInsertOptions options;
        options.start = tape::DateTime{2007, 6, 15, kFirstHour + static_cast<int>(i), 0, 0};
        tape::DvDateWriter writer(options);
        const bool written = writer.WriteFile(clip, dated);
        std::remove(clip.c_str());
        if (!written) {
            return writer.Error();
        }
        std::ifstream in(dated, std::ios::binary);
        tape << in.rdbuf();
        in.close();
        std::remove(dated.c_str());
    }
    tape.close();
    return tape ? std::string() : "cannot write " + path;
}

}  // namespace vornak::test
