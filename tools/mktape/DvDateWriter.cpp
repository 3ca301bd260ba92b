#include "DvDateWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "DvFrameReader.h"
#include "WriteAll.h"

namespace vornak::tape {

namespace {

using namespace dv;

constexpr std::uint64_t kTicksPerFrame625 = 3600;  // 25 frames a second
constexpr std::uint64_t kTicksPerFrame525 = 3003;  // 30000/1001 frames a second
constexpr int kFramesPerSecond625 = 25;
constexpr int kFramesPerSecond525 = 30;
// Drop-frame timecode skips frames 0 and 1 of every minute but each tenth.
constexpr std::uint64_t kFramesPerTenMinutes525 = 17982;
constexpr std::uint64_t kFramesPerMinute525 = 1798;
constexpr std::uint64_t kDroppedPerTenMinutes = 18;
constexpr std::uint64_t kDroppedPerMinute = 2;
constexpr int kHoursPerDay = 24;

// Flag and reserved bits around the digits, as camcorders write them.
constexpr std::uint8_t kZoneUnknown = 0xFF;
constexpr std::uint8_t kDayHigh = 0xC0;
constexpr std::uint8_t kMonthHigh = 0xE0;
constexpr std::uint8_t kFramesHigh = 0xC0;
constexpr std::uint8_t kSecondsHigh = 0x80;
constexpr std::uint8_t kMinutesHigh = 0x80;
constexpr std::uint8_t kHoursHigh = 0xC0;
constexpr std::uint8_t kDropFrameBit = 0x40;
// An AAUX source-control pack for a slot that had none: original recording, no copy limits.
constexpr std::uint8_t kAudioControl[kPackSize] = {kPackAudioControl, 0x1C, 0xCF, 0xA0, 0xFF};

// Where a camcorder puts its packs when the input has an empty slot there. Subcode: in the
// second half of the sequences timecode, date, time, timecode, date, time; in the first,
// timecode in sync blocks 0 and 3. VAUX: date and time after the source packs, in each half.
constexpr std::size_t kSyncBlocksPerPattern = 3;
constexpr std::size_t kVauxDateSlots[] = {2, 11};
// AAUX: source, control, date and time from audio block 3 in even sequences, 0 in odd ones.
constexpr std::size_t kAudioControlSlot[] = {4, 1};
constexpr std::size_t kAudioDateSlot[] = {5, 2};
constexpr std::size_t kAudioTimeSlot[] = {6, 3};

constexpr std::size_t kReadChunk = 12 * kMaxFrameSize;

std::uint8_t Bcd(int value) {
    return static_cast<std::uint8_t>((value / 10) << 4 | value % 10);
}

std::uint8_t TypeOf(const std::uint8_t* block) {
    return block[kIdTypeByte] >> kIdTypeShift;
}

}  // namespace

struct DvDateWriter::Stamp {
    std::uint8_t date[kPackSize];  // id left for the copy to fill in
    std::uint8_t time[kPackSize];
    std::uint8_t timecode[kPackSize];
    bool recordingStart = false;

    void Put(std::uint8_t* pack, const std::uint8_t* from, std::uint8_t id) const {
        pack[0] = id;
        std::memcpy(pack + 1, from + 1, kPackSize - 1);
    }

