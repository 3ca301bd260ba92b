// Output file names: a base name, then a number or the recording date, then the extension.
#pragma once

#include <cstdint>
#include <string>

#include "RecordingDate.h"

namespace vornak {

// The default date-time pattern the pages offer; it names files like an empty pattern does.
inline constexpr const char* kDefaultDateFormat = "-%Y_%M_%D-%h_%m_%s";

// Replaces each placeholder (%Y %M %D %h %m %s, case-sensitive) with the date's field.
std::string ExpandDatePattern(const std::string& pattern, const RecordingDate& date);

// "base-0007.ext", "base-noTime-0007.ext" or "base<date>.ext". `counterUsed` says whether the
// name consumed the counter value.
std::string SceneFileName(const std::string& baseName, const std::string& extension,
                          std::int32_t counter, bool dateTimeNaming, const RecordingDate* date,
                          const std::string& dateFormat, bool& counterUsed);

// What is added to a taken name's base to find a free one: "" for the name itself (n = 0), then
// "-new", "-new2", "-new3", ... Numbering keeps names short however often one folder is used.
std::string NewNameSuffix(std::int32_t n);

// "base-0007-fragment.ext": the bytes a job reads before its first picture group (a capture or
// a stream after a break that begins inside a group). Always uses up the counter value; sorted
// by name, it comes before the numbered scene files that follow it.
std::string FragmentFileName(const std::string& baseName, const std::string& extension,
                             std::int32_t counter);

}  // namespace vornak
