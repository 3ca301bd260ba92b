#include "DvFirstDate.h"

#include <cstring>
#include <memory>
#include <span>

#include "DvFrameParser.h"
#include "DvFrameReader.h"
#include "InputFile.h"

namespace vornak {
namespace {

// Reads this much at a time; a frame cut by the end of a read moves to the front.
constexpr std::size_t kReadSize = 16 * dv::kMaxFrameSize;

}  // namespace

RecordingDate ToRecordingDate(const dv::DvRecorded& recorded) {
    RecordingDate date;
    date.year = recorded.date.year;
    date.month = recorded.date.month;
    date.day = recorded.date.day;
    date.hour = recorded.time.hours;
    date.minute = recorded.time.minutes;
    date.second = recorded.time.seconds;
    return date;
}

std::optional<RecordingDate> ReadFirstDvRecordingDate(const std::string& path, bool& readFailed) {
    readFailed = false;
    InputFile file;
    if (file.Open(path) != InputFile::OpenResult::Opened) {
        readFailed = true;
        return std::nullopt;
    }
    const std::size_t capacity = kReadSize + dv::DvFrameReader::kMinBuffer;
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    dv::DvFrameReader reader;
    std::size_t filled = 0;
    bool atEnd = false;
    for (;;) {
        std::size_t got = 0;
        const InputFile::Status status = file.Read(buffer.get() + filled, capacity - filled, got);
        if (status == InputFile::Status::Error) {
            readFailed = true;
            return std::nullopt;
        }
        filled += got;
        atEnd = status == InputFile::Status::EndOfFile;
        std::size_t used = 0;
        dv::DvPiece piece;
        while (reader.Next(std::span(buffer.get(), filled).subspan(used), atEnd, piece)) {
            used += piece.bytes.size();
            dv::DvFrameInfo info;
            if (piece.kind == dv::DvPieceKind::kFrame &&
                dv::DvFrameParser::Parse(piece.bytes, info) && info.recorded) {
                return ToRecordingDate(*info.recorded);
            }
        }
        if (atEnd) {
            return std::nullopt;
        }
        std::memmove(buffer.get(), buffer.get() + used, filled - used);
        filled -= used;
    }
}

}  // namespace vornak
