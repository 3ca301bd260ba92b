// The packs of a DV frame this program reads, decoded from their five bytes (id first). A pack
// that is damaged, holds impossible digits or says "unknown" decodes to nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "DifConstants.h"

namespace vornak::dv {

using DvPack = std::span<const std::uint8_t, kPackSize>;

struct DvTimecode {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int frames = 0;
    bool dropFrame = false;
    bool operator==(const DvTimecode&) const = default;
};

struct DvDate {
    int year = 0;  // four digits
    int month = 0;
    int day = 0;
    bool operator==(const DvDate&) const = default;
};

struct DvTime {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int frames = -1;  // within the second; -1 when unknown (and in a voted time)
    bool operator==(const DvTime&) const = default;
};

struct DvAudioSource {
    int sampleRate = 0;  // Hz
    int bits = 0;        // 16 or 12 (20 is possible, unused by DV camcorders)
    int samples = 0;     // per channel in this frame
    bool operator==(const DvAudioSource&) const = default;
};

struct DvSourceControl {
    bool recordingStart = false;
    DvAspect aspect = DvAspect::kUnknown;  // only the video pack says
};

// 0x13 in the subcode.
std::optional<DvTimecode> DecodeTimecode(DvPack pack);
// 0x62 (VAUX and subcode) or 0x52 (AAUX). Nothing for 0xFF bytes, impossible digits or days,
// and 1 January '70, which FFmpeg writes when it has no date.
std::optional<DvDate> DecodeRecordingDate(DvPack pack);
// 0x63 or 0x53.
std::optional<DvTime> DecodeRecordingTime(DvPack pack);
// 0x50.
std::optional<DvAudioSource> DecodeAudioSource(DvPack pack);
// 0x51.
std::optional<DvSourceControl> DecodeAudioControl(DvPack pack);
// 0x61; `apt` is the header block's track application id.
std::optional<DvSourceControl> DecodeVideoControl(DvPack pack, int apt);

// Two-digit years as camcorders write them: 95 to 99 are 1995 to 1999, the rest 2000 to 2094.
int FullYear(int twoDigits);
// Seconds from 1970-01-01 00:00:00 to the date and time, both read as one clock with no zone.
std::int64_t CivilSeconds(const DvDate& date, const DvTime& time);

}  // namespace vornak::dv
