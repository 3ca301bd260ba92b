// The recording date and time a camcorder writes into each picture group.
#pragma once

#include <cstdint>
#include <ctime>

namespace vornak {

struct RecordingDate {
    std::int32_t second = 0;
    std::int32_t minute = 0;
    std::int32_t hour = 0;
    std::int32_t year = 0;   // four digits
    std::int32_t month = 0;  // 1..12
    std::int32_t day = 0;    // 1..31

    // Calendar time in the local time zone, daylight saving left to the C library.
    std::time_t ToLocalTime() const;
};

// Two BCD digits: the low nibble is the units, the tens come from the high nibble under a mask.
// Digits are not validated, so a nibble above 9 gives a value above the field's range.
inline std::int32_t DecodeBcd(std::uint8_t byte, std::uint8_t tensMask) {
    return (byte & 0x0F) + 10 * ((byte >> 4) & tensMask);
}

// HDV began in 2003, so every two-digit year lies in 2000..2099.
inline std::int32_t FullYear(std::int32_t twoDigitYear) {
    return 2000 + twoDigitYear;
}

// True when the two dates lie more than two seconds apart, in either direction.
bool IsDateJump(const RecordingDate& previous, const RecordingDate& current);

}  // namespace vornak
