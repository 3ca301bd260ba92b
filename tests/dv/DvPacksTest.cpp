// Packs decoded from their bytes: the digits and their masks, the two-digit years, and every
// way a pack says it knows nothing.
#include "DvPacks.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vornak::dv {
namespace {

using Raw = std::array<std::uint8_t, kPackSize>;

struct DateCase {
    const char* name;
    Raw pack;
    std::optional<DvDate> expected;
};

TEST(DvPacks, DecodesRecordingDates) {
    const std::vector<DateCase> cases = {
        {"video pack, flag bits above the digits",
         {0x62, 0xFF, 0xD5, 0xE6, 0x07},
         DvDate{2007, 6, 15}},
        {"audio pack", {0x52, 0x00, 0xC1, 0xF2, 0x31}, DvDate{2031, 12, 1}},
        {"99 is 1999", {0x62, 0xFF, 0xF1, 0xF2, 0x99}, DvDate{1999, 12, 31}},
        {"95 is 1995", {0x62, 0xFF, 0x01, 0x01, 0x95}, DvDate{1995, 1, 1}},
        {"94 is 2094", {0x62, 0xFF, 0x01, 0x01, 0x94}, DvDate{2094, 1, 1}},
        {"00 is 2000", {0x62, 0xFF, 0x29, 0x02, 0x00}, DvDate{2000, 2, 29}},
        {"29 February of a common year", {0x62, 0xFF, 0x29, 0x02, 0x01}, std::nullopt},
        {"31 April", {0x62, 0xFF, 0x31, 0x04, 0x06}, std::nullopt},
        {"all ones", {0x62, 0xFF, 0xFF, 0xFF, 0xFF}, std::nullopt},
        {"day digit 0xA", {0x62, 0xFF, 0x0A, 0x01, 0x06}, std::nullopt},
        {"year digit 0xA", {0x62, 0xFF, 0x01, 0x01, 0xA6}, std::nullopt},
        {"day 0", {0x62, 0xFF, 0x00, 0x01, 0x06}, std::nullopt},
        {"month 13", {0x62, 0xFF, 0x01, 0x13, 0x06}, std::nullopt},
        {"month 0", {0x62, 0xFF, 0x01, 0x00, 0x06}, std::nullopt},
        {"FFmpeg's none, 1 January 70", {0x62, 0xFF, 0xC1, 0x01, 0x70}, std::nullopt},
        {"2 January 70 is a date", {0x62, 0xFF, 0xC2, 0x01, 0x70}, DvDate{2070, 1, 2}},
        {"another pack", {0x63, 0xFF, 0xD5, 0xE6, 0x07}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeRecordingDate(DvPack(c.pack)), c.expected) << c.name;
    }
}

struct TimeCase {
    const char* name;
    Raw pack;
    std::optional<DvTime> expected;
};

TEST(DvPacks, DecodesRecordingTimes) {
    const std::vector<TimeCase> cases = {
        {"FFmpeg's, frames unknown", {0x63, 0xFF, 0x80, 0x80, 0xD0}, DvTime{10, 0, 0, -1}},
        {"audio pack with frames", {0x53, 0xC4, 0xD9, 0xD9, 0xE3}, DvTime{23, 59, 59, 4}},
        {"frames damaged, time stands", {0x63, 0xCA, 0x12, 0x34, 0x12}, DvTime{12, 34, 12, -1}},
        {"hour 24", {0x63, 0xFF, 0x00, 0x00, 0x24}, std::nullopt},
        {"minute 60", {0x63, 0xFF, 0x00, 0x60, 0x00}, std::nullopt},
        {"second digit 0xF", {0x63, 0xFF, 0x0F, 0x00, 0x00}, std::nullopt},
        {"all ones", {0x63, 0xFF, 0xFF, 0xFF, 0xFF}, std::nullopt},
        {"another pack", {0x62, 0xFF, 0x00, 0x00, 0x00}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeRecordingTime(DvPack(c.pack)), c.expected) << c.name;
    }
}

struct TimecodeCase {
    const char* name;
    Raw pack;
    std::optional<DvTimecode> expected;
};

TEST(DvPacks, DecodesTimecodes) {
    const std::vector<TimecodeCase> cases = {
        {"start, flag bits set", {0x13, 0x00, 0x80, 0x80, 0xC0}, DvTimecode{0, 0, 0, 0, false}},
        {"drop frame", {0x13, 0x42, 0x01, 0x10, 0x01}, DvTimecode{1, 10, 1, 2, true}},
        {"the last of a day", {0x13, 0x29, 0x59, 0x59, 0x23}, DvTimecode{23, 59, 59, 29, false}},
        {"frame 30", {0x13, 0x30, 0x00, 0x00, 0x00}, std::nullopt},
        {"all ones", {0x13, 0xFF, 0xFF, 0xFF, 0xFF}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeTimecode(DvPack(c.pack)), c.expected) << c.name;
    }
}

struct SourceCase {
    const char* name;
    Raw pack;
    std::optional<DvAudioSource> expected;
};

TEST(DvPacks, DecodesAudioSources) {
    const std::vector<SourceCase> cases = {
        {"FFmpeg's PAL 48 kHz", {0x50, 0xD8, 0x00, 0xE0, 0x80}, DvAudioSource{48000, 16, 1920}},
        {"NTSC 48 kHz", {0x50, 0xD4, 0x00, 0xC0, 0x80}, DvAudioSource{48000, 16, 1600}},
        {"PAL 32 kHz 12 bit", {0x50, 0xC0, 0x00, 0xE0, 0x91}, DvAudioSource{32000, 12, 1264}},
        {"NTSC 44.1 kHz", {0x50, 0xC0, 0x00, 0xC0, 0x88}, DvAudioSource{44100, 16, 1452}},
        {"rate code 3", {0x50, 0xD8, 0x00, 0xE0, 0x98}, std::nullopt},
        {"quantisation 3", {0x50, 0xD8, 0x00, 0xE0, 0x83}, std::nullopt},
        {"all ones", {0x50, 0xFF, 0xFF, 0xFF, 0xFF}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeAudioSource(DvPack(c.pack)), c.expected) << c.name;
    }
}

struct ControlCase {
    const char* name;
    Raw pack;
    int apt;
    bool start;
    DvAspect aspect;
};

TEST(DvPacks, DecodesSourceControls) {
    const std::vector<ControlCase> cases = {
        {"audio, going on", {0x51, 0x1C, 0xCF, 0xA0, 0xFF}, 0, false, DvAspect::kUnknown},
        {"audio, start", {0x51, 0x1C, 0x4F, 0xA0, 0xFF}, 0, true, DvAspect::kUnknown},
        {"video 4:3", {0x61, 0x3F, 0xC8, 0xFC, 0xFF}, 0, false, DvAspect::k4x3},
        {"video 16:9 letterbox", {0x61, 0x3F, 0xCA, 0xFC, 0xFF}, 1, false, DvAspect::k16x9},
        {"video 16:9 full, start", {0x61, 0x3F, 0x4F, 0xFC, 0xFF}, 0, true, DvAspect::k16x9},
        {"code 7 outside consumer DV", {0x61, 0x3F, 0xCF, 0xFC, 0xFF}, 1, false, DvAspect::k4x3},
        {"14:9 letterbox is 4:3", {0x61, 0x3F, 0xC9, 0xFC, 0xFF}, 0, false, DvAspect::k4x3},
    };
    for (const auto& c : cases) {
        const auto control = c.pack[0] == kPackAudioControl
                                 ? DecodeAudioControl(DvPack(c.pack))
                                 : DecodeVideoControl(DvPack(c.pack), c.apt);
        ASSERT_TRUE(control) << c.name;
        EXPECT_EQ(control->recordingStart, c.start) << c.name;
        EXPECT_EQ(control->aspect, c.aspect) << c.name;
    }
    const Raw other = {0x60, 0xFF, 0xFF, 0xE0, 0xFF};
    EXPECT_FALSE(DecodeAudioControl(DvPack(other)));
    EXPECT_FALSE(DecodeVideoControl(DvPack(other), 0));
}

TEST(DvPacks, CountsCivilSecondsAcrossMonthsYearsAndLeapDays) {
    const DvTime midnight{0, 0, 0, -1};
    EXPECT_EQ(CivilSeconds({1970, 1, 1}, midnight), 0);
    EXPECT_EQ(CivilSeconds({2000, 3, 1}, midnight) - CivilSeconds({2000, 2, 28}, midnight),
              2 * 86400);  // 2000 is a leap year
    EXPECT_EQ(CivilSeconds({2100, 3, 1}, midnight) - CivilSeconds({2100, 2, 28}, midnight),
              86400);  // 2100 is not
    EXPECT_EQ(CivilSeconds({2007, 1, 1}, midnight) - CivilSeconds({2006, 12, 31}, {23, 59, 59}), 1);
    EXPECT_EQ(CivilSeconds({2007, 6, 15}, {10, 0, 0}), 1181901600);
}

}  // namespace
}  // namespace vornak::dv
