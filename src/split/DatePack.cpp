#include "DatePack.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "InputFile.h"
#include "TsPacket.h"

namespace vornak {

namespace {
// Large enough to pass a few picture groups in one read, small enough to stop soon after the
// first date pack, which sits in the first group of a camcorder's stream.
constexpr std::size_t kScanBlock = 256 * 1024;
// What mktime gives for a date it cannot represent.
constexpr std::time_t kNoLocalTime = static_cast<std::time_t>(-1);
}  // namespace

bool DecodeDatePack(const std::uint8_t* packet, RecordingDate& date) {
    const std::size_t adaptationLength = packet[ADAPTATION_LENGTH_OFFSET];
    if (adaptationLength + DATE_HOUR_OFFSET >= PKT_SIZE) {
        return false;
    }
    const std::uint8_t* const at = packet + adaptationLength;
    date.day = DecodeBcd(at[DATE_DAY_OFFSET], DAY_TENS_MASK);
    date.month = DecodeBcd(at[DATE_MONTH_OFFSET], MONTH_TENS_MASK);
    date.year = FullYear(DecodeBcd(at[DATE_YEAR_OFFSET], YEAR_TENS_MASK));
    date.second = DecodeBcd(at[DATE_SECOND_OFFSET], SECOND_TENS_MASK);
    date.minute = DecodeBcd(at[DATE_MINUTE_OFFSET], MINUTE_TENS_MASK);
    date.hour = DecodeBcd(at[DATE_HOUR_OFFSET], HOUR_TENS_MASK);
    return true;
}

std::optional<RecordingDate> ReadFirstRecordingDate(const std::string& path, bool& readFailed) {
    readFailed = false;
    InputFile file;
    if (file.Open(path) != InputFile::OpenResult::Opened) {
        readFailed = true;
        return std::nullopt;
    }
    // A packet cut by the end of a block moves to the front and is completed by the next read.
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kScanBlock);
    std::size_t kept = 0;
    for (;;) {
        std::size_t got = 0;
        const InputFile::Status status = file.Read(buffer.get() + kept, kScanBlock - kept, got);
        if (status == InputFile::Status::Error) {
            readFailed = true;
            return std::nullopt;
        }
        const std::uint8_t* pos = buffer.get();
        const std::uint8_t* const end = buffer.get() + kept + got;
        while (pos < end) {
            if (*pos != SYNC_BYTE) {
                const void* hit = std::memchr(pos, SYNC_BYTE, static_cast<std::size_t>(end - pos));
                pos = hit != nullptr ? static_cast<const std::uint8_t*>(hit) : end;
                continue;
            }
            if (static_cast<std::size_t>(end - pos) < PKT_SIZE) {
                break;
            }
            RecordingDate date;
            if (pid(pos) == PID_RECORDING_DATE && DecodeDatePack(pos, date)) {
                return date;
            }
            pos += PKT_SIZE;
        }
        if (status == InputFile::Status::EndOfFile) {
            return std::nullopt;
        }
        kept = static_cast<std::size_t>(end - pos);
        std::memmove(buffer.get(), pos, kept);
    }
}

bool SetModificationTime(const std::string& path, std::time_t when) {
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = when;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool SetModificationTime(const std::string& path, const RecordingDate& date) {
    const std::time_t when = date.ToLocalTime();
    return when != kNoLocalTime && SetModificationTime(path, when);
}

}  // namespace vornak