    // Rewrites the pack at `pack` if it is one of ours; fills it if the slot is empty and
    // `empty` names what goes there. Other packs stay as they are.
    void Apply(std::uint8_t* pack, std::uint8_t empty) const {
        std::uint8_t id = pack[0];
        if (id == kPackNone) {
            if (empty == kPackNone) {
                return;
            }
            id = empty;
            if (id == kPackAudioControl) {
                std::memcpy(pack, kAudioControl, kPackSize);
            }
        }
        switch (id) {
            case kPackVideoRecDate:
            case kPackAudioRecDate:
                Put(pack, date, id);
                break;
            case kPackVideoRecTime:
            case kPackAudioRecTime:
                Put(pack, time, id);
                break;
            case kPackTimecode:
                Put(pack, timecode, id);
                break;
            case kPackAudioControl:
            case kPackVideoControl:
                pack[kControlRecStartByte] = static_cast<std::uint8_t>(
                    recordingStart ? pack[kControlRecStartByte] & ~kControlRecStartBit
                                   : pack[kControlRecStartByte] | kControlRecStartBit);
                break;
            default:
                break;
        }
    }
};

DvDateWriter::DvDateWriter(DateInsertOptions options) : m_options(options) {}

bool DvDateWriter::Fail(const std::string& message) {
    m_error = message;
    return false;
}

DvDateWriter::Stamp DvDateWriter::StampFor(DvSystem system) {
    const bool pal = system == DvSystem::k625_50;
    const std::uint64_t perFrame = pal ? kTicksPerFrame625 : kTicksPerFrame525;
    const std::uint64_t perSecond = DatePackInserter::kTicksPerSecond;
    Stamp s;
    s.recordingStart = m_frames == 0;
    if (m_options.cut && !m_cutDone && m_ticks >= m_options.cutAfterTicks) {
        m_cutDone = true;
        m_cutFrame = m_frames;
        s.recordingStart = true;
    }
    const auto seconds = static_cast<std::int64_t>(m_ticks / perSecond) +
                         (m_cutDone ? DatePackInserter::kSceneJumpSeconds : 0);
    const DateTime d = AddSeconds(m_options.start, seconds);
    const auto frameInSecond = static_cast<int>(m_ticks % perSecond / perFrame);
    const std::uint8_t date[kPackSize] = {
        0, kZoneUnknown, static_cast<std::uint8_t>(kDayHigh | Bcd(d.day)),
        static_cast<std::uint8_t>(kMonthHigh | Bcd(d.month)), Bcd(d.year % 100)};
    const std::uint8_t time[kPackSize] = {
        0, static_cast<std::uint8_t>(kFramesHigh | Bcd(frameInSecond)),
        static_cast<std::uint8_t>(kSecondsHigh | Bcd(d.second)),
        static_cast<std::uint8_t>(kMinutesHigh | Bcd(d.minute)),
        static_cast<std::uint8_t>(kHoursHigh | Bcd(d.hour))};
    std::memcpy(s.date, date, kPackSize);
    std::memcpy(s.time, time, kPackSize);

    // Timecode from 00:00:00:00 at the first frame; 525/60 counts in drop-frame.
    std::uint64_t n = m_frames;
    int fps = kFramesPerSecond625;
    if (!pal) {
        fps = kFramesPerSecond525;
        const std::uint64_t tens = n / kFramesPerTenMinutes525;
        const std::uint64_t rest = n % kFramesPerTenMinutes525;
        n += kDroppedPerTenMinutes * tens +
             (rest < kDroppedPerMinute
                  ? 0
                  : kDroppedPerMinute * ((rest - kDroppedPerMinute) / kFramesPerMinute525));
    }
    const auto f = static_cast<int>(n % static_cast<std::uint64_t>(fps));
    const std::uint64_t totalSeconds = n / static_cast<std::uint64_t>(fps);
    s.timecode[0] = kPackTimecode;
    s.timecode[1] = static_cast<std::uint8_t>((pal ? 0 : kDropFrameBit) | Bcd(f));
    s.timecode[2] =
        static_cast<std::uint8_t>(kSecondsHigh | Bcd(static_cast<int>(totalSeconds % 60)));
    s.timecode[3] =
        static_cast<std::uint8_t>(kMinutesHigh | Bcd(static_cast<int>(totalSeconds / 60 % 60)));
    s.timecode[4] = static_cast<std::uint8_t>(
        kHoursHigh | Bcd(static_cast<int>(totalSeconds / 3600 % kHoursPerDay)));

    m_ticks += perFrame;
    ++m_frames;
    return s;
}

void DvDateWriter::StampFrame(std::span<std::uint8_t> frame, DvSystem system) {
    if (frame.size() < FrameSizeOf(system)) {
        return;
    }
    const Stamp stamp = StampFor(system);
    const int sequences = SequencesOf(system);
    for (int s = 0; s < sequences; ++s) {
        std::uint8_t* seq = frame.data() + SequenceOffset(s);
        const bool secondHalf = s >= sequences / 2;
        const std::size_t parity = static_cast<std::size_t>(s % 2);
        for (std::size_t b = 0; b < kSubcodeBlocks; ++b) {
            std::uint8_t* block = seq + BlockOffset(kFirstSubcodeBlock + b);
            if (TypeOf(block) != kTypeSubcode) {
                continue;
            }
            for (std::size_t k = 0; k < kSyncBlocksPerSubcodeBlock; ++k) {
                static constexpr std::uint8_t kPattern[] = {kPackTimecode, kPackVideoRecDate,
                                                            kPackVideoRecTime};
                const std::size_t inPattern = k % kSyncBlocksPerPattern;
                const std::uint8_t empty =
                    secondHalf || inPattern == 0 ? kPattern[inPattern] : kPackNone;
                stamp.Apply(block + kIdSize + k * kSyncBlockSize + kSyncBlockPackOffset, empty);
            }
        }
        for (std::size_t b = 0; b < kVauxBlocks; ++b) {
            std::uint8_t* block = seq + BlockOffset(kFirstVauxBlock + b);
            if (TypeOf(block) != kTypeVaux) {
                continue;
            }
            for (std::size_t p = 0; p < kPacksPerVauxBlock; ++p) {
                std::uint8_t empty = kPackNone;
                for (const std::size_t slot : kVauxDateSlots) {
                    empty = p == slot       ? kPackVideoRecDate
                            : p == slot + 1 ? kPackVideoRecTime
                                            : empty;
                }
                stamp.Apply(block + kIdSize + p * kPackSize, empty);
            }
        }
        for (std::size_t a = 0; a < kAudioBlocks; ++a) {
            std::uint8_t* block = seq + BlockOffset(AudioBlock(a));
            if (TypeOf(block) != kTypeAudio) {
                continue;
            }
            const std::uint8_t empty = a == kAudioControlSlot[parity] ? kPackAudioControl
                                       : a == kAudioDateSlot[parity]  ? kPackAudioRecDate
                                       : a == kAudioTimeSlot[parity]  ? kPackAudioRecTime
                                                                      : kPackNone;
            stamp.Apply(block + kIdSize, empty);
        }
    }
}

bool DvDateWriter::WriteFile(const std::string& input, const std::string& output) {
    const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return Fail("cannot open " + input + ": " + std::strerror(errno));
    }
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return Fail(error == EEXIST ? output + " already exists; not overwritten"
                                    : "cannot create " + output + ": " + std::strerror(error));
    }

    static_assert(kReadChunk >= DvFrameReader::kMinBuffer);
    std::vector<std::uint8_t> buffer(kReadChunk);
    std::size_t filled = 0;
    DvFrameReader reader;
    std::string failure;
    int writeError = 0;
    for (bool end = false; !end && failure.empty();) {
        const ssize_t n = ::read(in, buffer.data() + filled, buffer.size() - filled);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failure = "cannot read " + input + ": " + std::strerror(errno);
            break;
        }
        end = n == 0;
        filled += static_cast<std::size_t>(n);
        std::size_t used = 0;
        DvPiece piece;
        while (reader.Next(std::span(buffer).first(filled).subspan(used), end, piece)) {
            if (piece.kind == DvPieceKind::kFrame) {
                StampFrame(std::span(buffer).subspan(used, piece.bytes.size()), piece.system);
            } else {
                m_otherBytes += piece.bytes.size();
            }
            used += piece.bytes.size();
        }
        if (!WriteAllTo(out, buffer.data(), used, writeError)) {
            failure = "cannot write " + output + ": " + std::strerror(writeError);
        }
        std::memmove(buffer.data(), buffer.data() + used, filled - used);
        filled -= used;
    }
    ::close(in);
    if (failure.empty() && m_frames == 0) {
        failure = input + " holds no DV frame: nothing to date";
    }
    if (::close(out) != 0 && failure.empty()) {
        failure = "cannot write " + output + ": " + std::strerror(errno);
    }
    if (!failure.empty()) {
        ::unlink(output.c_str());  // created by us a moment ago; half a tape helps nobody
        return Fail(failure);
    }
    return true;
}

}  // namespace vornak::tape
