// Recording dates and the small three-scene tape that several test files build tapes from.
#pragma once

#include <string>
#include <vector>

#include "TapeWriter.h"

namespace vornak::test {

// A recording date from all its fields.
tape::DateTime At(int year, int month, int day, int hour, int minute, int second);
// A time of day on the writer's default day.
tape::DateTime At(int hour, int minute, int second = 0);

// Three scenes of four picture groups, starting at 10:00, 11:30 and 15:45, with small pictures
// (`brokenPictures` lose a slice), written to `path`; false if the file could not be written.
bool WriteThreeSceneTape(const std::string& path, std::vector<long> brokenPictures = {});

}  // namespace vornak::test
