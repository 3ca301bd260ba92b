// The camcorder's recording-date pack (PID_RECORDING_DATE) and files' times taken from it.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "RecordingDate.h"

namespace vornak {

// The date in one date-pack packet (PKT_SIZE bytes). False when the adaptation length, which
// comes from the stream, would put the date outside the packet.
bool DecodeDatePack(const std::uint8_t* packet, RecordingDate& date);

// The date of the first date pack in a transport-stream file, read from its start; none when
// the file has none or cannot be read. `readFailed` tells the two apart.
std::optional<RecordingDate> ReadFirstRecordingDate(const std::string& path, bool& readFailed);

// Sets a file's modification time, leaving its access time; false when the system refuses.
bool SetModificationTime(const std::string& path, std::time_t when);

// Gives a file the recording date, read as local time, as its modification time; false when the
// date has no local time or the system refuses.
bool SetModificationTime(const std::string& path, const RecordingDate& date);

// The warning a program logs when a file keeps its time against the user's wish.
inline constexpr const char* kFileTimeNotSet = "WARNING: Can't set the modification time of: ";

}  // namespace vornak
