#include "DvPacks.h"

namespace vornak::dv {

namespace {

// Data bytes of a pack, after its id.
constexpr std::size_t kPc1 = 1;
constexpr std::size_t kPc2 = 2;
constexpr std::size_t kPc3 = 3;
constexpr std::size_t kPc4 = 4;

constexpr std::uint8_t kUnitsMask = 0x0F;
constexpr int kTensShift = 4;
// Tens digits have two or three bits, depending on the field; the bits above are flags.
constexpr std::uint8_t kTens1 = 0x10;
constexpr std::uint8_t kTens2 = 0x30;
constexpr std::uint8_t kTens3 = 0x70;
constexpr std::uint8_t kTens4 = 0xF0;

constexpr std::uint8_t kDropFrameBit = 0x40;
constexpr std::uint8_t kUnknownFrames = 0x3F;
constexpr int kMaxFrames = 29;

constexpr int kFirstCamcorderYear = 95;  // two-digit years from here on are 19xx
constexpr int kNoneDay = 1;
constexpr int kNoneMonth = 1;
constexpr int kNoneYear = 70;

constexpr int kSmpShift = 3;
constexpr std::uint8_t kSmpMask = 0x07;
constexpr std::uint8_t kQuantMask = 0x07;
constexpr std::uint8_t kAfSizeMask = 0x3F;
constexpr std::uint8_t kFiftyBit = 0x20;  // PC3 of 0x50: set for 50 fields a second
constexpr int kRates[] = {48000, 44100, 32000};
// The fewest samples a frame holds at each rate: the AAUX pack counts from there.
constexpr int kMinSamples60[] = {1580, 1452, 1053};
constexpr int kMinSamples50[] = {1896, 1742, 1264};
constexpr int kBitsByQuant[] = {16, 12, 20};

constexpr std::uint8_t kDispMask = 0x07;
constexpr std::uint8_t kDisp16x9Letterbox = 0x02;
constexpr std::uint8_t kDisp16x9Full = 0x07;  // squeezed, as camcorders record 16:9

// A BCD field: the tens bits selected by `tens` and the units; -1 when a digit is no digit or
// the value exceeds `max`.
int Bcd(std::uint8_t byte, std::uint8_t tens, int max) {
    const int high = (byte & tens) >> kTensShift;
    const int low = byte & kUnitsMask;
    if (high > 9 || low > 9) {
        return -1;
    }
    const int value = high * 10 + low;
    return value <= max ? value : -1;
}

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

int FullYear(int twoDigits) {
    return twoDigits >= kFirstCamcorderYear ? 1900 + twoDigits : 2000 + twoDigits;
}

std::int64_t CivilSeconds(const DvDate& date, const DvTime& time) {
    constexpr std::int64_t kDay = 86400;
    return DaysFromCivil(date.year, date.month, date.day) * kDay + time.hours * 3600 +
           time.minutes * 60 + time.seconds;
}

std::optional<DvTimecode> DecodeTimecode(DvPack pack) {
    if (pack[0] != kPackTimecode) {
        return std::nullopt;
    }
    DvTimecode tc;
    tc.frames = Bcd(pack[kPc1], kTens2, kMaxFrames);
    tc.seconds = Bcd(pack[kPc2], kTens3, 59);
    tc.minutes = Bcd(pack[kPc3], kTens3, 59);
    tc.hours = Bcd(pack[kPc4], kTens2, 23);
    if (tc.frames < 0 || tc.seconds < 0 || tc.minutes < 0 || tc.hours < 0) {
        return std::nullopt;
    }
    tc.dropFrame = (pack[kPc1] & kDropFrameBit) != 0;
    return tc;
}

std::optional<DvDate> DecodeRecordingDate(DvPack pack) {
    if (pack[0] != kPackVideoRecDate && pack[0] != kPackAudioRecDate) {
        return std::nullopt;
    }
    // PC1 is the time zone (0xFF when unknown); the wall clock alone decides scenes.
    const int day = Bcd(pack[kPc2], kTens2, 31);
    const int month = Bcd(pack[kPc3], kTens1, 12);
    const int year = Bcd(pack[kPc4], kTens4, 99);
    if (day < 1 || month < 1 || year < 0) {
        return std::nullopt;
    }
    // FFmpeg's "no date" is the start of its clock; its time then runs on with the frames, so
    // the day alone tells it. 2070 is far off for a tape anyway.
    if (day == kNoneDay && month == kNoneMonth && year == kNoneYear) {
        return std::nullopt;
    }
    DvDate date{FullYear(year), month, day};
    if (day > DaysInMonth(date.year, month)) {
        return std::nullopt;
    }
    return date;
}

std::optional<DvTime> DecodeRecordingTime(DvPack pack) {
    if (pack[0] != kPackVideoRecTime && pack[0] != kPackAudioRecTime) {
        return std::nullopt;
    }
    DvTime time;
    time.seconds = Bcd(pack[kPc2], kTens3, 59);
    time.minutes = Bcd(pack[kPc3], kTens3, 59);
    time.hours = Bcd(pack[kPc4], kTens2, 23);
    if (time.seconds < 0 || time.minutes < 0 || time.hours < 0) {
        return std::nullopt;
    }
    // Frames are optional: unknown (all ones) or damaged, the time still stands.
    time.frames =
        (pack[kPc1] & kUnknownFrames) == kUnknownFrames ? -1 : Bcd(pack[kPc1], kTens2, kMaxFrames);
    return time;
}

std::optional<DvAudioSource> DecodeAudioSource(DvPack pack) {
    if (pack[0] != kPackAudioSource) {
        return std::nullopt;
    }
    const std::size_t smp = (pack[kPc4] >> kSmpShift) & kSmpMask;
    const std::size_t quant = pack[kPc4] & kQuantMask;
    if (smp >= std::size(kRates) || quant >= std::size(kBitsByQuant)) {
        return std::nullopt;
    }
    const bool fifty = (pack[kPc3] & kFiftyBit) != 0;
    DvAudioSource source;
    source.sampleRate = kRates[smp];
    source.bits = kBitsByQuant[quant];
    source.samples = (fifty ? kMinSamples50[smp] : kMinSamples60[smp]) + (pack[kPc1] & kAfSizeMask);
    return source;
}

std::optional<DvSourceControl> DecodeAudioControl(DvPack pack) {
    if (pack[0] != kPackAudioControl) {
        return std::nullopt;
    }
    DvSourceControl control;
    control.recordingStart = (pack[kControlRecStartByte] & kControlRecStartBit) == 0;
    return control;
}

std::optional<DvSourceControl> DecodeVideoControl(DvPack pack, int apt) {
    if (pack[0] != kPackVideoControl) {
        return std::nullopt;
    }
    DvSourceControl control;
    control.recordingStart = (pack[kControlRecStartByte] & kControlRecStartBit) == 0;
    const std::uint8_t disp = pack[kPc2] & kDispMask;
    // Every other display code shows a 4:3 picture (letterboxed 14:9 included). "Full" 16:9
    // is defined for consumer DV only.
    const bool wide = disp == kDisp16x9Letterbox || (apt == 0 && disp == kDisp16x9Full);
    control.aspect = wide ? DvAspect::k16x9 : DvAspect::k4x3;
    return control;
}

}  // namespace vornak::dv
