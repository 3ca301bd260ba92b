// What one DV frame says about itself: format, recording date and time, timecode, damage.
#pragma once

#include <cstdint>
#include <optional>

#include "DifConstants.h"
#include "DvPacks.h"

namespace vornak::dv {

struct DvRecorded {
    DvDate date;
    DvTime time;
    std::int64_t Seconds() const { return CivilSeconds(date, time); }
};

struct DvFrameInfo {
    DvSystem system = DvSystem::k625_50;
    int sequences = 0;  // DIF sequences read: all of the system's in a whole frame
    DvAspect aspect = DvAspect::kUnknown;
    int audioRate = 0;     // Hz, 0 when no audio source pack could be read
    int audioBits = 0;     // 16 or 12, 0 when unknown
    int audioSamples = 0;  // per channel, 0 when unknown
    bool recordingStart = false;
    std::optional<DvRecorded> recorded;  // none: the frame has no (readable) date
    std::optional<DvTimecode> timecode;
    int videoBlocksConcealed = 0;  // STA says the deck concealed an error
    int videoBlocksInError = 0;    // STA says the error is still there
    int audioErrorSamples = 0;
};

}  // namespace vornak::dv
