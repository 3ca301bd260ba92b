// The camcorder's recording-date pack (PID 0x811) and files' times taken from it.
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

}  // namespace vornak
