#include "TapeDates.h"

#include <cstddef>
#include <utility>

namespace vornak::test {
namespace {

constexpr std::size_t kThreeScenePictureBytes = 6000;
constexpr int kThreeSceneGops = 4;

}  // namespace

tape::DateTime At(int year, int month, int day, int hour, int minute, int second) {
    tape::DateTime d;
    d.year = year;
    d.month = month;
    d.day = day;
    d.hour = hour;
    d.minute = minute;
    d.second = second;
    return d;
}

tape::DateTime At(int hour, int minute, int second) {
    tape::DateTime d;
    d.hour = hour;
    d.minute = minute;
    d.second = second;
    return d;
}

bool WriteThreeSceneTape(const std::string& path, std::vector<long> brokenPictures) {
    tape::TapeOptions options;
    options.pictureBytes = kThreeScenePictureBytes;
    options.brokenPictures = std::move(brokenPictures);
    tape::TapeWriter writer(options);
    for (const auto& start : {At(10, 0), At(11, 30), At(15, 45)}) {
        tape::SceneSpec scene;
        scene.start = start;
        scene.gops = kThreeSceneGops;
        writer.AddScene(scene);
    }
    return writer.WriteFile(path);
}

}  // namespace vornak::test
