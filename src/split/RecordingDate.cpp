#include "RecordingDate.h"

namespace vornak {

namespace {
constexpr double kMaxSecondsWithinScene = 2.0;
}

std::time_t RecordingDate::ToLocalTime() const {
    std::tm tm{};
    tm.tm_sec = second;
    tm.tm_min = minute;
    tm.tm_hour = hour;
    tm.tm_mday = day;
    tm.tm_mon = month - 1;
    tm.tm_year = year - 1900;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

bool IsDateJump(const RecordingDate& previous, const RecordingDate& current) {
    const double diff = std::difftime(current.ToLocalTime(), previous.ToLocalTime());
    return diff > kMaxSecondsWithinScene || diff < -kMaxSecondsWithinScene;
}

}  // namespace vornak
