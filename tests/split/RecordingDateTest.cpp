#include "RecordingDate.h"

#include <gtest/gtest.h>

#include <ctime>

#include "TestSupport.h"

namespace vornak {
namespace {

// Tens masks of the date pack's fields, as the camcorders lay them out.
constexpr std::uint8_t kDayTens = 0x3;
constexpr std::uint8_t kMonthTens = 0x1;
constexpr std::uint8_t kYearTens = 0xF;
constexpr std::uint8_t kSecondTens = 0x7;
constexpr std::uint8_t kHourTens = 0x3;

// Seconds since the epoch of 1 May 2006 14:03:59 UTC.
constexpr std::time_t kMay2006InUtc = 1146492239;
constexpr std::time_t kCestOffset = 2 * 3600;

constexpr const char* kUtc = "UTC0";
constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

using test::MakeRecordingDate;

TEST(RecordingDate, DecodeBcdTakesUnitsAndMaskedTens) {
    EXPECT_EQ(DecodeBcd(0x59, kSecondTens), 59);
    EXPECT_EQ(DecodeBcd(0x31, kDayTens), 31);
    EXPECT_EQ(DecodeBcd(0x12, kMonthTens), 12);
    EXPECT_EQ(DecodeBcd(0x23, kHourTens), 23);
    EXPECT_EQ(DecodeBcd(0x99, kYearTens), 99);
    EXPECT_EQ(DecodeBcd(0x00, kYearTens), 0);
}

TEST(RecordingDate, DecodeBcdIgnoresBitsOutsideTheTensMask) {
    // Camcorders use the spare high bits of day, month and hour for flags.
    EXPECT_EQ(DecodeBcd(0xF1, kDayTens), 31);
    EXPECT_EQ(DecodeBcd(0xE5, kMonthTens), 5);
    EXPECT_EQ(DecodeBcd(0xC7, kHourTens), 7);
    EXPECT_EQ(DecodeBcd(0x80 | 0x45, kSecondTens), 45);
}

TEST(RecordingDate, DecodeBcdDoesNotValidateDigits) {
    EXPECT_EQ(DecodeBcd(0x0A, kYearTens), 10);
    EXPECT_EQ(DecodeBcd(0xAF, kYearTens), 115);
    EXPECT_EQ(DecodeBcd(0x7F, kSecondTens), 85);
}

TEST(RecordingDate, EveryTwoDigitYearLiesInThisCentury) {
    EXPECT_EQ(FullYear(0), 2000);
    EXPECT_EQ(FullYear(6), 2006);
    EXPECT_EQ(FullYear(24), 2024);
    EXPECT_EQ(FullYear(25), 2025);
    EXPECT_EQ(FullYear(26), 2026);
    EXPECT_EQ(FullYear(99), 2099);
}

TEST(RecordingDate, ToLocalTimeUsesTheLocalZone) {
    const RecordingDate may = MakeRecordingDate(2006, 5, 1, 14, 3, 59);
    {
        test::ScopedTimeZone tz(kUtc);
        EXPECT_EQ(may.ToLocalTime(), kMay2006InUtc);
    }
    {
        // Summer time is in force in May, so local 14:03:59 is 12:03:59 UTC.
        test::ScopedTimeZone tz(kCentralEurope);
        EXPECT_EQ(may.ToLocalTime(), kMay2006InUtc - kCestOffset);
    }
}

TEST(RecordingDate, ToLocalTimeNormalisesFieldsOutOfRange) {
    test::ScopedTimeZone tz(kUtc);
    // Undecoded nibbles give values such as second 60; they roll over like the C library does.
    EXPECT_EQ(MakeRecordingDate(2006, 5, 1, 14, 3, 60).ToLocalTime(), kMay2006InUtc + 1);
}

TEST(RecordingDate, DifferencesUpToTwoSecondsAreNoJump) {
    test::ScopedTimeZone tz(kUtc);
    const RecordingDate base = MakeRecordingDate(2006, 5, 1, 14, 3, 59);
    for (int delta = -2; delta <= 2; ++delta) {
        RecordingDate other = base;
        other.second += delta;
        EXPECT_FALSE(IsDateJump(base, other)) << delta;
    }
}

TEST(RecordingDate, DifferencesAboveTwoSecondsInEitherDirectionAreJumps) {
    test::ScopedTimeZone tz(kUtc);
    const RecordingDate base = MakeRecordingDate(2006, 5, 1, 14, 3, 30);
    for (int delta : {3, -3, 10, -10}) {
        RecordingDate other = base;
        other.second += delta;
        EXPECT_TRUE(IsDateJump(base, other)) << delta;
        EXPECT_TRUE(IsDateJump(other, base)) << delta;
    }
    EXPECT_TRUE(IsDateJump(base, MakeRecordingDate(2006, 5, 2, 14, 3, 30)));
    EXPECT_TRUE(IsDateJump(base, MakeRecordingDate(2007, 5, 1, 14, 3, 30)));
}

TEST(RecordingDate, CalendarRolloverIsNoJump) {
    test::ScopedTimeZone tz(kUtc);
    EXPECT_FALSE(IsDateJump(MakeRecordingDate(2006, 12, 31, 23, 59, 59),
                            MakeRecordingDate(2007, 1, 1, 0, 0, 1)));
    EXPECT_FALSE(IsDateJump(MakeRecordingDate(2008, 2, 28, 23, 59, 59),
                            MakeRecordingDate(2008, 2, 29, 0, 0, 0)));
    EXPECT_TRUE(IsDateJump(MakeRecordingDate(2006, 4, 30, 23, 59, 59),
                           MakeRecordingDate(2006, 5, 1, 0, 0, 3)));
}

TEST(RecordingDate, JumpsAreMeasuredInLocalTimeAcrossDaylightSaving) {
    // On 26 March 2006 central European clocks went from 01:59:59 straight to 03:00:00.
    const RecordingDate before = MakeRecordingDate(2006, 3, 26, 1, 59, 59);
    const RecordingDate after = MakeRecordingDate(2006, 3, 26, 3, 0, 0);
    {
        test::ScopedTimeZone tz(kCentralEurope);
        EXPECT_FALSE(IsDateJump(before, after));
    }
    {
        test::ScopedTimeZone tz(kUtc);
        EXPECT_TRUE(IsDateJump(before, after));
    }
}

TEST(RecordingDate, TwoDigitYearsAroundTheOldPivotCompareInOneCentury) {
    // 24 and 25 must be neighbouring years, not 2024 and 1925.
    test::ScopedTimeZone tz(kUtc);
    const RecordingDate newYearsEve = MakeRecordingDate(FullYear(24), 12, 31, 23, 59, 59);
    const RecordingDate newYear = MakeRecordingDate(FullYear(25), 1, 1, 0, 0, 0);
    EXPECT_FALSE(IsDateJump(newYearsEve, newYear));
}

}  // namespace
}  // namespace vornak
