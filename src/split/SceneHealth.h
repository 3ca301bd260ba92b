// What is wrong with a scene: the damage a health check finds in it, each kind with how much
// and where, so that an archivist can clean the heads and capture that stretch again, or note
// it in the catalogue.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DvPacks.h"
#include "RecordingDate.h"

namespace vornak {

enum class HealthKind : std::uint8_t {
    // HDV.
    PacketsLost,     // continuity-counter gaps on the video or sound; count: packets
    BrokenPicture,   // pictures without all of their slices; count: pictures
    DecodeError,     // pictures the decoder cannot decode (a decoding check only); count: pictures
    NoDatePack,      // picture groups without a recording-date pack; count: groups
    SequenceChange,  // sequence headers unlike the scene's first; count: headers
    // Both.
    TimecodeJump,  // the timecode goes back or jumps within a scene; count: jumps
    // DV.
    VideoError,       // video blocks whose status says the error is still there; count: blocks
    VideoConcealed,   // video blocks whose status says the deck concealed an error; count: blocks
    AudioError,       // audio samples that are the error code; count: samples
    FramesMissing,    // frames missing by the timecode; count: frames
    DateJump,         // the recording date goes back or jumps within a scene; count: jumps
    IncompleteFrame,  // frames cut short (a capture marks the blocks it never got); count: frames
};

// The name a report gives the kind: DV's are those DV archivists know ("sta", "aud", "tc_nc",
// "rdt_nc").
const char* HealthKindName(HealthKind kind);
// What the count counts, for people: "packets lost", "broken pictures", ... (for any count but one).
const char* HealthKindUnit(HealthKind kind);

// Where in a scene something was found.
struct HealthPlace {
    std::uint64_t picture = 0;  // the picture (HDV) or frame (DV) within the scene, from 0
    std::optional<dv::DvTimecode> timecode;
    std::optional<RecordingDate> date;
    std::int64_t offset = -1;  // the byte offset in the input, or -1 when not known
};

struct HealthFinding {
    HealthKind kind = HealthKind::PacketsLost;
    std::uint64_t count = 0;
    HealthPlace first;  // the first picture or frame it was found in
    HealthPlace last;   // the last, the same as `first` for a finding in one place
};

// Files what was found in one place among a scene's findings: a finding of the same kind that
// ended at this picture or the one before grows to take it, so damage over a stretch of
// pictures is one finding; anything else is a finding of its own.
void AddFinding(std::vector<HealthFinding>& findings, HealthKind kind, std::uint64_t count,
                const HealthPlace& place);

// "00:03:14:05"; a drop-frame count (525/60) has ";" before its frames, as editors write it.
std::string TimecodeText(const dv::DvTimecode& timecode);
// "12 packets lost at 00:03:14:05" or, over a stretch, "310 video blocks in error from
// 00:01:00:00 to 00:01:02:10";
// the picture number stands in where no timecode is known ("at picture 120").
std::string DescribeFinding(const HealthFinding& finding);

}  // namespace vornak
