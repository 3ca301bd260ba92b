// The recording date of DV frames, as the rest of the program keeps dates, and the first one a
// raw DV file holds.
#pragma once

#include <optional>
#include <string>

#include "DvFrameInfo.h"
#include "RecordingDate.h"

namespace vornak {

RecordingDate ToRecordingDate(const dv::DvRecorded& recorded);

// The date of the first frame that carries one, read from the start of a raw DV file; none when
// no frame does or the file cannot be read. `readFailed` tells the two apart.
std::optional<RecordingDate> ReadFirstDvRecordingDate(const std::string& path, bool& readFailed);

}  // namespace vornak
